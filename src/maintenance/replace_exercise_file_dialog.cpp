#include "maintenance/replace_exercise_file_dialog.h"

#include "exercise/exercise_kind.h"
#include "maintenance/exercise_file_replacement.h"
#include "platform/file_chooser.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "store/store_client.h"

#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
QPushButton* button(const QString& text, const char* name, QWidget* parent)
{
    auto* result = new QPushButton(text, parent);
    result->setObjectName(QString::fromLatin1(name));
    result->setAutoDefault(false);
    return result;
}
} // namespace

ReplaceExerciseFileDialog::ReplaceExerciseFileDialog(const QString& appFolder, StoreClient& store,
                                                     const QString& session, QWidget* parent)
    : QDialog(parent), store_(store), session_(session)
{
    setObjectName(QStringLiteral("frmghlrwj"));
    setWindowTitle(QStringLiteral("更换录入文件"));
    setFont(Fonts::song(10.5));
    rememberedFolder_ = appFolder;

    auto* typeFrame = new QGroupBox(QStringLiteral("文件类型选择"), this);
    typeFrame->setObjectName(QStringLiteral("Frame1"));
    english_ = new QRadioButton(ExerciseKinds::name(ExerciseKind::English), typeFrame);
    english_->setObjectName(QStringLiteral("Option1_0"));
    english_->setChecked(true);
    chinese_ = new QRadioButton(ExerciseKinds::name(ExerciseKind::Chinese), typeFrame);
    chinese_->setObjectName(QStringLiteral("Option1_1"));
    confirmType_ = button(QStringLiteral("确定"), "command5", typeFrame);
    auto* typeLayout = new QHBoxLayout(typeFrame);
    typeLayout->addWidget(english_);
    typeLayout->addWidget(chinese_);
    typeLayout->addStretch(1);
    typeLayout->addWidget(confirmType_);

    auto* fileFrame = new QGroupBox(QStringLiteral("文件"), this);
    fileFrame->setObjectName(QStringLiteral("Frame2"));
    auto* sourceCaption = new QLabel(QStringLiteral("源文件："), fileFrame);
    sourceCaption->setObjectName(QStringLiteral("Label1"));
    source_ = new QLineEdit(fileFrame);
    source_->setObjectName(QStringLiteral("Text1"));
    chooseSource_ = button(QStringLiteral("…"), "Command1", fileFrame);
    auto* targetCaption = new QLabel(QStringLiteral("目标文件"), fileFrame);
    targetCaption->setObjectName(QStringLiteral("Label2"));
    target_ = new QLineEdit(fileFrame);
    target_->setObjectName(QStringLiteral("Text2"));
    chooseTarget_ = button(QStringLiteral("…"), "Command2", fileFrame);
    for (QPushButton* chooser : {chooseSource_, chooseTarget_})
        chooser->setFixedWidth(Twips::toPixels(495));
    auto* fileLayout = new QGridLayout(fileFrame);
    fileLayout->addWidget(sourceCaption, 0, 0);
    fileLayout->addWidget(source_, 0, 1);
    fileLayout->addWidget(chooseSource_, 0, 2);
    fileLayout->addWidget(targetCaption, 1, 0);
    fileLayout->addWidget(target_, 1, 1);
    fileLayout->addWidget(chooseTarget_, 1, 2);
    fileLayout->setColumnMinimumWidth(1, Twips::toPixels(4800));

    replace_ = button(QStringLiteral("替换"), "Command3", this);
    auto* quit = button(QStringLiteral("退出"), "Command4", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(replace_);
    buttons->addSpacing(Twips::toPixels(360));
    buttons->addWidget(quit);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(typeFrame);
    layout->addWidget(fileFrame);
    layout->addLayout(buttons);

    connect(confirmType_, &QPushButton::clicked, this, [this] { setFileStep(true); });
    connect(chooseSource_, &QPushButton::clicked, this, &ReplaceExerciseFileDialog::chooseSource);
    connect(chooseTarget_, &QPushButton::clicked, this, &ReplaceExerciseFileDialog::chooseTarget);
    connect(replace_, &QPushButton::clicked, this, &ReplaceExerciseFileDialog::replace);
    connect(quit, &QPushButton::clicked, this, &QDialog::accept);

    setFileStep(false);
}

ReplaceExerciseFileDialog::~ReplaceExerciseFileDialog()
{
    if (!rememberedFolder_.isEmpty())
        QDir::setCurrent(rememberedFolder_);
}

void ReplaceExerciseFileDialog::done(int result)
{
    // The chooser may have moved the working folder; other windows name files relative to it.
    if (!rememberedFolder_.isEmpty())
        QDir::setCurrent(rememberedFolder_);
    QDialog::done(result);
}

void ReplaceExerciseFileDialog::setFileStep(bool on)
{
    for (QWidget* widget : std::initializer_list<QWidget*>{chooseSource_, chooseTarget_, replace_, source_, target_})
        widget->setEnabled(on);
    for (QWidget* widget : std::initializer_list<QWidget*>{english_, chinese_, confirmType_})
        widget->setEnabled(!on);
}

void ReplaceExerciseFileDialog::chooseSource()
{
    lastSourceName_ = FileChooser::getOpenFileName(
        this, QStringLiteral("打开文件"), QStringLiteral("文本文件|*.txt|所有文件|*.*"), lastSourceName_, QString());
    source_->setText(lastSourceName_);
}

void ReplaceExerciseFileDialog::chooseTarget()
{
    const QString folder =
        QDir(rememberedFolder_).filePath(english_->isChecked() ? QStringLiteral("yw") : QStringLiteral("zw"));
    target_->setText(FileChooser::getOpenFileName(this, QStringLiteral("打开文件"), QStringLiteral("录入文件|*.dat"),
                                                  QString(), QDir::toNativeSeparators(folder)));
}

void ReplaceExerciseFileDialog::replace()
{
    const ExerciseFileReplacement::Outcome outcome =
        ExerciseFileReplacement::replace(source_->text(), target_->text(), rememberedFolder_, chinese_->isChecked(),
                                         [this](const QString& target, ExerciseFileReplacement::TargetUse,
                                                const QByteArray& text) { return write(target, text); });
    if (!outcome.replaced) {
        MessageBoxes::show(this, outcome.title, outcome.message);
        return;
    }
    setFileStep(false);
}

ExerciseFileReplacement::Outcome ReplaceExerciseFileDialog::write(const QString& target, const QByteArray& text)
{
    const QString owned = ExerciseFileReplacement::ownedTextName(target, rememberedFolder_);
    if (owned.isEmpty())
        return ExerciseFileReplacement::writeText(target, text);
    const StoreReply reply = store_.replaceText(session_, owned, text);
    if (reply.ok())
        return ExerciseFileReplacement::Outcome{true, QString(), QString()};
    // The store's refusal names the file and what failed, as a write here would.
    const QString problem = reply.status == StoreStatus::Refused
        ? reply.message
        : QString::fromUtf8(ExerciseFileReplacement::kFileError) + u'\n' + storeProblem(reply);
    return ExerciseFileReplacement::Outcome{false, QString::fromUtf8(ExerciseFileReplacement::kFileErrorTitle),
                                            problem};
}

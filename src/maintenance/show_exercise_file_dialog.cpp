#include "maintenance/show_exercise_file_dialog.h"

#include "exercise/exercise_kind.h"
#include "maintenance/exercise_file_view.h"
#include "platform/file_chooser.h"
#include "platform/fonts.h"
#include "platform/no_right_click.h"
#include "platform/twips.h"

#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextDocument>
#include <QVBoxLayout>

ShowExerciseFileDialog::ShowExerciseFileDialog(const QString& appFolder, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmxslrwj"));
    setWindowTitle(QStringLiteral("显示录入文件"));
    setFont(Fonts::song(10.5));
    rememberedFolder_ = appFolder;

    auto* frame = new QGroupBox(QStringLiteral("选定文件"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    english_ = new QRadioButton(ExerciseKinds::name(ExerciseKind::English), frame);
    english_->setObjectName(QStringLiteral("Option1_0"));
    english_->setChecked(true);
    chinese_ = new QRadioButton(ExerciseKinds::name(ExerciseKind::Chinese), frame);
    chinese_->setObjectName(QStringLiteral("Option1_1"));

    auto* caption = new QLabel(QStringLiteral("文件名："), frame);
    caption->setObjectName(QStringLiteral("Label1"));
    fileName_ = new QLineEdit(frame);
    fileName_->setObjectName(QStringLiteral("Text2"));
    auto* browse = new QPushButton(QStringLiteral("…"), frame);
    browse->setObjectName(QStringLiteral("Command1"));
    browse->setAutoDefault(false);
    browse->setFixedWidth(Twips::toPixels(495));
    auto* confirm = new QPushButton(QStringLiteral("确定"), frame);
    confirm->setObjectName(QStringLiteral("Command2"));
    confirm->setAutoDefault(false);

    auto* frameLayout = new QHBoxLayout(frame);
    frameLayout->addWidget(english_);
    frameLayout->addWidget(chinese_);
    frameLayout->addSpacing(Twips::toPixels(360));
    frameLayout->addWidget(caption);
    frameLayout->addWidget(fileName_, 1);
    frameLayout->addWidget(browse);
    frameLayout->addSpacing(Twips::toPixels(240));
    frameLayout->addWidget(confirm);

    display_ = new QPlainTextEdit(this);
    display_->setObjectName(QStringLiteral("Text1"));
    display_->setReadOnly(true);
    display_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    display_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    display_->setFont(Fonts::song(9));
    QPalette colours = display_->palette();
    colours.setColor(QPalette::Text, QColor(0, 0, 255));
    colours.setColor(QPalette::Base, Qt::white);
    display_->setPalette(colours);
    // Room for a shown line of 107 columns, in half-width or in double-byte characters,
    // before the box would wrap on its own.
    const QFontMetrics metrics(display_->font());
    const int textWidth =
        qMax(metrics.horizontalAdvance(QString(108, u'x')), metrics.horizontalAdvance(QString(54, QChar(0x4E2D))));
    display_->setMinimumSize(textWidth + display_->verticalScrollBar()->sizeHint().width() + 2 * display_->frameWidth()
                                 + 2 * int(display_->document()->documentMargin()) + 8,
                             Twips::toPixels(6000));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addWidget(display_, 1);

    connect(english_, &QRadioButton::clicked, this, [this] { typeClicked(0); });
    connect(chinese_, &QRadioButton::clicked, this, [this] { typeClicked(1); });
    connect(browse, &QPushButton::clicked, this, &ShowExerciseFileDialog::chooseFile);
    connect(confirm, &QPushButton::clicked, this, &ShowExerciseFileDialog::showFile);

    NoRightClick::norightclick(display_);
}

ShowExerciseFileDialog::~ShowExerciseFileDialog()
{
    release();
}

void ShowExerciseFileDialog::done(int result)
{
    release();
    QDialog::done(result);
}

void ShowExerciseFileDialog::release()
{
    if (!rememberedFolder_.isEmpty())
        QDir::setCurrent(rememberedFolder_);
    NoRightClick::release(display_);
}

void ShowExerciseFileDialog::typeClicked(int index)
{
    if (index == lastTypeIndex_)
        return;
    lastTypeIndex_ = index;
    fileName_->clear();
}

void ShowExerciseFileDialog::chooseFile()
{
    const QString folder =
        QDir(rememberedFolder_).filePath(english_->isChecked() ? QStringLiteral("yw") : QStringLiteral("zw"));
    fileName_->setText(FileChooser::getOpenFileName(this, QStringLiteral("打开文件"), QStringLiteral("录入文件|*.dat"),
                                                    QString(), QDir::toNativeSeparators(folder)));
}

void ShowExerciseFileDialog::showFile()
{
    display_->clear();
    display_->setPlainText(ExerciseFileView::contentFor(fileName_->text()));
    display_->setReadOnly(true);
}

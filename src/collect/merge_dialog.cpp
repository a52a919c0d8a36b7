#include "collect/merge_dialog.h"

#include "collect/score_collection.h"
#include "platform/fonts.h"
#include "platform/paths.h"
#include "platform/twips.h"
#include "platform/byte_length.h"

#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

MergeDialog::MergeDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmhbsf"));
    setWindowTitle(QStringLiteral("合并回收"));
    setFont(Fonts::song(10.5));
    setFixedSize(Twips::toPixels(6120), Twips::toPixels(3900));
    buildControls();
    batchBox_->setFocus();
    connect(&merge_, &MergeCollection::finished, this, &MergeDialog::mergeFinished);

    const QString target = QDir::current().absoluteFilePath(ScoreCollection::networkTargetName);
    // Without a target nothing can be merged; the next opening of the dialog tries again.
    confirmButton_->setEnabled(merge_.openTarget(target, [this](const QString& text) { statusLine_->setText(text); }));
}

MergeDialog::~MergeDialog() = default;

void MergeDialog::buildControls()
{
    auto* settings = new QGroupBox(QStringLiteral("批次设置"), this);
    settings->setObjectName(QStringLiteral("Frame1"));
    settings->setGeometry(Twips::rect(120, 60, 5880, 1500));
    auto* label1 = new QLabel(QStringLiteral("源路径：A:\\"), settings);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setGeometry(Twips::rect(240, 360, 2400, 300));
    auto* label2 = new QLabel(QStringLiteral("批次号："), settings);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setGeometry(Twips::rect(240, 900, 1080, 300));
    batchBox_ = new QLineEdit(settings);
    batchBox_->setObjectName(QStringLiteral("Text1"));
    batchBox_->setGeometry(Twips::rect(1320, 840, 2880, 380));
    batchBox_->installEventFilter(this);
    confirmButton_ = new QPushButton(QStringLiteral("确定"), settings);
    confirmButton_->setObjectName(QStringLiteral("Command1"));
    confirmButton_->setGeometry(Twips::rect(4560, 780, 1080, 480));
    connect(confirmButton_, &QPushButton::clicked, this, &MergeDialog::runMerge);

    auto* info = new QGroupBox(QStringLiteral("收分信息"), this);
    info->setObjectName(QStringLiteral("Frame2"));
    info->setGeometry(Twips::rect(120, 1680, 5880, 2100));
    statusLine_ = new QLabel(info);
    statusLine_->setObjectName(QStringLiteral("Label3"));
    statusLine_->setGeometry(Twips::rect(240, 330, 5400, 1650));
    statusLine_->setWordWrap(true);
    statusLine_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    setTabOrder(batchBox_, confirmButton_);
}

void MergeDialog::runMerge()
{
    if (merge_.running() || !confirmButton_->isEnabled())
        return;
    // The diskette is read in the background; no second start until the merge has ended.
    focusBeforeRun_ = focusWidget();
    confirmButton_->setEnabled(false);
    batchBox_->setEnabled(false);
    merge_.merge(Paths::toLocal(MergeCollection::sourceName), trimSpaces(batchBox_->text()),
                 [this](const QString& text) { statusLine_->setText(text); });
}

void MergeDialog::mergeFinished()
{
    confirmButton_->setEnabled(true);
    batchBox_->setEnabled(true);
    if (focusBeforeRun_)
        focusBeforeRun_->setFocus();
}

void MergeDialog::closeEvent(QCloseEvent* event)
{
    if (merge_.running()) {
        merge_.stop();
        mergeFinished();
    }
    QDialog::closeEvent(event);
}

bool MergeDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == batchBox_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Enter only brings the button forward; the merge starts from the button.
            confirmButton_->setFocus();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void MergeDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void openMergeDialog(QWidget* parent)
{
    MergeDialog dialog(parent);
    dialog.exec();
}

#include "collect/collection_dialog.h"

#include "collect/input_block.h"
#include "platform/controls.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "platform/byte_length.h"
#include "store/store_client.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace {

const QString kTargetFolder = QStringLiteral("A:\\");
// The server's mode adds two rows of 500 twips to the path frame, and the dialog grows by them.
constexpr int kServerRows = 1000;
constexpr int kServerReportLines = 600;
constexpr int kWidth = 6120;
constexpr int kHeight = 5160;

bool isEnter(QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

CollectionDialog::CollectionDialog(StoreClient& store, QWidget* parent) : QDialog(parent), store_(store)
{
    setObjectName(QStringLiteral("frmdjsf"));
    setWindowTitle(QStringLiteral("收分"));
    setFont(Fonts::song(10.5));
    setFixedSize(Twips::toPixels(kWidth), Twips::toPixels(kHeight));
    buildControls();
    batchBox_->setFocus();
    connect(&network_, &NetworkCollection::finished, this, &CollectionDialog::runFinished);
    connect(&server_, &ServerCollection::finished, this, &CollectionDialog::runFinished);
}

void CollectionDialog::buildControls()
{
    QGroupBox* kinds =
        placeControl<QGroupBox>(this, "Frame1", Twips::rect(120, 60, 5880, 780), QStringLiteral("收分类别"));
    modeButtons_[0] = new QRadioButton(QStringLiteral("单机收分"), kinds);
    modeButtons_[1] = new QRadioButton(QStringLiteral("网络收分"), kinds);
    modeButtons_[2] = new QRadioButton(QStringLiteral("服务器收分"), kinds);
    for (int index = 0; index < kModes; ++index) {
        modeButtons_[index]->setObjectName(QStringLiteral("Option1_%1").arg(index));
        modeButtons_[index]->setGeometry(Twips::rect(360 + index * 1920, 330, 1680, 330));
    }
    modeButtons_[0]->setChecked(true);
    for (int index = 0; index < kModes; ++index) {
        connect(modeButtons_[index], &QRadioButton::toggled, this, [this, index](bool on) {
            if (on)
                modeChosen(index);
        });
    }

    QGroupBox* paths = pathFrame_ =
        placeControl<QGroupBox>(this, "Frame2", Twips::rect(120, 960, 5880, 1380), QStringLiteral("路径设置"));
    pathCaption_ =
        placeControl<QLabel>(paths, "Label1", Twips::rect(240, 380, 1200, 300), QStringLiteral("目标路径："));
    pathBox_ = new QLineEdit(kTargetFolder, paths);
    pathBox_->setObjectName(QStringLiteral("Text1"));
    pathBox_->setGeometry(Twips::rect(1440, 320, 2880, 380));
    pathBox_->setReadOnly(true);
    batchCaption_ =
        placeControl<QLabel>(paths, "Label3", Twips::rect(240, 880, 1200, 300), QStringLiteral("批 次 号："));
    batchBox_ = new QLineEdit(paths);
    batchBox_->setObjectName(QStringLiteral("Text2"));
    batchBox_->setGeometry(Twips::rect(1440, 820, 2880, 380));
    userCaption_ =
        placeControl<QLabel>(paths, "Label5", Twips::rect(240, 880, 1200, 300), QStringLiteral("用 户 名："));
    userBox_ = new QLineEdit(paths);
    userBox_->setObjectName(QStringLiteral("Text3"));
    userBox_->setGeometry(Twips::rect(1440, 820, 2880, 380));
    passwordCaption_ =
        placeControl<QLabel>(paths, "Label6", Twips::rect(240, 1380, 1200, 300), QStringLiteral("密    码："));
    passwordBox_ = new QLineEdit(paths);
    passwordBox_->setObjectName(QStringLiteral("Text4"));
    passwordBox_->setGeometry(Twips::rect(1440, 1320, 2880, 380));
    passwordBox_->setEchoMode(QLineEdit::Password);
    confirmButton_ = new QPushButton(QStringLiteral("确定"), paths);
    confirmButton_->setObjectName(QStringLiteral("Command1"));
    confirmButton_->setGeometry(Twips::rect(4560, 560, 1080, 480));
    connect(confirmButton_, &QPushButton::clicked, this, &CollectionDialog::runCollection);

    QGroupBox* info = infoFrame_ =
        placeControl<QGroupBox>(this, "Frame3", Twips::rect(120, 2460, 5880, 2580), QStringLiteral("收分信息"));
    progressLine_ = placeControl<QLabel>(info, "Label2", Twips::rect(240, 330, 5400, 1260), QString());
    resultLine_ = placeControl<QLabel>(info, "Label4", Twips::rect(240, 1620, 5400, 600), QString());
    for (QLabel* line : {progressLine_, resultLine_}) {
        line->setWordWrap(true);
        line->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    progressBar_ = new QProgressBar(info);
    progressBar_->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar_->setGeometry(Twips::rect(240, 2250, 5400, 210));
    progressBar_->setTextVisible(false);
    progressBar_->hide();

    // The batch box comes first in the tab order; the server's boxes follow the address.
    setTabOrder(batchBox_, pathBox_);
    setTabOrder(pathBox_, userBox_);
    setTabOrder(userBox_, passwordBox_);
    setTabOrder(passwordBox_, confirmButton_);
    setTabOrder(confirmButton_, modeButtons_[0]);
    setTabOrder(modeButtons_[0], modeButtons_[1]);
    setTabOrder(modeButtons_[1], modeButtons_[2]);
    for (QLineEdit* box : {pathBox_, batchBox_, userBox_, passwordBox_})
        box->installEventFilter(this);
    layOut(false);
}

void CollectionDialog::layOut(bool server)
{
    const int extra = server ? kServerRows : 0;
    // The server's report has up to two lines more (what was left out, and why).
    const int extraInfo = server ? kServerReportLines : 0;
    for (QWidget* control : {static_cast<QWidget*>(userCaption_), static_cast<QWidget*>(userBox_),
                             static_cast<QWidget*>(passwordCaption_), static_cast<QWidget*>(passwordBox_)})
        control->setVisible(server);
    pathFrame_->setGeometry(Twips::rect(120, 960, 5880, 1380 + extra));
    batchCaption_->setGeometry(Twips::rect(240, 880 + extra, 1200, 300));
    batchBox_->setGeometry(Twips::rect(1440, 820 + extra, 2880, 380));
    confirmButton_->setGeometry(Twips::rect(4560, 560 + extra / 2, 1080, 480));
    infoFrame_->setGeometry(Twips::rect(120, 2460 + extra, 5880, 2580 + extraInfo));
    progressLine_->setGeometry(Twips::rect(240, 330, 5400, 1260 + extraInfo));
    resultLine_->setGeometry(Twips::rect(240, 1620 + extraInfo, 5400, 600));
    progressBar_->setGeometry(Twips::rect(240, 2250 + extraInfo, 5400, 210));
    setFixedSize(Twips::toPixels(kWidth), Twips::toPixels(kHeight + extra + extraInfo));
}

void CollectionDialog::modeChosen(int index)
{
    layOut(index == 2);
    // The password is kept only while the server's mode is chosen.
    passwordBox_->clear();
    if (index == 2) {
        pathCaption_->setText(QStringLiteral("服 务 器："));
        pathBox_->clear();
        pathBox_->setReadOnly(false);
        pathBox_->setFocus();
    } else if (index == 0) {
        pathCaption_->setText(QStringLiteral("目标路径："));
        pathBox_->setText(kTargetFolder);
        pathBox_->setReadOnly(true);
        batchBox_->setFocus();
    } else {
        pathCaption_->setText(QStringLiteral("源 路 径："));
        pathBox_->clear();
        pathBox_->setReadOnly(false);
        pathBox_->setFocus();
    }
}

void CollectionDialog::runCollection()
{
    if (InputBlock::active() || running())
        return;
    const QString batch = trimSpaces(batchBox_->text());
    if (!ScoreCollection::batchAccepted(batch)) {
        MessageBoxes::show(this, QStringLiteral("收分对话框"), ScoreCollection::batchRefusal);
        return;
    }
    if (modeButtons_[2]->isChecked()) {
        runServerCollection(batch);
        return;
    }
    if (modeButtons_[0]->isChecked()) {
        InputBlock block;
        ScoreCollection collection(*this, store_);
        collection.collectSingle(trimSpaces(pathBox_->text()), batch);
        return;
    }
    // The readers work in child processes; the window goes on repainting and takes no
    // second start until the run has ended.
    focusBeforeRun_ = focusWidget();
    setControlsEnabled(false);
    progressBar_->setValue(0);
    network_.start(trimSpaces(pathBox_->text()), batch);
}

void CollectionDialog::runServerCollection(const QString& batch)
{
    const ServerLogin login{pathBox_->text(), userBox_->text(), passwordBox_->text()};
    const QString refusal = login.refusal();
    if (!refusal.isEmpty()) {
        MessageBoxes::show(this, QStringLiteral("收分对话框"), refusal);
        return;
    }
    focusBeforeRun_ = focusWidget();
    setControlsEnabled(false);
    server_.start(login, store_.appFolder(), batch);
}

void CollectionDialog::runFinished()
{
    progressBar_->hide();
    setControlsEnabled(true);
    if (focusBeforeRun_)
        focusBeforeRun_->setFocus();
}

void CollectionDialog::setControlsEnabled(bool enabled)
{
    for (QWidget* control :
         {static_cast<QWidget*>(modeButtons_[0]), static_cast<QWidget*>(modeButtons_[1]),
          static_cast<QWidget*>(modeButtons_[2]), static_cast<QWidget*>(pathBox_), static_cast<QWidget*>(batchBox_),
          static_cast<QWidget*>(userBox_), static_cast<QWidget*>(passwordBox_), static_cast<QWidget*>(confirmButton_)})
        control->setEnabled(enabled);
}

void CollectionDialog::closeEvent(QCloseEvent* event)
{
    if (running()) {
        network_.stop();
        server_.stop();
        runFinished();
    }
    QDialog::closeEvent(event);
}

bool CollectionDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (isEnter(event)) {
        // Enter runs the collection from the batch box and does nothing in the other boxes.
        if (watched == batchBox_)
            runCollection();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CollectionDialog::keyPressEvent(QKeyEvent* event)
{
    // The window closes by its close button only, as it always did.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CollectionDialog::setProgressLine(const QString& text)
{
    progressLine_->setText(text);
    // A single-machine run holds the window's thread: it paints its lines as it goes.
    if (InputBlock::active())
        InputBlock::refresh(progressLine_);
}

void CollectionDialog::setResultLine(const QString& text)
{
    resultLine_->setText(text);
    if (InputBlock::active())
        InputBlock::refresh(resultLine_);
}

void CollectionDialog::machineDone(int machine, int machinesFound)
{
    progressBar_->setRange(0, qMax(machinesFound, machine));
    progressBar_->setValue(machine);
    progressBar_->show();
}

void openCollectionDialog(QWidget* parent, StoreClient& store)
{
    CollectionDialog dialog(store, parent);
    dialog.exec();
}

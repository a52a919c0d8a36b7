#include "login/login_dialog.h"

#include "login/login_checks.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "platform/byte_length.h"
#include "store/store_client.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kClientWidth = 4290;
constexpr int kClientHeight = 3255;
constexpr int kCaptionLeft = 600;
constexpr int kCaptionWidth = 1200;
constexpr int kBoxLeft = 1800;
constexpr int kBoxWidth = 1575;
constexpr int kRowHeight = 375;
constexpr int kRowTops[4] = {240, 720, 1200, 1680};
constexpr int kBoxLimits[4] = {10, 12, 10, 10};

const QString kTitle = QStringLiteral("登录对话框");
// Password boxes show "*" for every character, whatever the style's own mask character is.
const QString kStarMask = QStringLiteral("QLineEdit { lineedit-password-character: 42; }");

} // namespace

LoginDialog::LoginDialog(LoginMode mode, StoreClient& store, const QString& currentSession, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      mode_(mode), store_(store), currentSession_(currentSession)
{
    setObjectName(QStringLiteral("frmdl"));
    setWindowTitle(QStringLiteral("登录窗口"));
    setModal(true);
    setFixedSize(Twips::toPixels(kClientWidth), Twips::toPixels(kClientHeight));
    buildControls();
    load();
}

void LoginDialog::buildControls()
{
    static const char* const designCaptions[4] = {"学  号：", "姓  名：", "", ""};
    for (int row = 0; row < 4; ++row) {
        auto* label = new QLabel(QString::fromUtf8(designCaptions[row]), this);
        label->setObjectName(QStringLiteral("Label1_%1").arg(row));
        label->setFont(Fonts::song(10.5));
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        labels_[row] = label;

        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("Text1_%1").arg(row));
        box->setFont(Fonts::song(10.5));
        box->setMaxLength(kBoxLimits[row]);
        box->setStyleSheet(kStarMask);
        box->installEventFilter(this);
        boxes_[row] = box;
        placeRow(row, kRowTops[row]);
    }

    button_ = new QPushButton(QStringLiteral("确定"), this);
    button_->setObjectName(QStringLiteral("Command1"));
    button_->setFont(Fonts::song(9));
    button_->setGeometry(Twips::rect(2400, 2400, 975, 255));
    connect(button_, &QPushButton::clicked, this, &LoginDialog::confirm);

    auto* credit = new QLabel(QStringLiteral("typelab 机房录入练习测试"), this);
    credit->setObjectName(QStringLiteral("Label1_4"));
    credit->setFont(Fonts::song(9));
    credit->setGeometry(Twips::rect(1080, 2760, 2175, 255));
    labels_[4] = credit;

    setTabOrder(boxes_[0], boxes_[1]);
    setTabOrder(boxes_[1], boxes_[2]);
    setTabOrder(boxes_[2], boxes_[3]);
    setTabOrder(boxes_[3], button_);
}

void LoginDialog::placeRow(int row, int top)
{
    labels_[row]->setGeometry(Twips::rect(kCaptionLeft, top, kCaptionWidth, kRowHeight));
    boxes_[row]->setGeometry(Twips::rect(kBoxLeft, top, kBoxWidth, kRowHeight));
}

void LoginDialog::load()
{
    switch (mode_) {
    case LoginMode::Practice:
        for (int row : {2, 3}) {
            labels_[row]->hide();
            boxes_[row]->hide();
        }
        placeRow(1, kRowTops[2]);
        break;
    case LoginMode::Test:
        labels_[2]->setText(QStringLiteral("批次号："));
        labels_[3]->hide();
        boxes_[3]->hide();
        break;
    case LoginMode::System:
        labels_[0]->setText(QStringLiteral("用户名："));
        labels_[1]->setText(QStringLiteral("密  码："));
        boxes_[1]->setEchoMode(QLineEdit::Password);
        for (int row : {2, 3}) {
            labels_[row]->hide();
            boxes_[row]->hide();
        }
        placeRow(1, kRowTops[2]);
        break;
    default:
        break;
    }
    boxes_[0]->setFocus();
}

bool LoginDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            for (int index = 0; index < 4; ++index) {
                if (watched == boxes_[index]) {
                    // Enter belongs to the box's own check; it never reaches the button.
                    enterPressed(index);
                    return true;
                }
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void LoginDialog::keyPressEvent(QKeyEvent* event)
{
    // Only the close box cancels; Esc does not close the dialog.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void LoginDialog::enterPressed(int boxIndex)
{
    const EnterOutcome outcome = LoginChecks::enterInBox(boxIndex, mode_, boxes_[boxIndex]->text());
    if (outcome.fault) {
        refuse(*outcome.fault);
        return;
    }
    switch (outcome.next) {
    case EnterStep::FocusNextBox:
        boxes_[boxIndex + 1]->setFocus();
        break;
    case EnterStep::Confirm:
        confirm();
        break;
    case EnterStep::Nothing:
        break;
    }
}

void LoginDialog::confirm()
{
    switch (mode_) {
    case LoginMode::Practice:
        confirmPractice();
        break;
    case LoginMode::Test:
        confirmTest();
        break;
    case LoginMode::System:
        confirmSystem();
        break;
    default:
        break;
    }
}

void LoginDialog::confirmPractice()
{
    if (const auto fault = LoginChecks::practiceFields(boxes_[0]->text(), boxes_[1]->text())) {
        refuse(*fault);
        return;
    }
    const LoginReply reply = store_.practiceLogin(boxes_[0]->text(), boxes_[1]->text());
    if (refusedByStore(reply, -1))
        return;
    logIn(LoginResult{true, reply.number, reply.name, QStringLiteral("练习登录"), QString(), reply.session});
}

void LoginDialog::confirmTest()
{
    if (const auto fault = LoginChecks::testFields(boxes_[0]->text(), boxes_[1]->text(), boxes_[2]->text())) {
        refuse(*fault);
        return;
    }
    // The store records the first login of the student in the batch; a later one needs the
    // second-login password, asked for in a row of its own. Nothing is reported to the window
    // before the store has opened the session.
    const bool passwordShown = !boxes_[3]->isHidden();
    const LoginReply reply =
        store_.testLogin(boxes_[0]->text(), boxes_[1]->text(), boxes_[2]->text(), boxes_[3]->text(), passwordShown);
    if (reply.status == StoreStatus::SecondPasswordNeeded) {
        // The school server names the machine another attempt was made on; the machine's own
        // record asks for the password without a word.
        if (!reply.message.isEmpty())
            MessageBoxes::show(this, QStringLiteral("登录对话框"), reply.message);
        showSecondLoginRow();
        return;
    }
    if (refusedByStore(reply, 3))
        return;
    logIn(LoginResult{true, reply.number, reply.name, reply.batch + QStringLiteral("测试登录  "), reply.batch,
                      reply.session});
}

void LoginDialog::showSecondLoginRow()
{
    labels_[3]->setText(QStringLiteral("密  码："));
    boxes_[3]->setEchoMode(QLineEdit::Password);
    labels_[3]->show();
    boxes_[3]->show();
    boxes_[3]->setFocus();
}

void LoginDialog::confirmSystem()
{
    if (const auto fault = LoginChecks::systemFields(boxes_[0]->text(), boxes_[1]->text())) {
        refuse(*fault);
        return;
    }
    const LoginReply reply = store_.systemLogin(boxes_[0]->text(), boxes_[1]->text(), currentSession_);
    if (refusedByStore(reply, 1))
        return;
    logIn(LoginResult{false, QString(), QString(), QString(), QString(), reply.session});
}

bool LoginDialog::refusedByStore(const StoreReply& reply, int passwordBox)
{
    switch (reply.status) {
    case StoreStatus::Ok:
        return false;
    case StoreStatus::WrongPassword:
    case StoreStatus::TooManyAttempts:
    case StoreStatus::Refused:
        if (passwordBox < 0)
            break;
        if (reply.status == StoreStatus::WrongPassword)
            refuseWrongPassword(passwordBox);
        else
            // The store says how long the account waits, right password or not; or, checked
            // there and not here first, what is wrong with the second-login password.
            refuse(LoginFault{reply.message, passwordBox, 10});
        return true;
    default:
        break;
    }
    message(reply.status == StoreStatus::Refused
                ? reply.message
                : QStringLiteral("无法登录：成绩数据库出错。\n%1").arg(storeProblem(reply)));
    return true;
}

void LoginDialog::refuse(const LoginFault& fault)
{
    message(fault.message);
    QLineEdit* box = boxes_[fault.box];
    if (fault.moveFocus)
        box->setFocus();
    if (fault.selectLength > 0)
        box->setSelection(0, fault.selectLength);
}

void LoginDialog::refuseWrongPassword(int boxIndex)
{
    message(QStringLiteral("密码有误！请重输。"));
    boxes_[boxIndex]->setFocus();
    boxes_[boxIndex]->setSelection(0, 10);
}

void LoginDialog::message(const QString& text)
{
    MessageBoxes::show(this, kTitle, text);
}

void LoginDialog::logIn(LoginResult result)
{
    emit loggedIn(result);
    accept();
}

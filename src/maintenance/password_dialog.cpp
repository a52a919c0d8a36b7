#include "maintenance/password_dialog.h"

#include "store/store_client.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "platform/byte_length.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

struct Variant {
    const char* objectName;
    const char* title;
    const char* refusal;
};

Variant variantOf(PasswordColumn column)
{
    if (column == PasswordColumn::SecondLogin)
        return {"frmxgecdlmm", "修改二次登录密码", "二次登录密码不能为空或超出10位!"};
    return {"frmxgyhmm", "修改用户登录密码", "用户登录密码不能为空或超出10位!"};
}

} // namespace

PasswordDialog::PasswordDialog(PasswordColumn column, StoreClient& store, const QString& session, QWidget* parent)
    : QDialog(parent), column_(column), store_(store), session_(session)
{
    const Variant variant = variantOf(column);
    setObjectName(QString::fromLatin1(variant.objectName));
    setWindowTitle(QString::fromUtf8(variant.title));
    setFont(Fonts::song(10.5));

    auto* oldCaption = new QLabel(QStringLiteral("旧密码："), this);
    oldCaption->setObjectName(QStringLiteral("Label2"));
    oldPassword_ = new QLineEdit(this);
    oldPassword_->setObjectName(QStringLiteral("Text2"));
    oldPassword_->setReadOnly(true);
    oldPassword_->setFocusPolicy(Qt::ClickFocus);

    auto* newCaption = new QLabel(QStringLiteral("新密码："), this);
    newCaption->setObjectName(QStringLiteral("Label1"));
    newPassword_ = new QLineEdit(this);
    newPassword_->setObjectName(QStringLiteral("Text1"));
    newPassword_->setEchoMode(QLineEdit::Password);
    newPassword_->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    newPassword_->setMaxLength(kMaxPasswordBytes);

    changeButton_ = new QPushButton(QStringLiteral("修改"), this);
    changeButton_->setObjectName(QStringLiteral("Command1"));
    changeButton_->setAutoDefault(false);
    changeButton_->setDefault(true);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("Label3"));
    status_->setWordWrap(true);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(Twips::toPixels(360), Twips::toPixels(360), Twips::toPixels(360), Twips::toPixels(240));
    layout->setVerticalSpacing(Twips::toPixels(180));
    layout->addWidget(oldCaption, 0, 0);
    layout->addWidget(oldPassword_, 0, 1);
    layout->addWidget(newCaption, 1, 0);
    layout->addWidget(newPassword_, 1, 1);
    layout->addWidget(changeButton_, 2, 1, Qt::AlignRight);
    layout->addWidget(status_, 3, 0, 1, 2);
    layout->setColumnMinimumWidth(1, Twips::toPixels(2400));

    // The new password comes first in the tab order.
    setTabOrder(newPassword_, changeButton_);
    newPassword_->setFocus();

    connect(changeButton_, &QPushButton::clicked, this, &PasswordDialog::change);
    load();
}

void PasswordDialog::load()
{
    const PasswordReply reply = store_.password(session_, column_);
    if (reply.status == StoreStatus::Refused)
        disableWith(reply.message);
    else if (!reply.ok())
        disableWith(QStringLiteral("无法读取密码：") + storeProblem(reply));
    else
        oldPassword_->setText(reply.password);
}

void PasswordDialog::change()
{
    const QString password = trimSpaces(newPassword_->text());
    if (password.isEmpty() || bytelen(password) > kMaxPasswordBytes) {
        MessageBoxes::show(this, QString(), QString::fromUtf8(variantOf(column_).refusal));
        newPassword_->setFocus();
        return;
    }
    const StoreReply reply = store_.setPassword(session_, column_, password);
    if (reply.status == StoreStatus::Refused) {
        disableWith(reply.message);
        return;
    }
    if (!reply.ok()) {
        // Nothing was stored; the dialog stays open for another try.
        MessageBoxes::show(this, QStringLiteral("提示对话框"), QStringLiteral("修改密码失败：") + storeProblem(reply));
        return;
    }
    status_->setText(QStringLiteral("修改成功！"));
    changeButton_->setEnabled(false);
}

void PasswordDialog::disableWith(const QString& problem)
{
    status_->setText(problem);
    changeButton_->setEnabled(false);
}

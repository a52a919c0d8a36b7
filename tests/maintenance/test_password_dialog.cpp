// The password dialogs: refusals, the trimmed password stored and shown on reopening, an
// empty system table and an unusable database.
#include "maintenance/password_dialog.h"
#include "maintenance_test_helpers.h"
#include "platform/message_box.h"
#include "support/test_support.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace MaintenanceTest;
Q_DECLARE_METATYPE(PasswordColumn)

class PasswordDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void init();
    void cleanup()
    {
        login_.reset();
        folder_.reset();
    }

    void opensWithTheStoredPassword_data();
    void opensWithTheStoredPassword();
    void refusesEmptyOrLongPasswords_data();
    void refusesEmptyOrLongPasswords();
    void storesTrimmedPassword_data();
    void storesTrimmedPassword();
    void emptySystemTableIsReported();
    void databaseErrorsAreReported();

private:
    std::unique_ptr<TestSupport::AppFolder> folder_;
    std::unique_ptr<TestSupport::SystemSession> login_;
};

void PasswordDialogTest::init()
{
    TestSupport::resetState();
    folder_ = std::make_unique<TestSupport::AppFolder>();
    login_ = std::make_unique<TestSupport::SystemSession>(folder_->path());
}

void PasswordDialogTest::opensWithTheStoredPassword_data()
{
    QTest::addColumn<PasswordColumn>("column");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shown");
    QTest::newRow("second login") << PasswordColumn::SecondLogin << "frmxgecdlmm"
                                  << "修改二次登录密码" << TestSupport::kSecondPassword;
    QTest::newRow("user") << PasswordColumn::User << "frmxgyhmm"
                          << "修改用户登录密码" << TestSupport::kUserPassword;
}

void PasswordDialogTest::opensWithTheStoredPassword()
{
    QFETCH(PasswordColumn, column);
    QFETCH(QString, name);
    QFETCH(QString, title);
    QFETCH(QString, shown);

    PasswordDialog dialog(column, *login_->store, login_->session);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.objectName(), name);
    QCOMPARE(dialog.windowTitle(), title);
    auto* oldBox = child<QLineEdit>(&dialog, "Text2");
    auto* newBox = child<QLineEdit>(&dialog, "Text1");
    QCOMPARE(oldBox->text(), shown);
    QVERIFY(oldBox->isReadOnly());
    QCOMPARE(oldBox->echoMode(), QLineEdit::Normal);
    QCOMPARE(newBox->echoMode(), QLineEdit::Password);
    QCOMPARE(QApplication::focusWidget(), newBox);
    QCOMPARE(child<QLabel>(&dialog, "Label2")->text(), QStringLiteral("旧密码："));
    QCOMPARE(child<QLabel>(&dialog, "Label1")->text(), QStringLiteral("新密码："));
    QCOMPARE(child<QPushButton>(&dialog, "Command1")->text(), QStringLiteral("修改"));
    QVERIFY(child<QLabel>(&dialog, "Label3")->text().isEmpty());
}

void PasswordDialogTest::refusesEmptyOrLongPasswords_data()
{
    QTest::addColumn<PasswordColumn>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    const QString second = QStringLiteral("二次登录密码不能为空或超出10位!");
    const QString user = QStringLiteral("用户登录密码不能为空或超出10位!");
    QTest::newRow("nothing") << PasswordColumn::SecondLogin << QString() << second;
    QTest::newRow("spaces only") << PasswordColumn::SecondLogin << QStringLiteral("     ") << second;
    QTest::newRow("six chinese, 12 bytes") << PasswordColumn::SecondLogin << QStringLiteral("六个汉字密码") << second;
    QTest::newRow("user, spaces only") << PasswordColumn::User << QStringLiteral("  ") << user;
    QTest::newRow("user, 11 bytes") << PasswordColumn::User << QStringLiteral("abcdefghi中") << user;
}

void PasswordDialogTest::refusesEmptyOrLongPasswords()
{
    QFETCH(PasswordColumn, column);
    QFETCH(QString, typed);
    QFETCH(QString, message);

    const SystemRow before = *folder_->store().systemRow();
    PasswordDialog dialog(column, *login_->store, login_->session);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto* newBox = child<QLineEdit>(&dialog, "Text1");
    typeText(newBox, typed);
    click(&dialog, "Command1");

    const auto shown = MessageBoxes::takeRecorded();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, QString());
    QCOMPARE(shown.first().text, message);
    QCOMPARE(QApplication::focusWidget(), newBox);
    QVERIFY(child<QPushButton>(&dialog, "Command1")->isEnabled());
    QVERIFY(child<QLabel>(&dialog, "Label3")->text().isEmpty());
    const SystemRow after = *folder_->store().systemRow();
    QCOMPARE(after.xsmm, before.xsmm);
    QCOMPARE(after.usermm, before.usermm);
}

void PasswordDialogTest::storesTrimmedPassword_data()
{
    QTest::addColumn<PasswordColumn>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("ten characters") << PasswordColumn::SecondLogin << "0123456789"
                                    << "0123456789";
    QTest::newRow("eleventh key ignored") << PasswordColumn::SecondLogin << "abcdefghijk"
                                          << "abcdefghij";
    QTest::newRow("surrounding spaces") << PasswordColumn::User << "  new pw  "
                                        << "new pw";
    QTest::newRow("five chinese") << PasswordColumn::User << "五个汉字啊"
                                  << "五个汉字啊";
}

void PasswordDialogTest::storesTrimmedPassword()
{
    QFETCH(PasswordColumn, column);
    QFETCH(QString, typed);
    QFETCH(QString, stored);

    {
        PasswordDialog dialog(column, *login_->store, login_->session);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        const QString oldShown = child<QLineEdit>(&dialog, "Text2")->text();
        typeText(child<QLineEdit>(&dialog, "Text1"), typed);
        click(&dialog, "Command1");
        QVERIFY(MessageBoxes::takeRecorded().isEmpty());
        QCOMPARE(child<QLabel>(&dialog, "Label3")->text(), QStringLiteral("修改成功！"));
        QVERIFY(!child<QPushButton>(&dialog, "Command1")->isEnabled());
        QCOMPARE(child<QLineEdit>(&dialog, "Text2")->text(), oldShown);
    }

    const SystemRow row = *folder_->store().systemRow();
    const bool second = column == PasswordColumn::SecondLogin;
    QCOMPARE(second ? row.xsmm : row.usermm, stored);
    // The other password stays as it was.
    QCOMPARE(second ? row.usermm : row.xsmm,
             QString::fromLatin1(second ? TestSupport::kUserPassword : TestSupport::kSecondPassword));

    PasswordDialog reopened(column, *login_->store, login_->session);
    QCOMPARE(child<QLineEdit>(&reopened, "Text2")->text(), stored);
    QVERIFY(child<QPushButton>(&reopened, "Command1")->isEnabled());
}

void PasswordDialogTest::emptySystemTableIsReported()
{
    GradeStoreInspector::database(folder_->store()).exec(QStringLiteral("DELETE FROM system"));
    PasswordDialog dialog(PasswordColumn::SecondLogin, *login_->store, login_->session);
    dialog.show();
    QVERIFY(child<QLineEdit>(&dialog, "Text2")->text().isEmpty());
    QVERIFY(child<QLabel>(&dialog, "Label3")->text().contains(QStringLiteral("没有记录")));
    QVERIFY(!child<QPushButton>(&dialog, "Command1")->isEnabled());
}

void PasswordDialogTest::databaseErrorsAreReported()
{
    // A database that goes bad while the dialog is open: the change is refused with a message.
    PasswordDialog dialog(PasswordColumn::User, *login_->store, login_->session);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QFile::remove(folder_->gradeDatabase());
    folder_->writeFile(QStringLiteral("data/stugrade.mdb"), QByteArray(4096, 'x'));
    typeText(child<QLineEdit>(&dialog, "Text1"), QStringLiteral("secret"));
    click(&dialog, "Command1");
    const auto shown = MessageBoxes::takeRecorded();
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first().text.startsWith(QStringLiteral("修改密码失败")));
    QVERIFY(shown.first().text.contains(QStringLiteral("stugrade.mdb")));
    QVERIFY(child<QLabel>(&dialog, "Label3")->text().isEmpty());

    // Opening on that database shows the problem instead of a password.
    PasswordDialog broken(PasswordColumn::SecondLogin, *login_->store, login_->session);
    QVERIFY(child<QLabel>(&broken, "Label3")->text().startsWith(QStringLiteral("无法读取密码")));
    QVERIFY(!child<QPushButton>(&broken, "Command1")->isEnabled());
}

QTEST_MAIN(PasswordDialogTest)
#include "test_password_dialog.moc"

// The login dialog driven as a user drives it: typed text, Enter, the button, the close box;
// then the messages, focus, selection, Status panel, login label, menus and recxh rows.

#include "login/login_dialog.h"

#include "grades/grade_store.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "shell/main_window.h"
#include "shell/program_state.h"
#include "shell/shared_routines.h"
#include "shell/status_panel.h"
#include "support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <memory>

namespace {

const QString kTitle = QStringLiteral("登录对话框");
const QDate kToday(2026, 3, 2);

struct RecxhRow {
    QString xh;
    QString lrpc;
    QString lrdate;
    bool operator==(const RecxhRow&) const = default;
};

} // namespace

class TestLoginDialog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layoutFollowsLoginMode_data();
    void layoutFollowsLoginMode();
    void confirmRefusesBadFields_data();
    void confirmRefusesBadFields();
    void enterChecksItsBox_data();
    void enterChecksItsBox();
    void practiceLoginWritesTrimmedStudent_data();
    void practiceLoginWritesTrimmedStudent();
    void testLoginOncePerBatch();
    void anotherBatchLogsInDirectly();
    void batchLookUpIgnoresCase();
    void quotesAreOrdinaryText();
    void systemLoginLeavesStudentShown();
    void closingCancels();
    void databaseErrorWritesNothing_data();
    void databaseErrorWritesNothing();
    void menuItemOpensModalDialog();

private:
    LoginDialog* openDialog(int loginMode);
    QLineEdit* box(int index) const;
    QLabel* caption(int index) const;
    QPushButton* button() const;
    void type(int boxIndex, const QString& text);
    void clickConfirm();
    void pressEnter(int boxIndex);
    // The messages shown since the last call; every one must carry the dialog's title.
    QStringList messages();
    QList<RecxhRow> recxhRows() const;
    bool menuEnabled(const char* name) const;
    void logInForTest(const QString& number, const QString& name, const QString& batch);

    std::unique_ptr<TestSupport::AppFolder> folder_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<LoginDialog> dialog_;
};

void TestLoginDialog::initTestCase()
{
    TestSupport::prepareApplication();
}

void TestLoginDialog::init()
{
    TestSupport::resetState();
    Clock::setFixed(QDateTime(kToday, QTime(8, 30)));
    folder_ = std::make_unique<TestSupport::AppFolder>();
    programState().appFolder = folder_->path();
    window_ = std::make_unique<MainWindow>();
    // As after the start sequence: nobody logged in.
    setmenus(*window_);
    window_->menuItem("ywlr")->setEnabled(false);
    window_->menuItem("zwlr")->setEnabled(false);
    MessageBoxes::takeRecorded();
}

void TestLoginDialog::cleanup()
{
    dialog_.reset();
    window_.reset();
    folder_.reset();
}

LoginDialog* TestLoginDialog::openDialog(int loginMode)
{
    // What the login menu items do, with a dialog that does not block the test.
    programState().loginMode = quint8(loginMode);
    dialog_.reset();
    dialog_ = std::make_unique<LoginDialog>(*window_);
    dialog_->open();
    return dialog_.get();
}

QLineEdit* TestLoginDialog::box(int index) const
{
    auto* found = dialog_->findChild<QLineEdit*>(QStringLiteral("Text1_%1").arg(index));
    Q_ASSERT(found);
    return found;
}

QLabel* TestLoginDialog::caption(int index) const
{
    auto* found = dialog_->findChild<QLabel*>(QStringLiteral("Label1_%1").arg(index));
    Q_ASSERT(found);
    return found;
}

QPushButton* TestLoginDialog::button() const
{
    auto* found = dialog_->findChild<QPushButton*>(QStringLiteral("Command1"));
    Q_ASSERT(found);
    return found;
}

void TestLoginDialog::type(int boxIndex, const QString& text)
{
    QLineEdit* target = box(boxIndex);
    for (QChar ch : text) {
        if (ch.unicode() < 0x80)
            QTest::keyClick(target, char(ch.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

void TestLoginDialog::clickConfirm()
{
    button()->setFocus();
    QTest::mouseClick(button(), Qt::LeftButton);
}

void TestLoginDialog::pressEnter(int boxIndex)
{
    QTest::keyClick(box(boxIndex), Qt::Key_Return);
}

QStringList TestLoginDialog::messages()
{
    QStringList texts;
    for (const MessageBoxes::Shown& shown : MessageBoxes::takeRecorded()) {
        if (shown.title != kTitle)
            qWarning("message titled %s", qPrintable(shown.title));
        texts << (shown.title == kTitle ? shown.text : QStringLiteral("[wrong title] ") + shown.text);
    }
    return texts;
}

QList<RecxhRow> TestLoginDialog::recxhRows() const
{
    GradeStore store = folder_->store();
    Statement select = store.database().prepare(
        QStringLiteral("SELECT xh, lrpc, lrdate FROM recxh ORDER BY rowid"));
    QList<RecxhRow> rows;
    while (select.step())
        rows.append({select.text(0), select.text(1), select.text(2)});
    return rows;
}

bool TestLoginDialog::menuEnabled(const char* name) const
{
    if (QMenu* menu = window_->topMenu(name))
        return menu->menuAction()->isEnabled();
    return window_->menuItem(name)->isEnabled();
}

void TestLoginDialog::logInForTest(const QString& number, const QString& name, const QString& batch)
{
    openDialog(2);
    type(0, number);
    type(1, name);
    type(2, batch);
    clickConfirm();
}

// ------------------------------------------------------------------------------ layout

void TestLoginDialog::layoutFollowsLoginMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QList<bool>>("rowsShown");
    QTest::addColumn<int>("nameRowTop");
    QTest::addColumn<bool>("box1Masked");

    QTest::newRow("practice") << 1 << QStringList{"学  号：", "姓  名：", "", ""}
                              << QList<bool>{true, true, false, false} << 1200 << false;
    QTest::newRow("test") << 2 << QStringList{"学  号：", "姓  名：", "批次号：", ""}
                          << QList<bool>{true, true, true, false} << 720 << false;
    QTest::newRow("system") << 3 << QStringList{"用户名：", "密  码：", "", ""}
                            << QList<bool>{true, true, false, false} << 1200 << true;
}

void TestLoginDialog::layoutFollowsLoginMode()
{
    QFETCH(int, mode);
    QFETCH(QStringList, captions);
    QFETCH(QList<bool>, rowsShown);
    QFETCH(int, nameRowTop);
    QFETCH(bool, box1Masked);

    programState().batchNumber = QStringLiteral("B7");
    programState().doubleByte = true;
    LoginDialog* dialog = openDialog(mode);
    QCOMPARE(dialog->objectName(), QStringLiteral("frmdl"));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("登录窗口"));
    QVERIFY(dialog->isModal());
    QCOMPARE(dialog->size(), QSize(Twips::toPixels(4290), Twips::toPixels(3255)));
    QVERIFY(programState().batchNumber.isEmpty());
    QVERIFY(!programState().doubleByte);

    const int tops[4] = {240, nameRowTop, 1200, 1680};
    const int limits[4] = {10, 12, 10, 10};
    for (int row = 0; row < 4; ++row) {
        QCOMPARE(caption(row)->text(), captions[row]);
        QCOMPARE(caption(row)->isVisible(), rowsShown[row]);
        QCOMPARE(box(row)->isVisible(), rowsShown[row]);
        QCOMPARE(box(row)->maxLength(), limits[row]);
        QCOMPARE(box(row)->font().pointSizeF(), 10.5);
        if (rowsShown[row]) {
            QCOMPARE(box(row)->geometry(), Twips::rect(1800, tops[row], 1575, 375));
            QCOMPARE(caption(row)->x(), Twips::toPixels(600));
            QCOMPARE(caption(row)->y(), Twips::toPixels(tops[row]));
            // Typing past the input limit adds nothing: eleven characters leave ten.
            type(row, QString(limits[row] + 1, u'7'));
            QCOMPARE(box(row)->text(), QString(limits[row], u'7'));
        }
    }
    QCOMPARE(box(1)->echoMode(), box1Masked ? QLineEdit::Password : QLineEdit::Normal);
    QCOMPARE(box(0)->echoMode(), QLineEdit::Normal);

    QCOMPARE(button()->text(), QStringLiteral("确定"));
    QCOMPARE(button()->geometry(), Twips::rect(2400, 2400, 975, 255));
    QCOMPARE(caption(4)->geometry().topLeft(), Twips::rect(1080, 2760, 2175, 255).topLeft());
    QCOMPARE(caption(4)->width(), Twips::toPixels(2175));
    QVERIFY(!caption(4)->text().isEmpty());
    QVERIFY(!caption(4)->text().contains(u'\n'));
    QVERIFY(caption(4)->geometry().bottom() < dialog->height());

    // Keyboard order: Tab walks the shown boxes top to bottom, then the button.
    QCOMPARE(dialog->focusWidget(), box(0));
    QList<QWidget*> expectedOrder;
    for (int row = 1; row < 4; ++row) {
        if (rowsShown[row])
            expectedOrder << box(row);
    }
    expectedOrder << button() << box(0);
    for (QWidget* expected : expectedOrder) {
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
        QCOMPARE(dialog->focusWidget(), expected);
    }
    QVERIFY(messages().isEmpty());
}

// ------------------------------------------------------------------------- refusals

void TestLoginDialog::confirmRefusesBadFields_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("batch");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("faultBox");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<bool>("focusMoves");

    const QString numberMsg = QStringLiteral("学号不能为空或者不能超过10位！");
    const QString nameMsg = QStringLiteral("姓名不能为空或大于12位！");
    const QString testNumberMsg = QStringLiteral("学号不为10位或有中文字符！");
    const QString batchMsg = QStringLiteral("批次号不能为全角字符、不能为空或超过10位！");
    const QString wrongPassword = QStringLiteral("密码有误！请重输。");

    QTest::newRow("practice number of 11 bytes") << 1 << "123456789中" << "张三" << "" << numberMsg << 0 << "123456789中" << true;
    QTest::newRow("practice number of spaces") << 1 << "   " << "张三" << "" << numberMsg << 0 << "   " << true;
    QTest::newRow("practice name of 7 Chinese") << 1 << "2024001" << "一二三四五六七" << "" << nameMsg << 1 << "一二三四五六七" << true;
    QTest::newRow("practice name empty") << 1 << "2024001" << "" << "" << nameMsg << 1 << "" << true;
    QTest::newRow("test number of 9") << 2 << "123456789" << "张三" << "B1" << testNumberMsg << 0 << "123456789" << false;
    QTest::newRow("test number of 5 Chinese") << 2 << "一二三四五" << "张三" << "B1" << testNumberMsg << 0 << "一二三四五" << false;
    QTest::newRow("test number empty") << 2 << "" << "张三" << "B1" << testNumberMsg << 0 << "" << false;
    QTest::newRow("test name of 7 Chinese") << 2 << "2024000001" << "一二三四五六七" << "B1" << nameMsg << 1 << "一二三四五六七" << true;
    QTest::newRow("test batch empty") << 2 << "2024000001" << "张三" << "  " << batchMsg << 2 << "  " << true;
    QTest::newRow("test batch Chinese") << 2 << "2024000001" << "张三" << "第一批" << batchMsg << 2 << "第一批" << true;
    QTest::newRow("test batch of 11 bytes") << 2 << "2024000001" << "张三" << "ABCDEFGHI批" << batchMsg << 2 << "ABCDEFGHI批" << true;
    QTest::newRow("system user empty") << 3 << " " << "admin123" << "" << QStringLiteral("用户名不能为空或超过10位！") << 0 << " " << true;
    QTest::newRow("system password of 12") << 3 << "admin" << "abcdefghijkl" << "" << QStringLiteral("密码不能超过10位！") << 1 << "abcdefghij" << true;
    QTest::newRow("system password Chinese 12 bytes") << 3 << "admin" << "一二三四五六" << "" << QStringLiteral("密码不能超过10位！") << 1 << "一二三四五六" << true;
    QTest::newRow("system wrong password") << 3 << "admin" << "admin12" << "" << wrongPassword << 1 << "admin12" << true;
    QTest::newRow("system quote in password") << 3 << "admin" << "'or'1'='1" << "" << wrongPassword << 1 << "'or'1'='1" << true;
    QTest::newRow("system quote in user") << 3 << "admin'--" << "x" << "" << wrongPassword << 1 << "x" << true;
}

void TestLoginDialog::confirmRefusesBadFields()
{
    QFETCH(int, mode);
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, batch);
    QFETCH(QString, message);
    QFETCH(int, faultBox);
    QFETCH(QString, selected);
    QFETCH(bool, focusMoves);

    window_->statusPanel()->setValue(StatusPanel::StudentNumber, QStringLiteral("before"));
    LoginDialog* dialog = openDialog(mode);
    type(0, first);
    type(1, second);
    if (mode == 2)
        type(2, batch);
    clickConfirm();

    QCOMPARE(messages(), QStringList{message});
    QVERIFY(dialog->isVisible());
    QCOMPARE(box(faultBox)->selectionStart(), selected.isEmpty() ? -1 : 0);
    QCOMPARE(box(faultBox)->selectedText(), selected);
    QCOMPARE(dialog->focusWidget(), focusMoves ? static_cast<QWidget*>(box(faultBox)) : button());
    // Nothing of a login was written.
    QCOMPARE(window_->statusPanel()->value(StatusPanel::StudentNumber), QStringLiteral("before"));
    QVERIFY(!menuEnabled("lrxm"));
    QVERIFY(!menuEnabled("xtwh"));
    QVERIFY(!menuEnabled("ywlr"));
    QVERIFY(window_->loginLabel()->text().isEmpty());
    QVERIFY(programState().batchNumber.isEmpty());
    QVERIFY(recxhRows().isEmpty());
}

// ------------------------------------------------------------------------------ Enter

void TestLoginDialog::enterChecksItsBox_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("enterBox");
    QTest::addColumn<QString>("message");   // empty: none
    QTest::addColumn<int>("focusBox");      // -1: logged in, the dialog closed
    QTest::addColumn<QString>("selected");  // in the focus box

    const QString testNumberMsg = QStringLiteral("学号不为10位或有中文字符！");
    const QString nameMsg = QStringLiteral("姓名不能为空且不能大于12位！");

    QTest::newRow("test number of 3") << 2 << QStringList{"123", "", ""} << 0 << testNumberMsg << 0 << "123";
    QTest::newRow("test number with Chinese") << 2 << QStringList{"12345678中", "", ""} << 0 << testNumberMsg << 0 << "12345678中";
    QTest::newRow("test number good") << 2 << QStringList{"2024000001", "", ""} << 0 << "" << 1 << "";
    QTest::newRow("practice number empty") << 1 << QStringList{"", ""} << 0 << QStringLiteral("学号不能为空且不能超过10位！") << 0 << "";
    QTest::newRow("practice number of 11 bytes") << 1 << QStringList{"123456789中", ""} << 0 << QStringLiteral("学号不能为空且不能超过10位！") << 0 << "123456789中";
    QTest::newRow("practice number good") << 1 << QStringList{"一二三四五", ""} << 0 << "" << 1 << "";
    QTest::newRow("system user of spaces") << 3 << QStringList{"   ", ""} << 0 << QStringLiteral("用户名不能为空且不能超过10位！") << 0 << "   ";
    QTest::newRow("practice name empty") << 1 << QStringList{"1", " "} << 1 << nameMsg << 1 << " ";
    QTest::newRow("test name of 7 Chinese") << 2 << QStringList{"1", "一二三四五六七", ""} << 1 << nameMsg << 1 << "一二三四五六七";
    QTest::newRow("practice name logs in") << 1 << QStringList{"1", "一二三四五六"} << 1 << "" << -1 << "";
    QTest::newRow("practice name runs the whole confirm") << 1 << QStringList{"", "张三"} << 1 << QStringLiteral("学号不能为空或者不能超过10位！") << 0 << "";
    QTest::newRow("test name moves on") << 2 << QStringList{"1", "张三", ""} << 1 << "" << 2 << "";
    QTest::newRow("system password of 11") << 3 << QStringList{"admin", "abcdefghijk"} << 1 << QStringLiteral("密码不能超过10位！") << 1 << "abcdefghij";
    QTest::newRow("system password logs in") << 3 << QStringList{"admin", "admin123"} << 1 << "" << -1 << "";
    QTest::newRow("batch of spaces") << 2 << QStringList{"2024000001", "张三", "  "} << 2 << QStringLiteral("批次号不能为空！") << 2 << "";
    QTest::newRow("batch Chinese") << 2 << QStringList{"2024000001", "张三", "批1"} << 2 << QStringLiteral("批次号超过10位或有中文字符！") << 2 << "批1";
    QTest::newRow("batch runs the whole confirm") << 2 << QStringList{"202400001", "张三", "B1"} << 2 << testNumberMsg << 2 << "";
    QTest::newRow("batch logs in") << 2 << QStringList{"2024000001", "张三", "B1"} << 2 << "" << -1 << "";
}

void TestLoginDialog::enterChecksItsBox()
{
    QFETCH(int, mode);
    QFETCH(QStringList, texts);
    QFETCH(int, enterBox);
    QFETCH(QString, message);
    QFETCH(int, focusBox);
    QFETCH(QString, selected);

    LoginDialog* dialog = openDialog(mode);
    for (int index = 0; index < texts.size(); ++index)
        type(index, texts[index]);
    box(enterBox)->setFocus();
    pressEnter(enterBox);

    QCOMPARE(messages(), message.isEmpty() ? QStringList{} : QStringList{message});
    if (focusBox < 0) {
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QVERIFY(menuEnabled("ywlr"));
        return;
    }
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->focusWidget(), box(focusBox));
    QCOMPARE(box(focusBox)->selectedText(), selected);
    QVERIFY(!menuEnabled("lrxm"));
}

// ------------------------------------------------------------------------- logins

void TestLoginDialog::practiceLoginWritesTrimmedStudent_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shownNumber");
    QTest::addColumn<QString>("shownName");

    QTest::newRow("plain") << "2024001" << "张三" << "2024001" << "张三";
    QTest::newRow("spaces around") << "  2024001 " << " 张三  " << "2024001" << "张三";
    QTest::newRow("5 and 6 Chinese") << "一二三四五" << "一二三四五六" << "一二三四五" << "一二三四五六";
}

void TestLoginDialog::practiceLoginWritesTrimmedStudent()
{
    QFETCH(QString, number);
    QFETCH(QString, name);
    QFETCH(QString, shownNumber);
    QFETCH(QString, shownName);

    LoginDialog* dialog = openDialog(1);
    type(0, number);
    type(1, name);
    clickConfirm();

    QVERIFY(messages().isEmpty());
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(window_->statusPanel()->value(StatusPanel::StudentNumber), shownNumber);
    QCOMPARE(window_->statusPanel()->value(StatusPanel::Name), shownName);
    QCOMPARE(window_->loginLabel()->text(), QStringLiteral("练习登录"));
    QCOMPARE(window_->loginLabel()->pos(), QPoint(Twips::toPixels(10000), Twips::toPixels(100)));
    QVERIFY(menuEnabled("lrxm"));
    QVERIFY(!menuEnabled("xtwh"));
    QVERIFY(menuEnabled("ywlr"));
    QVERIFY(menuEnabled("zwlr"));
    QVERIFY(programState().batchNumber.isEmpty());
    QVERIFY(recxhRows().isEmpty());
}

void TestLoginDialog::testLoginOncePerBatch()
{
    logInForTest(QStringLiteral("2024000001"), QStringLiteral("李四"), QStringLiteral(" B1 "));
    QVERIFY(messages().isEmpty());
    QCOMPARE(dialog_->result(), int(QDialog::Accepted));
    QCOMPARE(programState().batchNumber, QStringLiteral("B1"));
    QCOMPARE(window_->loginLabel()->text(), QStringLiteral("B1测试登录  "));
    QCOMPARE(window_->loginLabel()->pos(), QPoint(Twips::toPixels(10000), Twips::toPixels(100)));
    QCOMPARE(window_->statusPanel()->value(StatusPanel::StudentNumber), QStringLiteral("2024000001"));
    QCOMPARE(window_->statusPanel()->value(StatusPanel::Name), QStringLiteral("李四"));
    QVERIFY(menuEnabled("lrxm") && menuEnabled("ywlr") && menuEnabled("zwlr"));
    QVERIFY(!menuEnabled("xtwh"));
    const QList<RecxhRow> firstRow{{"2024000001", "B1", "2026-03-02"}};
    QCOMPARE(recxhRows(), firstRow);

    // The same student again in the same batch: the password row appears, without a message.
    window_->menuItem("ywlr")->setEnabled(false);   // as after the English exercise
    Clock::setFixed(QDateTime(kToday.addDays(1), QTime(9, 0)));
    logInForTest(QStringLiteral("2024000001"), QStringLiteral("李四"), QStringLiteral("B1"));
    QVERIFY(messages().isEmpty());
    QVERIFY(dialog_->isVisible());
    QVERIFY(box(3)->isVisible());
    QVERIFY(caption(3)->isVisible());
    QCOMPARE(caption(3)->text(), QStringLiteral("密  码："));
    QCOMPARE(box(3)->echoMode(), QLineEdit::Password);
    QCOMPARE(dialog_->focusWidget(), box(3));
    QVERIFY(programState().batchNumber.isEmpty());
    QVERIFY(!menuEnabled("ywlr"));

    // Chinese in the password box is refused by Enter before any look-up.
    type(3, QStringLiteral("密码"));
    pressEnter(3);
    QCOMPARE(messages(), QStringList{QStringLiteral("密码超过10位或有中文字符！")});
    QCOMPARE(box(3)->selectedText(), QStringLiteral("密码"));
    box(3)->clear();

    // The button checks only the length: twelve bytes are too many, four are a wrong password.
    type(3, QStringLiteral("一二三四五六"));
    clickConfirm();
    QCOMPARE(messages(), QStringList{QStringLiteral("密码不能超过10位！")});
    QCOMPARE(dialog_->focusWidget(), box(3));
    box(3)->clear();

    type(3, QStringLiteral("nope"));
    pressEnter(3);
    QCOMPARE(messages(), QStringList{QStringLiteral("密码有误！请重输。")});
    QVERIFY(dialog_->isVisible());
    QCOMPARE(dialog_->focusWidget(), box(3));
    QCOMPARE(box(3)->selectedText(), QStringLiteral("nope"));
    QVERIFY(programState().batchNumber.isEmpty());

    box(3)->clear();
    type(3, QStringLiteral(" AGAIN "));
    pressEnter(3);
    QVERIFY(messages().isEmpty());
    QCOMPARE(dialog_->result(), int(QDialog::Accepted));
    QCOMPARE(programState().batchNumber, QStringLiteral("B1"));
    QCOMPARE(window_->loginLabel()->text(), QStringLiteral("B1测试登录  "));
    QVERIFY(menuEnabled("ywlr"));
    QCOMPARE(recxhRows(), firstRow);
}

void TestLoginDialog::anotherBatchLogsInDirectly()
{
    folder_->store().addTestLogin(QStringLiteral("2024000001"), QStringLiteral("B1"), kToday);
    logInForTest(QStringLiteral("2024000001"), QStringLiteral("李四"), QStringLiteral("B2"));
    QVERIFY(messages().isEmpty());
    QCOMPARE(dialog_->result(), int(QDialog::Accepted));
    QCOMPARE(programState().batchNumber, QStringLiteral("B2"));
    QCOMPARE(recxhRows(), (QList<RecxhRow>{{"2024000001", "B1", "2026-03-02"},
                                           {"2024000001", "B2", "2026-03-02"}}));
}

void TestLoginDialog::batchLookUpIgnoresCase()
{
    folder_->store().addTestLogin(QStringLiteral("2024000001"), QStringLiteral("B1"), kToday);
    logInForTest(QStringLiteral("2024000001"), QStringLiteral("李四"), QStringLiteral("b1"));
    QVERIFY(messages().isEmpty());
    QVERIFY(dialog_->isVisible());
    QVERIFY(box(3)->isVisible());
    QCOMPARE(recxhRows().size(), 1);
}

void TestLoginDialog::quotesAreOrdinaryText()
{
    // Another student's row in the batch must not make a quoted number look known.
    folder_->store().addTestLogin(QStringLiteral("2024000002"), QStringLiteral("B1"), kToday);
    const QString quoted = QStringLiteral("' or '1'='");
    logInForTest(quoted, QStringLiteral("O'Neil"), QStringLiteral("B'1"));
    QVERIFY(messages().isEmpty());
    QCOMPARE(dialog_->result(), int(QDialog::Accepted));
    QCOMPARE(window_->statusPanel()->value(StatusPanel::StudentNumber), quoted);
    QCOMPARE(window_->statusPanel()->value(StatusPanel::Name), QStringLiteral("O'Neil"));
    QCOMPARE(programState().batchNumber, QStringLiteral("B'1"));
    QCOMPARE(recxhRows().last(), (RecxhRow{quoted, "B'1", "2026-03-02"}));

    // Again in that batch: a quoted password that would match every row in a spliced
    // statement is just a wrong password.
    logInForTest(quoted, QStringLiteral("O'Neil"), QStringLiteral("B'1"));
    QVERIFY(box(3)->isVisible());
    type(3, QStringLiteral("x'or'1'='1"));
    pressEnter(3);
    QCOMPARE(messages(), QStringList{QStringLiteral("密码有误！请重输。")});
    QVERIFY(dialog_->isVisible());
    QCOMPARE(recxhRows().size(), 2);
}

void TestLoginDialog::systemLoginLeavesStudentShown()
{
    logInForTest(QStringLiteral("2024000001"), QStringLiteral("李四"), QStringLiteral("B1"));
    QCOMPARE(dialog_->result(), int(QDialog::Accepted));
    window_->menuItem("ywlr")->setEnabled(false);
    window_->menuItem("zwlr")->setEnabled(false);

    LoginDialog* dialog = openDialog(3);
    type(0, QStringLiteral("Admin"));
    type(1, QStringLiteral("admin123"));
    clickConfirm();
    QVERIFY(messages().isEmpty());
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QVERIFY(menuEnabled("xtwh"));
    QVERIFY(menuEnabled("lrxm") && menuEnabled("ywlr") && menuEnabled("zwlr"));
    QCOMPARE(window_->statusPanel()->value(StatusPanel::StudentNumber), QStringLiteral("2024000001"));
    QCOMPARE(window_->statusPanel()->value(StatusPanel::Name), QStringLiteral("李四"));
    QCOMPARE(window_->loginLabel()->text(), QStringLiteral("B1测试登录  "));
    // The dialog's load emptied the Batch number; a system login does not set it.
    QVERIFY(programState().batchNumber.isEmpty());

    // A practice login afterwards closes the maintenance menu again.
    openDialog(1);
    type(0, QStringLiteral("7"));
    type(1, QStringLiteral("王五"));
    pressEnter(1);
    QVERIFY(!menuEnabled("xtwh"));
    QCOMPARE(window_->loginLabel()->text(), QStringLiteral("练习登录"));
}

void TestLoginDialog::closingCancels()
{
    logInForTest(QStringLiteral("2024000001"), QStringLiteral("李四"), QStringLiteral("B1"));
    QCOMPARE(programState().batchNumber, QStringLiteral("B1"));
    window_->menuItem("zwlr")->setEnabled(false);

    LoginDialog* dialog = openDialog(3);
    type(0, QStringLiteral("admin"));
    type(1, QStringLiteral("admin123"));
    // Esc is not a way out; only the close box is.
    QTest::keyClick(dialog, Qt::Key_Escape);
    QVERIFY(dialog->isVisible());
    dialog->close();

    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QVERIFY(messages().isEmpty());
    QCOMPARE(programState().loginMode, quint8(3));
    QVERIFY(programState().batchNumber.isEmpty());
    QVERIFY(!menuEnabled("xtwh"));
    QVERIFY(!menuEnabled("zwlr"));
    QCOMPARE(window_->statusPanel()->value(StatusPanel::StudentNumber), QStringLiteral("2024000001"));
    QCOMPARE(window_->loginLabel()->text(), QStringLiteral("B1测试登录  "));
    QCOMPARE(recxhRows().size(), 1);
}

// ------------------------------------------------------------------- database errors

void TestLoginDialog::databaseErrorWritesNothing_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("removeFile");   // else the file is overwritten with foreign bytes

    QTest::newRow("test, file removed") << 2 << true;
    QTest::newRow("test, not a grade database") << 2 << false;
    QTest::newRow("system, file removed") << 3 << true;
    QTest::newRow("system, not a grade database") << 3 << false;
}

void TestLoginDialog::databaseErrorWritesNothing()
{
    QFETCH(int, mode);
    QFETCH(bool, removeFile);

    const QString path = folder_->gradeDatabase();
    const QString saved = folder_->file(QStringLiteral("saved.mdb"));
    QVERIFY(QFile::copy(path, saved));
    QVERIFY(QFile::remove(path));
    if (!removeFile) {
        QFile foreign(path);
        QVERIFY(foreign.open(QIODevice::WriteOnly));
        foreign.write(QByteArray(4096, 'x'));
    }

    LoginDialog* dialog = openDialog(mode);
    type(0, mode == 2 ? QStringLiteral("2024000001") : QStringLiteral("admin"));
    type(1, mode == 2 ? QStringLiteral("李四") : QStringLiteral("admin123"));
    if (mode == 2)
        type(2, QStringLiteral("B1"));
    clickConfirm();

    const QStringList shown = messages();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].contains(QStringLiteral("stugrade.mdb")), qPrintable(shown[0]));
    QVERIFY2(!shown[0].startsWith(QStringLiteral("[wrong title]")), qPrintable(shown[0]));
    QVERIFY(dialog->isVisible());
    QVERIFY(!menuEnabled("lrxm") && !menuEnabled("xtwh") && !menuEnabled("ywlr"));
    QVERIFY(window_->statusPanel()->value(StatusPanel::StudentNumber).isEmpty());
    QVERIFY(window_->loginLabel()->text().isEmpty());
    QVERIFY(programState().batchNumber.isEmpty());

    // Once the file is back the same dialog logs in.
    QFile::remove(path);
    QVERIFY(QFile::copy(saved, path));
    clickConfirm();
    QVERIFY(messages().isEmpty());
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QVERIFY(menuEnabled("lrxm"));
}

// ------------------------------------------------------------------------- the program

void TestLoginDialog::menuItemOpensModalDialog()
{
    // " 测试登录 " sets the Login mode and blocks in a modal frmdl until it is answered.
    bool answered = false;
    QTimer::singleShot(0, this, [&answered] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal);
        QCOMPARE(modal->objectName(), QStringLiteral("frmdl"));
        QVERIFY(modal->findChild<QLineEdit*>(QStringLiteral("Text1_2"))->isVisible());
        modal->findChild<QLineEdit*>(QStringLiteral("Text1_0"))->setText(QStringLiteral("2024000009"));
        modal->findChild<QLineEdit*>(QStringLiteral("Text1_1"))->setText(QStringLiteral("赵六"));
        modal->findChild<QLineEdit*>(QStringLiteral("Text1_2"))->setText(QStringLiteral("C3"));
        QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        answered = true;
    });
    window_->menuItem("csdl")->trigger();

    QVERIFY(answered);
    QCOMPARE(programState().loginMode, quint8(2));
    QCOMPARE(window_->loginLabel()->text(), QStringLiteral("C3测试登录  "));
    QCOMPARE(recxhRows(), (QList<RecxhRow>{{"2024000009", "C3", "2026-03-02"}}));
    // The dialog was made for this opening only.
    QVERIFY(!window_->findChild<LoginDialog*>());
}

QTEST_MAIN(TestLoginDialog)
#include "test_login_dialog.moc"

// The login dialog driven as a user drives it: typed text, Enter, the button, the close box;
// then the messages, focus, selection, Status panel, login label, menus and recxh rows.

#include "login/login_dialog.h"

#include "grades/grade_store.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "shell/main_window.h"
#include "exercise/status_panel.h"
#include "support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

const QString kTitle = QStringLiteral("登录对话框");
const QDate kToday(2026, 3, 2);
const QString kWrongPassword = QStringLiteral("密码有误！请重输。");

struct RecxhRow {
    QString xh;
    QString lrpc;
    QString lrdate;
    bool operator==(const RecxhRow&) const = default;
};

const RecxhRow kFirstRow{"2024000001", "B1", "2026-03-02"};

// A field check: the texts typed from the first box, Enter in box enter (-1: the button), the
// message (empty: none), where the focus ends (4: the button; -1: logged in) and what is
// selected in box selBox.
struct FieldCase {
    int mode;
    QStringList texts;
    int enter;
    QString message;
    int focus;
    int selBox;
    QString selected;
};

} // namespace

class TestLoginDialog : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::AppFolder> folder_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<LoginDialog> dialog_;

    // What the login menu items do, with a dialog that does not block the test.
    LoginDialog* openDialog(int loginMode)
    {
        dialog_.reset();
        dialog_ = window_->newLoginDialog(LoginMode(loginMode));
        dialog_->open();
        return dialog_.get();
    }
    QLineEdit* box(int index) const { return dialog_->box(index); }
    QLabel* caption(int index) const { return dialog_->caption(index); }
    QPushButton* button() const { return dialog_->confirmButton(); }
    void type(int boxIndex, const QString& text)
    {
        for (QChar ch : text) {
            if (ch.unicode() < 0x80)
                QTest::keyClick(box(boxIndex), char(ch.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, box(boxIndex), Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
    }
    void clickConfirm()
    {
        button()->setFocus();
        QTest::mouseClick(button(), Qt::LeftButton);
    }
    void pressEnter(int boxIndex) { QTest::keyClick(box(boxIndex), Qt::Key_Return); }
    // Opens the dialog, types the texts into the boxes from the first, then presses Enter in
    // box enterBox, or the button when it is -1.
    LoginDialog* login(int mode, const QStringList& texts, int enterBox = -1)
    {
        openDialog(mode);
        for (int index = 0; index < texts.size(); ++index)
            type(index, texts[index]);
        if (enterBox < 0) {
            clickConfirm();
        } else {
            box(enterBox)->setFocus();
            pressEnter(enterBox);
        }
        return dialog_.get();
    }
    // The messages shown since the last call; every one must carry the dialog's title.
    QStringList messages()
    {
        QStringList texts;
        for (const MessageBoxes::Shown& shown : MessageBoxes::takeRecorded())
            texts << (shown.title == kTitle ? shown.text : QStringLiteral("[wrong title] ") + shown.text);
        return texts;
    }
    QList<RecxhRow> recxhRows() const
    {
        GradeStore store = folder_->store();
        Statement select = GradeStoreInspector::database(store).prepare(
            QStringLiteral("SELECT xh, lrpc, lrdate FROM recxh ORDER BY rowid"));
        QList<RecxhRow> rows;
        while (select.step())
            rows.append({select.text(0), select.text(1), select.text(2)});
        return rows;
    }
    bool menuEnabled(const char* name) const
    {
        if (QMenu* menu = window_->topMenu(name))
            return menu->menuAction()->isEnabled();
        return window_->menuItem(name)->isEnabled();
    }
    // What a login leaves: number|name|login label|Batch number|enabled menus.
    QString trace() const
    {
        QStringList menus;
        for (const char* name : {"lrxm", "xtwh", "ywlr", "zwlr"}) {
            if (menuEnabled(name))
                menus << QLatin1String(name);
        }
        const StatusPanel* panel = window_->statusPanel();
        return QStringList{panel->value(StatusPanel::StudentNumber), panel->value(StatusPanel::Name),
                           window_->loginLabel()->text(), window_->session().taker.batchNumber, menus.join(u',')}
            .join(u'|');
    }
    void logInForTest(const QString& batch = QStringLiteral("B1"))
    {
        login(2, {QStringLiteral("2024000001"), QStringLiteral("李四"), batch});
    }

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void init()
    {
        TestSupport::resetState();
        Clock::setFixed(QDateTime(kToday, QTime(8, 30)));
        folder_ = std::make_unique<TestSupport::AppFolder>();
        window_ = std::make_unique<MainWindow>(folder_->path());
        // As after the start sequence: nobody logged in.
        window_->setmenus(LoginMode::None);
        window_->menuItem("ywlr")->setEnabled(false);
        window_->menuItem("zwlr")->setEnabled(false);
        MessageBoxes::takeRecorded();
    }
    void cleanup()
    {
        dialog_.reset();
        window_.reset();
        folder_.reset();
    }

    void layoutFollowsLoginMode_data()
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
    void layoutFollowsLoginMode()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, captions);
        QFETCH(QList<bool>, rowsShown);
        QFETCH(int, nameRowTop);
        QFETCH(bool, box1Masked);

        logInForTest(QStringLiteral("B7"));
        QCOMPARE(window_->session().taker.batchNumber, QStringLiteral("B7"));
        LoginDialog* dialog = openDialog(mode);
        QCOMPARE(dialog->objectName(), QStringLiteral("frmdl"));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("登录窗口"));
        QVERIFY(dialog->isModal());
        QCOMPARE(dialog->size(), QSize(Twips::toPixels(4290), Twips::toPixels(3255)));
        // The test login goes on while the dialog is open: only another login ends it.
        QCOMPARE(window_->session().taker.batchNumber, QStringLiteral("B7"));

        const int tops[4] = {240, nameRowTop, 1200, 1680};
        const int limits[4] = {10, 12, 10, 10};
        for (int row = 0; row < 4; ++row) {
            QCOMPARE(box(row)->objectName(), QStringLiteral("Text1_%1").arg(row));
            QCOMPARE(caption(row)->objectName(), QStringLiteral("Label1_%1").arg(row));
            QCOMPARE(caption(row)->text(), captions[row]);
            QCOMPARE(caption(row)->isVisible(), rowsShown[row]);
            QCOMPARE(box(row)->isVisible(), rowsShown[row]);
            QCOMPARE(box(row)->maxLength(), limits[row]);
            QCOMPARE(box(row)->font().pointSizeF(), 10.5);
            if (rowsShown[row]) {
                QCOMPARE(box(row)->geometry(), Twips::rect(1800, tops[row], 1575, 375));
                QCOMPARE(caption(row)->pos(), QPoint(Twips::toPixels(600), Twips::toPixels(tops[row])));
                // Typing past the input limit adds nothing: eleven characters leave ten.
                type(row, QString(limits[row] + 1, u'7'));
                QCOMPARE(box(row)->text(), QString(limits[row], u'7'));
            }
        }
        QCOMPARE(box(1)->echoMode(), box1Masked ? QLineEdit::Password : QLineEdit::Normal);
        QCOMPARE(box(0)->echoMode(), QLineEdit::Normal);

        QCOMPARE(button()->objectName(), QStringLiteral("Command1"));
        QCOMPARE(button()->text(), QStringLiteral("确定"));
        QCOMPARE(button()->geometry(), Twips::rect(2400, 2400, 975, 255));
        QCOMPARE(caption(4)->objectName(), QStringLiteral("Label1_4"));
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

    // Each field check, by the button or by Enter in a box.
    void fieldChecks_data()
    {
        QTest::addColumn<FieldCase>("c");

        const QString numberMsg = QStringLiteral("学号不能为空或者不能超过10位！");
        const QString nameMsg = QStringLiteral("姓名不能为空或大于12位！");
        const QString testNumberMsg = QStringLiteral("学号不为10位或有中文字符！");
        const QString batchMsg = QStringLiteral("批次号不能为全角字符、不能为空或超过10位！");
        const QString passwordMsg = QStringLiteral("密码不能超过10位！");
        const QString enterNumberMsg = QStringLiteral("学号不能为空且不能超过10位！");
        const QString enterNameMsg = QStringLiteral("姓名不能为空且不能大于12位！");
        const QString zh = QStringLiteral("张三");

        // The button.
        QTest::newRow("practice number of 11 bytes")
            << FieldCase{1, {"123456789中", zh}, -1, numberMsg, 0, 0, "123456789中"};
        QTest::newRow("practice number of spaces") << FieldCase{1, {"   ", zh}, -1, numberMsg, 0, 0, "   "};
        QTest::newRow("practice name of 7 Chinese")
            << FieldCase{1, {"2024001", "一二三四五六七"}, -1, nameMsg, 1, 1, "一二三四五六七"};
        QTest::newRow("practice name empty") << FieldCase{1, {"2024001", ""}, -1, nameMsg, 1, 1, ""};
        QTest::newRow("test number of 9")
            << FieldCase{2, {"123456789", zh, "B1"}, -1, testNumberMsg, 4, 0, "123456789"};
        QTest::newRow("test number of 5 Chinese")
            << FieldCase{2, {"一二三四五", zh, "B1"}, -1, testNumberMsg, 4, 0, "一二三四五"};
        QTest::newRow("test number empty") << FieldCase{2, {"", zh, "B1"}, -1, testNumberMsg, 4, 0, ""};
        QTest::newRow("test name of 7 Chinese")
            << FieldCase{2, {"2024000001", "一二三四五六七", "B1"}, -1, nameMsg, 1, 1, "一二三四五六七"};
        QTest::newRow("test batch empty") << FieldCase{2, {"2024000001", zh, "  "}, -1, batchMsg, 2, 2, "  "};
        QTest::newRow("test batch Chinese") << FieldCase{2, {"2024000001", zh, "第一批"}, -1, batchMsg, 2, 2, "第一批"};
        QTest::newRow("test batch of 11 bytes")
            << FieldCase{2, {"2024000001", zh, "ABCDEFGHI批"}, -1, batchMsg, 2, 2, "ABCDEFGHI批"};
        QTest::newRow("system user empty")
            << FieldCase{3, {" ", "admin123"}, -1, QStringLiteral("用户名不能为空或超过10位！"), 0, 0, " "};
        QTest::newRow("system password of 12")
            << FieldCase{3, {"admin", "abcdefghijkl"}, -1, passwordMsg, 1, 1, "abcdefghij"};
        QTest::newRow("system password Chinese 12 bytes")
            << FieldCase{3, {"admin", "一二三四五六"}, -1, passwordMsg, 1, 1, "一二三四五六"};
        QTest::newRow("system wrong password")
            << FieldCase{3, {"admin", "admin12"}, -1, kWrongPassword, 1, 1, "admin12"};
        QTest::newRow("system quote in password")
            << FieldCase{3, {"admin", "'or'1'='1"}, -1, kWrongPassword, 1, 1, "'or'1'='1"};
        QTest::newRow("system quote in user") << FieldCase{3, {"admin'--", "x"}, -1, kWrongPassword, 1, 1, "x"};
        // Enter in a box.
        QTest::newRow("Enter: test number of 3") << FieldCase{2, {"123", "", ""}, 0, testNumberMsg, 0, 0, "123"};
        QTest::newRow("Enter: test number with Chinese")
            << FieldCase{2, {"12345678中", "", ""}, 0, testNumberMsg, 0, 0, "12345678中"};
        QTest::newRow("Enter: test number good") << FieldCase{2, {"2024000001", "", ""}, 0, "", 1, 1, ""};
        QTest::newRow("Enter: practice number empty") << FieldCase{1, {"", ""}, 0, enterNumberMsg, 0, 0, ""};
        QTest::newRow("Enter: practice number of 11 bytes")
            << FieldCase{1, {"123456789中", ""}, 0, enterNumberMsg, 0, 0, "123456789中"};
        QTest::newRow("Enter: practice number good") << FieldCase{1, {"一二三四五", ""}, 0, "", 1, 1, ""};
        QTest::newRow("Enter: system user of spaces")
            << FieldCase{3, {"   ", ""}, 0, QStringLiteral("用户名不能为空且不能超过10位！"), 0, 0, "   "};
        QTest::newRow("Enter: practice name empty") << FieldCase{1, {"1", " "}, 1, enterNameMsg, 1, 1, " "};
        QTest::newRow("Enter: test name of 7 Chinese")
            << FieldCase{2, {"1", "一二三四五六七", ""}, 1, enterNameMsg, 1, 1, "一二三四五六七"};
        QTest::newRow("Enter: practice name logs in") << FieldCase{1, {"1", "一二三四五六"}, 1, "", -1, 0, ""};
        QTest::newRow("Enter: practice name runs the whole confirm") << FieldCase{1, {"", zh}, 1, numberMsg, 0, 0, ""};
        QTest::newRow("Enter: test name moves on") << FieldCase{2, {"1", zh, ""}, 1, "", 2, 2, ""};
        QTest::newRow("Enter: system password of 11")
            << FieldCase{3, {"admin", "abcdefghijk"}, 1, passwordMsg, 1, 1, "abcdefghij"};
        QTest::newRow("Enter: system password logs in") << FieldCase{3, {"admin", "admin123"}, 1, "", -1, 0, ""};
        QTest::newRow("Enter: batch of spaces")
            << FieldCase{2, {"2024000001", zh, "  "}, 2, QStringLiteral("批次号不能为空！"), 2, 2, ""};
        QTest::newRow("Enter: batch Chinese")
            << FieldCase{2, {"2024000001", zh, "批1"}, 2, QStringLiteral("批次号超过10位或有中文字符！"), 2, 2, "批1"};
        QTest::newRow("Enter: batch runs the whole confirm")
            << FieldCase{2, {"202400001", zh, "B1"}, 2, testNumberMsg, 2, 0, "202400001"};
        QTest::newRow("Enter: batch logs in") << FieldCase{2, {"2024000001", zh, "B1"}, 2, "", -1, 0, ""};
    }
    void fieldChecks()
    {
        QFETCH(FieldCase, c);
        window_->statusPanel()->setValue(StatusPanel::StudentNumber, QStringLiteral("before"));
        LoginDialog* dialog = login(c.mode, c.texts, c.enter);
        QCOMPARE(messages(), c.message.isEmpty() ? QStringList{} : QStringList{c.message});
        if (c.focus < 0) {
            QVERIFY(!dialog->isVisible());
            QCOMPARE(dialog->result(), int(QDialog::Accepted));
            QVERIFY(menuEnabled("ywlr"));
            return;
        }
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->focusWidget(), c.focus == 4 ? static_cast<QWidget*>(button()) : box(c.focus));
        QCOMPARE(box(c.selBox)->selectedText(), c.selected);
        QCOMPARE(box(c.selBox)->selectionStart(), c.selected.isEmpty() ? -1 : 0);
        // Nothing of a login was written.
        QCOMPARE(trace(), QStringLiteral("before||||"));
        QVERIFY(recxhRows().isEmpty());
    }

    void practiceLoginWritesTrimmedStudent_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown"); // number|name as the Status panel shows them
        QTest::newRow("plain") << "2024001"
                               << "张三"
                               << "2024001|张三";
        QTest::newRow("spaces around") << "  2024001 "
                                       << " 张三  "
                                       << "2024001|张三";
        QTest::newRow("5 and 6 Chinese") << "一二三四五"
                                         << "一二三四五六"
                                         << "一二三四五|一二三四五六";
    }
    void practiceLoginWritesTrimmedStudent()
    {
        QFETCH(QString, number);
        QFETCH(QString, name);
        QFETCH(QString, shown);
        LoginDialog* dialog = login(1, {number, name});
        QVERIFY(messages().isEmpty());
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(trace(), shown + QStringLiteral("|练习登录||lrxm,ywlr,zwlr"));
        QCOMPARE(window_->loginLabel()->pos(), QPoint(Twips::toPixels(10000), Twips::toPixels(100)));
        QVERIFY(recxhRows().isEmpty());
    }

    void testLoginOncePerBatch()
    {
        logInForTest(QStringLiteral(" B1 "));
        QVERIFY(messages().isEmpty());
        QCOMPARE(dialog_->result(), int(QDialog::Accepted));
        QCOMPARE(trace(), QStringLiteral("2024000001|李四|B1测试登录  |B1|lrxm,ywlr,zwlr"));
        QCOMPARE(window_->loginLabel()->pos(), QPoint(Twips::toPixels(10000), Twips::toPixels(100)));
        QCOMPARE(recxhRows(), QList<RecxhRow>{kFirstRow});

        // The same student again in the same batch: the password row appears, without a message.
        window_->menuItem("ywlr")->setEnabled(false); // as after the English exercise
        Clock::setFixed(QDateTime(kToday.addDays(1), QTime(9, 0)));
        logInForTest();
        QVERIFY(messages().isEmpty());
        QVERIFY(dialog_->isVisible());
        QVERIFY(box(3)->isVisible());
        QVERIFY(caption(3)->isVisible());
        QCOMPARE(caption(3)->text(), QStringLiteral("密  码："));
        QCOMPARE(box(3)->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog_->focusWidget(), box(3));
        QCOMPARE(trace(), QStringLiteral("2024000001|李四|B1测试登录  |B1|lrxm,zwlr"));

        // Enter refuses Chinese before any look-up; the button checks only the length: twelve
        // bytes are too many, four are a wrong password. Each refusal keeps the password row.
        const QList<std::tuple<QString, bool, QString>> refused = {{"密码", true, "密码超过10位或有中文字符！"},
                                                                   {"一二三四五六", false, "密码不能超过10位！"},
                                                                   {"nope", true, kWrongPassword}};
        for (const auto& [password, enter, message] : refused) {
            box(3)->clear();
            type(3, password);
            enter ? pressEnter(3) : clickConfirm();
            QCOMPARE(messages(), QStringList{message});
            QVERIFY(dialog_->isVisible());
            QCOMPARE(dialog_->focusWidget(), box(3));
            QCOMPARE(box(3)->selectedText(), password);
            QCOMPARE(window_->session().taker.batchNumber, QStringLiteral("B1")); // the earlier login goes on
        }
        box(3)->clear();
        type(3, QStringLiteral(" AGAIN "));
        pressEnter(3);
        QVERIFY(messages().isEmpty());
        QCOMPARE(dialog_->result(), int(QDialog::Accepted));
        QCOMPARE(trace(), QStringLiteral("2024000001|李四|B1测试登录  |B1|lrxm,ywlr,zwlr"));
        QCOMPARE(recxhRows(), QList<RecxhRow>{kFirstRow});
    }

    // A login already stored in B1: another batch logs in at once; the batch look-up ignores case.
    void earlierLoginInB1_data()
    {
        QTest::addColumn<QString>("batch");
        QTest::addColumn<bool>("direct");
        QTest::newRow("another batch") << "B2" << true;
        QTest::newRow("same batch, other case") << "b1" << false;
    }
    void earlierLoginInB1()
    {
        QFETCH(QString, batch);
        QFETCH(bool, direct);
        folder_->store().addTestLogin(QStringLiteral("2024000001"), QStringLiteral("B1"), kToday);
        logInForTest(batch);
        QVERIFY(messages().isEmpty());
        QCOMPARE(dialog_->isVisible(), !direct);
        if (direct) {
            QCOMPARE(dialog_->result(), int(QDialog::Accepted));
            QCOMPARE(window_->session().taker.batchNumber, batch);
            QCOMPARE(recxhRows(), (QList<RecxhRow>{kFirstRow, {"2024000001", "B2", "2026-03-02"}}));
        } else {
            QVERIFY(box(3)->isVisible());
            QCOMPARE(recxhRows(), QList<RecxhRow>{kFirstRow});
        }
    }

    void quotesAreOrdinaryText()
    {
        // Another student's row in the batch must not make a quoted number look known.
        folder_->store().addTestLogin(QStringLiteral("2024000002"), QStringLiteral("B1"), kToday);
        const QStringList quoted{QStringLiteral("' or '1'='"), QStringLiteral("O'Neil"), QStringLiteral("B'1")};
        login(2, quoted);
        QVERIFY(messages().isEmpty());
        QCOMPARE(dialog_->result(), int(QDialog::Accepted));
        QCOMPARE(trace(), QStringLiteral("' or '1'='|O'Neil|B'1测试登录  |B'1|lrxm,ywlr,zwlr"));
        QCOMPARE(recxhRows().last(), (RecxhRow{quoted[0], "B'1", "2026-03-02"}));

        // Again in that batch: a quoted password that would match every row in a spliced
        // statement is just a wrong password.
        login(2, quoted);
        QVERIFY(box(3)->isVisible());
        type(3, QStringLiteral("x'or'1'='1"));
        pressEnter(3);
        QCOMPARE(messages(), QStringList{kWrongPassword});
        QVERIFY(dialog_->isVisible());
        QCOMPARE(recxhRows().size(), 2);
    }

    // After five wrong passwords the dialog says how long this account waits, and even the right
    // password waits that long.
    void passwordsTriedTooOftenWait()
    {
        Clock::setSteady(50'000'000);
        for (int attempt = 0; attempt < 5; ++attempt) {
            login(3, {QStringLiteral("admin"), QStringLiteral("guess%1").arg(attempt)});
            QCOMPARE(messages(), QStringList{kWrongPassword});
        }
        login(3, {QStringLiteral("admin"), QStringLiteral("admin123")});
        QCOMPARE(messages(), QStringList{QStringLiteral("密码连续输错5次，请30秒后再试！")});
        QVERIFY(dialog_->isVisible());
        QCOMPARE(dialog_->focusWidget(), box(1));
        QVERIFY(!menuEnabled("xtwh"));
        Clock::setSteady(50'000'000 + 20'000);
        clickConfirm();
        QCOMPARE(messages(), QStringList{QStringLiteral("密码连续输错5次，请10秒后再试！")});
        Clock::setSteady(50'000'000 + 30'000);
        clickConfirm();
        QVERIFY(messages().isEmpty());
        QCOMPARE(dialog_->result(), int(QDialog::Accepted));
        QVERIFY(menuEnabled("xtwh"));
    }

    void systemLoginLeavesStudentShown()
    {
        logInForTest();
        QCOMPARE(dialog_->result(), int(QDialog::Accepted));
        window_->menuItem("ywlr")->setEnabled(false);
        window_->menuItem("zwlr")->setEnabled(false);

        login(3, {QStringLiteral("Admin"), QStringLiteral("admin123")});
        QVERIFY(messages().isEmpty());
        QCOMPARE(dialog_->result(), int(QDialog::Accepted));
        // The dialog's load emptied the Batch number; a system login does not set it.
        QCOMPARE(trace(), QStringLiteral("2024000001|李四|B1测试登录  ||lrxm,xtwh,ywlr,zwlr"));

        // A practice login afterwards closes the maintenance menu again.
        login(1, {QStringLiteral("7"), QStringLiteral("王五")}, 1);
        QCOMPARE(trace(), QStringLiteral("7|王五|练习登录||lrxm,ywlr,zwlr"));
    }

    void closingCancels()
    {
        logInForTest();
        QCOMPARE(window_->session().taker.batchNumber, QStringLiteral("B1"));
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
        QCOMPARE(window_->session().loginMode, LoginMode::System);
        // Given up, the dialog leaves the test login as it was, batch and all.
        QCOMPARE(trace(), QStringLiteral("2024000001|李四|B1测试登录  |B1|lrxm,ywlr"));
        QCOMPARE(recxhRows().size(), 1);
    }

    void databaseErrorWritesNothing_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("removeFile"); // else the file is overwritten with foreign bytes
        QTest::newRow("test, file removed") << 2 << true;
        QTest::newRow("test, not a grade database") << 2 << false;
        QTest::newRow("system, file removed") << 3 << true;
        QTest::newRow("system, not a grade database") << 3 << false;
    }
    void databaseErrorWritesNothing()
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

        LoginDialog* dialog = mode == 2 ? login(2, {"2024000001", "李四", "B1"}) : login(3, {"admin", "admin123"});
        const QStringList shown = messages();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains(QStringLiteral("stugrade.mdb")), qPrintable(shown[0]));
        QVERIFY2(!shown[0].startsWith(QStringLiteral("[wrong title]")), qPrintable(shown[0]));
        QVERIFY(dialog->isVisible());
        QCOMPARE(trace(), QStringLiteral("||||"));

        // Once the file is back the same dialog logs in.
        QFile::remove(path);
        QVERIFY(QFile::copy(saved, path));
        clickConfirm();
        QVERIFY(messages().isEmpty());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QVERIFY(menuEnabled("lrxm"));
    }

    void menuItemOpensModalDialog()
    {
        // " 测试登录 " sets the Login mode and blocks in a modal frmdl until it is answered.
        QString seen;
        QTimer::singleShot(0, this, [&seen] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            const auto boxAt = [modal](int i) {
                return modal->findChild<QLineEdit*>(QStringLiteral("Text1_%1").arg(i));
            };
            seen = modal->objectName() + (boxAt(2)->isVisible() ? QStringLiteral(" batch") : QString());
            boxAt(0)->setText(QStringLiteral("2024000009"));
            boxAt(1)->setText(QStringLiteral("赵六"));
            boxAt(2)->setText(QStringLiteral("C3"));
            QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        });
        window_->menuItem("csdl")->trigger();

        QCOMPARE(seen, QStringLiteral("frmdl batch"));
        QCOMPARE(window_->session().loginMode, LoginMode::Test);
        QCOMPARE(window_->loginLabel()->text(), QStringLiteral("C3测试登录  "));
        QCOMPARE(recxhRows(), (QList<RecxhRow>{{"2024000009", "C3", "2026-03-02"}}));
        // The dialog was made for this opening only.
        QVERIFY(!window_->findChild<LoginDialog*>());
    }
};

QTEST_MAIN(TestLoginDialog)
#include "test_login_dialog.moc"

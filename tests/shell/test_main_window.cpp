// The main window at start: captions, menus, the Status panel, the purge of old rows, a grade
// database that cannot be used, and the resize rule.

#include "platform/clock.h"
#include "platform/message_box.h"
#include "store/store_client.h"
#include "platform/twips.h"
#include "shell/main_window.h"
#include "exercise/status_panel.h"
#include "support/test_support.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QStringList names(GradeStore& store)
{
    QStringList result;
    for (const GradeRow& row : store.resultsNewestFirst(0, 100))
        result << row.xm;
    return result;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void init() { TestSupport::resetState(); }

    // Where the screen cannot be switched (here: no display modes at all) the window keeps the
    // size the program is laid out for, in the middle of the screen, not maximised.
    void aScreenThatKeepsItsModeGetsAnEightHundredWindow()
    {
        QCOMPARE(MainWindow::placement(false, QRect(0, 0, 1280, 1024)), QRect(240, 212, 800, 600));
        QCOMPARE(MainWindow::placement(false, QRect(0, 24, 1920, 1056)), QRect(560, 252, 800, 600));
        QCOMPARE(MainWindow::placement(false, QRect(0, 0, 640, 480)), QRect(0, 0, 640, 480));
        QCOMPARE(MainWindow::placement(true, QRect(0, 0, 1024, 768)), QRect(0, 0, 800, 600));
        TestSupport::AppFolder app;
        MainWindow window;
        QVERIFY(window.load(app.path()));
        window.showInDisplayMode();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(!window.isMaximized());
        QCOMPARE(window.geometry().size(), QSize(800, 600));
    }

    // The store is typelab-store beside the program, started as its child; without it the
    // start ends with a message that names what is missing.
    void storeBesideTheProgram_data()
    {
        QTest::addColumn<bool>("storeBeside");
        QTest::newRow("store beside the program") << true;
        QTest::newRow("no store") << false;
    }
    void storeBesideTheProgram()
    {
        QFETCH(bool, storeBeside);
        TestSupport::AppFolder app;
        const QDate today(2026, 12, 8);
        {
            GradeStore store = app.store();
            for (int age : {14, 15})
                store.addResult({QStringLiteral("2026000001"), QStringLiteral("学生"), QStringLiteral("英文"), 80, 120,
                                 95, today.addDays(-age), QTime(10, 0), QStringLiteral("B1")});
        }
        if (storeBeside)
            QVERIFY(QFile::copy(QStringLiteral(TYPELAB_BUILD_APP_DIR "/typelab-store"), app.file("typelab-store")));
        StoreClient::setServiceProgram(QString());
        Clock::setFixed(QDateTime(today, QTime(8, 0)));
        MessageBoxes::takeRecorded();
        bool loaded = false;
        {
            MainWindow window;
            loaded = window.load(app.path());
        }
        StoreClient::setServiceProgram(QStringLiteral(TYPELAB_BUILD_APP_DIR "/typelab-store"));
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeRecorded();
        QCOMPARE(loaded, storeBeside);
        if (storeBeside) {
            QVERIFY(shown.isEmpty());
            QCOMPARE(app.store().resultsNewestFirst(0, 10).size(), 1); // the one 15 days old is gone
        } else {
            QCOMPARE(shown.size(), 1);
            QVERIFY2(shown[0].text.contains(app.file("typelab-store")), qPrintable(shown[0].text));
            QCOMPARE(app.store().resultsNewestFirst(0, 10).size(), 2);
        }
    }

    void captionsAndMenusAtStart()
    {
        TestSupport::AppFolder app;
        MainWindow window;
        QVERIFY(window.load(app.path()));
        QCOMPARE(window.objectName(), QStringLiteral("MDIF1"));
        QCOMPARE(window.windowTitle(), QStringLiteral("录入练习测试"));

        const QList<QPair<const char*, const char*>> items = {
            {"lxdl", " 练习登录 "},     {"csdl", " 测试登录 "},           {"djsf", " 单机收分 "},
            {"hbsf", " 合并收分 "},     {"dccj", " 导出成绩 "},           {"xtdl", " 系统登录 "},
            {"quit", " 退    出 "},     {"ywlr", " 英文录入 "},           {"zwlr", " 中文录入 "},
            {"cycj", " 查阅成绩 "},     {"xgecdlmm", "修改二次登录密码"}, {"xgdlmm", "修改用户登录密码"},
            {"qclsjl", "清除历史记录"}, {"xslrwj", "显示录入文件"},       {"ghlrwj", "更换录入文件"},
            {"userbz", " 帮    助 "}};
        for (const auto& [name, caption] : items) {
            QAction* item = window.menuItem(name);
            QVERIFY2(item, name);
            QCOMPARE(item->text(), QString::fromUtf8(caption));
        }
        for (const char* separator : {"lll1", "lll2", "ll3", "lll4", "lll5", "lll6"})
            QVERIFY2(window.menuItem(separator) && window.menuItem(separator)->isSeparator(), separator);

        QCOMPARE(window.topMenu("dl")->title(), QStringLiteral(" 登    录 "));
        QCOMPARE(window.topMenu("lrxm")->title(), QStringLiteral(" 录入项目 "));
        QCOMPARE(window.topMenu("xtwh")->title(), QStringLiteral(" 系统维护 "));
        // The order of the menu bar: login, exercises, maintenance, help.
        const QList<QAction*> bar = window.menuBar()->actions();
        QCOMPARE(bar.size(), 4);
        QCOMPARE(bar[0], window.topMenu("dl")->menuAction());
        QCOMPARE(bar[3], window.menuItem("userbz"));

        QVERIFY(window.topMenu("dl")->menuAction()->isEnabled());
        QVERIFY(!window.topMenu("lrxm")->menuAction()->isEnabled());
        QVERIFY(!window.topMenu("xtwh")->menuAction()->isEnabled());
        QVERIFY(window.menuItem("djsf")->isEnabled());
        QVERIFY(window.menuItem("hbsf")->isEnabled());
        QVERIFY(window.menuItem("dccj")->isEnabled());
        // The export stands right after the merge.
        const QList<QAction*> login = window.topMenu("dl")->actions();
        QCOMPARE(login.indexOf(window.menuItem("dccj")), login.indexOf(window.menuItem("hbsf")) + 1);
        QVERIFY(window.menuItem("userbz")->isEnabled());
        QVERIFY(window.scrollBar()->isHidden());
        QCOMPARE(window.scrollBar()->objectName(), QStringLiteral("VSc1"));
        QCOMPARE(window.loginLabel()->objectName(), QStringLiteral("Label2"));
        QVERIFY(window.loginLabel()->text().isEmpty());
        QCOMPARE(window.session().appFolder, app.path());
    }

    void statusPanelCaptions()
    {
        MainWindow window;
        const QStringList captions = {"  学   号  ", "  姓   名   ", "文本总行数", " 当 前 行 ",
                                      "  成   绩  ", "  速度(/分)",  " 准 确 率",  " 剩余时间  "};
        const int tops[16] = {120,  480,  960,  1320, 2040, 2400, 2880, 3240,
                              3840, 4200, 4680, 5040, 5520, 5880, 6600, 7080};
        for (int i = 0; i < 16; ++i) {
            auto* label = window.findChild<QLabel*>(QStringLiteral("Label1_%1").arg(i));
            QVERIFY(label);
            QCOMPARE(label, window.statusPanel()->label(i));
            QCOMPARE(label->y(), Twips::toPixels(tops[i]));
            QCOMPARE(label->size(), QSize(Twips::toPixels(1215), Twips::toPixels(255)));
            if (i % 2 == 0)
                QCOMPARE(label->text(), captions[i / 2]);
            else
                QVERIFY(label->text().isEmpty());
        }
    }

    void purgeRemovesFifteenDaysAndOlder()
    {
        TestSupport::AppFolder app;
        const QDate today(2026, 12, 8);
        {
            GradeStore store = app.store();
            store.addResult(TestSupport::resultOn(today, QStringLiteral("今天")));
            store.addResult(TestSupport::resultOn(today.addDays(-14), QStringLiteral("十四天")));
            store.addResult(TestSupport::resultOn(today.addDays(-15), QStringLiteral("十五天")));
            store.addResult(TestSupport::resultOn(today.addDays(-400), QStringLiteral("去年")));
            store.addTestLogin(QStringLiteral("2026000001"), QStringLiteral("B14"), today.addDays(-14));
            store.addTestLogin(QStringLiteral("2026000001"), QStringLiteral("B15"), today.addDays(-15));
        }
        Clock::setFixed(QDateTime(today, QTime(8, 0)));
        MainWindow window;
        QVERIFY(window.load(app.path()));
        GradeStore store = app.store();
        QCOMPARE(names(store), (QStringList{"今天", "十四天"}));
        QVERIFY(store.hasTestLogin(QStringLiteral("2026000001"), QStringLiteral("B14")));
        QVERIFY(!store.hasTestLogin(QStringLiteral("2026000001"), QStringLiteral("B15")));
    }

    void unusableGradeDatabaseEndsWithAMessage_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing") << "missing"
                                 << "文件不存在";
        QTest::newRow("other password") << "password"
                                        << "数据库密码不对";
        QTest::newRow("no table") << "table"
                                  << "缺少数据表";
    }

    void unusableGradeDatabaseEndsWithAMessage()
    {
        QFETCH(QString, damage);
        QFETCH(QString, expected);
        TestSupport::AppFolder app;
        QFile::remove(app.gradeDatabase());
        if (damage == "password") {
            GradeStore::create(app.gradeDatabase(), {});
            Database other = Database::open(app.gradeDatabase(), Database::Mode::ReadWrite, "857");
            other.exec(QStringLiteral("PRAGMA rekey = '999'"));
        } else if (damage == "table") {
            Database db = Database::open(app.gradeDatabase(), Database::Mode::Create, "857");
            db.exec(QStringLiteral("CREATE TABLE stdgrade (xh TEXT)"));
        }
        const QByteArray before = [&] {
            QFile file(app.gradeDatabase());
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        MainWindow window;
        QVERIFY(!window.load(app.path()));
        const auto shown = MessageBoxes::takeRecorded();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("录入练习测试"));
        QVERIFY2(shown[0].text.contains(expected), qPrintable(shown[0].text));
        QVERIFY(shown[0].text.contains(QStringLiteral("stugrade.mdb")));
        // Nothing was changed on the way out, and nothing was created.
        QFile after(app.gradeDatabase());
        if (damage == "missing")
            QVERIFY(!after.exists());
        else
            QVERIFY(after.open(QIODevice::ReadOnly) && after.readAll() == before);
    }

    void resizeRuleSetsTheScrollBarHeight()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.resize(600, 500);
        QTRY_COMPARE(window.scrollBar()->height(),
                     Twips::toPixels(Twips::fromPixels(window.frameGeometry().height()) - 1130));
        window.resize(700, 420);
        QTRY_COMPARE(window.scrollBar()->height(),
                     Twips::toPixels(Twips::fromPixels(window.frameGeometry().height()) - 1130));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"

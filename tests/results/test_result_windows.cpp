// The windows on stored results' keystroke logs, against exercises driven through the real
// Exercise screen: a replay straight to the end shows exactly what the screen showed when the
// exercise ended, it keeps the student's pace and takes no keys; the mistakes of one result and
// of all of a student's; who may read which log, and results that have none.

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_screen.h"
#include "exercise/exercise_text.h"
#include "results/keyboard_picture.h"
#include "results/mistakes_window.h"
#include "results/replay_window.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/message_box.h"
#include "shell/main_window.h"
#include "exercise/status_panel.h"
#include "store/store_client.h"
#include "support/test_support.h"

#include <QAction>
#include <QInputMethodEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

constexpr float kRandom = 0.3f;

QByteArray exerciseBytes(const QString& text)
{
    return TestSupport::exerciseFile(text);
}

QString englishLines(int lines)
{
    QString text;
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("Line %1 of the text.\n").arg(i + 1);
    return text;
}

const QString kPoem = QStringLiteral("春眠不觉晓，处处闻啼鸟。\n夜来风雨声，花落知多少。\n");

QByteArray typedBytes(const ExerciseScreen* screen)
{
    const auto& typed = screen->engine()->typedBytes();
    return QByteArray(reinterpret_cast<const char*>(typed.data()), qsizetype(typed.size()));
}

QString wholeNumber(double value)
{
    return QString::number(qint64(std::llround(value)));
}

// The value labels of a Status panel.
QStringList panelValues(const StatusPanel* panel)
{
    QStringList values;
    for (int index = 1; index < 16; index += 2)
        values << panel->value(index);
    return values;
}

QStringList messages()
{
    QStringList shown;
    for (const auto& box : MessageBoxes::takeRecorded())
        shown << box.title + QStringLiteral(": ") + box.text;
    return shown;
}

// What the screen showed when its exercise ended.
struct EndState {
    QImage image;
    QByteArray typed;
    KeystrokeLog log;
};

} // namespace

class TestResultWindows : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::AppFolder> folder;
    std::unique_ptr<MainWindow> window;

    StoreClient& store() { return window->store(); }
    QString session() const { return window->session().storeSession; }
    void waitForStores() { QTRY_COMPARE_WITH_TIMEOUT(store().finishesUnderWay(), 0, 10000); }

    ExerciseScreen* open(ExerciseKind kind, const QString& text, EndState& end)
    {
        const QString path = ExerciseLoader::pathFor(folder->path(), kind, ExerciseLoader::digitFor(kRandom));
        folder->writeFile(QDir(folder->path()).relativeFilePath(path), exerciseBytes(text));
        window->menuItem(kind == ExerciseKind::English ? "ywlr" : "zwlr")->trigger();
        auto* screen = window->findChild<ExerciseScreen*>(QStringLiteral("form2"));
        if (screen)
            connect(screen, &ExerciseScreen::finished, this,
                    [screen, &end](const KeystrokeLog& log, const ExerciseResult&) {
                        end = {screen->cells().image().copy(), typedBytes(screen), log};
                    });
        return screen;
    }
    // A second passes on the steady clock, and the countdown ticks.
    void tick(ExerciseScreen* screen)
    {
        Clock::setSteady(*Clock::steady() + 1000);
        screen->countdownTick();
    }
    // Plays a script into the screen: ASCII as key clicks, ⌫ ⌦ ← ↑ → ↓ ⏎ as their keys, other
    // characters as input-method commits, ⏱ a second of the countdown.
    void play(ExerciseScreen* screen, const QString& script)
    {
        const QHash<QChar, Qt::Key> keys = {{u'⌫', Qt::Key_Backspace}, {u'⌦', Qt::Key_Delete}, {u'←', Qt::Key_Left},
                                            {u'↑', Qt::Key_Up},        {u'→', Qt::Key_Right},  {u'↓', Qt::Key_Down},
                                            {u'⏎', Qt::Key_Return}};
        for (const QChar c : script) {
            if (c == u'⏱') {
                tick(screen);
            } else if (keys.contains(c)) {
                QTest::keyClick(screen, keys[c]);
            } else if (c.unicode() < 128) {
                QTest::keyClicks(screen, QString(c));
            } else {
                QInputMethodEvent event;
                event.setCommitString(QString(c));
                QApplication::sendEvent(screen, &event);
            }
        }
    }
    // An exercise typed to its end by Esc or by the countdown; its stored row.
    GradeRow take(ExerciseKind kind, const QString& text, const QString& script, bool toTheEnd, EndState& end)
    {
        QPointer<ExerciseScreen> screen = open(kind, text, end);
        if (!screen)
            qFatal("no exercise screen");
        play(screen, script);
        if (toTheEnd) {
            while (screen && !screen->ended())
                tick(screen);
        } else {
            QTest::keyClick(screen, Qt::Key_Escape);
        }
        waitForStores();
        // The next exercise finds no screen of this one.
        [&screen] { QTRY_VERIFY(!screen); }();
        return store().history({}, HistoryPages::Cursor::at(0), 1).page.rows.value(0);
    }
    bool systemLogin()
    {
        return TestSupport::logIn(
            *window, LoginMode::System,
            {QString::fromLatin1(TestSupport::kUser), QString::fromLatin1(TestSupport::kUserPassword)});
    }
    bool practiceLogin()
    {
        return TestSupport::logIn(*window, LoginMode::Practice, {QStringLiteral("2024001"), QStringLiteral("张三")});
    }

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }

    void init()
    {
        TestSupport::resetState();
        MessageBoxes::takeRecorded();
        Clock::setFixed(QDateTime(QDate(2026, 3, 9), QTime(10, 15, 30)));
        ExerciseLoader::setRandomSourceForTests([] { return kRandom; });
        folder = std::make_unique<TestSupport::AppFolder>();
        Clock::setSteady(1'000'000);
        window = std::make_unique<MainWindow>();
        QVERIFY(window->load(folder->path()));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(practiceLogin());
    }

    void cleanup()
    {
        window.reset();
        folder.reset();
        ExerciseLoader::setRandomSourceForTests({});
        Clock::setFixed(std::nullopt);
    }

    // ---------------------------------------------------------------- replay

    void replayEndsInTheStoredState_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("toTheEnd");
        const int en = int(ExerciseKind::English), cn = int(ExerciseKind::Chinese);
        QTest::newRow("english, corrections, Esc")
            << en << englishLines(14)
            << QStringLiteral("Line 1 of tha⌫e text.⏎⏱Lime⌫⌫ne 2 pf⌫⌫of⌦ the⏱ text.⏎↓↓Line 4 ⏱oops←←←⌦⌦→x⏎↑↑→→→abc⏱"
                              "⏎⏎⏎⏎⏎⏎⏎⏎⏎⏎Line 13⏱")
            << false;
        QTest::newRow("english to the end, navigation")
            << en << QStringLiteral("The quick brown fox.\nJumps over the lazy dog.\n")
            << QStringLiteral("The quikc⌫⌫ck ⏱brown←←←⌦x→→ fox.⏎Jumps ⏱⏱over↑↓ the↑⌦⌦") << true;
        QTest::newRow("chinese, corrections, Esc")
            << cn << kPoem << QStringLiteral("春眠不觉小⌫晓,⌫，处处⏱闻啼鸟。⏎夜来风⏱雨声←←⌦花落知多少⏱") << false;
        QTest::newRow("chinese to the end, half-width slips")
            << cn << kPoem << QStringLiteral("春眠不觉晓，处处闻啼鸟。⏎夜来⏱风语⌫雨声，a花落知多少。⏱↑↓⌦←⌦") << true;
    }

    void replayEndsInTheStoredState()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QString, script);
        QFETCH(bool, toTheEnd);
        EndState end;
        const GradeRow row = take(ExerciseKind(kind), text, script, toTheEnd, end);
        QVERIFY(row.rowid > 0);
        QVERIFY(!end.image.isNull());
        QVERIFY(messages().isEmpty());
        const QStringList shown = panelValues(window->statusPanel());

        // Only a supervisor replays, and sees what the student's screen showed at the end.
        QVERIFY(systemLogin());
        const std::unique_ptr<ReplayWindow> replay = makeReplay(window.get(), store(), session(), row.rowid);
        QVERIFY(replay);
        replay->show();
        QVERIFY(!replay->atEnd());
        replay->toEnd();
        QVERIFY(replay->atEnd());
        QCOMPARE(replay->played(), int(end.log.size()));
        QCOMPARE(replay->screen()->cells().image().size(), end.image.size());
        QVERIFY(replay->screen()->cells().image() == end.image);
        QCOMPARE(typedBytes(replay->screen()), end.typed);
        QCOMPARE(panelValues(replay->statusPanel()), shown);
        const StatusPanel* panel = replay->statusPanel();
        QCOMPARE(panel->value(StatusPanel::Speed), wholeNumber(row.lrsd));
        QCOMPARE(panel->value(StatusPanel::Accuracy), wholeNumber(row.lrzql));
        QCOMPARE(panel->value(StatusPanel::Score), wholeNumber(row.lrcj));
        // The replay stores nothing and stays open on its end.
        QCOMPARE(store().history({}, HistoryPages::Cursor::at(0), 10).count, qint64(1));
        QVERIFY(replay->isVisible());
        QVERIFY(messages().isEmpty());
    }

    void replayKeepsThePaceAndIgnoresKeys()
    {
        // One key at the start, then one a second; Esc with the last.
        EndState end;
        const GradeRow row =
            take(ExerciseKind::English, QStringLiteral("abcdef\n"), QStringLiteral("ab⏱c⏱d⏱e"), false, end);
        QVERIFY(systemLogin());
        Clock::setSteady(2'000'000);
        const std::unique_ptr<ReplayWindow> replay = makeReplay(window.get(), store(), session(), row.rowid);
        QVERIFY(replay);
        replay->show();
        ExerciseScreen* screen = replay->screen();
        const StatusPanel* panel = replay->statusPanel();
        const auto at = [&replay](qint64 milliseconds) {
            Clock::setSteady(2'000'000 + milliseconds);
            replay->wake();
        };
        QCOMPARE(typedBytes(screen).left(6), QByteArray("ab\0\0\0\0", 6));
        QCOMPARE(panel->value(StatusPanel::RemainingTime), QStringLiteral("10:00"));
        at(999);
        QCOMPARE(typedBytes(screen).left(3), QByteArray("ab\0", 3));
        at(1000);
        QCOMPARE(typedBytes(screen).left(4), QByteArray("abc\0", 4));
        QCOMPARE(panel->value(StatusPanel::RemainingTime), QStringLiteral("09:59"));

        // Keys reach neither the replay nor the window around it.
        QTest::keyClicks(screen, QStringLiteral("zz"));
        QTest::keyClick(screen, Qt::Key_Backspace);
        QTest::keyClick(screen, Qt::Key_Escape);
        QCOMPARE(typedBytes(screen).left(4), QByteArray("abc\0", 4));
        QVERIFY(replay->isVisible());
        QVERIFY(!replay->atEnd());

        // 4×: a quarter second of the clock is a second of the log.
        replay->findChild<QPushButton*>(QStringLiteral("Command1_1"))->click();
        at(1250);
        QCOMPARE(typedBytes(screen).left(5), QByteArray("abcd\0", 5));
        QCOMPARE(panel->value(StatusPanel::RemainingTime), QStringLiteral("09:58"));
        // Back to 1× from where it stands (2000 of the log).
        replay->findChild<QPushButton*>(QStringLiteral("Command1_0"))->click();
        at(2249);
        QCOMPARE(typedBytes(screen).left(5), QByteArray("abcd\0", 5));
        QVERIFY(!replay->atEnd());
        at(2250);
        QVERIFY(replay->atEnd());
        QCOMPARE(typedBytes(screen), end.typed);
        QCOMPARE(panel->value(StatusPanel::Score), wholeNumber(row.lrcj));
        QVERIFY(!replay->findChild<QPushButton*>(QStringLiteral("Command1_2"))->isEnabled());
    }

    // ---------------------------------------------------------------- who may read a log

    void whoMayReadALog_data()
    {
        QTest::addColumn<int>("mode"); // 0: no session
        QTest::addColumn<bool>("withTiming");
        QTest::addColumn<int>("status");
        QTest::newRow("practice, mistakes") << int(LoginMode::Practice) << false << int(StoreStatus::Ok);
        QTest::newRow("practice, replay") << int(LoginMode::Practice) << true << int(StoreStatus::Refused);
        QTest::newRow("test, mistakes") << int(LoginMode::Test) << false << int(StoreStatus::Ok);
        QTest::newRow("test, replay") << int(LoginMode::Test) << true << int(StoreStatus::Refused);
        QTest::newRow("system, mistakes") << int(LoginMode::System) << false << int(StoreStatus::Ok);
        QTest::newRow("system, replay") << int(LoginMode::System) << true << int(StoreStatus::Ok);
        QTest::newRow("no login") << 0 << false << int(StoreStatus::NoSession);
    }

    void whoMayReadALog()
    {
        QFETCH(int, mode);
        QFETCH(bool, withTiming);
        QFETCH(int, status);
        EndState end;
        const GradeRow row =
            take(ExerciseKind::English, QStringLiteral("abcdef\n"), QStringLiteral("ab⏱cx⏱"), false, end);
        if (mode == int(LoginMode::Test))
            QVERIFY(TestSupport::logIn(*window, LoginMode::Test,
                                       {QStringLiteral("2024000017"), QStringLiteral("李四"), QStringLiteral("B1")}));
        if (mode == int(LoginMode::System))
            QVERIFY(systemLogin());
        const QString token = mode == 0 ? QStringLiteral("not a session") : session();

        const ResultLogReply reply = store().resultLog(token, row.rowid, withTiming);
        QCOMPARE(int(reply.status), status);
        if (!reply.ok())
            return;
        QCOMPARE(reply.entry.row.rowid, row.rowid);
        QCOMPARE(reply.entry.row.xh, QStringLiteral("2024001"));
        QCOMPARE(reply.entry.kind, ExerciseKind::English);
        const std::optional<KeystrokeLog> log = KeystrokeLogs::decode(reply.entry.log);
        QVERIFY(log);
        if (withTiming) {
            QCOMPARE(*log, end.log);
        } else {
            // The same keys, without when they came and without the countdown.
            KeystrokeLog keys;
            for (const KeystrokeEvent& event : end.log)
                if (event.kind != KeystrokeEvent::Kind::Tick)
                    keys.append({0, event.kind, event.value});
            QCOMPARE(*log, keys);
        }
        const StudentLogsReply all = store().studentLogs(token, QStringLiteral("2024001"));
        QVERIFY(all.ok());
        QCOMPARE(all.entries.size(), 1);
        QCOMPARE(KeystrokeLogs::decode(all.entries[0].log)->size(), end.log.size() - 2); // two ticks fewer
    }

    void resultsWithoutALogSaySo()
    {
        // A row another SQLite client wrote has no log; so has a row that took over the rowid of
        // a row whose log is still kept.
        EndState end;
        const GradeRow logged = take(ExerciseKind::English, QStringLiteral("abc\n"), QStringLiteral("ab⏱"), false, end);
        GradeRow other = logged;
        other.xm = QStringLiteral("王五");
        other.lrtime = QTime(11, 0, 0);
        {
            GradeStore grades = folder->store();
            GradeStoreInspector::database(grades)
                .prepare(QStringLiteral("DELETE FROM stdgrade WHERE rowid = ?1"))
                .bind(1, logged.rowid)
                .exec();
            grades.addResult(other);
        }
        const GradeRow reused = store().history({}, HistoryPages::Cursor::at(0), 1).page.rows.value(0);
        QCOMPARE(reused.rowid, logged.rowid);
        QVERIFY(systemLogin());
        const ResultLogReply reply = store().resultLog(session(), reused.rowid, true);
        QCOMPARE(reply.status, StoreStatus::NoLog);
        QCOMPARE(reply.entry.row.xm, QStringLiteral("王五"));

        QVERIFY(!makeReplay(window.get(), store(), session(), reused.rowid));
        QVERIFY(!makeMistakes(window.get(), store(), session(), reused.rowid));
        const QStringList shown = messages();
        QCOMPARE(shown.size(), 2);
        QVERIFY2(shown[0].startsWith(QStringLiteral("成绩回放: 无法回放这条成绩。\n这条成绩没有保存录入记录")),
                 qPrintable(shown[0]));
        QVERIFY2(shown[1].startsWith(QStringLiteral("错误分析: 无法分析错误。\n这条成绩没有保存录入记录")),
                 qPrintable(shown[1]));

        // A student none of whose results has a log is told so, too.
        QVERIFY(!makeStudentMistakes(window.get(), store(), session(), QStringLiteral("2024001")));
        QCOMPARE(messages(),
                 QStringList{QStringLiteral("错误分析: 学号 2024001 的成绩都没有保存录入记录，无法分析错误。")});
        QCOMPARE(store().resultLog(session(), 9999, true).status, StoreStatus::Refused);
    }

    // ---------------------------------------------------------------- mistakes

    void mistakesOfOneResultAndOfAStudent()
    {
        EndState english, chinese;
        const GradeRow first =
            take(ExerciseKind::English, QStringLiteral("abc def\n"), QStringLiteral("abx⌫c dxf⏱"), false, english);
        take(ExerciseKind::Chinese, QStringLiteral("中文打字\n"), QStringLiteral("中大打字⏱"), false, chinese);
        {
            GradeRow unlogged = first;
            unlogged.lrtime = QTime(9, 0, 0);
            folder->store().addResult(unlogged);
        }

        // A student's own login may look.
        const std::unique_ptr<MistakesWindow> one = makeMistakes(window.get(), store(), session(), first.rowid);
        QVERIFY(one);
        QCOMPARE(one->pages()->count(), 1);
        QCOMPARE(one->pages()->tabText(0), QStringLiteral("英文"));
        QVERIFY(one->subjectLabel()->text().startsWith(QStringLiteral("2024001  张三  英文")));
        const QTableWidget* list = one->list(ExerciseKind::English);
        QVERIFY(list);
        QCOMPARE(list->rowCount(), 2);
        const auto rowText = [](const QTableWidget* table, int row) {
            QStringList cells;
            for (int column = 0; column < table->columnCount(); ++column)
                cells << table->item(row, column)->text();
            return cells.join(QLatin1Char('|'));
        };
        QCOMPARE(rowText(list, 0), QStringLiteral("e|1|1|100%|x"));
        QCOMPARE(rowText(list, 1), QStringLiteral("c|1|2|50%|x"));

        // Each key in the colour of its rate: e and c wrong a third of the time or more, a
        // never, q untyped.
        KeyboardPicture* keyboard = one->keyboard();
        QVERIFY(keyboard);
        one->show();
        QVERIFY(QTest::qWaitForWindowExposed(one.get()));
        const QImage picture = keyboard->grab().toImage();
        const auto keyColour = [&](const char* character) {
            const int key = UsKeyboard::keyFor(QString::fromLatin1(character));
            const QPointF inside = keyboard->keyRect(key).topLeft() + QPointF(4, 4);
            return std::pair{picture.pixelColor(inside.toPoint()), KeyboardPicture::colourFor(keyboard->rates()[key])};
        };
        for (const char* character : {"e", "c", "a", "q"}) {
            const auto [drawn, meant] = keyColour(character);
            QCOMPARE(drawn.rgb(), meant.rgb());
        }
        QCOMPARE(keyboard->rates()[UsKeyboard::keyFor(QStringLiteral("c"))].typed, 2);
        QCOMPARE(keyColour("e").second, keyColour("c").second);
        QVERIFY(keyColour("c").second != keyColour("a").second);
        QVERIFY(keyColour("a").second != keyColour("q").second);

        // Over all of the student's results: both kinds, and the one without a log noted.
        const std::unique_ptr<MistakesWindow> all =
            makeStudentMistakes(window.get(), store(), session(), QStringLiteral("2024001"));
        QVERIFY(all);
        QCOMPARE(all->pages()->count(), 2);
        QCOMPARE(all->pages()->tabText(1), QStringLiteral("中文"));
        QCOMPARE(all->subjectLabel()->text(), QStringLiteral("2024001  张三  全部 2 次录入"));
        QCOMPARE(all->noteLabel()->text(), QStringLiteral("1 条成绩没有保存录入记录，没有计入。"));
        QCOMPARE(rowText(all->list(ExerciseKind::Chinese), 0), QStringLiteral("文|1|1|100%|大"));
        QCOMPARE(all->list(ExerciseKind::Chinese)->rowCount(), 1);
        QCOMPARE(rowText(all->list(ExerciseKind::English), 0), QStringLiteral("e|1|1|100%|x"));
        QVERIFY(messages().isEmpty());
    }
};

QTEST_MAIN(TestResultWindows)
#include "test_result_windows.moc"

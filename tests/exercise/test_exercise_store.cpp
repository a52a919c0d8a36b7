// Whole exercises through the real screen and the real store: the figures the Status panel shows
// are the ones the store computed from the keystroke log, and for an honest exercise they are the
// screen's own, over many random exercises; a store that dies in the middle of an exercise loses
// no result.

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_replay.h"
#include "exercise/exercise_screen.h"
#include "grades/grade_rows.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/message_box.h"
#include "shell/main_window.h"
#include "exercise/status_panel.h"
#include "store/store_client.h"
#include "support/random_exercise.h"
#include "support/test_support.h"

#include <QAction>
#include <QInputMethodEvent>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <csignal>

namespace {

using RandomExercise::kChinese;
using RandomExercise::kEnglish;

QString whole(double value)
{
    return QString::number(qint64(std::llround(value)));
}

} // namespace

class TestExerciseStore : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::AppFolder> folder_;
    std::unique_ptr<MainWindow> window_;

    ExerciseScreen* open(ExerciseKind kind)
    {
        window_->menuItem(kind == ExerciseKind::English ? "ywlr" : "zwlr")->trigger();
        return window_->findChild<ExerciseScreen*>(QStringLiteral("form2"));
    }
    void tick(ExerciseScreen* screen)
    {
        Clock::setSteady(*Clock::steady() + 1000);
        screen->countdownTick();
    }
    void waitForStores() { QTRY_COMPARE_WITH_TIMEOUT(window_->store().finishesUnderWay(), 0, 20000); }
    QStringList panelFigures() const
    {
        const StatusPanel* panel = window_->statusPanel();
        return {panel->value(StatusPanel::Speed), panel->value(StatusPanel::Accuracy),
                panel->value(StatusPanel::Score)};
    }
    // The stored rows' figures and logs, oldest first.
    QList<QPair<GradeRow, QByteArray>> stored() const
    {
        GradeStore store = folder_->store();
        Database& db = GradeStoreInspector::database(store);
        db.attach(folder_->file(QStringLiteral("data/typelab-store.db")), QStringLiteral("store"));
        Statement select = db.prepare(
            QStringLiteral("SELECT g.xh, g.xm, g.lrxm, g.lrcj, g.lrsd, g.lrzql, g.lrdate, g.lrtime, g.lrpc, l.log"
                           " FROM stdgrade g JOIN store.result_log l ON l.grade_rowid = g.rowid ORDER BY g.rowid"));
        QList<QPair<GradeRow, QByteArray>> rows;
        while (select.step())
            rows.append({GradeRows::read(select), select.blob(9)});
        return rows;
    }

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void init()
    {
        TestSupport::resetState();
        MessageBoxes::takeRecorded();
        Clock::setSteady(1'000'000);
        ExerciseLoader::setRandomSourceForTests([] { return 0.5f; }); // file 5
        folder_ = std::make_unique<TestSupport::AppFolder>();
        for (const auto& [name, text] : {std::pair{"yw/ydzcs5.dat", kEnglish}, std::pair{"zw/cdzcs5.dat", kChinese}})
            folder_->writeFile(QString::fromLatin1(name),
                               ExerciseFileFormat::build(ExerciseFileFormat::toExerciseText(text.toUtf8()).text));
        window_ = std::make_unique<MainWindow>();
        QVERIFY(window_->load(folder_->path()));
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QVERIFY(TestSupport::logIn(*window_, LoginMode::Practice, {QStringLiteral("2024001"), QStringLiteral("张三")}));
    }
    void cleanup()
    {
        window_.reset();
        folder_.reset();
        ExerciseLoader::setRandomSourceForTests({});
    }

    // Random keys, input-method text and countdown ticks, ended by Esc or by the countdown: the
    // store's figures are the screen's, and its log replays to the screen's typed bytes.
    void storeComputesTheScreensFigures_data()
    {
        QTest::addColumn<int>("seed");
        QTest::addColumn<int>("kind");
        for (int seed = 1; seed <= 24; ++seed)
            QTest::addRow("seed %d", seed) << seed << int(RandomExercise::kindOf(seed));
    }
    void storeComputesTheScreensFigures()
    {
        QFETCH(int, seed);
        QFETCH(int, kind);
        QPointer<ExerciseScreen> screen = open(ExerciseKind(kind));
        QVERIFY(screen);
        ExerciseResult local;
        std::array<quint8, ExerciseText::kPositions> typed{};
        connect(screen, &ExerciseScreen::finished, this, [&](const KeystrokeLog&, const ExerciseResult& result) {
            local = result;
            typed = screen->engine()->typedBytes();
        });

        const QString text = RandomExercise::textOf(ExerciseKind(kind));
        QVERIFY(RandomExercise::type(screen, seed, ExerciseKind(kind), [this](ExerciseScreen* s) { tick(s); }));
        QTRY_VERIFY(!screen);
        waitForStores();
        QVERIFY(MessageBoxes::takeRecorded().isEmpty());

        QCOMPARE(panelFigures(), (QStringList{whole(local.speed), whole(local.accuracy), whole(local.score)}));
        const auto rows = stored();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].first.lrsd, double(local.speed));
        QCOMPARE(rows[0].first.lrzql, double(local.accuracy));
        QCOMPARE(rows[0].first.lrcj, double(local.score));
        const std::optional<KeystrokeLog> log = KeystrokeLogs::decode(rows[0].second);
        QVERIFY(log);
        const std::optional<ExerciseText> exercise =
            ExerciseLoader::fromText(ExerciseFileFormat::toExerciseText(text.toUtf8()).text, ExerciseKind(kind));
        const ExerciseReplay::Outcome replayed = ExerciseReplay::replay(*exercise, ExerciseKind(kind), *log);
        QVERIFY(!replayed.problem);
        QVERIFY(replayed.typedBytes == typed);
    }

    // The store killed while a student types: the finished exercise's log is sent again to a
    // store started anew, which still knows the session and the exercise, and the result is kept.
    void storeKilledInTheMiddleLosesNothing()
    {
        QPointer<ExerciseScreen> screen = open(ExerciseKind::English);
        QVERIFY(screen);
        QTest::keyClicks(screen, QStringLiteral("The quick"));
        tick(screen);
        const qint64 pid = window_->store().childProcessId();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0); // dead at once, whenever it is reaped
        QTest::keyClicks(screen, QStringLiteral(" brown"));
        tick(screen);
        QTest::keyClick(screen, Qt::Key_Escape);
        waitForStores();
        QVERIFY(MessageBoxes::takeRecorded().isEmpty());
        const auto rows = stored();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].first.lrsd, 450.0); // 15 characters in 2 seconds
        QCOMPARE(panelFigures().first(), QStringLiteral("450"));
        QVERIFY(window_->store().childProcessId() != pid);
    }
};

QTEST_MAIN(TestExerciseStore)
#include "test_exercise_store.moc"

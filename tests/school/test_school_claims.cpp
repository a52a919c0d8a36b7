// One batch, one attempt across the school: real stores on two machines claim a batch on a real
// school server at the test login, through their forwarders. The second machine's login is
// refused with the first machine's name and time, in the login dialog's own words, and the
// second-login password lets the supervisor allow it, which the server records. A login made
// while the server is away goes on by the machine's own rule, and its claim reaches the server
// later; a conflict found so keeps both results and marks them. A running test exercise's
// progress reaches the teacher's live view.

#include "collect/batch_watch.h"
#include "exercise/exercise_text.h"
#include "login/login_dialog.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "store/store_client.h"
#include "support/lab_machine.h"
#include "support/tcp_proxy.h"
#include "support/typing_logs.h"

#include <QLineEdit>
#include <QtTest>

class TestSchoolClaims : public QObject {
    Q_OBJECT

    std::unique_ptr<PgCluster> cluster_;
    int machines_ = 0;
    int students_ = 0;

    QString nextName() { return QStringLiteral("lab%1").arg(++machines_); }
    QString nextStudent() { return QStringLiteral("20269%1").arg(++students_, 5, 10, QLatin1Char('0')); }

    QString serverValue(const QString& sql, const QList<Pg::Param>& params = {})
    {
        const Pg::Result result = cluster_->superuser().exec(sql, params);
        return result.rows() == 1 && !result.isNull(0, 0) ? result.text(0, 0) : QString();
    }

private slots:
    void initTestCase()
    {
        LabMachine::prepareTests();
        cluster_ = std::make_unique<PgCluster>();
        PG_CLUSTER_TRY(cluster_->start());
    }
    void init()
    {
        PG_CLUSTER_TRY(LabMachine::readyForTest(*cluster_));
    }
    void cleanupTestCase() { cluster_.reset(); }

    // The first machine's claim is granted; the same machine again asks for the password
    // without a word, as its own record always did; another machine names the first.
    void theServerKnowsWhereABatchWasTaken()
    {
        LabMachine first(*cluster_, nextName());
        LabMachine second(*cluster_, nextName());
        const QString student = nextStudent();
        const LoginReply granted = first.testLogin(student, QStringLiteral("T1"));
        QVERIFY2(granted.ok(), qPrintable(granted.message));
        QCOMPARE(serverValue(QStringLiteral("SELECT machine FROM typelab.claims WHERE xh = $1"), {student}),
                 first.name());

        const LoginReply again = first.testLogin(student, QStringLiteral("t1"));
        QCOMPARE(again.status, StoreStatus::SecondPasswordNeeded);
        QVERIFY(again.message.isEmpty());

        const LoginReply elsewhere = second.testLogin(student, QStringLiteral("T1"));
        QCOMPARE(elsewhere.status, StoreStatus::SecondPasswordNeeded);
        QVERIFY2(elsewhere.message.contains(first.name()), qPrintable(elsewhere.message));
        QVERIFY(elsewhere.message.contains(QStringLiteral("二次登录密码")));
        // The second machine's own record was not written by a login it refused.
        QVERIFY(!second.folder().store().hasTestLogin(student, QStringLiteral("T1")));
        QCOMPARE(second.testLogin(student, QStringLiteral("T1"), QStringLiteral("wrong"), true).status,
                 StoreStatus::WrongPassword);

        // The supervisor's password lets the student in there, and the server hears who allowed it.
        const LoginReply allowed =
            second.testLogin(student, QStringLiteral("T1"), QString::fromLatin1(TestSupport::kSecondPassword), true);
        QVERIFY2(allowed.ok(), qPrintable(allowed.message));
        QTRY_COMPARE_WITH_TIMEOUT(serverValue(QStringLiteral("SELECT allowed FROM typelab.claims WHERE xh = $1"), {student}),
                                  second.name(), 20'000);
        QVERIFY(first.finishIn(granted.session).ok());
        QVERIFY(second.finishIn(allowed.session).ok());
        // Both results arrive; an attempt the supervisor allowed is no 重复参加.
        QTRY_COMPARE_WITH_TIMEOUT(serverValue(QStringLiteral("SELECT count(*) FROM typelab.results WHERE xh = $1"), {student}),
                                  QStringLiteral("2"), 20'000);
        QCOMPARE(serverValue(QStringLiteral("SELECT count(*) FROM typelab.results WHERE xh = $1 AND duplicate"), {student}),
                 QStringLiteral("0"));
    }

    // The refusal as the student meets it: the real login dialog shows the message box, then
    // the password row.
    void theLoginDialogNamesTheOtherMachine()
    {
        LabMachine first(*cluster_, nextName());
        LabMachine second(*cluster_, nextName());
        const QString student = nextStudent();
        QVERIFY(first.testLogin(student, QStringLiteral("T2")).ok());

        LoginDialog dialog(LoginMode::Test, second.store(), QString(), nullptr);
        dialog.open();
        dialog.box(0)->setText(student);
        dialog.box(1)->setText(QStringLiteral("学生"));
        dialog.box(2)->setText(QStringLiteral("T2"));
        dialog.confirm();
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeRecorded();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title, QStringLiteral("登录对话框"));
        QVERIFY2(shown.first().text.contains(first.name()), qPrintable(shown.first().text));
        QVERIFY(!dialog.box(3)->isHidden());
        QCOMPARE(dialog.box(3)->echoMode(), QLineEdit::Password);
        dialog.box(3)->setText(QString::fromLatin1(TestSupport::kSecondPassword));
        dialog.confirm();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    // With the server out of reach (a link gone silent) the login goes on by the machine's rule,
    // after the claim's two seconds; the claim waits in the outbox. Another machine takes the
    // batch meanwhile: when the link is back and the claim arrives, both results are kept and
    // both are marked 重复参加.
    void aClaimMadeWhileTheServerWasAway()
    {
        TcpProxy link(quint16(cluster_->port()));
        LabMachine online(*cluster_, nextName());
        LabMachine cutOff(*cluster_, nextName(), link.port());
        const QString student = nextStudent();
        link.setMode(TcpProxy::Mode::Silent);
        QElapsedTimer waited;
        waited.start();
        const LoginReply local = cutOff.testLogin(student, QStringLiteral("T3"));
        QVERIFY2(local.ok(), qPrintable(local.message));
        QVERIFY(waited.elapsed() < 10'000);
        QVERIFY(cutOff.finishIn(local.session).ok());
        QVERIFY(cutOff.status().contains(QStringLiteral("notes waiting: 1")));

        // The other machine reaches the server first.
        const FinishReply first = online.finishExercise(student, QStringLiteral("T3"));
        QVERIFY2(first.ok(), qPrintable(first.message));
        QTRY_COMPARE_WITH_TIMEOUT(serverValue(QStringLiteral("SELECT count(*) FROM typelab.results WHERE xh = $1"), {student}),
                                  QStringLiteral("1"), 30'000);
        QCOMPARE(serverValue(QStringLiteral("SELECT count(*) FROM typelab.results WHERE xh = $1 AND duplicate"), {student}),
                 QStringLiteral("0"));

        link.setMode(TcpProxy::Mode::Pass);
        QTRY_COMPARE_WITH_TIMEOUT(cutOff.waiting(), 0, 30'000);
        QCOMPARE(serverValue(QStringLiteral("SELECT count(*) FROM typelab.results WHERE xh = $1"), {student}),
                 QStringLiteral("2"));
        QCOMPARE(serverValue(QStringLiteral("SELECT count(*) FROM typelab.results WHERE xh = $1 AND duplicate"), {student}),
                 QStringLiteral("2"));
        QCOMPARE(serverValue(QStringLiteral("SELECT machine FROM typelab.claims WHERE xh = $1"), {student}), online.name());
        QCOMPARE(serverValue(QStringLiteral("SELECT conflicts FROM typelab.claims WHERE xh = $1"), {student}), cutOff.name());
    }

    // A running test exercise's progress and its result reach the teacher's live view through
    // the server's notifications.
    void progressAndResultReachTheLiveView()
    {
        LabMachine machine(*cluster_, nextName());
        cluster_->addTeacher(QStringLiteral("watcher"), QStringLiteral("secret"));
        // The teacher's program reads the school's CA where a joined machine keeps it.
        const QString student = nextStudent();
        const LoginReply login = machine.testLogin(student, QStringLiteral("T4"));
        QVERIFY(login.ok());
        BatchWatch watch(ServerLogin{QStringLiteral("localhost:%1").arg(cluster_->port()), QStringLiteral("watcher"),
                                     QStringLiteral("secret")},
                         machine.folder().path(), QStringLiteral("t4"));
        QList<LiveAttempt> rows;
        connect(&watch, &BatchWatch::rowsRead, this, [&rows](const QList<LiveAttempt>& read) { rows = read; });
        watch.start();
        QTRY_COMPARE_WITH_TIMEOUT(rows.size(), 1, 10'000);
        QCOMPARE(rows.first().machine, machine.name());

        ExerciseLoader::setRandomSourceForTests([] { return 0.3f; });
        const OpenReply opened = machine.store().openExercise(login.session, ExerciseKind::English);
        QVERIFY(opened.ok());
        machine.store().exerciseProgress(login.session, opened.exercise, 77, 570);
        QTRY_VERIFY_WITH_TIMEOUT(!rows.isEmpty() && rows.first().typed == 77 && rows.first().secondsLeft == 570, 2'000);
        Clock::setSteady(*Clock::steady() + 601'500);
        FinishReply finished;
        bool answered = false;
        machine.store().finishExercise(login.session, opened.exercise, TypingLogs::tenMinutes(), this,
                                       [&](const FinishReply& reply) {
                                           finished = reply;
                                           answered = true;
                                       });
        QTRY_VERIFY(answered);
        QVERIFY(finished.ok());
        QTRY_VERIFY_WITH_TIMEOUT(!rows.isEmpty() && rows.first().finished, 2'000);
        QCOMPARE(rows.first().lrsd, std::optional<double>(finished.speed));
    }

    // A machine that has not joined sends nothing at all, progress included.
    void aMachineAloneTellsNothing()
    {
        LabMachine alone(QStringLiteral("alone"));
        const LoginReply login = alone.testLogin(nextStudent(), QStringLiteral("T5"));
        QVERIFY(login.ok());
        ExerciseLoader::setRandomSourceForTests([] { return 0.3f; });
        const OpenReply opened = alone.store().openExercise(login.session, ExerciseKind::English);
        alone.store().exerciseProgress(login.session, opened.exercise, 10, 590);
        QVERIFY(alone.store().purge().ok()); // a call after the progress: it has been handled
        QVERIFY(alone.outbox().isEmpty());
        QVERIFY(alone.status().contains(QStringLiteral("notes waiting: 0")));
    }
};

QTEST_MAIN(TestSchoolClaims)
#include "test_school_claims.moc"

// What a student's account does on an installed lab machine, run by test_real_bus.sh as that
// account against the installed store service on a real system bus: whole exercises through the
// program's window, and calls made straight to the bus that must store nothing.
//   real_bus_driver FUNCTION   (Qt Test; one function per run)
// Each stored result is printed as "FIGURES number|lrxm|score|speed|accuracy|batch", as the
// Status panel showed it, for the script to find in the grade database.
// Environment: TYPELAB_RIG_USER and TYPELAB_RIG_PASSWORD (the system login),
// TYPELAB_RIG_LOCK_SECONDS (the store's lock), TYPELAB_RIG_GO_ON (a file that appears once the
// script has done its part: killed the store, tried a session from another account).

#include "exercise/exercise_screen.h"
#include "exercise/keystroke_log.h"
#include "login/login_dialog.h"
#include "platform/message_box.h"
#include "shell/main_window.h"
#include "exercise/status_panel.h"
#include "store/store_client.h"
#include "store/store_protocol.h"
#include "support/test_support.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QtTest>

#include <cstdio>
#include <memory>

namespace {

const QString kAppFolder = QStringLiteral("/opt/typelab");

QDBusMessage call(const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(QString::fromLatin1(StoreProtocol::kServiceName),
                                                          QString::fromLatin1(StoreProtocol::kObjectPath),
                                                          QString::fromLatin1(StoreProtocol::kInterface), method);
    message.setArguments(arguments);
    return QDBusConnection::systemBus().call(message, QDBus::Block, 20'000);
}

template <typename Reply> Reply answer(const QString& method, const QVariantList& arguments = {})
{
    const QDBusMessage reply = call(method, arguments);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
        qFatal("%s: no answer: %s", qPrintable(method), qPrintable(reply.errorMessage()));
    return qdbus_cast<Reply>(reply.arguments().first());
}

// Results in the whole grade database, as the history window counts them.
qint64 storedResults()
{
    return answer<PageReply>(QStringLiteral("History"), {QVariant::fromValue(HistoryPages::Filter()),
                                                          QVariant::fromValue(HistoryPages::Cursor::at(0)), 1})
        .count;
}

bool serviceAnswers()
{
    const QDBusMessage reply = call(QStringLiteral("AppFolder"));
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toString() == kAppFolder;
}

QString practiceSession()
{
    const LoginReply login =
        answer<LoginReply>(QStringLiteral("PracticeLogin"), {QStringLiteral("2024099"), QStringLiteral("直接调用")});
    if (!login.ok())
        qFatal("practice login refused: %s", qPrintable(login.message));
    return login.session;
}

KeystrokeEvent logEvent(quint32 milliseconds, KeystrokeEvent::Kind kind, qint16 value = 0)
{
    return KeystrokeEvent{milliseconds, kind, value};
}

// One character of the text, a tick and Esc: a short exercise as the program would log it.
QByteArray honestLog(const QByteArray& text, quint32 start = 0)
{
    return KeystrokeLogs::encode({logEvent(start, KeystrokeEvent::Kind::Character, qint16(text.at(0))),
                                  logEvent(start + 950, KeystrokeEvent::Kind::Tick),
                                  logEvent(start + 960, KeystrokeEvent::Kind::KeyDown, 27)});
}

// Ten minutes of typing and ticks, one character a second.
QByteArray tenMinutesLog(const QByteArray& text)
{
    KeystrokeLog log;
    for (quint32 second = 0; second < 600; ++second) {
        log << logEvent(second * 1000, KeystrokeEvent::Kind::Character, qint16(text.at(0)));
        log << logEvent(second * 1000 + 999, KeystrokeEvent::Kind::Tick);
    }
    log << logEvent(600'000, KeystrokeEvent::Kind::KeyDown, 27);
    return KeystrokeLogs::encode(log);
}

void printFigures(const QString& number, const QString& lrxm, const QStringList& figures, const QString& batch)
{
    const QString line = QStringList{number, lrxm, figures[2], figures[0], figures[1], batch}.join(u'|');
    std::printf("FIGURES %s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace

class RealBusDriver : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindow> window;

    QString value(int index) const { return window->statusPanel()->value(index); }

    void openWindow()
    {
        window = std::make_unique<MainWindow>();
        QVERIFY(window->load(kAppFolder));
        // The installed service answers for /opt/typelab: no store of the program's own.
        QVERIFY(window->store().usesInstalledService());
        QCOMPARE(window->store().childProcessId(), qint64(0));
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    void login(LoginMode mode, const QString& number, const QString& name, const QString& batch)
    {
        const std::unique_ptr<LoginDialog> dialog = window->newLoginDialog(mode);
        dialog->box(0)->setText(number);
        dialog->box(1)->setText(name);
        dialog->box(2)->setText(batch);
        dialog->confirm();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
    }

    // Opens the English exercise the store draws and types its first eight characters right
    // and two wrong; the countdown ticks once.
    void typeSome(QPointer<ExerciseScreen>& screen)
    {
        window->menuItem("ywlr")->trigger();
        screen = window->findChild<ExerciseScreen*>(QStringLiteral("form2"));
        QVERIFY(screen);
        const ExerciseText& text = screen->engine()->text();
        QString typed;
        for (int p = 0; p < text.textLength && typed.size() < 8 && text.byteAt(p) >= 0x20; ++p)
            typed += QChar(text.byteAt(p));
        typed += QStringLiteral("~~");
        QTest::keyClicks(screen, typed);
        // The countdown started with the first key and runs on the real clock.
        QTRY_COMPARE_WITH_TIMEOUT(value(StatusPanel::RemainingTime), QStringLiteral("09:59"), 5000);
    }

    // Ends the exercise with Esc and waits for the store's answer; the figures shown (speed,
    // accuracy, score).
    void finish(ExerciseScreen* screen, QStringList& figures)
    {
        window->statusPanel()->setValue(StatusPanel::Speed, QString());
        QTest::keyClick(screen, Qt::Key_Escape);
        QTRY_COMPARE_WITH_TIMEOUT(window->store().finishesUnderWay(), 0, 60'000);
        figures = QStringList{value(StatusPanel::Speed), value(StatusPanel::Accuracy), value(StatusPanel::Score)};
    }

    static void waitForTheScript()
    {
        const QString goOn = qEnvironmentVariable("TYPELAB_RIG_GO_ON");
        QVERIFY(!goOn.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(goOn), 60'000);
    }

    void wholeExercise(LoginMode mode, const QString& number, const QString& name, const QString& batch)
    {
        openWindow();
        login(mode, number, name, batch);
        const qint64 before = storedResults();
        QPointer<ExerciseScreen> screen;
        typeSome(screen);
        QVERIFY(screen && !QTest::currentTestFailed());
        QStringList figures;
        finish(screen, figures);
        QVERIFY(!figures.isEmpty());
        QVERIFY2(MessageBoxes::takeRecorded().isEmpty(), "the program reported a problem");
        QVERIFY(!figures[0].isEmpty());
        QCOMPARE(storedResults(), before + 1);
        printFigures(number, QStringLiteral("英文"), figures, batch);
    }

private slots:
    void initTestCase()
    {
        TestSupport::prepareApplication();
        StoreProtocol::registerTypes();
        QVERIFY2(QDBusConnection::systemBus().isConnected(), "no system bus");
    }

    void init() { TestSupport::resetState(); }

    void cleanup() { window.reset(); }

    void practiceExercise()
    {
        wholeExercise(LoginMode::Practice, QStringLiteral("2024001"), QStringLiteral("张三"), QString());
    }

    void testExercise()
    {
        wholeExercise(LoginMode::Test, QStringLiteral("2024000017"), QStringLiteral("李四"), QStringLiteral("B12"));
        // The test login has taken the English exercise.
        QVERIFY(!window->menuItem("ywlr")->isEnabled());
    }

    // The store is killed while the exercise is open; the result is stored all the same, by the
    // store the bus starts again when the program sends it.
    void serviceKilledInTheMiddle()
    {
        openWindow();
        login(LoginMode::Practice, QStringLiteral("2024002"), QStringLiteral("王五"), QString());
        const qint64 before = storedResults();
        QPointer<ExerciseScreen> screen;
        typeSome(screen);
        QVERIFY(screen && !QTest::currentTestFailed());
        const uint pid =
            QDBusConnection::systemBus().interface()->servicePid(QString::fromLatin1(StoreProtocol::kServiceName));
        QVERIFY(pid > 0);
        std::printf("SERVICE_PID %u\n", pid);
        std::fflush(stdout);
        waitForTheScript();

        QStringList figures;
        finish(screen, figures);
        QVERIFY(!figures.isEmpty());
        QVERIFY2(MessageBoxes::takeRecorded().isEmpty(), "the program reported a problem");
        QVERIFY(!figures[0].isEmpty());
        const uint again =
            QDBusConnection::systemBus().interface()->servicePid(QString::fromLatin1(StoreProtocol::kServiceName));
        QVERIFY(again > 0);
        QVERIFY(again != pid);
        QCOMPARE(storedResults(), before + 1);
        printFigures(QStringLiteral("2024002"), QStringLiteral("英文"), figures, QString());
    }

    // The script tries this session's token from another account while it is open; the token
    // still serves this account afterwards.
    void sessionOfThisAccount()
    {
        const QString session = practiceSession();
        std::printf("SESSION %s\n", qPrintable(session));
        std::fflush(stdout);
        waitForTheScript();
        const OpenReply opened = answer<OpenReply>(QStringLiteral("OpenExercise"), {session, 1});
        QVERIFY2(opened.ok(), qPrintable(opened.message));
        call(QStringLiteral("EndSession"), {session});
    }

    // Logs that no exercise could have made, and an exercise that was never opened.
    void forgedFinishStoresNothing_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("log"); // how the log is made
        QTest::addColumn<qlonglong>("exerciseOffset");
        QTest::newRow("600 s of typing sent right after opening") << 1 << "ten minutes" << 0LL;
        QTest::newRow("a Chinese 600 s log") << 2 << "ten minutes" << 0LL;
        QTest::newRow("garbage") << 1 << "garbage" << 0LL;
        QTest::newRow("empty") << 1 << "empty" << 0LL;
        QTest::newRow("ticks faster than a second") << 1 << "fast ticks" << 0LL;
        QTest::newRow("no Esc and no last tick") << 1 << "unfinished" << 0LL;
        QTest::newRow("an exercise never opened") << 1 << "honest" << 1000LL;
        QTest::newRow("an exercise of another session") << 1 << "honest" << -1LL;
    }

    void forgedFinishStoresNothing()
    {
        QFETCH(int, kind);
        QFETCH(QString, log);
        QFETCH(qlonglong, exerciseOffset);
        const QString session = practiceSession();
        const OpenReply opened = answer<OpenReply>(QStringLiteral("OpenExercise"), {session, kind});
        QVERIFY2(opened.ok(), qPrintable(opened.message));
        const qint64 before = storedResults();
        QByteArray bytes;
        if (log == QLatin1String("ten minutes")) {
            bytes = tenMinutesLog(opened.text);
        } else if (log == QLatin1String("garbage")) {
            for (int i = 0; i < 4096; ++i)
                bytes += char((i * 7919 + 13) & 0xFF);
        } else if (log == QLatin1String("fast ticks")) {
            bytes = KeystrokeLogs::encode({logEvent(0, KeystrokeEvent::Kind::Character, qint16(opened.text.at(0))),
                                           logEvent(100, KeystrokeEvent::Kind::Tick),
                                           logEvent(200, KeystrokeEvent::Kind::Tick),
                                           logEvent(210, KeystrokeEvent::Kind::KeyDown, 27)});
        } else if (log == QLatin1String("unfinished")) {
            bytes = KeystrokeLogs::encode({logEvent(0, KeystrokeEvent::Kind::Character, qint16(opened.text.at(0)))});
        } else if (log == QLatin1String("honest")) {
            bytes = honestLog(opened.text);
        }
        const FinishReply reply = answer<FinishReply>(QStringLiteral("FinishExercise"),
                                                      {session, qlonglong(opened.exercise + exerciseOffset), bytes});
        QVERIFY2(!reply.ok(), qPrintable(log));
        QVERIFY(reply.status == StoreStatus::NotStored || reply.status == StoreStatus::Refused);
        QVERIFY(!reply.message.isEmpty());
        QVERIFY(serviceAnswers());
        QCOMPARE(storedResults(), before);
        call(QStringLiteral("EndSession"), {session});
    }

    // A test login stores one result per exercise kind, however often it is sent.
    void secondResultForOneTestExercise()
    {
        const LoginReply login = answer<LoginReply>(
            QStringLiteral("TestLogin"),
            {QStringLiteral("2024000099"), QStringLiteral("赵六"), QStringLiteral("B77"), QString(), false});
        QVERIFY2(login.ok(), qPrintable(login.message));
        const OpenReply opened = answer<OpenReply>(QStringLiteral("OpenExercise"), {login.session, 1});
        QVERIFY2(opened.ok(), qPrintable(opened.message));
        const qint64 before = storedResults();
        const FinishReply first = answer<FinishReply>(
            QStringLiteral("FinishExercise"), {login.session, qlonglong(opened.exercise), honestLog(opened.text)});
        QVERIFY2(first.ok(), qPrintable(first.message));
        QCOMPARE(storedResults(), before + 1);

        // The same exercise again, with another log: the first figures, nothing more stored.
        const FinishReply second = answer<FinishReply>(
            QStringLiteral("FinishExercise"), {login.session, qlonglong(opened.exercise), honestLog(opened.text, 5)});
        QVERIFY(second.ok());
        QCOMPARE(second.speed, first.speed);
        QCOMPARE(second.score, first.score);
        QCOMPARE(storedResults(), before + 1);
        // A second English exercise for this test login is not opened; its Chinese one is, once.
        const OpenReply again = answer<OpenReply>(QStringLiteral("OpenExercise"), {login.session, 1});
        QCOMPARE(int(again.status), int(StoreStatus::AlreadyTaken));
        QVERIFY(answer<OpenReply>(QStringLiteral("OpenExercise"), {login.session, 2}).ok());
        QCOMPARE(int(answer<OpenReply>(QStringLiteral("OpenExercise"), {login.session, 2}).status),
                 int(StoreStatus::AlreadyTaken));
        QCOMPARE(storedResults(), before + 1);
        QVERIFY(serviceAnswers());
        call(QStringLiteral("EndSession"), {login.session});
    }

    // Every method with arguments of the wrong types or values no dialog lets through.
    void junkArgumentsStoreNothing_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments"); // "$session": a practice session's token
        const QString session = QStringLiteral("$session");
        const QString huge(100'000, u'x');
        QTest::newRow("AppFolder with an argument") << "AppFolder" << QVariantList{42};
        QTest::newRow("a method that is not there") << "DropTables" << QVariantList{};
        QTest::newRow("Purge with an argument") << "Purge" << QVariantList{QStringLiteral("all")};
        QTest::newRow("PracticeLogin numbers") << "PracticeLogin" << QVariantList{5, 6};
        QTest::newRow("PracticeLogin empty") << "PracticeLogin" << QVariantList{QString(), QString()};
        QTest::newRow("PracticeLogin huge") << "PracticeLogin" << QVariantList{huge, huge};
        QTest::newRow("TestLogin short number")
            << "TestLogin"
            << QVariantList{QStringLiteral("123"), QStringLiteral("名"), QStringLiteral("B1"), QString(), false};
        QTest::newRow("TestLogin huge batch")
            << "TestLogin" << QVariantList{QStringLiteral("2024000001"), QStringLiteral("名"), huge, QString(), true};
        QTest::newRow("TestLogin missing arguments") << "TestLogin" << QVariantList{QStringLiteral("2024000001")};
        QTest::newRow("SystemLogin numbers") << "SystemLogin" << QVariantList{1, 2, 3};
        QTest::newRow("SystemLogin huge") << "SystemLogin" << QVariantList{huge, QString(), QString()};
        QTest::newRow("EndSession unknown") << "EndSession" << QVariantList{QStringLiteral("no such session")};
        QTest::newRow("OpenExercise unknown session") << "OpenExercise" << QVariantList{QStringLiteral("nobody"), 1};
        QTest::newRow("OpenExercise kind 99") << "OpenExercise" << QVariantList{session, 99};
        QTest::newRow("OpenExercise kind -1") << "OpenExercise" << QVariantList{session, -1};
        QTest::newRow("FinishExercise unknown session")
            << "FinishExercise" << QVariantList{QStringLiteral("nobody"), qlonglong(1), QByteArray("x")};
        QTest::newRow("FinishExercise negative id")
            << "FinishExercise" << QVariantList{session, qlonglong(-1), QByteArray(70'000, '\xff')};
        QTest::newRow("FinishExercise string log")
            << "FinishExercise" << QVariantList{session, qlonglong(1), QStringLiteral("log")};
        const QVariant everything = QVariant::fromValue(HistoryPages::Filter());
        QTest::newRow("History negative")
            << "History" << QVariantList{everything, QVariant::fromValue(HistoryPages::Cursor::at(-5)), -1};
        QTest::newRow("History cursor a string") << "History" << QVariantList{everything, QStringLiteral("key"), 10};
        QTest::newRow("History numbers") << "History" << QVariantList{1, 2, 3};
        QTest::newRow("History a huge page")
            << "History" << QVariantList{everything, QVariant::fromValue(HistoryPages::Cursor::at(0)), 1'000'000'000};
        HistoryPages::Cursor nowhere = HistoryPages::Cursor::at(0);
        nowhere.from = HistoryPages::Cursor::From(7);
        QTest::newRow("History from nowhere")
            << "History" << QVariantList{everything, QVariant::fromValue(nowhere), 10};
        QTest::newRow("BatchResults huge") << "BatchResults" << QVariantList{huge};
        QTest::newRow("Password of a practice session") << "Password" << QVariantList{session, 1};
        QTest::newRow("Password column 9") << "Password" << QVariantList{session, 9};
        QTest::newRow("SetPassword of a practice session")
            << "SetPassword" << QVariantList{session, 1, QStringLiteral("mine")};
        QTest::newRow("ClearHistory of a practice session") << "ClearHistory" << QVariantList{session};
        QTest::newRow("ClearHistory unknown session") << "ClearHistory" << QVariantList{QStringLiteral("nobody")};
        QTest::newRow("ReplaceText of a practice session")
            << "ReplaceText" << QVariantList{session, QStringLiteral("yw/ydzcs0.dat"), QByteArray("junk")};
        QTest::newRow("ReplaceText outside the texts")
            << "ReplaceText" << QVariantList{session, QStringLiteral("../../../etc/passwd"), QByteArray("x")};
    }

    void junkArgumentsStoreNothing()
    {
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        const QString session = practiceSession();
        for (QVariant& argument : arguments)
            if (argument.toString() == QLatin1String("$session"))
                argument = session;
        const qint64 before = storedResults();
        const QDBusMessage reply = call(method, arguments);
        if (reply.type() == QDBusMessage::ReplyMessage && method != QLatin1String("EndSession")
            && method != QLatin1String("History") && method != QLatin1String("BatchResults")
            && method != QLatin1String("Purge")) {
            // Answered: then with a refusal, never Ok.
            QVERIFY(!reply.arguments().isEmpty());
            const StoreReply status = qdbus_cast<StoreReply>(reply.arguments().first());
            QVERIFY2(!status.ok(), qPrintable(method));
        }
        QVERIFY(serviceAnswers());
        QCOMPARE(storedResults(), before);
        call(QStringLiteral("EndSession"), {session});
    }

    // Five wrong system passwords lock the account: the right one is refused until the lock
    // ends, then accepted.
    void passwordsTriedTooOften()
    {
        const QString user = qEnvironmentVariable("TYPELAB_RIG_USER");
        const QString right = qEnvironmentVariable("TYPELAB_RIG_PASSWORD");
        const int lockSeconds = qEnvironmentVariableIntValue("TYPELAB_RIG_LOCK_SECONDS");
        QVERIFY(!user.isEmpty() && !right.isEmpty() && lockSeconds > 0);
        const auto systemLogin = [&](const QString& password) {
            const LoginReply reply = answer<LoginReply>(QStringLiteral("SystemLogin"), {user, password, QString()});
            if (reply.ok())
                call(QStringLiteral("EndSession"), {reply.session});
            return reply;
        };
        QVERIFY(systemLogin(right).ok()); // a right password starts the count afresh
        for (int i = 0; i < 5; ++i)
            QCOMPARE(int(systemLogin(QStringLiteral("wrong%1").arg(i)).status), int(StoreStatus::WrongPassword));
        QElapsedTimer locked;
        locked.start();
        const LoginReply refused = systemLogin(right);
        QCOMPARE(int(refused.status), int(StoreStatus::TooManyAttempts));
        QVERIFY(refused.seconds > 0 && refused.seconds <= lockSeconds);
        QVERIFY(refused.message.contains(QString::number(refused.seconds)));

        QTRY_VERIFY_WITH_TIMEOUT(systemLogin(right).ok(), (lockSeconds + 10) * 1000);
        // Accepted only once the lock has run out (a second of slack for rounding).
        QVERIFY(locked.elapsed() >= (lockSeconds - 1) * 1000);
    }
};

QTEST_MAIN(RealBusDriver)
#include "real_bus_driver.moc"

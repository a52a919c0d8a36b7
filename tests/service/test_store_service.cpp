// The store service's rules, driven without a bus: sessions, passwords tried too often, exercises
// opened and finished only by logs that hold up against the store's own clock, maintenance for
// the supervisor only, and the share's copy.

#include "exercise/exercise_file_format.h"
#include "exercise/keystroke_log.h"
#include "maintenance/atomic_write.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "service/store_service.h"
#include "store/store_protocol.h"
#include "support/test_support.h"

#include <QDBusMetaType>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const StoreCaller kStudent{1001, QStringLiteral(":1.7")};
const StoreCaller kOther{1002, QStringLiteral(":1.9")};
constexpr qint64 kStart = 5'000'000; // the steady clock when a test begins

using Kind = KeystrokeEvent::Kind;

KeystrokeEvent at(quint32 ms, Kind kind, qint16 value = 0)
{
    return {ms, kind, value};
}

// "ab" typed at 100 and 200 ms, `ticks` ticks a second apart, then Esc.
KeystrokeLog typedAb(int ticks)
{
    KeystrokeLog log{at(100, Kind::KeyDown, 65), at(100, Kind::Character, 'a'), at(200, Kind::KeyDown, 66),
                     at(200, Kind::Character, 'b')};
    for (int i = 1; i <= ticks; ++i)
        log << at(quint32(100 + 1000 * i), Kind::Tick);
    log << at(quint32(150 + 1000 * ticks), Kind::KeyDown, 27);
    return log;
}

} // namespace

class TestStoreService : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::AppFolder> app_;
    std::unique_ptr<StoreService> service_;

    void advance(qint64 milliseconds) { Clock::setSteady(*Clock::steady() + milliseconds); }
    QString practice(const StoreCaller& caller = kStudent)
    {
        const LoginReply reply = service_->logins.practice(caller, QStringLiteral("2024001"), QStringLiteral("张三"));
        if (!reply.ok())
            qFatal("practice login refused: %s", qPrintable(reply.message));
        return reply.session;
    }
    QString system(const QString& previous = {})
    {
        const LoginReply reply = service_->logins.system(kStudent, QString::fromLatin1(TestSupport::kUser),
                                                       QString::fromLatin1(TestSupport::kUserPassword), previous);
        if (!reply.ok())
            qFatal("system login refused: %s", qPrintable(reply.message));
        return reply.session;
    }
    qint64 resultCount() { return app_->store().resultCount(); }
    qint64 logCount()
    {
        GradeStore store = app_->store();
        Database& db = GradeStoreInspector::database(store);
        db.attach(app_->file(QStringLiteral("data/typelab-store.db")), QStringLiteral("store"));
        Statement count = db.prepare(QStringLiteral("SELECT count(*) FROM store.result_log"));
        count.step();
        return count.integer(0);
    }

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void init()
    {
        TestSupport::resetState();
        Clock::setFixed(QDateTime(QDate(2026, 12, 8), QTime(9, 30, 0)));
        Clock::setSteady(kStart);
        ExerciseLoader::setRandomSourceForTests([] { return 0.3f; }); // file 3
        app_ = std::make_unique<TestSupport::AppFolder>();
        app_->writeFile(QStringLiteral("yw/ydzcs3.dat"), ExerciseFileFormat::build("abc\r\n"));
        app_->writeFile(QStringLiteral("zw/cdzcs3.dat"), ExerciseFileFormat::build(*CodePage::encode("中文\r\n")));
        service_ = std::make_unique<StoreService>(StorePlaces::ownFolder(app_->path()), 30);
    }
    void cleanup()
    {
        service_.reset();
        app_.reset();
        ExerciseLoader::setRandomSourceForTests({});
        AtomicWrite::failAfterBytesForTests(std::nullopt);
    }

    // A direct call gets the dialogs' own checks: what a dialog refuses, the store refuses.
    void loginsApplyTheDialogsChecks_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("message");
        QTest::newRow("practice number of 11")
            << 1 << QStringList{"12345678901", "张三"} << "学号不能为空或者不能超过10位！";
        QTest::newRow("practice name of 7 Chinese")
            << 1 << QStringList{"1", "一二三四五六七"} << "姓名不能为空或大于12位！";
        QTest::newRow("test number of 9")
            << 2 << QStringList{"123456789", "李四", "B1"} << "学号不为10位或有中文字符！";
        QTest::newRow("test batch Chinese")
            << 2 << QStringList{"1234567890", "李四", "批次"} << "批次号不能为全角字符、不能为空或超过10位！";
        QTest::newRow("system user empty") << 3 << QStringList{"", "x"} << "用户名不能为空或超过10位！";
        QTest::newRow("system password 11") << 3 << QStringList{"admin", "12345678901"} << "密码不能超过10位！";
    }
    void loginsApplyTheDialogsChecks()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, fields);
        QFETCH(QString, message);
        const LoginReply reply = mode == 1 ? service_->logins.practice(kStudent, fields[0], fields[1])
            : mode == 2 ? service_->logins.test(kStudent, fields[0], fields[1], fields[2], QString(), false)
                        : service_->logins.system(kStudent, fields[0], fields[1], QString());
        QCOMPARE(int(reply.status), int(StoreStatus::Refused));
        QCOMPARE(reply.message, message);
        QVERIFY(reply.session.isEmpty());
        QVERIFY(!app_->store().hasTestLogin(QStringLiteral("1234567890"), QStringLiteral("批次")));
    }

    // The interface file names each structure by the C++ type the adaptor and the proxy are
    // generated with; the signature it writes beside it must be the one those types marshal to,
    // or busctl and d-spy would show a store that is not the one running.
    void interfaceFileMatchesTheMarshalling()
    {
        StoreProtocol::registerTypes();
        QFile file(qEnvironmentVariable("TYPELAB_SOURCE_DIR") + QStringLiteral("/data/dbus/org.typelab.Store1.xml"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QMap<QString, QString> signatures; // "Method In0" -> declared type
        QString method;
        int in = 0, out = 0, named = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const QXmlStreamAttributes attributes = xml.attributes();
            if (xml.name() == QLatin1String("method")) {
                method = attributes.value(QLatin1String("name")).toString();
                in = out = 0;
            } else if (xml.name() == QLatin1String("arg")) {
                const bool isIn = attributes.value(QLatin1String("direction")) == QLatin1String("in");
                signatures[QStringLiteral("%1 %2%3").arg(method, isIn ? "In" : "Out").arg(isIn ? in++ : out++)] =
                    attributes.value(QLatin1String("type")).toString();
            } else if (xml.name() == QLatin1String("annotation")
                       && attributes.value(QLatin1String("name")).startsWith(QLatin1String("org.qtproject.QtDBus.QtTypeName."))) {
                const QString which = attributes.value(QLatin1String("name")).toString().section(u'.', -1);
                const QByteArray type = attributes.value(QLatin1String("value")).toLatin1();
                const QMetaType meta = QMetaType::fromName(type);
                QVERIFY2(meta.isValid(), type.constData());
                QCOMPARE(QString::fromLatin1(QDBusMetaType::typeToSignature(meta)),
                         signatures.value(method + u' ' + which));
                ++named;
            }
        }
        QVERIFY(!xml.hasError());
        QVERIFY(named >= 17); // every answer and the two structures passed in
    }

    void testLoginClaimsItsBatchOnce()
    {
        const auto login = [this](const QString& password, bool withPassword) {
            return service_->logins.test(kStudent, QStringLiteral(" 2024000001 "), QStringLiteral("李四"),
                                       QStringLiteral("B1"), password, withPassword);
        };
        const LoginReply first = login({}, false);
        QVERIFY(first.ok());
        QCOMPARE(first.number, QStringLiteral("2024000001"));
        QCOMPARE(first.batch, QStringLiteral("B1"));
        QVERIFY(app_->store().hasTestLogin(QStringLiteral("2024000001"), QStringLiteral("b1")));
        QCOMPARE(int(login({}, false).status), int(StoreStatus::SecondPasswordNeeded));
        QCOMPARE(int(login(QStringLiteral("nope"), true).status), int(StoreStatus::WrongPassword));
        QCOMPARE(int(login(QStringLiteral("一二三四五六"), true).status), int(StoreStatus::Refused));
        const LoginReply again = login(QStringLiteral(" AGAIN "), true); // compared as the look-ups do
        QVERIFY(again.ok());
        QVERIFY(again.session != first.session);
    }

    // Five wrong passwords in a row lock the account, right or wrong, for the lock's time; a
    // right one starts the count again, and another account is not touched.
    void wrongPasswordsLockTheAccount()
    {
        const auto systemLogin = [this](const StoreCaller& caller, const char* password) {
            return service_->logins.system(caller, QStringLiteral("admin"), QString::fromLatin1(password), {});
        };
        for (int i = 0; i < 4; ++i)
            QCOMPARE(int(systemLogin(kStudent, "wrong").status), int(StoreStatus::WrongPassword));
        QVERIFY(systemLogin(kStudent, "admin123").ok()); // the count starts again
        // Second-login and system passwords count together.
        service_->logins.test(kStudent, QStringLiteral("2024000001"), QStringLiteral("李四"), QStringLiteral("B1"), {},
                            false);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(int(service_
                             ->logins.test(kStudent, QStringLiteral("2024000001"), QStringLiteral("李四"),
                                         QStringLiteral("B1"), QStringLiteral("x"), true)
                             .status),
                     int(StoreStatus::WrongPassword));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(int(systemLogin(kStudent, "wrong").status), int(StoreStatus::WrongPassword));

        LoginReply locked = systemLogin(kStudent, "admin123");
        QCOMPARE(int(locked.status), int(StoreStatus::TooManyAttempts));
        QCOMPARE(locked.seconds, 30);
        QCOMPARE(locked.message, QStringLiteral("密码连续输错5次，请30秒后再试！"));
        QVERIFY(locked.session.isEmpty());
        QVERIFY(systemLogin(kOther, "admin123").ok());
        advance(29'500);
        locked = systemLogin(kStudent, "admin123");
        QCOMPARE(int(locked.status), int(StoreStatus::TooManyAttempts));
        QCOMPARE(locked.seconds, 1);
        advance(500);
        QVERIFY(systemLogin(kStudent, "admin123").ok());
    }

    void sessionsBelongToTheirAccountForAnHour()
    {
        const QString session = practice();
        QCOMPARE(int(service_->exercises.open(kOther, session, ExerciseKind::English).status), int(StoreStatus::NoSession));
        advance(Sessions::kIdleMilliseconds - 1);
        QVERIFY(service_->exercises.open(kStudent, session, ExerciseKind::English).ok()); // a call keeps it alive
        advance(Sessions::kIdleMilliseconds + 1);
        QCOMPARE(int(service_->exercises.open(kStudent, session, ExerciseKind::English).status), int(StoreStatus::NoSession));

        const QString ended = practice();
        service_->sessions.end(kStudent, ended);
        QCOMPARE(int(service_->exercises.open(kStudent, ended, ExerciseKind::English).status), int(StoreStatus::NoSession));
        const QString gone = practice();
        QCOMPARE(service_->sessions.owners(), QStringList{kStudent.busName});
        service_->sessions.endAllOf(kStudent.busName);
        QCOMPARE(int(service_->exercises.open(kStudent, gone, ExerciseKind::English).status), int(StoreStatus::NoSession));
        QVERIFY(service_->sessions.owners().isEmpty());
    }

    void exercisesAreOpenedUnderASession()
    {
        const QString session = practice();
        const OpenReply english = service_->exercises.open(kStudent, session, ExerciseKind::English);
        QVERIFY(english.ok());
        QCOMPARE(english.digit, 3);
        QCOMPARE(english.text, QByteArray("abc\r\n"));
        QCOMPARE(int(service_->exercises.open(kStudent, session, ExerciseKind(3)).status), int(StoreStatus::Refused));
        QFile::remove(app_->file(QStringLiteral("zw/cdzcs3.dat")));
        QCOMPARE(int(service_->exercises.open(kStudent, session, ExerciseKind::Chinese).status), int(StoreStatus::BadExerciseFile));
        QCOMPARE(int(service_->exercises.open(kStudent, QStringLiteral("forged"), ExerciseKind::English).status),
                 int(StoreStatus::NoSession));

        // A test session takes each kind once, however often it asks.
        const QString test = service_
                                 ->logins.test(kStudent, QStringLiteral("2024000001"), QStringLiteral("李四"),
                                             QStringLiteral("B1"), {}, false)
                                 .session;
        QVERIFY(service_->exercises.open(kStudent, test, ExerciseKind::English).ok());
        QCOMPARE(int(service_->exercises.open(kStudent, test, ExerciseKind::English).status), int(StoreStatus::AlreadyTaken));
        // Each kind once: the English one taken leaves the Chinese one open to it.
        app_->writeFile(QStringLiteral("zw/cdzcs3.dat"), ExerciseFileFormat::build(*CodePage::encode("中文\r\n")));
        QVERIFY(service_->exercises.open(kStudent, test, ExerciseKind::Chinese).ok());
        QCOMPARE(int(service_->exercises.open(kStudent, test, ExerciseKind::Chinese).status), int(StoreStatus::AlreadyTaken));
    }

    // The store computes the figures from the log and dates them with its own clock.
    void anHonestLogIsStoredOnce()
    {
        const QString session = service_
                                    ->logins.test(kStudent, QStringLiteral("2024000001"), QStringLiteral("李四"),
                                                QStringLiteral("B1"), {}, false)
                                    .session;
        const OpenReply opened = service_->exercises.open(kStudent, session, ExerciseKind::English);
        advance(3000);
        const QByteArray log = KeystrokeLogs::encode(typedAb(2));
        const FinishReply reply = service_->exercises.finish(kStudent, session, opened.exercise, log);
        QVERIFY2(reply.ok(), qPrintable(reply.message));
        QCOMPARE(reply.speed, 60.0); // 2 characters in 2 seconds
        QCOMPARE(reply.accuracy, 100.0);
        const QList<GradeRow> rows = app_->store().allResults();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].xh, QStringLiteral("2024000001"));
        QCOMPARE(rows[0].lrxm, QStringLiteral("英文"));
        QCOMPARE(rows[0].lrsd, 60.0);
        QCOMPARE(rows[0].lrdate, QDate(2026, 12, 8));
        QCOMPARE(rows[0].lrtime, QTime(9, 30, 0));
        QCOMPARE(rows[0].lrpc, QStringLiteral("B1"));
        QCOMPARE(logCount(), 1);

        // The answer lost and the log sent again: the same figures, still one row.
        const FinishReply again = service_->exercises.finish(kStudent, session, opened.exercise, log);
        QVERIFY(again.ok());
        QCOMPARE(again.speed, reply.speed);
        QCOMPARE(resultCount(), 1);
    }

    void forgedLogsStoreNothing_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<qint64>("openFor"); // milliseconds between opening and finishing
        QTest::addColumn<QString>("reason");
        KeystrokeLog tenMinutes = typedAb(601);
        tenMinutes.removeLast(); // the 601st tick ended it
        QTest::newRow("600 s claimed 2 s after opening")
            << KeystrokeLogs::encode(tenMinutes) << qint64(2000) << "超过了练习实际打开的时间";
        // In order and ended as an honest log is: only the second tick, 400 ms after the first, is
        // wrong.
        KeystrokeLog fast = typedAb(1);
        fast.insert(5, at(1500, Kind::Tick));
        fast.last().milliseconds = 1550;
        QTest::newRow("ticks faster than a second")
            << KeystrokeLogs::encode(fast) << qint64(5000) << "倒计时走得比每秒一次快";
        QTest::newRow("garbage") << QByteArray("\x01\x02garbage") << qint64(5000) << "无法识别";
        QTest::newRow("nothing typed") << KeystrokeLogs::encode({at(10, Kind::KeyDown, 27)}) << qint64(5000)
                                       << "没有录入任何字符";
        KeystrokeLog unended = typedAb(1);
        unended.removeLast();
        QTest::newRow("not ended") << KeystrokeLogs::encode(unended) << qint64(5000) << "没有以 Esc 键或倒计时结束";
        KeystrokeLog after = typedAb(1);
        after << at(1200, Kind::Character, 'c');
        QTest::newRow("typing after Esc") << KeystrokeLogs::encode(after) << qint64(5000) << "练习结束之后还有内容";
        KeystrokeLog backwards = typedAb(1);
        backwards[2].milliseconds = 50;
        QTest::newRow("time running back") << KeystrokeLogs::encode(backwards) << qint64(5000) << "时间次序有误";
        KeystrokeLog halfCharacter = typedAb(1);
        halfCharacter[1].value = qint16(quint16(0xD600)); // a lead byte with a trail of 0
        QTest::newRow("no key types this")
            << KeystrokeLogs::encode(halfCharacter) << qint64(5000) << "键盘打不出的字符";
    }
    void forgedLogsStoreNothing()
    {
        QFETCH(QByteArray, log);
        QFETCH(qint64, openFor);
        QFETCH(QString, reason);
        const QString session = practice();
        const OpenReply opened = service_->exercises.open(kStudent, session, ExerciseKind::English);
        advance(openFor);
        const FinishReply reply = service_->exercises.finish(kStudent, session, opened.exercise, log);
        QCOMPARE(int(reply.status), int(StoreStatus::NotStored));
        QVERIFY2(reply.message.contains(reason), qPrintable(reply.message));
        QCOMPARE(resultCount(), 0);
        // Refused once, refused for good: an honest log cannot follow a forged one.
        const FinishReply honest =
            service_->exercises.finish(kStudent, session, opened.exercise, KeystrokeLogs::encode(typedAb(1)));
        QCOMPARE(int(honest.status), int(StoreStatus::NotStored));
        QCOMPARE(resultCount(), 0);
    }

    // A log may run a second longer than the store saw the exercise open (the two clocks are
    // read at different moments, and an answer takes time to arrive), never more.
    void logSpanAllowance()
    {
        const QByteArray log = KeystrokeLogs::encode(typedAb(2)); // Esc at 2150 ms
        const QString session = practice();
        const OpenReply tooLong = service_->exercises.open(kStudent, session, ExerciseKind::English);
        advance(1149);
        const FinishReply refused = service_->exercises.finish(kStudent, session, tooLong.exercise, log);
        QCOMPARE(int(refused.status), int(StoreStatus::NotStored));
        QVERIFY2(refused.message.contains(QStringLiteral("超过了练习实际打开的时间")), qPrintable(refused.message));
        const OpenReply justRight = service_->exercises.open(kStudent, session, ExerciseKind::English);
        advance(1150);
        QVERIFY(service_->exercises.finish(kStudent, session, justRight.exercise, log).ok());
        QCOMPARE(resultCount(), 1);
    }

    void finishNeedsTheExerciseOfTheSession()
    {
        const QString session = practice();
        const QString other = practice(kOther);
        const OpenReply opened = service_->exercises.open(kStudent, session, ExerciseKind::English);
        advance(3000);
        const QByteArray log = KeystrokeLogs::encode(typedAb(1));
        QCOMPARE(int(service_->exercises.finish(kStudent, session, opened.exercise + 1, log).status),
                 int(StoreStatus::Refused));
        QCOMPARE(int(service_->exercises.finish(kOther, other, opened.exercise, log).status), int(StoreStatus::Refused));
        QCOMPARE(int(service_->exercises.finish(kOther, session, opened.exercise, log).status),
                 int(StoreStatus::NoSession));
        QCOMPARE(resultCount(), 0);
    }

    void maintenanceNeedsTheSystemLogin()
    {
        const QString student = practice();
        for (const StoreReply& reply :
             {StoreReply(service_->maintenance.password(kStudent, student, PasswordColumn::SecondLogin)), service_->maintenance.setPassword(kStudent, student, PasswordColumn::SecondLogin, "x"),
              service_->maintenance.clearHistory(kStudent, student),
              service_->maintenance.replaceText(kStudent, student, QStringLiteral("yw/ydzcs3.dat"), "new\r\n")}) {
            QCOMPARE(int(reply.status), int(StoreStatus::Refused));
            QCOMPARE(reply.message, QStringLiteral("只有系统登录后才能做这项维护。"));
        }
        const QString supervisor = system(student);
        const PasswordReply old = service_->maintenance.password(kStudent, supervisor, PasswordColumn::SecondLogin);
        QCOMPARE(old.password, QString::fromLatin1(TestSupport::kSecondPassword));
        QCOMPARE(int(service_->maintenance.setPassword(kStudent, supervisor, PasswordColumn::SecondLogin, QStringLiteral("一二三四五六")).status),
                 int(StoreStatus::Refused));
        QVERIFY(service_->maintenance.setPassword(kStudent, supervisor, PasswordColumn::SecondLogin, QStringLiteral(" neu ")).ok());
        QCOMPARE(app_->store().systemRow()->xsmm, QStringLiteral("neu"));

        // Only the texts the store owns, and only texts the Exercise screen can take.
        QCOMPARE(int(service_->maintenance.replaceText(kStudent, supervisor, QStringLiteral("../x.dat"), "a").status),
                 int(StoreStatus::Refused));
        QCOMPARE(int(service_->maintenance.replaceText(kStudent, supervisor, QStringLiteral("data/stugrade.mdb"), "a").status),
                 int(StoreStatus::Refused));
        QCOMPARE(int(service_->maintenance.replaceText(kStudent, supervisor, QStringLiteral("yw/ydzcs3.dat"), "").status),
                 int(StoreStatus::Refused));
        QVERIFY(service_->maintenance.replaceText(kStudent, supervisor, QStringLiteral("yw/ydzcs3.dat"), "new\r\n").ok());
        QCOMPARE(ExerciseFileFormat::readFile(app_->file(QStringLiteral("yw/ydzcs3.dat"))).text, QByteArray("new\r\n"));
        // A write that fails leaves the text as it was.
        AtomicWrite::failAfterBytesForTests(10);
        const StoreReply failed = service_->maintenance.replaceText(kStudent, supervisor, QStringLiteral("yw/ydzcs3.dat"), "z\r\n");
        QCOMPARE(int(failed.status), int(StoreStatus::Refused));
        QVERIFY(failed.message.contains(QStringLiteral("ydzcs3.dat")));
        QCOMPARE(ExerciseFileFormat::readFile(app_->file(QStringLiteral("yw/ydzcs3.dat"))).text, QByteArray("new\r\n"));
    }

    // A folder whose grade database another SQLCipher client made (the statements,
    // password 857) works as one the program's tool made: logins, an exercise, the history.
    void aDatabaseOfAnotherClientWorks()
    {
        service_.reset();
        QFile::remove(app_->gradeDatabase());
        QProcess tool;
        tool.start(QStringLiteral("sqlcipher"),
                   {QStringLiteral("-batch"), QStringLiteral("-bail"), app_->gradeDatabase()});
        QVERIFY2(tool.waitForStarted(), "the sqlcipher tool is not installed");
        tool.write("PRAGMA key = '857';\n"
                   "create table stdgrade(xh text, xm text, lrxm text, lrcj real, lrsd real, lrzql real, lrdate text,"
                   " lrtime text, lrpc text);\n"
                   "create table recxh(xh text, lrpc text, lrdate text);\n"
                   "create table system(username text, usermm text, xsmm text);\n"
                   "insert into system values ('admin', 'admin123', 'again');\n");
        tool.closeWriteChannel();
        QVERIFY(tool.waitForFinished() && tool.exitCode() == 0);
        service_ = std::make_unique<StoreService>(StorePlaces::ownFolder(app_->path()));
        QVERIFY(service_->purge().ok());
        const QString session = service_
                                    ->logins.test(kStudent, QStringLiteral("2024000001"), QStringLiteral("李四"),
                                                QStringLiteral("B1"), {}, false)
                                    .session;
        QVERIFY(!session.isEmpty());
        const OpenReply opened = service_->exercises.open(kStudent, session, ExerciseKind::English);
        advance(3000);
        QVERIFY(service_->exercises.finish(kStudent, session, opened.exercise, KeystrokeLogs::encode(typedAb(1))).ok());
        QVERIFY(system().size() > 0);
        const PageReply history = service_->results.history({}, HistoryPages::Cursor::at(0), 10);
        QCOMPARE(history.count, 1);
        QCOMPARE(history.page.rows.value(0).lrpc, QStringLiteral("B1"));
        QCOMPARE(service_->results.batch(QStringLiteral("b1")).rows.size(), 1);
    }

    // The system login keeps the student the program shows, without the batch.
    void systemLoginKeepsTheStudent()
    {
        const QString test = service_
                                 ->logins.test(kStudent, QStringLiteral("2024000001"), QStringLiteral("李四"),
                                             QStringLiteral("B1"), {}, false)
                                 .session;
        const LoginReply supervisor =
            service_->logins.system(kStudent, QStringLiteral("admin"), QStringLiteral("admin123"), test);
        QCOMPARE(supervisor.number, QStringLiteral("2024000001"));
        QCOMPARE(supervisor.batch, QString());
        // Another account's session lends nobody.
        const LoginReply stranger =
            service_->logins.system(kOther, QStringLiteral("admin"), QStringLiteral("admin123"), test);
        QVERIFY(stranger.number.isEmpty());
    }

    void purgeTakesLogsWithTheirResults()
    {
        const QString session = practice();
        const OpenReply opened = service_->exercises.open(kStudent, session, ExerciseKind::English);
        advance(3000);
        QVERIFY(service_->exercises.finish(kStudent, session, opened.exercise, KeystrokeLogs::encode(typedAb(1))).ok());
        QCOMPARE(logCount(), 1);
        Clock::setFixed(QDateTime(QDate(2026, 12, 22), QTime(8, 0)));
        QVERIFY(service_->purge().ok());
        QCOMPARE(resultCount(), 1); // 14 days old
        Clock::setFixed(QDateTime(QDate(2026, 12, 23), QTime(8, 0)));
        QVERIFY(service_->purge().ok());
        QCOMPARE(resultCount(), 0);
        QCOMPARE(logCount(), 0);
    }

    // What the share serves: the results and test logins, no credentials, readable by the
    // hardened reader of the teacher's collection; never half written.
    void theShareGetsACopyWithoutCredentials()
    {
        service_.reset();
        StorePlaces places = StorePlaces::ownFolder(app_->path());
        places.shareFolder = app_->file(QStringLiteral("share"));
        service_ = std::make_unique<StoreService>(places);
        int changes = 0;
        service_->database.setChangeHandler([&changes] { ++changes; });
        const QString session = service_
                                    ->logins.test(kStudent, QStringLiteral("2024000001"), QStringLiteral("李四"),
                                                QStringLiteral("B1"), {}, false)
                                    .session;
        const OpenReply opened = service_->exercises.open(kStudent, session, ExerciseKind::English);
        advance(3000);
        QVERIFY(service_->exercises.finish(kStudent, session, opened.exercise, KeystrokeLogs::encode(typedAb(1))).ok());
        QCOMPARE(changes, 2); // the claim, the result
        QCOMPARE(service_->publishCopy(), std::nullopt);

        const QString copy = places.publishedCopy();
        QCOMPARE(QFileInfo(copy).permissions() & (QFileDevice::ReadOther | QFileDevice::WriteOther),
                 QFileDevice::ReadOther);
        GradeStore shared = GradeStore::openUntrusted(copy);
        QCOMPARE(shared.batchResults(QStringLiteral("B1")).size(), 1);
        QVERIFY(shared.hasTestLogin(QStringLiteral("2024000001"), QStringLiteral("B1")));
        QVERIFY(!shared.systemRow());
        QCOMPARE(QDir(app_->file(QStringLiteral("share/data"))).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("stugrade.mdb")});
    }
};

QTEST_GUILESS_MAIN(TestStoreService)
#include "test_store_service.moc"

// The store service's two costs a student meets: finishing an exercise (a full ten-minute log of
// 3 000 events replayed and stored) and a login, through the private connection to a real
// typelab-store child, beside what the program did in-process before the store existed (open the
// grade database, add the row; open it, look the login up). And the cost of the share's copy,
// written afresh after a change, for histories of several sizes.
//   bench_store [ROUNDS]

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_text.h"
#include "platform/clock.h"
#include "service/store_service.h"
#include "support/test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <cstdio>

namespace {

// An English text and a ten-minute log: 1 400 characters typed, each as a key-down and a
// character event, and the countdown's 601 ticks; 3 000 events and more.
const QByteArray kText = QByteArray("The quick brown fox jumps over the lazy dog. ").repeated(40) + "\r\n";

KeystrokeLog tenMinutes()
{
    KeystrokeLog log;
    int typed = 0;
    for (int tick = 1; tick <= 601; ++tick) {
        const quint32 second = quint32(tick - 1) * 1000;
        // Two or three characters a second, at an even pace.
        for (int i = 0; i < (tick % 3 == 0 ? 2 : 3) && typed < 1400; ++i, ++typed) {
            const char ch = kText.at(typed % (kText.size() - 2));
            log << KeystrokeEvent{second + 100 + quint32(i) * 250, KeystrokeEvent::Kind::KeyDown, qint16(ch)}
                << KeystrokeEvent{second + 101 + quint32(i) * 250, KeystrokeEvent::Kind::Character, qint16(ch)};
        }
        log << KeystrokeEvent{second + 1050, KeystrokeEvent::Kind::Tick, 0};
    }
    return log;
}

struct Figures {
    QList<double> values;
    void add(double milliseconds) { values << milliseconds; }
    QString text()
    {
        std::sort(values.begin(), values.end());
        return QStringLiteral("min %1 / median %2 / max %3 ms")
            .arg(values.first(), 0, 'f', 2)
            .arg(values.at(values.size() / 2), 0, 'f', 2)
            .arg(values.last(), 0, 'f', 2);
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TestSupport::prepareApplication();
    const int rounds = argc > 1 ? atoi(argv[1]) : 20;
    TestSupport::AppFolder folder;
    folder.writeFile(QStringLiteral("yw/ydzcs3.dat"), ExerciseFileFormat::build(kText));
    ExerciseLoader::setRandomSourceForTests([] { return 0.3f; });
    const KeystrokeLog log = tenMinutes();
    std::printf("log: %lld events\n", static_cast<long long>(log.size()));

    StoreClient store(folder.path());
    if (!store.purge().ok()) {
        std::fprintf(stderr, "the store does not answer\n");
        return 1;
    }
    Figures logins, results, oldLogins, oldResults;
    for (int round = 0; round < rounds; ++round) {
        Clock::setSteady(1'000'000'000 + qint64(round) * 10'000'000);
        QElapsedTimer timer;
        timer.start();
        const LoginReply login = store.practiceLogin(QStringLiteral("2024001"), QStringLiteral("张三"));
        logins.add(timer.nsecsElapsed() / 1e6);
        if (!login.ok())
            return 1;

        // The exercise has been open for its ten minutes.
        const OpenReply opened = store.openExercise(login.session, ExerciseKind::English);
        Clock::setSteady(*Clock::steady() + 601'500);
        bool answered = false;
        FinishReply reply;
        QEventLoop wait;
        timer.restart();
        store.finishExercise(login.session, opened.exercise, log, &wait, [&](const FinishReply& finished) {
            reply = finished;
            answered = true;
            wait.quit();
        });
        if (!answered)
            wait.exec();
        results.add(timer.nsecsElapsed() / 1e6);
        if (!reply.ok()) {
            std::fprintf(stderr, "not stored: %s\n", qPrintable(reply.message));
            return 1;
        }

        // Before the store: the program opened the database for every unit of work.
        timer.restart();
        {
            GradeStore grades = GradeStore::open(folder.path());
            grades.systemLoginMatches(QStringLiteral("admin"), QStringLiteral("admin123"));
        }
        oldLogins.add(timer.nsecsElapsed() / 1e6);
        timer.restart();
        {
            GradeStore grades = GradeStore::open(folder.path());
            grades.addResult({QStringLiteral("2024001"), QStringLiteral("张三"), QStringLiteral("英文"), 80, 140, 99,
                              QDate(2026, 12, 8), QTime(9, 0), QString()});
        }
        oldResults.add(timer.nsecsElapsed() / 1e6);
    }
    std::printf("%d rounds, through the store's private connection:\n", rounds);
    std::printf("  login round trip:                        %s\n", qPrintable(logins.text()));
    std::printf("  ten-minute log replayed and stored:      %s\n", qPrintable(results.text()));
    std::printf("in-process, as the program did before:\n");
    std::printf("  open + system login look-up:             %s\n", qPrintable(oldLogins.text()));
    std::printf("  open + result row added:                 %s\n", qPrintable(oldResults.text()));

    for (int size : {1500, 20000, 100000}) {
        TestSupport::AppFolder lab;
        {
            GradeStore grades = lab.store();
            Transaction transaction(GradeStoreInspector::database(grades));
            for (int i = 0; i < size; ++i)
                grades.addResult({QStringLiteral("20260%1").arg(i % 100000, 5, 10, QChar(u'0')), QStringLiteral("学生"),
                                  QStringLiteral("英文"), 80, 140, 99, QDate(2026, 12, 1 + i % 7),
                                  QTime(8 + i % 10, i % 60), QStringLiteral("B%1").arg(i % 30)});
            transaction.commit();
        }
        StorePlaces places = StorePlaces::ownFolder(lab.path());
        places.shareFolder = lab.file(QStringLiteral("share"));
        StoreService service(places);
        Figures copies;
        for (int round = 0; round < 5; ++round) {
            QElapsedTimer timer;
            timer.start();
            if (const auto problem = service.publishCopy()) {
                std::fprintf(stderr, "%s\n", qPrintable(*problem));
                return 1;
            }
            copies.add(timer.nsecsElapsed() / 1e6);
        }
        std::printf("share's copy of %6d results written afresh: %s\n", size, qPrintable(copies.text()));
    }
    return 0;
}

// How long the mistakes of many keystroke logs take: the counting alone over 1 000 English and
// 1 000 Chinese logs of ten-minute exercises, and a student with 1 000 stored results from the
// store's answer to the open window.
//   bench_mistakes [LOGS]   (default 1000)

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_replay.h"
#include "exercise/mistakes.h"
#include "exercise/us_keyboard.h"
#include "results/mistakes_window.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "store/store_client.h"
#include "support/test_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

namespace {

QByteArray crlfBytes(const QString& text)
{
    QString crlf = text;
    crlf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return *CodePage::encode(crlf);
}

QString englishText()
{
    const QStringList words = {"the",   "quick",   "brown",  "fox",   "jumps", "over",  "lazy",    "dog", "practice",
                               "makes", "perfect", "typing", "every", "day",   "keeps", "fingers", "busy"};
    QString text, line;
    for (int i = 0; text.size() < 1400; ++i) {
        const QString word = words[(i * 7 + i / 3) % words.size()];
        if (line.size() + word.size() + 1 > 80) {
            text += line.trimmed() + QLatin1Char('\n');
            line.clear();
        }
        line += word + QLatin1Char(' ');
    }
    return text;
}

QString chineseText()
{
    const QString phrases = QStringLiteral("我们在学校里学习打字，已经做得很好了。他说的话很有道理，我再想一想。"
                                           "今天的天气很好，我们一起去公园做游戏，以后还要常来。");
    QString text;
    for (int i = 0; text.size() < 300; ++i)
        text += phrases.mid((i * 11) % 40, 20) + QLatin1Char('\n');
    return text;
}

// A student typing the whole text in about eight minutes: one slip in twelve, every other slip
// taken back with Backspace; the countdown's ticks between; Esc at the end.
KeystrokeLog typing(const QString& text, ExerciseKind kind, int seed)
{
    KeystrokeLog log;
    quint32 at = 500;
    quint32 nextTick = at + 1000; // the countdown runs from the first character
    const qint64 pause = kind == ExerciseKind::English ? 300 : 1400;
    const auto event = [&](KeystrokeEvent::Kind what, int value) {
        while (nextTick <= at && !log.isEmpty()) {
            log.append({nextTick, KeystrokeEvent::Kind::Tick, 0});
            nextTick += 1000;
        }
        log.append({at, what, qint16(value)});
    };
    const auto type = [&](QChar c) {
        if (c == u'\n') {
            event(KeystrokeEvent::Kind::KeyDown, 13);
            event(KeystrokeEvent::Kind::Character, 13);
        } else if (c.unicode() < 128) {
            event(KeystrokeEvent::Kind::KeyDown, c.isLetter() ? c.toUpper().unicode() : 0);
            event(KeystrokeEvent::Kind::Character, c.unicode());
        } else {
            event(KeystrokeEvent::Kind::Character, *CodePage::charCode(c.unicode()));
        }
        at += pause;
    };
    int n = seed;
    for (const QChar c : text) {
        if (c != u'\n' && ++n % 12 == 0) {
            type(kind == ExerciseKind::English ? QChar(u'a' + n % 26) : QChar(u'的'));
            if (n % 24 == 0) {
                event(KeystrokeEvent::Kind::KeyDown, 8);
                event(KeystrokeEvent::Kind::Character, 8);
                at += pause;
                type(c);
            }
        } else {
            type(c);
        }
    }
    event(KeystrokeEvent::Kind::KeyDown, 27);
    return log;
}

QString ms(qint64 nanoseconds)
{
    return QString::number(nanoseconds / 1e6, 'f', 1) + QStringLiteral(" ms");
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestSupport::prepareApplication();
    const int logs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    QTextStream out(stdout);

    const QByteArray english = crlfBytes(englishText()), chinese = crlfBytes(chineseText());
    QList<QByteArray> englishLogs, chineseLogs;
    qint64 events = 0, bytes = 0;
    for (int i = 0; i < logs; ++i) {
        const KeystrokeLog en = typing(englishText(), ExerciseKind::English, i);
        const KeystrokeLog cn = typing(chineseText(), ExerciseKind::Chinese, i);
        if (i == 0) {
            for (const auto& [log, text, kind] :
                 {std::tuple{en, english, ExerciseKind::English}, std::tuple{cn, chinese, ExerciseKind::Chinese}}) {
                const auto outcome = ExerciseReplay::replay(*ExerciseLoader::fromText(text, kind), kind, log);
                if (outcome.problem)
                    qFatal("bench log refused: %s", qPrintable(*outcome.problem));
            }
        }
        englishLogs << KeystrokeLogs::encode(en);
        chineseLogs << KeystrokeLogs::encode(cn);
        events += en.size() + cn.size();
        bytes += englishLogs.last().size() + chineseLogs.last().size();
    }
    out << logs << " English and " << logs << " Chinese logs: " << events / (2 * logs) << " events, "
        << bytes / (2 * logs) / 1024 << " KiB each on average\n";

    for (int round = 1; round <= 3; ++round) {
        QElapsedTimer timer;
        timer.start();
        MistakesByKind byKind;
        for (const QByteArray& log : englishLogs)
            byKind.add(ExerciseKind::English, english, log);
        const qint64 englishDone = timer.nsecsElapsed();
        for (const QByteArray& log : chineseLogs)
            byKind.add(ExerciseKind::Chinese, chinese, log);
        const qint64 chineseDone = timer.nsecsElapsed();
        const auto worst = byKind.chinese.mostOften(30);
        const auto rates = UsKeyboard::rates(byKind.english);
        const qint64 listed = timer.nsecsElapsed();
        out << "round " << round << ": " << logs << " English logs " << ms(englishDone) << ", " << logs
            << " Chinese logs " << ms(chineseDone - englishDone) << ", list and key rates " << ms(listed - chineseDone)
            << " (" << byKind.english.wrong() + byKind.chinese.wrong() << " mistakes, " << worst.size()
            << " characters listed, " << rates.size() << " keys)\n";
        out.flush();
    }

    // A student with that many stored results, half English, half Chinese, through the store.
    TestSupport::AppFolder folder;
    folder.writeFile(QStringLiteral("yw/ydzcs3.dat"), ExerciseFileFormat::build(english));
    folder.writeFile(QStringLiteral("zw/cdzcs3.dat"), ExerciseFileFormat::build(chinese));
    ExerciseLoader::setRandomSourceForTests([] { return 0.3f; });
    Clock::setFixed(QDateTime(QDate(2026, 3, 9), QTime(10, 15, 30)));
    qint64 now = 1'000'000;
    Clock::setSteady(now);
    StoreClient store(folder.path());
    const LoginReply login = store.practiceLogin(QStringLiteral("2024001"), QStringLiteral("张三"));
    if (!login.ok())
        qFatal("login refused: %s", qPrintable(storeProblem(login)));
    QElapsedTimer filling;
    filling.start();
    for (int i = 0; i < logs; ++i) {
        const bool isEnglish = i % 2 == 0;
        const OpenReply opened = store.openExercise(login.session, isEnglish ? ExerciseKind::English : ExerciseKind::Chinese);
        now += 601'000;
        Clock::setSteady(now);
        bool done = false;
        const KeystrokeLog log = *KeystrokeLogs::decode(isEnglish ? englishLogs[i] : chineseLogs[i]);
        store.finishExercise(login.session, opened.exercise, log, &app, [&done](const FinishReply& reply) {
            if (!reply.ok())
                qFatal("result refused: %s", qPrintable(storeProblem(reply)));
            done = true;
        });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    out << logs << " results stored through the store in " << filling.elapsed() << " ms\n";

    for (int round = 1; round <= 3; ++round) {
        QElapsedTimer timer;
        timer.start();
        const StudentLogsReply reply = store.studentLogs(login.session, QStringLiteral("2024001"));
        const qint64 answered = timer.nsecsElapsed();
        MistakesByKind byKind;
        for (const ResultLogEntry& entry : reply.entries)
            byKind.add(entry.kind, entry.text, entry.log);
        const qint64 counted = timer.nsecsElapsed();
        const auto window = makeStudentMistakes(nullptr, store, login.session, QStringLiteral("2024001"));
        const qint64 opened = timer.nsecsElapsed();
        out << "round " << round << ": the store's answer " << ms(answered) << " (" << reply.entries.size() << " logs, "
            << reply.leftOut << " left out), counted " << ms(counted - answered)
            << "; the whole window again (answer, counting, drawing list) " << ms(opened - counted) << "\n";
        out.flush();
    }
    return 0;
}

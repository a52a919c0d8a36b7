// Shows the mistakes window or a replay after a few exercises typed through the real Exercise
// screen, on a real display for the pictures in docs/screenshots:
//   result_windows_screens keyboard|chinese|replay [seconds]
// Prints the window's frame on the screen as WxH+X+Y once it is drawn.

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_screen.h"
#include "results/mistakes_window.h"
#include "results/replay_window.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "shell/main_window.h"
#include "store/store_client.h"
#include "support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QInputMethodEvent>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>

namespace {

const QString kEnglish = QStringLiteral("Practice makes perfect. Type each word with care,\n"
                                        "keep your eyes on the text and your fingers on the home row.\n"
                                        "Quick brown foxes jump over the lazy dogs every day.\n");
const QString kChinese = QStringLiteral("我们在学校里学习打字，已经做得很好了。他说的话很有道理，我再想一想。\n"
                                        "今天的天气很好，我们一起去公园做游戏，以后还要常来。\n");

// The key a finger slips onto: the next one on its row.
QChar neighbour(QChar c)
{
    for (const QString& row : {QStringLiteral("qwertyuiop"), QStringLiteral("asdfghjkl"), QStringLiteral("zxcvbnm")}) {
        const int at = row.indexOf(c.toLower());
        if (at >= 0)
            return row[at + 1 < row.size() ? at + 1 : at - 1];
    }
    return c;
}

// A student's typing of a text: some keys slip (some letters more than others), half of the
// slips are taken back with Backspace; a countdown tick every few characters. Returns the script
// in the notation ExerciseScreen is driven with below.
QString englishScript(const QString& text, int seed)
{
    QString script;
    int n = 0;
    for (const QChar c : text) {
        const uint hash = (uint(n) * 2654435761u + uint(seed) * 40503u) >> 8;
        const bool slipProne = QStringLiteral("eiortnsa").contains(c.toLower());
        if (c.isLetter() && hash % (slipProne ? 5 : 17) == 0) {
            script += neighbour(c);
            if (hash % 2)
                script += QStringLiteral("⌫") + c;
        } else {
            script += c == u'\n' ? QChar(u'⏎') : c;
        }
        if (++n % 3 == 0)
            script += QChar(u'⏱');
    }
    return script;
}

QString chineseScript(const QString& text, int seed)
{
    const QHash<QChar, QChar> alike = {{u'在', u'再'}, {u'再', u'在'}, {u'的', u'得'}, {u'得', u'的'}, {u'做', u'作'},
                                       {u'已', u'以'}, {u'以', u'已'}, {u'道', u'到'}, {u'里', u'理'}, {u'气', u'汽'}};
    QString script;
    int n = 0;
    for (const QChar c : text) {
        if (alike.contains(c) && (n + seed) % 3 != 0) {
            script += alike[c];
            if ((n + seed) % 2)
                script += QStringLiteral("⌫") + c;
        } else if (c == u'，' && (n + seed) % 2) {
            // A half-width comma would shift every cell after it: it is taken back at once.
            script += QStringLiteral(",⌫，");
        } else {
            script += c == u'\n' ? QChar(u'⏎') : c;
        }
        if (++n % 2 == 0)
            script += QChar(u'⏱');
    }
    return script;
}

class Typist {
public:
    Typist(MainWindow& window, const TestSupport::AppFolder& folder) : window_(window), folder_(folder) {}

    void take(ExerciseKind kind, const QString& text, const QString& script)
    {
        QString crlf = text;
        crlf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        const QString path = ExerciseLoader::pathFor(folder_.path(), kind, 3);
        folder_.writeFile(QDir(folder_.path()).relativeFilePath(path),
                          ExerciseFileFormat::build(*CodePage::encode(crlf)));
        window_.menuItem(kind == ExerciseKind::English ? "ywlr" : "zwlr")->trigger();
        QPointer<ExerciseScreen> screen = window_.findChild<ExerciseScreen*>(QStringLiteral("form2"));
        const QHash<QChar, Qt::Key> keys = {{u'⌫', Qt::Key_Backspace}, {u'⏎', Qt::Key_Return}};
        for (const QChar c : script) {
            if (c == u'⏱') {
                Clock::setSteady(*Clock::steady() + 1000);
                screen->countdownTick();
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
        QTest::keyClick(screen, Qt::Key_Escape);
        while (window_.store().finishesUnderWay() > 0 || screen) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        // The next exercise opens a little later.
        Clock::setSteady(*Clock::steady() + 5000);
    }

private:
    MainWindow& window_;
    const TestSupport::AppFolder& folder_;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString which = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("keyboard");
    const int seconds = argc > 2 ? atoi(argv[2]) : 5;
    TestSupport::prepareApplication();
    Clock::setSteady(1'000'000);
    Clock::setFixed(QDateTime(QDate(2026, 3, 9), QTime(10, 15, 30)));
    ExerciseLoader::setRandomSourceForTests([] { return 0.3f; });

    TestSupport::AppFolder folder;
    MainWindow window;
    if (!window.load(folder.path()))
        return 1;
    window.show();
    TestSupport::logIn(window, LoginMode::Practice, {QStringLiteral("2024001"), QStringLiteral("张三")});
    Typist typist(window, folder);
    for (int seed = 1; seed <= 3; ++seed)
        typist.take(ExerciseKind::English, kEnglish, englishScript(kEnglish, seed));
    if (which == QLatin1String("chinese"))
        for (int seed = 1; seed <= 3; ++seed)
            typist.take(ExerciseKind::Chinese, kChinese, chineseScript(kChinese, seed));
    window.hide();

    std::unique_ptr<QDialog> shown;
    if (which == QLatin1String("replay")) {
        TestSupport::logIn(window, LoginMode::System,
                           {QString::fromLatin1(TestSupport::kUser), QString::fromLatin1(TestSupport::kUserPassword)});
        const qint64 rowid = window.store().history({}, HistoryPages::Cursor::at(0), 1).page.rows.value(0).rowid;
        const ResultLogReply reply = window.store().resultLog(window.session().storeSession, rowid, true);
        const qint64 last = KeystrokeLogs::decode(reply.entry.log)->constLast().milliseconds;
        const qint64 start = *Clock::steady() + 1000;
        Clock::setSteady(start);
        auto replay = makeReplay(nullptr, window.store(), window.session().storeSession, rowid);
        if (!replay) {
            for (const auto& box : MessageBoxes::takeRecorded())
                std::fprintf(stderr, "message: %s: %s\n", qPrintable(box.title), qPrintable(box.text));
            return 1;
        }
        replay->show();
        Clock::setSteady(start + last / 2); // half-way through the log
        replay->wake();
        shown = std::move(replay);
    } else {
        auto mistakes =
            makeStudentMistakes(nullptr, window.store(), window.session().storeSession, QStringLiteral("2024001"));
        if (!mistakes)
            return 1;
        if (which == QLatin1String("chinese"))
            mistakes->pages()->setCurrentIndex(1);
        shown = std::move(mistakes);
    }
    for (const auto& box : MessageBoxes::takeRecorded())
        std::fprintf(stderr, "message: %s: %s\n", qPrintable(box.title), qPrintable(box.text));
    shown->move(40, 40);
    shown->show();
    QTimer::singleShot(1500, [&shown] {
        const QRect frame = shown->geometry();
        std::printf("%dx%d+%d+%d\n", frame.width(), frame.height(), frame.x(), frame.y());
        std::fflush(stdout);
    });
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return app.exec();
}

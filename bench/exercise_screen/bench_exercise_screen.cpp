// Cost of one keystroke on the Exercise screen: the key event through the typing engine,
// the character drawn into the cell image, and then the repaint of the changed cells. A whole
// English and a whole Chinese text are typed, one character in 17 wrong, on the offscreen
// platform.

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_screen.h"
#include "platform/codepage.h"
#include "shell/main_window.h"
#include "login/login_dialog.h"
#include "exercise/status_panel.h"
#include "support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QKeyEvent>

#include <algorithm>
#include <cstdio>

namespace {

QString englishText()
{
    const QString sentence = QStringLiteral("The quick brown fox jumps over the lazy dog, and then it runs home. ");
    QString text;
    while (text.size() < 3800) {
        text += sentence;
        if (text.size() % 5 == 0)
            text += QLatin1Char('\n');
    }
    return text + QLatin1Char('\n');
}

QString chineseText()
{
    const QString sentence = QStringLiteral("春眠不觉晓，处处闻啼鸟。夜来风雨声，花落知多少。学习打字要有耐心。");
    QString text;
    while (text.size() < 1900)
        text += sentence;
    return text + QLatin1Char('\n');
}

struct Figures {
    QList<double> handle; // microseconds: the event alone
    QList<double> shown;  // microseconds: the event and the repaint
};

double percentile(QList<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[std::min<qsizetype>(values.size() - 1, qsizetype(p * (values.size() - 1) + 0.5))];
}

void typeWholeText(MainWindow& window, ExerciseKind kind, Figures& figures)
{
    window.menuItem(kind == ExerciseKind::English ? "ywlr" : "zwlr")->trigger();
    auto* screen = window.findChild<ExerciseScreen*>(QStringLiteral("form2"));
    if (!screen) {
        fprintf(stderr, "the exercise did not open\n");
        return;
    }
    const TypingEngine* engine = screen->engine();
    const ExerciseText& text = engine->text();
    int count = 0;
    QElapsedTimer timer;
    for (int line = 0; line <= text.lastLine; ++line) {
        const LineEntry entry = text.lineTable[line];
        for (int p = entry.start; p < entry.start + entry.length; ++p) {
            const quint8 byte = text.byteAt(p);
            const bool wrong = ++count % 17 == 0;
            timer.start();
            if (byte == 13) {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
                QApplication::sendEvent(screen, &press);
            } else if (byte >= 0x80) {
                QInputMethodEvent commit;
                commit.setCommitString(wrong ? QStringLiteral("错") : CodePage::charText(byte, text.byteAt(p + 1)));
                QApplication::sendEvent(screen, &commit);
                ++p;
            } else {
                const QString typed = wrong ? QStringLiteral("x") : CodePage::charText(byte);
                QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, typed);
                QApplication::sendEvent(screen, &press);
            }
            figures.handle << timer.nsecsElapsed() / 1000.0;
            QApplication::processEvents();
            figures.shown << timer.nsecsElapsed() / 1000.0;
        }
    }
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b"));
    QApplication::sendEvent(screen, &escape);
    QApplication::processEvents();
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestSupport::prepareApplication();
    TestSupport::AppFolder folder;
    folder.writeFile(QStringLiteral("yw/ydzcs3.dat"),
                     ExerciseFileFormat::build(ExerciseFileFormat::toExerciseText(englishText().toUtf8()).text));
    folder.writeFile(QStringLiteral("zw/cdzcs3.dat"),
                     ExerciseFileFormat::build(ExerciseFileFormat::toExerciseText(chineseText().toUtf8()).text));
    ExerciseLoader::setRandomSourceForTests([] { return 0.3f; });

    MainWindow window;
    if (!window.load(folder.path()))
        return 1;
    window.showMaximized();
    if (!TestSupport::logIn(window, LoginMode::Practice, {QStringLiteral("2024001"), QStringLiteral("张三")}))
        return 1;

    for (ExerciseKind kind : {ExerciseKind::English, ExerciseKind::Chinese}) {
        Figures figures;
        typeWholeText(window, kind, figures);
        if (figures.handle.isEmpty())
            return 1;
        printf("%s text, %lld keystrokes: event %.1f us median, %.1f us p99, %.1f us max; "
               "with repaint %.1f us median, %.1f us p99\n",
               kind == ExerciseKind::English ? "English" : "Chinese", qlonglong(figures.handle.size()),
               percentile(figures.handle, 0.5), percentile(figures.handle, 0.99), percentile(figures.handle, 1.0),
               percentile(figures.shown, 0.5), percentile(figures.shown, 0.99));
    }
    return 0;
}

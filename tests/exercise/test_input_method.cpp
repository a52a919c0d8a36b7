// Chinese typed as students type it: fcitx5 with pinyin, driven by xdotool on a real X server.
// Runs under with_fcitx5.sh, which starts Xvfb, a D-Bus session and fcitx5 and stops them again.

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_screen.h"
#include "exercise/exercise_text.h"
#include "platform/codepage.h"
#include "platform/input_method.h"
#include "shell/main_window.h"
#include "login/login_dialog.h"
#include "exercise/status_panel.h"
#include "support/test_support.h"

#include <QAction>
#include <QInputMethod>
#include <QMdiSubWindow>
#include <QProcess>
#include <QScrollBar>
#include <QtTest>

namespace {

QString run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(10000))
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

void xdotool(const QStringList& args)
{
    run(QStringLiteral("xdotool"), args);
}

// fcitx5's candidate window, when it shows: its top-left corner on the screen.
std::optional<QPoint> candidateWindow()
{
    const QStringList windows = run(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--class", "fcitx"})
                                    .split(u'\n', Qt::SkipEmptyParts);
    for (const QString& id : windows) {
        const QString shell = run(QStringLiteral("xdotool"), {"getwindowgeometry", "--shell", id});
        QMap<QString, int> values;
        for (const QString& line : shell.split(u'\n'))
            values.insert(line.section(u'=', 0, 0), line.section(u'=', 1).toInt());
        if (values.value("WIDTH") > 1 && values.value("HEIGHT") > 1)
            return QPoint(values.value("X"), values.value("Y"));
    }
    return std::nullopt;
}

QByteArray typedAt(const ExerciseScreen* screen, int position, int n)
{
    return QByteArray(reinterpret_cast<const char*>(screen->engine()->typedBytes().data()) + position, n);
}

} // namespace

class TestInputMethod : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestSupport::prepareApplication();
        InputMethod::setAvailableForTests(std::nullopt);
        QVERIFY(InputMethod::chineseInputAvailable());
    }

    void pinyinIsTypedAndTheCandidatesFollowTheCursor()
    {
        TestSupport::AppFolder folder;
        QString text;
        for (int line = 1; line <= 30; ++line)
            text += QStringLiteral("中文打字练习第%1行。\r\n").arg(line);
        ExerciseLoader::setRandomSourceForTests([] { return 0.0f; });
        folder.writeFile(QStringLiteral("zw/cdzcs0.dat"), ExerciseFileFormat::build(*CodePage::encode(text)));
        MainWindow window(folder.path());
        window.setGeometry(0, 0, 1000, 740);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(TestSupport::logIn(window, LoginMode::Practice, {QStringLiteral("2024001"), QStringLiteral("张三")}));
        window.menuItem("zwlr")->trigger();
        auto* screen = window.findChild<ExerciseScreen*>(QStringLiteral("form2"));
        QVERIFY(screen);
        // Without a window manager the keyboard follows the pointer.
        const QPoint centre = screen->mapToGlobal(screen->rect().center());
        xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y())});
        window.activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow() == window.windowHandle());
        screen->setFocus();
        QTRY_VERIFY(screen->hasFocus());

        // Ctrl+Space switches to pinyin once fcitx5 knows the focused input context (it then
        // says 1); it says 2 once pinyin is on.
        QTRY_COMPARE_WITH_TIMEOUT(run(QStringLiteral("fcitx5-remote"), {}), QStringLiteral("1"), 5000);
        xdotool({"keydown", "ctrl"});
        xdotool({"key", "space"});
        xdotool({"keyup", "ctrl"});
        QTRY_COMPARE_WITH_TIMEOUT(run(QStringLiteral("fcitx5-remote"), {}), QStringLiteral("2"), 5000);

        // Pinyin committed with the space bar: 中 in the first two cells, drawn green.
        xdotool({"type", "--delay", "30", "zhong"});
        QTRY_VERIFY_WITH_TIMEOUT(candidateWindow().has_value(), 5000);
        xdotool({"key", "space"});
        QTRY_COMPARE_WITH_TIMEOUT(typedAt(screen, 0, 2), QByteArray("\xD6\xD0"), 5000);
        QVERIFY(screen->engine()->typingStarted());
        QCOMPARE(screen->engine()->cursorColumn(), 2);

        // Sixteen Enters scroll the screen; the input method is told where the cursor is now.
        for (int i = 0; i < 16; ++i)
            xdotool({"key", "Return"});
        QTRY_COMPARE_WITH_TIMEOUT(screen->engine()->currentLine(), 16, 5000);
        QVERIFY(window.scrollBar()->value() > 0);
        const QRect cursor(screen->cursorLine()->mapToGlobal(QPoint(0, 0)), screen->cursorLine()->size());
        QCOMPARE(
            QRect(screen->window()->mapToGlobal(QGuiApplication::inputMethod()->cursorRectangle().toRect().topLeft()),
                  cursor.size()),
            cursor);

        xdotool({"type", "--delay", "30", "zhong"});
        std::optional<QPoint> candidates;
        QTRY_VERIFY_WITH_TIMEOUT((candidates = candidateWindow()).has_value(), 5000);
        // The candidate window opens just below the cursor line, at its left edge.
        QVERIFY2(std::abs(candidates->x() - cursor.left()) <= 24 && candidates->y() >= cursor.top()
                     && candidates->y() <= cursor.bottom() + 48,
                 qPrintable(QStringLiteral("candidates at %1,%2, cursor at %3,%4")
                                .arg(candidates->x())
                                .arg(candidates->y())
                                .arg(cursor.left())
                                .arg(cursor.bottom())));
        if (!qEnvironmentVariableIsEmpty("TYPELAB_SCREENSHOT"))
            run(QStringLiteral("import"), {"-window", "root", qEnvironmentVariable("TYPELAB_SCREENSHOT")});
        xdotool({"key", "space"});
        const int lineStart = screen->engine()->text().lineTable[16].start;
        QTRY_COMPARE_WITH_TIMEOUT(typedAt(screen, lineStart, 2), QByteArray("\xD6\xD0"), 5000);
        // Committed text moves the column field as keys do.
        QCOMPARE(window.statusPanel()->value(StatusPanel::Accuracy), QStringLiteral("2"));
        ExerciseLoader::setRandomSourceForTests({});
    }
};

QTEST_MAIN(TestInputMethod)
#include "test_input_method.moc"

// The Exercise screen in the main window: opening from the menu, the bad-file path, keys and
// input-method text reaching the cells, the countdown, and whole exercises down to the stored
// row.

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_screen.h"
#include "exercise/exercise_text.h"
#include "exercise/key_codes.h"
#include "grades/grade_store.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/database.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "shell/main_window.h"
#include "shell/program_state.h"
#include "shell/shared_routines.h"
#include "shell/status_panel.h"
#include "support/test_support.h"

#include <QAction>
#include <QFile>
#include <QInputMethodEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

constexpr float kRandom = 0.3f;   // draws exercise file digit 3

QByteArray exerciseBytes(const QString& text)
{
    QString crlf = text;
    crlf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    const auto bytes = CodePage::encode(crlf);
    if (!bytes)
        qFatal("test text not in code page 936");
    return ExerciseFileFormat::build(*bytes);
}

// A text of `lines` short lines, each ending with a line break.
QString englishLines(int lines)
{
    QString text;
    for (int i = 0; i < lines; ++i)
        text += QStringLiteral("Line %1 of the text.\n").arg(i + 1);
    return text;
}

bool hasPixel(const QImage& image, const QRect& box, const std::function<bool(QColor)>& wanted)
{
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            if (wanted(image.pixelColor(x, y)))
                return true;
    return false;
}

// Antialiased edges mix the colour with white, so look for a clear dominance of one channel.
bool darkRed(QColor c) { return c.red() - c.green() > 80 && c.red() - c.blue() > 80; }
bool green(QColor c) { return c.green() - c.red() > 80 && c.green() - c.blue() > 80; }

} // namespace

class TestExerciseScreen : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void opensWithLineCountAndFullTime_data();
    void opensWithLineCountAndFullTime();
    void secondExerciseWhileOneIsOpenDoesNothing();
    void badFileIsReportedAndNothingOpens_data();
    void badFileIsReportedAndNothingOpens();
    void longTextScrollsAllTheWay();
    void firstCharacterStartsCountdownArrowDoesNot();
    void typedLettersAreDrawnInTheirCells();
    void inputMethodCommitTypesOneWideCharacter();
    void unencodableCharactersAreIgnored();
    void cursorLineAndInputMethodFollowTheCursor();
    void characterCodesOfDeliveredText_data();
    void characterCodesOfDeliveredText();

    void practiceEnglishEndedWithEsc();
    void testLoginChineseRunsToTheEnd();
    void resultKeepsWhoStartedTheExercise();
    void escBeforeFirstCharacterStoresNothing();
    void escAndLastTickStoreOnce();
    void storeFailureIsReportedAndProgramGoesOn_data();
    void storeFailureIsReportedAndProgramGoesOn();

private:
    void loginPractice();
    void loginTest(const QString& batch);
    void writeExercise(ExerciseKind kind, const QString& text);
    ExerciseScreen* open(ExerciseKind kind);
    QString value(int index) const { return window->statusPanel()->value(index); }
    QTimer* timer(ExerciseScreen* screen, const char* name) const
    {
        return screen->findChild<QTimer*>(QString::fromLatin1(name));
    }
    void tick(ExerciseScreen* screen, int times)
    {
        for (int i = 0; i < times && screen; ++i)
            screen->countdownTick();
    }
    QList<GradeRow> storedRows() const { return folder->store().resultsNewestFirst(0, 100); }

    std::unique_ptr<TestSupport::AppFolder> folder;
    std::unique_ptr<MainWindow> window;
};

void TestExerciseScreen::initTestCase()
{
    TestSupport::prepareApplication();
}

void TestExerciseScreen::init()
{
    TestSupport::resetState();
    MessageBoxes::takeRecorded();
    Clock::setFixed(QDateTime(QDate(2026, 3, 9), QTime(10, 15, 30)));
    ExerciseLoader::setRandomSourceForTests([] { return kRandom; });
    folder = std::make_unique<TestSupport::AppFolder>();
    window = std::make_unique<MainWindow>();
    QVERIFY(window->load(folder->path()));
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

void TestExerciseScreen::cleanup()
{
    window.reset();
    folder.reset();
    ExerciseLoader::setRandomSourceForTests({});
    Clock::setFixed(std::nullopt);
}

void TestExerciseScreen::loginPractice()
{
    programState().loginMode = 1;
    programState().batchNumber.clear();
    window->statusPanel()->setValue(StatusPanel::StudentNumber, QStringLiteral("2024001"));
    window->statusPanel()->setValue(StatusPanel::Name, QStringLiteral("张三"));
    setmenus(*window);
    window->menuItem("ywlr")->setEnabled(true);
    window->menuItem("zwlr")->setEnabled(true);
}

void TestExerciseScreen::loginTest(const QString& batch)
{
    loginPractice();
    programState().loginMode = 2;
    programState().batchNumber = batch;
    window->statusPanel()->setValue(StatusPanel::StudentNumber, QStringLiteral("2024000017"));
    window->statusPanel()->setValue(StatusPanel::Name, QStringLiteral("李四"));
}

void TestExerciseScreen::writeExercise(ExerciseKind kind, const QString& text)
{
    const QString path = ExerciseLoader::pathFor(folder->path(), kind, ExerciseLoader::digitFor(kRandom));
    folder->writeFile(QDir(folder->path()).relativeFilePath(path), exerciseBytes(text));
}

ExerciseScreen* TestExerciseScreen::open(ExerciseKind kind)
{
    window->menuItem(kind == ExerciseKind::English ? "ywlr" : "zwlr")->trigger();
    return window->findChild<ExerciseScreen*>(QStringLiteral("form2"));
}

// ---------------------------------------------------------------- opening

void TestExerciseScreen::opensWithLineCountAndFullTime_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lines");
    QTest::newRow("english 12 lines") << int(ExerciseKind::English) << englishLines(12) << 12;
    QTest::newRow("english 1 line") << int(ExerciseKind::English) << QStringLiteral("Short.\n") << 1;
    QTest::newRow("chinese 3 lines") << int(ExerciseKind::Chinese)
                                     << QStringLiteral("春眠不觉晓，\n处处闻啼鸟。\n夜来风雨声。\n") << 3;
}

void TestExerciseScreen::opensWithLineCountAndFullTime()
{
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(int, lines);
    loginPractice();
    writeExercise(ExerciseKind(kind), text);
    ExerciseScreen* screen = open(ExerciseKind(kind));
    QVERIFY(screen);

    QCOMPARE(int(programState().exerciseType), kind);
    QCOMPARE(value(StatusPanel::TotalLines), QString::number(lines));
    QCOMPARE(value(StatusPanel::RemainingTime), QStringLiteral("10:00"));
    QCOMPARE(value(StatusPanel::CurrentLine), QStringLiteral("1"));
    QVERIFY(window->scrollBar()->isVisible());
    QVERIFY(screen->laidOut());

    // A frameless child at the top-left, as tall as the whole text.
    QMdiSubWindow* frame = screen->frame();
    QVERIFY(frame);
    QVERIFY(frame->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(frame->pos(), QPoint(0, 0));
    QCOMPARE(screen->height(), Twips::toPixels(lines * 600 + 300));
    QCOMPARE(screen->width(), Twips::toPixels(Twips::fromPixels(window->width()) - 2000));
    const int expectedMaximum = lines * 600 + 300 - Twips::fromPixels(window->frameGeometry().height()) + 1200;
    QCOMPARE(window->scrollBar()->maximum(), std::max(0, expectedMaximum));

    // The countdown waits for the first key; the cursor blinks.
    QVERIFY(!timer(screen, "Timer2")->isActive());
    QCOMPARE(timer(screen, "Timer2")->interval(), 1000);
    QVERIFY(timer(screen, "Timer1")->isActive());
    QCOMPARE(timer(screen, "Timer1")->interval(), 300);

    // The text is printed in blue on the first text row.
    const QImage& image = screen->cells().image();
    QVERIFY(hasPixel(image, screen->cells().textCells(0, 0, 4), [](QColor c) {
        return c.blue() >= 200 && c.red() < 60 && c.green() < 60;
    }));
    // A second activation prints nothing again.
    const QImage before = image.copy();
    screen->activate();
    window->mdiArea()->setActiveSubWindow(nullptr);
    window->mdiArea()->setActiveSubWindow(frame);
    QCOMPARE(screen->cells().image(), before);

    // Only the exercise's own end closes it.
    QVERIFY(!frame->close());
    QCOMPARE(int(programState().exerciseType), kind);
    QVERIFY(frame->isVisible());
}

void TestExerciseScreen::secondExerciseWhileOneIsOpenDoesNothing()
{
    loginTest(QStringLiteral("B7"));
    writeExercise(ExerciseKind::Chinese, QStringLiteral("中文录入的练习。\n"));
    writeExercise(ExerciseKind::English, englishLines(2));
    ExerciseScreen* chinese = open(ExerciseKind::Chinese);
    QVERIFY(chinese);
    QVERIFY(!window->menuItem("zwlr")->isEnabled());
    QVERIFY(window->menuItem("ywlr")->isEnabled());

    window->menuItem("ywlr")->trigger();
    QCOMPARE(int(programState().exerciseType), 2);
    QCOMPARE(window->findChildren<ExerciseScreen*>().size(), 1);
    QCOMPARE(window->mdiArea()->subWindowList().size(), 1);
    QCOMPARE(value(StatusPanel::TotalLines), QStringLiteral("1"));
    QVERIFY(window->menuItem("ywlr")->isEnabled());   // not taken, so still free
}

void TestExerciseScreen::badFileIsReportedAndNothingOpens_data()
{
    QTest::addColumn<QByteArray>("file");   // empty: no file at all
    QByteArray wrongMagic = exerciseBytes(QStringLiteral("Some text."));
    wrongMagic[0] = 'X';
    QByteArray wrongLength = exerciseBytes(QStringLiteral("Some text."));
    wrongLength.append("extra");
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("wrong magic") << wrongMagic;
    QTest::newRow("length does not match") << wrongLength;
}

void TestExerciseScreen::badFileIsReportedAndNothingOpens()
{
    QFETCH(QByteArray, file);
    loginPractice();
    if (!file.isEmpty())
        folder->writeFile(QStringLiteral("yw/ydzcs3.dat"), file);
    window->statusPanel()->setValue(StatusPanel::TotalLines, QStringLiteral("unchanged"));

    window->menuItem("ywlr")->trigger();

    const auto shown = MessageBoxes::takeRecorded();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("错误提示对话框"));
    QCOMPARE(shown[0].text, QStringLiteral("打开文件错或源文件不是程序所规定的文件！"));
    QCOMPARE(int(programState().exerciseType), 0);
    QVERIFY(!window->scrollBar()->isVisible());
    QVERIFY(window->mdiArea()->subWindowList().isEmpty());
    QCOMPARE(value(StatusPanel::TotalLines), QStringLiteral("unchanged"));

    // The menu can start a good exercise right after.
    writeExercise(ExerciseKind::English, englishLines(2));
    QVERIFY(open(ExerciseKind::English));
    QCOMPARE(int(programState().exerciseType), 1);
}

void TestExerciseScreen::longTextScrollsAllTheWay()
{
    // The longest text a file can hold in lines: 200 line ends.
    QString text;
    for (int i = 0; i < 200; ++i)
        text += QStringLiteral("L%1\n").arg(i);
    loginPractice();
    writeExercise(ExerciseKind::English, text);
    ExerciseScreen* screen = open(ExerciseKind::English);
    QVERIFY(screen);
    QCOMPARE(value(StatusPanel::TotalLines), QStringLiteral("200"));
    QCOMPARE(screen->height(), Twips::toPixels(120300));

    // Far beyond what a 16-bit range could hold.
    QScrollBar* bar = window->scrollBar();
    const int expectedMaximum = 120300 - Twips::fromPixels(window->frameGeometry().height()) + 1200;
    QVERIFY(expectedMaximum > 32767);
    QCOMPARE(bar->maximum(), expectedMaximum);
    bar->setValue(bar->maximum());
    QCOMPARE(screen->frame()->y(), -Twips::toPixels(expectedMaximum));
    QCOMPARE(screen->screenTop(), Twips::fromPixels(-Twips::toPixels(expectedMaximum)));
    // The last line's input row is on screen: inside the main window's client area.
    const QPoint lastRow = screen->mapTo(window->mdiArea(), QPoint(0, screen->cells().inputRowTop(199)));
    QVERIFY(lastRow.y() >= 0);
    QVERIFY(lastRow.y() + screen->cells().cellHeight() <= window->mdiArea()->height());
    QVERIFY(screen->hasFocus());
}

// ---------------------------------------------------------------- keys

void TestExerciseScreen::firstCharacterStartsCountdownArrowDoesNot()
{
    loginPractice();
    writeExercise(ExerciseKind::English, QStringLiteral("Abcdef ghijk.\n"));
    ExerciseScreen* screen = open(ExerciseKind::English);
    QVERIFY(screen);
    QTimer* countdown = timer(screen, "Timer2");

    QTest::keyClick(screen, Qt::Key_Right);
    QTest::keyClick(screen, Qt::Key_Left);
    QTest::keyClick(screen, Qt::Key_Delete);
    QVERIFY(!countdown->isActive());
    QVERIFY(!screen->engine()->typingStarted());
    QCOMPARE(value(StatusPanel::RemainingTime), QStringLiteral("10:00"));

    QTest::keyClick(screen, 'A');
    QVERIFY(countdown->isActive());
    QVERIFY(screen->engine()->typingStarted());
    QCOMPARE(screen->engine()->typedBytes()[0], quint8('A'));

    screen->countdownTick();
    QCOMPARE(value(StatusPanel::RemainingTime), QStringLiteral("09:59"));
    // Any key shows the cursor column before it acts, and the current line after.
    QTest::keyClick(screen, Qt::Key_Right);
    QCOMPARE(value(StatusPanel::Accuracy), QStringLiteral("1"));
    QCOMPARE(screen->engine()->cursorColumn(), 2);
    QCOMPARE(value(StatusPanel::CurrentLine), QStringLiteral("1"));
}

void TestExerciseScreen::typedLettersAreDrawnInTheirCells()
{
    loginPractice();
    writeExercise(ExerciseKind::English, QStringLiteral("Abcdef\n"));
    ExerciseScreen* screen = open(ExerciseKind::English);
    QVERIFY(screen);
    const CellImage& cells = screen->cells();

    QTest::keyClicks(screen, QStringLiteral("xb"));   // x where "A" is wanted, then a right b
    QCOMPARE(screen->engine()->typedBytes()[0], quint8('x'));
    QCOMPARE(screen->engine()->typedBytes()[1], quint8('b'));
    QVERIFY(hasPixel(cells.image(), cells.inputCells(0, 0, 1), darkRed));
    QVERIFY(!hasPixel(cells.image(), cells.inputCells(0, 0, 1), green));
    QVERIFY(hasPixel(cells.image(), cells.inputCells(0, 1, 1), green));
    QVERIFY(!hasPixel(cells.image(), cells.inputCells(0, 1, 1), darkRed));
    // The text row above stays as printed.
    QVERIFY(!hasPixel(cells.image(), cells.textCells(0, 0, 2), darkRed));

    // Backspace blanks the cell again: plain white.
    QTest::keyClick(screen, Qt::Key_Backspace);
    QVERIFY(!hasPixel(cells.image(), cells.inputCells(0, 1, 1), [](QColor c) { return c != Qt::white; }));
    QCOMPARE(screen->engine()->typedBytes()[1], quint8(0));
    // What the image holds is what the window shows.
    const QImage shown = screen->grab().toImage();
    QVERIFY(hasPixel(shown, cells.inputCells(0, 0, 1), darkRed));
}

void TestExerciseScreen::inputMethodCommitTypesOneWideCharacter()
{
    loginPractice();
    writeExercise(ExerciseKind::Chinese, QStringLiteral("中文打字练习。\n"));
    ExerciseScreen* screen = open(ExerciseKind::Chinese);
    QVERIFY(screen);
    QVERIFY(screen->testAttribute(Qt::WA_InputMethodEnabled));
    QVERIFY(screen->inputMethodQuery(Qt::ImEnabled).toBool());

    // Composing shows nothing typed yet.
    QInputMethodEvent composing(QStringLiteral("zhong"), {});
    QApplication::sendEvent(screen, &composing);
    QVERIFY(!screen->engine()->typingStarted());

    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("中"));
    QApplication::sendEvent(screen, &commit);
    const auto& typed = screen->engine()->typedBytes();
    QCOMPARE(typed[0], quint8(0xD6));
    QCOMPARE(typed[1], quint8(0xD0));
    QVERIFY(screen->engine()->positionMarks()[1] != 0);
    QCOMPARE(screen->engine()->cursorColumn(), 2);
    QVERIFY(timer(screen, "Timer2")->isActive());
    QVERIFY(hasPixel(screen->cells().image(), screen->cells().inputCells(0, 0, 2), green));

    // A wrong character committed as a key's text is wrong across both cells.
    QTest::sendKeyEvent(QTest::Click, screen, Qt::Key_unknown, QStringLiteral("字"), Qt::NoModifier);
    QCOMPARE(typed[2], quint8(0xD7));
    QCOMPARE(typed[3], quint8(0xD6));
    QVERIFY(hasPixel(screen->cells().image(), screen->cells().inputCells(0, 2, 2), darkRed));
    QCOMPARE(screen->engine()->cursorColumn(), 4);

    // Two characters in one commit are two character events.
    QInputMethodEvent two;
    two.setCommitString(QStringLiteral("打字"));
    QApplication::sendEvent(screen, &two);
    QCOMPARE(typed[4], quint8(0xB4));
    QCOMPARE(typed[6], quint8(0xD7));
    QCOMPARE(screen->engine()->cursorColumn(), 8);
}

void TestExerciseScreen::unencodableCharactersAreIgnored()
{
    loginPractice();
    writeExercise(ExerciseKind::Chinese, QStringLiteral("中文打字练习。\n"));
    ExerciseScreen* screen = open(ExerciseKind::Chinese);
    QVERIFY(screen);
    const QImage before = screen->cells().image().copy();

    QInputMethodEvent emoji;
    emoji.setCommitString(QStringLiteral("😀"));
    QApplication::sendEvent(screen, &emoji);
    QTest::sendKeyEvent(QTest::Click, screen, Qt::Key_unknown, QStringLiteral("😀"), Qt::NoModifier);

    QVERIFY(!screen->engine()->typingStarted());
    QVERIFY(!timer(screen, "Timer2")->isActive());
    QCOMPARE(screen->engine()->cursorColumn(), 0);
    QCOMPARE(screen->engine()->typedBytes()[0], quint8(0));
    QCOMPARE(screen->cells().image(), before);

    // Mixed in with a good character, only the good one counts.
    QInputMethodEvent mixed;
    mixed.setCommitString(QStringLiteral("😀中"));
    QApplication::sendEvent(screen, &mixed);
    QCOMPARE(screen->engine()->typedBytes()[0], quint8(0xD6));
    QCOMPARE(screen->engine()->cursorColumn(), 2);
}

void TestExerciseScreen::cursorLineAndInputMethodFollowTheCursor()
{
    loginPractice();
    writeExercise(ExerciseKind::English, QStringLiteral("abc\ndefgh\n"));
    ExerciseScreen* screen = open(ExerciseKind::English);
    QVERIFY(screen);
    const CellImage& cells = screen->cells();
    QWidget* line = screen->cursorLine();
    QCOMPARE(line->objectName(), QStringLiteral("Line1"));
    QVERIFY(screen->hasFocus());
    QVERIFY(line->isVisible());

    QTest::keyClicks(screen, QStringLiteral("ab"));
    QCOMPARE(line->x(), cells.leftEdge() + 2 * cells.cellWidth());
    QCOMPARE(line->y(), cells.inputRowTop(0));
    QCOMPARE(screen->inputMethodQuery(Qt::ImCursorRectangle).toRect(), line->geometry());

    QTest::keyClick(screen, Qt::Key_Return);   // to the next line
    QCOMPARE(line->pos(), QPoint(cells.leftEdge(), cells.inputRowTop(1)));
    QCOMPARE(value(StatusPanel::CurrentLine), QStringLiteral("2"));
    QCOMPARE(screen->inputMethodQuery(Qt::ImCursorRectangle).toRect().topLeft(), line->pos());

    // The blink inverts it while focused; without the focus it stays hidden.
    const bool shown = line->isVisible();
    QTRY_VERIFY_WITH_TIMEOUT(line->isVisible() != shown, 1000);
    screen->clearFocus();
    QVERIFY(!line->isVisible());
    QTest::qWait(700);
    QVERIFY(!line->isVisible());
}

void TestExerciseScreen::characterCodesOfDeliveredText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<qint16>>("codes");
    QTest::newRow("letters") << QStringLiteral("aZ ") << QList<qint16>{97, 90, 32};
    QTest::newRow("wide") << QStringLiteral("中") << QList<qint16>{qint16(0xD6 * 256 + 0xD0 - 65536)};
    QTest::newRow("full-width space") << QStringLiteral("\u3000") << QList<qint16>{qint16(0xA1 * 256 + 0xA1 - 65536)};
    QTest::newRow("backspace and enter") << QStringLiteral("\b\r") << QList<qint16>{8, 13};
    QTest::newRow("esc tab delete ctrl") << QStringLiteral("\x1b\t\x7f\x03") << QList<qint16>{};
    QTest::newRow("emoji") << QStringLiteral("😀a") << QList<qint16>{97};
}

void TestExerciseScreen::characterCodesOfDeliveredText()
{
    QFETCH(QString, text);
    QFETCH(QList<qint16>, codes);
    QCOMPARE(KeyCodes::characterCodes(text), codes);
}

// ---------------------------------------------------------------- whole exercises

void TestExerciseScreen::practiceEnglishEndedWithEsc()
{
    loginPractice();
    writeExercise(ExerciseKind::English, QStringLiteral("The quick brown fox jumps.\n"));
    QPointer<ExerciseScreen> screen = open(ExerciseKind::English);
    QVERIFY(screen);

    // 12 typed: "The quick" right (9), then "xyz" where " br" is wanted (3 wrong).
    QTest::keyClicks(screen, QStringLiteral("The quickxyz"));
    tick(screen, 120);
    QCOMPARE(value(StatusPanel::RemainingTime), QStringLiteral("08:00"));
    QTest::keyClick(screen, Qt::Key_Escape);

    // Speed 12 / 120 s * 60 = 6, accuracy 9 / 12 = 75 %, score 0: Esc below the minimum.
    QCOMPARE(value(StatusPanel::Speed), QStringLiteral("6"));
    QCOMPARE(value(StatusPanel::Accuracy), QStringLiteral("75"));
    QCOMPARE(value(StatusPanel::Score), QStringLiteral("0"));
    QCOMPARE(int(programState().exerciseType), 0);
    QVERIFY(!window->scrollBar()->isVisible());
    QVERIFY(MessageBoxes::takeRecorded().isEmpty());

    const QList<GradeRow> rows = storedRows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].xh, QStringLiteral("2024001"));
    QCOMPARE(rows[0].xm, QStringLiteral("张三"));
    QCOMPARE(rows[0].lrxm, QStringLiteral("英文"));
    QCOMPARE(rows[0].lrcj, 0.0);
    QCOMPARE(rows[0].lrsd, 6.0);
    QCOMPARE(rows[0].lrzql, 75.0);
    QCOMPARE(rows[0].lrdate, QDate(2026, 3, 9));
    QCOMPARE(rows[0].lrtime, QTime(10, 15, 30));
    QVERIFY(rows[0].lrpc.isEmpty());

    // The screen is gone and the menu can start the next exercise.
    QTRY_VERIFY(!screen);
    QVERIFY(window->mdiArea()->subWindowList().isEmpty());
    QVERIFY(window->menuItem("ywlr")->isEnabled());
    QVERIFY(open(ExerciseKind::English));
}

void TestExerciseScreen::testLoginChineseRunsToTheEnd()
{
    loginTest(QStringLiteral("B12"));
    writeExercise(ExerciseKind::Chinese, QStringLiteral("中文打字练习，每天一段。\n"));
    QPointer<ExerciseScreen> screen = open(ExerciseKind::Chinese);
    QVERIFY(screen);
    QVERIFY(!window->menuItem("zwlr")->isEnabled());

    // Eight wide characters right, then one wrong: 8 correct of 9.
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("中文打字练习，每大"));
    QApplication::sendEvent(screen, &commit);

    tick(screen, 600);
    QCOMPARE(value(StatusPanel::RemainingTime), QStringLiteral("00:00"));
    QVERIFY(storedRows().isEmpty());
    QCOMPARE(int(programState().exerciseType), 2);
    screen->countdownTick();   // the tick after 00:00 ends it

    // Speed 9 / 600 s * 60 = nearest(0.9) = 1, accuracy nearest(88.9) = 89,
    // score nearest(8 / 600 * 60) = 1 less 2 for 85..90 % = -1.
    QCOMPARE(value(StatusPanel::Speed), QStringLiteral("1"));
    QCOMPARE(value(StatusPanel::Accuracy), QStringLiteral("89"));
    QCOMPARE(value(StatusPanel::Score), QStringLiteral("-1"));
    const QList<GradeRow> rows = storedRows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].xh, QStringLiteral("2024000017"));
    QCOMPARE(rows[0].lrxm, QStringLiteral("中文"));
    QCOMPARE(rows[0].lrpc, QStringLiteral("B12"));
    QCOMPARE(rows[0].lrcj, -1.0);

    QCOMPARE(int(programState().exerciseType), 0);
    QTRY_VERIFY(!screen);
    // The taken exercise stays disabled for this test login; the other one is free.
    QVERIFY(!window->menuItem("zwlr")->isEnabled());
    QVERIFY(window->menuItem("ywlr")->isEnabled());
}

void TestExerciseScreen::resultKeepsWhoStartedTheExercise()
{
    loginTest(QStringLiteral("B3"));
    writeExercise(ExerciseKind::English, QStringLiteral("abc\n"));
    ExerciseScreen* screen = open(ExerciseKind::English);
    QVERIFY(screen);
    QTest::keyClicks(screen, QStringLiteral("ab"));

    // A login dialog opened and given up during the exercise changes what the panel shows.
    programState().batchNumber.clear();
    window->statusPanel()->setValue(StatusPanel::StudentNumber, QStringLiteral("9999"));
    window->statusPanel()->setValue(StatusPanel::Name, QStringLiteral("别人"));
    screen->countdownTick();
    QTest::keyClick(screen, Qt::Key_Escape);

    const QList<GradeRow> rows = storedRows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].xh, QStringLiteral("2024000017"));
    QCOMPARE(rows[0].xm, QStringLiteral("李四"));
    QCOMPARE(rows[0].lrpc, QStringLiteral("B3"));
}

void TestExerciseScreen::escBeforeFirstCharacterStoresNothing()
{
    loginPractice();
    writeExercise(ExerciseKind::English, QStringLiteral("abc\n"));
    for (int index : {StatusPanel::Score, StatusPanel::Speed})
        window->statusPanel()->setValue(index, QStringLiteral("old"));
    QPointer<ExerciseScreen> screen = open(ExerciseKind::English);
    QVERIFY(screen);
    QTest::keyClick(screen, Qt::Key_Down);
    QTest::keyClick(screen, Qt::Key_Escape);

    QCOMPARE(int(programState().exerciseType), 0);
    QVERIFY(storedRows().isEmpty());
    QCOMPARE(value(StatusPanel::Score), QStringLiteral("old"));
    QCOMPARE(value(StatusPanel::Speed), QStringLiteral("old"));
    QVERIFY(MessageBoxes::takeRecorded().isEmpty());
    QTRY_VERIFY(!screen);
}

void TestExerciseScreen::escAndLastTickStoreOnce()
{
    loginPractice();
    writeExercise(ExerciseKind::English, QStringLiteral("abc\n"));
    QPointer<ExerciseScreen> screen = open(ExerciseKind::English);
    QVERIFY(screen);
    QTest::keyClick(screen, Qt::Key_A);
    tick(screen, 600);
    QTest::keyClick(screen, Qt::Key_Escape);
    // The last tick still arrives before the screen is gone.
    QVERIFY(screen);
    screen->countdownTick();
    QTest::keyClick(screen, Qt::Key_Escape);
    QCOMPARE(storedRows().size(), 1);
    QTRY_VERIFY(!screen);
}

void TestExerciseScreen::storeFailureIsReportedAndProgramGoesOn_data()
{
    QTest::addColumn<bool>("lock");
    QTest::newRow("database removed") << false;
    QTest::newRow("database locked") << true;
}

void TestExerciseScreen::storeFailureIsReportedAndProgramGoesOn()
{
    QFETCH(bool, lock);
    loginPractice();
    writeExercise(ExerciseKind::English, QStringLiteral("abcdef\n"));
    QPointer<ExerciseScreen> screen = open(ExerciseKind::English);
    QVERIFY(screen);
    QTest::keyClicks(screen, QStringLiteral("abcxef"));
    tick(screen, 60);

    std::optional<GradeStore> holder;
    const QString moved = folder->gradeDatabase() + QStringLiteral(".away");
    if (lock) {
        holder.emplace(folder->store());
        holder->database().exec(QStringLiteral("BEGIN EXCLUSIVE"));
    } else {
        QVERIFY(QFile::rename(folder->gradeDatabase(), moved));
    }
    QTest::keyClick(screen, Qt::Key_Escape);

    // 5 of 6 right in one minute: speed 6, accuracy 83.
    QCOMPARE(value(StatusPanel::Speed), QStringLiteral("6"));
    QCOMPARE(value(StatusPanel::Accuracy), QStringLiteral("83"));
    const auto shown = MessageBoxes::takeRecorded();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].title, QStringLiteral("错误提示对话框"));
    QVERIFY2(shown[0].text.contains(QStringLiteral("没有保存")), qPrintable(shown[0].text));
    QVERIFY2(shown[0].text.contains(QStringLiteral("stugrade.mdb")), qPrintable(shown[0].text));
    QVERIFY2(shown[0].text.contains(QStringLiteral("速度：6")), qPrintable(shown[0].text));
    QCOMPARE(int(programState().exerciseType), 0);
    QTRY_VERIFY(!screen);

    // The program goes on: once the database is back, the next result is stored.
    if (lock) {
        holder->database().exec(QStringLiteral("ROLLBACK"));
        holder.reset();
    } else {
        QVERIFY(QFile::rename(moved, folder->gradeDatabase()));
    }
    QVERIFY(storedRows().isEmpty());
    screen = open(ExerciseKind::English);
    QVERIFY(screen);
    QTest::keyClick(screen, Qt::Key_A);
    QTest::keyClick(screen, Qt::Key_Escape);
    QCOMPARE(storedRows().size(), 1);
}

QTEST_MAIN(TestExerciseScreen)
#include "test_exercise_screen.moc"

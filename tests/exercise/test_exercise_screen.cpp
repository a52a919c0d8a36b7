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
#include "platform/input_method.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "shell/main_window.h"
#include "login/login_dialog.h"
#include "exercise/status_panel.h"
#include "store/store_client.h"
#include "support/test_support.h"

#include <QAction>
#include <QLineEdit>
#include <QFile>
#include <QInputMethodEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

constexpr float kRandom = 0.3f; // draws exercise file digit 3

QByteArray exerciseBytes(const QString& text)
{
    return TestSupport::exerciseFile(text);
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
bool darkRed(QColor c)
{
    return c.red() - c.green() > 80 && c.red() - c.blue() > 80;
}
bool green(QColor c)
{
    return c.green() - c.red() > 80 && c.green() - c.blue() > 80;
}

// The first n bytes typed.
QByteArray typedText(const ExerciseScreen* screen, int n)
{
    return QByteArray(reinterpret_cast<const char*>(screen->engine()->typedBytes().data()), n);
}

void commit(QWidget* screen, const QString& text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(screen, &event);
}

// The store of the window under test. Results go to it without waiting; what they lead to is
// seen once none is under way.
StoreClient* storeUnderTest = nullptr;

void waitForStores()
{
    if (storeUnderTest)
        QTRY_COMPARE_WITH_TIMEOUT(storeUnderTest->finishesUnderWay(), 0, 10000);
}

// The message boxes shown since the last call, as "title: text".
QStringList messages()
{
    waitForStores();
    QStringList shown;
    for (const auto& box : MessageBoxes::takeRecorded())
        shown << box.title + QStringLiteral(": ") + box.text;
    return shown;
}

const QString kBadFile = QStringLiteral("错误提示对话框: 打开文件错或源文件不是程序所规定的文件！");

} // namespace

class TestExerciseScreen : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::AppFolder> folder;
    std::unique_ptr<MainWindow> window;

    // Practice without a batch, a test with one; both exercises free.
    void login(const QString& batch = {})
    {
        const bool test = !batch.isEmpty();
        const std::unique_ptr<LoginDialog> dialog =
            window->newLoginDialog(test ? LoginMode::Test : LoginMode::Practice);
        dialog->box(0)->setText(test ? QStringLiteral("2024000017") : QStringLiteral("2024001"));
        dialog->box(1)->setText(test ? QStringLiteral("李四") : QStringLiteral("张三"));
        dialog->box(2)->setText(batch);
        dialog->confirm();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
    }
    void writeExercise(ExerciseKind kind, const QString& text)
    {
        const QString path = ExerciseLoader::pathFor(folder->path(), kind, ExerciseLoader::digitFor(kRandom));
        folder->writeFile(QDir(folder->path()).relativeFilePath(path), exerciseBytes(text));
    }
    ExerciseScreen* open(ExerciseKind kind)
    {
        window->menuItem(kind == ExerciseKind::English ? "ywlr" : "zwlr")->trigger();
        return window->findChild<ExerciseScreen*>(QStringLiteral("form2"));
    }
    // Logged in for practice (unless already logged in), the text written and opened.
    ExerciseScreen* start(ExerciseKind kind, const QString& text)
    {
        if (window->session().loginMode == LoginMode::None)
            login();
        writeExercise(kind, text);
        return open(kind);
    }
    QString value(int index) const { return window->statusPanel()->value(index); }
    // Speed, accuracy and score as the Status panel shows them once the store has answered.
    QStringList result() const
    {
        waitForStores();
        return {value(StatusPanel::Speed), value(StatusPanel::Accuracy), value(StatusPanel::Score)};
    }
    QTimer* timer(ExerciseScreen* screen, const char* name) const
    {
        return screen->findChild<QTimer*>(QString::fromLatin1(name));
    }
    // A second passes on the steady clock, and the countdown ticks.
    void tick(ExerciseScreen* screen, int times)
    {
        for (int i = 0; i < times && screen; ++i) {
            Clock::setSteady(*Clock::steady() + 1000);
            screen->countdownTick();
        }
    }
    // The stored rows, newest first, one string each.
    QStringList storedRows() const
    {
        waitForStores();
        QStringList rows;
        for (const GradeRow& r : folder->store().resultsNewestFirst(0, 100))
            rows << QStringList{r.xh,
                                r.xm,
                                r.lrxm,
                                QString::number(r.lrcj),
                                QString::number(r.lrsd),
                                QString::number(r.lrzql),
                                r.lrdate.toString(Qt::ISODate),
                                r.lrtime.toString(Qt::ISODate),
                                r.lrpc}
                        .join(QLatin1Char('|'));
        return rows;
    }

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }

    void init()
    {
        TestSupport::resetState();
        MessageBoxes::takeRecorded();
        Clock::setFixed(QDateTime(QDate(2026, 3, 9), QTime(10, 15, 30)));
        ExerciseLoader::setRandomSourceForTests([] { return kRandom; });
        folder = std::make_unique<TestSupport::AppFolder>();
        Clock::setSteady(1'000'000);
        window = std::make_unique<MainWindow>();
        QVERIFY(window->load(folder->path()));
        storeUnderTest = &window->store();
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    void cleanup()
    {
        storeUnderTest = nullptr;
        window.reset();
        folder.reset();
        ExerciseLoader::setRandomSourceForTests({});
        Clock::setFixed(std::nullopt);
    }

    // ---------------------------------------------------------------- opening

    void opensWithLineCountAndFullTime_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lines");
        QTest::newRow("english 12 lines") << int(ExerciseKind::English) << englishLines(12) << 12;
        QTest::newRow("english 1 line") << int(ExerciseKind::English) << QStringLiteral("Short.\n") << 1;
        QTest::newRow("chinese 3 lines") << int(ExerciseKind::Chinese)
                                         << QStringLiteral("春眠不觉晓，\n处处闻啼鸟。\n夜来风雨声。\n") << 3;
    }

    void opensWithLineCountAndFullTime()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(int, lines);
        ExerciseScreen* screen = start(ExerciseKind(kind), text);
        QVERIFY(screen);
        QVERIFY(window->session().exerciseOpen);
        QCOMPARE(int(screen->kind()), kind);
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

        // The text is printed in blue on the first text row; a second activation prints nothing.
        const QImage& image = screen->cells().image();
        QVERIFY(hasPixel(image, screen->cells().textCells(0, 0, 4),
                         [](QColor c) { return c.blue() >= 200 && c.red() < 60 && c.green() < 60; }));
        const QImage before = image.copy();
        screen->activate();
        window->mdiArea()->setActiveSubWindow(nullptr);
        window->mdiArea()->setActiveSubWindow(frame);
        QCOMPARE(screen->cells().image(), before);

        // Only the exercise's own end closes it.
        QVERIFY(!frame->close());
        QVERIFY(window->session().exerciseOpen);
        QVERIFY(frame->isVisible());
    }

    void secondExerciseWhileOneIsOpenDoesNothing()
    {
        login(QStringLiteral("B7"));
        writeExercise(ExerciseKind::English, englishLines(2));
        QVERIFY(start(ExerciseKind::Chinese, QStringLiteral("中文录入的练习。\n")));
        QVERIFY(!window->menuItem("zwlr")->isEnabled());
        QVERIFY(window->menuItem("ywlr")->isEnabled());

        window->menuItem("ywlr")->trigger();
        QVERIFY(window->session().exerciseOpen);
        QCOMPARE(window->findChildren<ExerciseScreen*>().size(), 1);
        QCOMPARE(window->mdiArea()->subWindowList().size(), 1);
        QCOMPARE(value(StatusPanel::TotalLines), QStringLiteral("1"));
        QVERIFY(window->menuItem("ywlr")->isEnabled()); // not taken, so still free
    }

    void badFileIsReportedAndNothingOpens_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: no file at all
        const QByteArray good = exerciseBytes(QStringLiteral("Some text."));
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("wrong magic") << QByteArray(good).replace(0, 1, "X");
        QTest::newRow("length does not match") << good + "extra";
    }

    void badFileIsReportedAndNothingOpens()
    {
        QFETCH(QByteArray, file);
        login();
        if (!file.isEmpty())
            folder->writeFile(QStringLiteral("yw/ydzcs3.dat"), file);
        window->statusPanel()->setValue(StatusPanel::TotalLines, QStringLiteral("unchanged"));
        window->menuItem("ywlr")->trigger();
        QCOMPARE(messages(), QStringList{kBadFile});
        QVERIFY(!window->session().exerciseOpen);
        QVERIFY(!window->scrollBar()->isVisible());
        QVERIFY(window->mdiArea()->subWindowList().isEmpty());
        QCOMPARE(value(StatusPanel::TotalLines), QStringLiteral("unchanged"));

        // The menu can start a good exercise right after.
        QVERIFY(start(ExerciseKind::English, englishLines(2)));
        QVERIFY(window->session().exerciseOpen);
    }

    void longTextScrollsAllTheWay()
    {
        // The longest text a file can hold in lines: 200 line ends.
        QString text;
        for (int i = 0; i < 200; ++i)
            text += QStringLiteral("L%1\n").arg(i);
        ExerciseScreen* screen = start(ExerciseKind::English, text);
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
        // The last line's input row is inside the main window's client area.
        const QPoint lastRow = screen->mapTo(window->mdiArea(), QPoint(0, screen->cells().inputRowTop(199)));
        QVERIFY(lastRow.y() >= 0);
        QVERIFY(lastRow.y() + screen->cells().cellHeight() <= window->mdiArea()->height());
        QVERIFY(screen->hasFocus());
    }

    // ---------------------------------------------------------------- keys

    void firstCharacterStartsCountdownArrowDoesNot()
    {
        ExerciseScreen* screen = start(ExerciseKind::English, QStringLiteral("Abcdef ghijk.\n"));
        QVERIFY(screen);
        QTimer* countdown = timer(screen, "Timer2");
        for (int key : {Qt::Key_Right, Qt::Key_Left, Qt::Key_Delete})
            QTest::keyClick(screen, Qt::Key(key));
        QVERIFY(!countdown->isActive());
        QVERIFY(!screen->engine()->typingStarted());
        QCOMPARE(value(StatusPanel::RemainingTime), QStringLiteral("10:00"));

        QTest::keyClick(screen, 'A');
        QVERIFY(countdown->isActive());
        QVERIFY(screen->engine()->typingStarted());
        QCOMPARE(screen->engine()->typedBytes()[0], quint8('A'));
        tick(screen, 1);
        QCOMPARE(value(StatusPanel::RemainingTime), QStringLiteral("09:59"));
        // Any key shows the cursor column before it acts, and the current line after.
        QTest::keyClick(screen, Qt::Key_Right);
        QCOMPARE(value(StatusPanel::Accuracy), QStringLiteral("1"));
        QCOMPARE(screen->engine()->cursorColumn(), 2);
        QCOMPARE(value(StatusPanel::CurrentLine), QStringLiteral("1"));
    }

    void typedLettersAreDrawnInTheirCells()
    {
        ExerciseScreen* screen = start(ExerciseKind::English, QStringLiteral("Abcdef\n"));
        QVERIFY(screen);
        const CellImage& cells = screen->cells();
        QTest::keyClicks(screen, QStringLiteral("xb")); // x where "A" is wanted, then a right b
        QCOMPARE(typedText(screen, 2), QByteArray("xb"));
        QVERIFY(hasPixel(cells.image(), cells.inputCells(0, 0, 1), darkRed));
        QVERIFY(!hasPixel(cells.image(), cells.inputCells(0, 0, 1), green));
        QVERIFY(hasPixel(cells.image(), cells.inputCells(0, 1, 1), green));
        QVERIFY(!hasPixel(cells.image(), cells.inputCells(0, 1, 1), darkRed));
        QVERIFY(!hasPixel(cells.image(), cells.textCells(0, 0, 2), darkRed)); // the text row stays

        // Backspace blanks the cell again: plain white.
        QTest::keyClick(screen, Qt::Key_Backspace);
        QVERIFY(!hasPixel(cells.image(), cells.inputCells(0, 1, 1), [](QColor c) { return c != Qt::white; }));
        QCOMPARE(typedText(screen, 2), QByteArray("x\0", 2));
        // What the image holds is what the window shows.
        QVERIFY(hasPixel(screen->grab().toImage(), cells.inputCells(0, 0, 1), darkRed));
    }

    void inputMethodCommitTypesOneWideCharacter()
    {
        ExerciseScreen* screen = start(ExerciseKind::Chinese, QStringLiteral("中文打字练习。\n"));
        QVERIFY(screen);
        QVERIFY(screen->testAttribute(Qt::WA_InputMethodEnabled));
        QVERIFY(screen->inputMethodQuery(Qt::ImEnabled).toBool());

        // Composing shows nothing typed yet.
        QInputMethodEvent composing(QStringLiteral("zhong"), {});
        QApplication::sendEvent(screen, &composing);
        QVERIFY(!screen->engine()->typingStarted());

        commit(screen, QStringLiteral("中"));
        QCOMPARE(typedText(screen, 3), QByteArray("\xD6\xD0\0", 3));
        QVERIFY(screen->engine()->positionMarks()[1] != 0);
        QCOMPARE(screen->engine()->cursorColumn(), 2);
        QVERIFY(timer(screen, "Timer2")->isActive());
        QVERIFY(hasPixel(screen->cells().image(), screen->cells().inputCells(0, 0, 2), green));

        // A wrong character committed as a key's text is wrong across both cells.
        QTest::sendKeyEvent(QTest::Click, screen, Qt::Key_unknown, QStringLiteral("字"), Qt::NoModifier);
        QCOMPARE(typedText(screen, 4), QByteArray("\xD6\xD0\xD7\xD6"));
        QVERIFY(hasPixel(screen->cells().image(), screen->cells().inputCells(0, 2, 2), darkRed));
        QCOMPARE(screen->engine()->cursorColumn(), 4);

        // Two characters in one commit are two character events.
        commit(screen, QStringLiteral("打字"));
        QCOMPARE(typedText(screen, 8), *CodePage::encode(QStringLiteral("中字打字")));
        QCOMPARE(screen->engine()->cursorColumn(), 8);
    }

    // An emoji an input method offers cannot be held in code page 936: it still takes two
    // cells, drawn as a wrong character, and starts the countdown.
    void unencodableCharactersShowAsWrong()
    {
        ExerciseScreen* screen = start(ExerciseKind::Chinese, QStringLiteral("中文打字练习。\n"));
        QVERIFY(screen);
        commit(screen, QStringLiteral("😀"));
        QVERIFY(screen->engine()->typingStarted());
        QVERIFY(timer(screen, "Timer2")->isActive());
        QCOMPARE(screen->engine()->cursorColumn(), 2);
        QCOMPARE(typedText(screen, 2), QByteArray("\xFF\xFF"));
        QVERIFY(hasPixel(screen->cells().image(), screen->cells().inputCells(0, 0, 2), darkRed));
        // The column field follows committed text as it follows keys.
        QCOMPARE(value(StatusPanel::Accuracy), QStringLiteral("2"));
        commit(screen, QStringLiteral("文"));
        QCOMPARE(typedText(screen, 4), QByteArray("\xFF\xFF\xCE\xC4"));
        QCOMPARE(value(StatusPanel::Accuracy), QStringLiteral("4"));
    }

    // Tab and Ctrl+Enter type their characters (wrong ones here); Delete only deletes.
    void controlKeysTypeTheirCharacters()
    {
        ExerciseScreen* screen = start(ExerciseKind::English, QStringLiteral("abcdef\n"));
        QVERIFY(screen);
        QTest::keyClick(screen, Qt::Key_Delete);
        QVERIFY(!screen->engine()->typingStarted());
        QTest::keyClick(screen, Qt::Key_Tab);
        QVERIFY(timer(screen, "Timer2")->isActive());
        QTest::keyClick(screen, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(typedText(screen, 3), QByteArray("\t\n\0", 3));
        QCOMPARE(screen->engine()->cursorColumn(), 2);
        QVERIFY(hasPixel(screen->cells().image(), screen->cells().inputCells(0, 0, 1), darkRed));
        QTest::keyClick(screen, Qt::Key_Left);
        QTest::keyClick(screen, Qt::Key_Delete);
        QCOMPARE(typedText(screen, 3), QByteArray("\t\0\0", 3));
        QCOMPARE(screen->engine()->cursorColumn(), 1);
    }

    void cursorLineAndInputMethodFollowTheCursor()
    {
        ExerciseScreen* screen = start(ExerciseKind::English, QStringLiteral("abc\ndefgh\n"));
        QVERIFY(screen);
        const CellImage& cells = screen->cells();
        QWidget* line = screen->cursorLine();
        QCOMPARE(line->objectName(), QStringLiteral("Line1"));
        QVERIFY(screen->hasFocus());
        QVERIFY(line->isVisible());

        QTest::keyClicks(screen, QStringLiteral("ab"));
        QCOMPARE(line->pos(), QPoint(cells.leftEdge() + 2 * cells.cellWidth(), cells.inputRowTop(0)));
        QCOMPARE(screen->inputMethodQuery(Qt::ImCursorRectangle).toRect(), line->geometry());
        QTest::keyClick(screen, Qt::Key_Return); // to the next line
        QCOMPARE(line->pos(), QPoint(cells.leftEdge(), cells.inputRowTop(1)));
        QCOMPARE(value(StatusPanel::CurrentLine), QStringLiteral("2"));
        QCOMPARE(screen->inputMethodQuery(Qt::ImCursorRectangle).toRect().topLeft(), line->pos());

        // The blink inverts it while focused; without the focus it stays hidden.
        QTimer* blinker = timer(screen, "Timer1");
        QVERIFY(blinker->isActive());
        const bool shown = line->isVisible();
        QMetaObject::invokeMethod(blinker, "timeout");
        QCOMPARE(line->isVisible(), !shown);
        screen->clearFocus();
        QVERIFY(!line->isVisible());
        for (int blink = 0; blink < 2; ++blink)
            QMetaObject::invokeMethod(blinker, "timeout");
        QVERIFY(!line->isVisible());
    }

    // Once the screen has scrolled, the input method still learns where the cursor really is
    // in the window, so that its candidate window opens under it.
    void inputMethodFollowsTheScrolledScreen()
    {
        QString text;
        for (int i = 0; i < 40; ++i)
            text += QStringLiteral("第%1行中文。\n").arg(i);
        ExerciseScreen* screen = start(ExerciseKind::Chinese, text);
        QVERIFY(screen);
        auto whereInputMethodPutsTheCursor = [] { return QGuiApplication::inputMethod()->cursorRectangle().toRect(); };
        auto whereTheCursorIs = [&] {
            return QRect(screen->cursorLine()->mapTo(screen->window(), QPoint(0, 0)), screen->cursorLine()->size());
        };
        QCOMPARE(whereInputMethodPutsTheCursor(), whereTheCursorIs());
        for (int i = 0; i < 16; ++i)
            QTest::keyClick(screen, Qt::Key_Return);
        QVERIFY(window->scrollBar()->value() > 0);
        QVERIFY(screen->frame()->y() < 0);
        QCOMPARE(whereInputMethodPutsTheCursor(), whereTheCursorIs());
        window->scrollBar()->setValue(window->scrollBar()->value() - 600); // the bar alone moves the screen
        QCOMPARE(whereInputMethodPutsTheCursor(), whereTheCursorIs());
    }

    // Without an input method that delivers Chinese the student is told before a Chinese
    // exercise opens, and it opens all the same; an English one says nothing.
    void missingChineseInputMethodIsReported()
    {
        for (const bool available : {false, true}) {
            InputMethod::setAvailableForTests(available);
            MessageBoxes::takeRecorded();
            QPointer<ExerciseScreen> screen = start(ExerciseKind::Chinese, QStringLiteral("中文打字。\n"));
            QVERIFY(screen && screen->laidOut());
            const QList<MessageBoxes::Shown> shown = MessageBoxes::takeRecorded();
            QCOMPARE(shown.size(), available ? 0 : 1);
            if (!available) {
                QCOMPARE(shown[0].title, QStringLiteral("中文录入"));
                QVERIFY(shown[0].text.contains(QStringLiteral("fcitx5-frontend-qt6")));
            }
            QTest::keyClick(screen, Qt::Key_Escape);
            QTRY_VERIFY(!screen);
        }
        InputMethod::setAvailableForTests(false);
        QPointer<ExerciseScreen> english = start(ExerciseKind::English, QStringLiteral("abc\n"));
        QVERIFY(english);
        QVERIFY(MessageBoxes::takeRecorded().isEmpty());
        QTest::keyClick(english, Qt::Key_Escape);
        InputMethod::setAvailableForTests(true);
    }

    // The look-up itself: Qt's compose context or none delivers no Chinese; ibus's plugin,
    // shipped with Qt, does when QT_IM_MODULE asks for it.
    void chineseInputLookUp()
    {
        InputMethod::setAvailableForTests(std::nullopt);
        const QByteArray old = qgetenv("QT_IM_MODULE");
        for (const auto& [module, available] :
             {std::pair{"", false}, std::pair{"compose", false}, std::pair{"ibus", true}}) {
            qputenv("QT_IM_MODULE", module);
            QCOMPARE(InputMethod::chineseInputAvailable(), available);
        }
        qputenv("QT_IM_MODULE", old);
        InputMethod::setAvailableForTests(true);
    }

    void characterCodesOfDeliveredText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<qint16>>("codes");
        QTest::newRow("letters") << QStringLiteral("aZ ") << QList<qint16>{97, 90, 32};
        QTest::newRow("wide") << QStringLiteral("中") << QList<qint16>{qint16(0xD6 * 256 + 0xD0 - 65536)};
        QTest::newRow("full-width space")
            << QStringLiteral("\u3000") << QList<qint16>{qint16(0xA1 * 256 + 0xA1 - 65536)};
        QTest::newRow("backspace and enter") << QStringLiteral("\b\r") << QList<qint16>{8, 13};
        QTest::newRow("esc tab delete ctrl") << QStringLiteral("\x1b\t\x7f\x03") << QList<qint16>{27, 9, 127, 3};
        QTest::newRow("nul reads as nothing typed") << QString(QChar(0)) << QList<qint16>{};
        QTest::newRow("emoji") << QStringLiteral("😀a") << QList<qint16>{KeyCodes::kUnencodable, 97};
    }

    void characterCodesOfDeliveredText()
    {
        QFETCH(QString, text);
        QFETCH(QList<qint16>, codes);
        QCOMPARE(KeyCodes::characterCodes(text), codes);
    }

    // ---------------------------------------------------------------- whole exercises

    void practiceEnglishEndedWithEsc()
    {
        QPointer<ExerciseScreen> screen = start(ExerciseKind::English, QStringLiteral("The quick brown fox jumps.\n"));
        QVERIFY(screen);
        // "The quick" right (9), then "xyz" where " br" is wanted (3 wrong).
        QTest::keyClicks(screen, QStringLiteral("The quickxyz"));
        tick(screen, 120);
        QCOMPARE(value(StatusPanel::RemainingTime), QStringLiteral("08:00"));
        QTest::keyClick(screen, Qt::Key_Escape);

        // Speed 12 / 120 s * 60 = 6, accuracy 9 / 12 = 75 %, score 0: Esc below the minimum.
        QCOMPARE(result(), (QStringList{"6", "75", "0"}));
        QVERIFY(!window->session().exerciseOpen);
        QVERIFY(!window->scrollBar()->isVisible());
        QVERIFY(messages().isEmpty());
        QCOMPARE(storedRows(), QStringList{"2024001|张三|英文|0|6|75|2026-03-09|10:15:30|"});

        // The screen is gone and the menu can start the next exercise.
        QTRY_VERIFY(!screen);
        QVERIFY(window->mdiArea()->subWindowList().isEmpty());
        QVERIFY(window->menuItem("ywlr")->isEnabled());
        QVERIFY(open(ExerciseKind::English));
    }

    void testLoginChineseRunsToTheEnd()
    {
        login(QStringLiteral("B12"));
        QPointer<ExerciseScreen> screen = start(ExerciseKind::Chinese, QStringLiteral("中文打字练习，每天一段。\n"));
        QVERIFY(screen);
        QVERIFY(!window->menuItem("zwlr")->isEnabled());
        commit(screen, QStringLiteral("中文打字练习，每大")); // 8 right of 9
        tick(screen, 600);
        QCOMPARE(value(StatusPanel::RemainingTime), QStringLiteral("00:00"));
        QVERIFY(storedRows().isEmpty());
        QVERIFY(window->session().exerciseOpen);
        tick(screen, 1); // the tick after 00:00 ends it

        // Speed 9 / 600 s * 60 = nearest(0.9) = 1, accuracy nearest(88.9) = 89,
        // score nearest(8 / 600 * 60) = 1 less 2 for 85..90 % = -1.
        QCOMPARE(result(), (QStringList{"1", "89", "-1"}));
        QCOMPARE(storedRows(), QStringList{"2024000017|李四|中文|-1|1|89|2026-03-09|10:15:30|B12"});
        QVERIFY(!window->session().exerciseOpen);
        QTRY_VERIFY(!screen);
        // The taken exercise stays disabled for this test login; the other one is free.
        QVERIFY(!window->menuItem("zwlr")->isEnabled());
        QVERIFY(window->menuItem("ywlr")->isEnabled());
    }

    void resultKeepsWhoStartedTheExercise()
    {
        login(QStringLiteral("B3"));
        ExerciseScreen* screen = start(ExerciseKind::English, QStringLiteral("abc\n"));
        QVERIFY(screen);
        QTest::keyClicks(screen, QStringLiteral("ab"));
        // A login dialog opened and given up during the exercise changes what the panel shows.
        window->newLoginDialog(LoginMode::Practice);
        window->statusPanel()->setValue(StatusPanel::StudentNumber, QStringLiteral("9999"));
        window->statusPanel()->setValue(StatusPanel::Name, QStringLiteral("别人"));
        tick(screen, 1);
        QTest::keyClick(screen, Qt::Key_Escape);
        QCOMPARE(storedRows(), QStringList{"2024000017|李四|英文|0|120|100|2026-03-09|10:15:30|B3"});
    }

    void escBeforeFirstCharacterStoresNothing()
    {
        login();
        for (int index : {StatusPanel::Score, StatusPanel::Speed})
            window->statusPanel()->setValue(index, QStringLiteral("old"));
        QPointer<ExerciseScreen> screen = start(ExerciseKind::English, QStringLiteral("abc\n"));
        QVERIFY(screen);
        QTest::keyClick(screen, Qt::Key_Down);
        QTest::keyClick(screen, Qt::Key_Escape);
        QVERIFY(!window->session().exerciseOpen);
        QVERIFY(storedRows().isEmpty());
        QCOMPARE(value(StatusPanel::Score), QStringLiteral("old"));
        QCOMPARE(value(StatusPanel::Speed), QStringLiteral("old"));
        QVERIFY(messages().isEmpty());
        QTRY_VERIFY(!screen);
    }

    void escAndLastTickStoreOnce()
    {
        QPointer<ExerciseScreen> screen = start(ExerciseKind::English, QStringLiteral("abc\n"));
        QVERIFY(screen);
        QTest::keyClick(screen, Qt::Key_A);
        tick(screen, 600);
        QTest::keyClick(screen, Qt::Key_Escape);
        QVERIFY(screen); // the last tick still arrives before the screen is gone
        tick(screen, 1);
        QTest::keyClick(screen, Qt::Key_Escape);
        QCOMPARE(storedRows().size(), 1);
        QTRY_VERIFY(!screen);
    }

    void storeFailureIsReportedAndProgramGoesOn_data()
    {
        QTest::addColumn<bool>("lock");
        QTest::newRow("database removed") << false;
        QTest::newRow("database locked") << true;
    }

    void storeFailureIsReportedAndProgramGoesOn()
    {
        QFETCH(bool, lock);
        QPointer<ExerciseScreen> screen = start(ExerciseKind::English, QStringLiteral("abcdef\n"));
        QVERIFY(screen);
        QTest::keyClicks(screen, QStringLiteral("abcxef"));
        tick(screen, 60);
        std::optional<GradeStore> holder;
        const QString moved = folder->gradeDatabase() + QStringLiteral(".away");
        if (lock) {
            holder.emplace(folder->store());
            GradeStoreInspector::database(*holder).exec(QStringLiteral("BEGIN EXCLUSIVE"));
        } else {
            QVERIFY(QFile::rename(folder->gradeDatabase(), moved));
        }
        QTest::keyClick(screen, Qt::Key_Escape);

        // 5 of 6 right in one minute: speed 6, accuracy 83.
        waitForStores();
        QCOMPARE(value(StatusPanel::Speed), QStringLiteral("6"));
        QCOMPARE(value(StatusPanel::Accuracy), QStringLiteral("83"));
        const QStringList shown = messages();
        QCOMPARE(shown.size(), 1);
        for (const QString& part :
             {QStringLiteral("没有保存"), QStringLiteral("stugrade.mdb"), QStringLiteral("速度：6")})
            QVERIFY2(shown[0].contains(part), qPrintable(shown[0]));
        QVERIFY(shown[0].startsWith(QStringLiteral("错误提示对话框: ")));
        QVERIFY(!window->session().exerciseOpen);
        QTRY_VERIFY(!screen);

        // The program goes on: once the database is back, the next result is stored.
        if (lock) {
            GradeStoreInspector::database(*holder).exec(QStringLiteral("ROLLBACK"));
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
};

QTEST_MAIN(TestExerciseScreen)
#include "test_exercise_screen.moc"

// The help window: what it shows for good and bad help files, its look, that it cannot be
// edited and has no context menu, and that the help file the build makes opens in it.

#include "exercise/exercise_file_format.h"
#include "maintenance/help_content.h"
#include "maintenance/help_viewer.h"
#include "platform/codepage.h"
#include "shell/main_window.h"
#include "platform/no_right_click.h"
#include "support/test_support.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

namespace {

QByteArray gbk(const QString& text)
{
    return *CodePage::encode(text);
}

// Sends a right click and a context-menu request to the box; true when a menu opened.
bool contextMenuOpens(QPlainTextEdit* box)
{
    bool sawMenu = false;
    auto closeMenu = [&sawMenu] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            sawMenu = qobject_cast<QMenu*>(popup) != nullptr;
            popup->close();
        }
    };
    const QPoint inside = box->viewport()->rect().center();
    QTimer::singleShot(50, closeMenu);
    QTest::mouseClick(box->viewport(), Qt::RightButton, {}, inside);
    QTest::qWait(100);
    QTimer::singleShot(50, closeMenu);
    QContextMenuEvent request(QContextMenuEvent::Mouse, inside, box->viewport()->mapToGlobal(inside));
    QApplication::sendEvent(box->viewport(), &request);
    QTest::qWait(100);
    return sawMenu;
}

} // namespace

class TestHelpViewer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void init() { TestSupport::resetState(); }

    void showsHelpFile_data();
    void showsHelpFile();
    void lookAndReadOnlyBox();
    void noContextMenuWhileOpen();
    void typingChangesNothing();
    void builtHelpFileOpens();
    void menuOpensModalWindowReadingTheFileAfresh();
};

void TestHelpViewer::showsHelpFile_data()
{
    QTest::addColumn<QByteArray>("file"); // empty: no help file at all
    QTest::addColumn<QString>("shown");

    const QByteArray text = gbk(QStringLiteral("录入帮助\r\nEsc 结束录入。\r\n"));
    const QByteArray good = ExerciseFileFormat::build(text);
    QTest::newRow("good file") << good << QStringLiteral("录入帮助\nEsc 结束录入。\n");

    QByteArray oneShort = good;
    oneShort[16] = char(text.size() - 1);
    QTest::newRow("length field one short") << oneShort << QString::fromUtf8(HelpContent::kWrongFormat);
    QTest::newRow("one byte too many") << good + 'x' << QString::fromUtf8(HelpContent::kWrongFormat);
    QByteArray wrongMagic = good;
    wrongMagic[3] = 0x17;
    QTest::newRow("wrong magic") << wrongMagic << QString::fromUtf8(HelpContent::kWrongFormat);
    QTest::newRow("header cut short") << good.left(20) << QString::fromUtf8(HelpContent::kWrongFormat);
    QTest::newRow("missing file") << QByteArray() << QString::fromUtf8(HelpContent::kMissingFile);

    const QByteArray longLine = QByteArray(106, 'a') + QByteArray(94, 'b') + "\r\n";
    QTest::newRow("200-character line") << ExerciseFileFormat::build(longLine)
                                        << QString(106, 'a') + '\n' + QString(94, 'b') + '\n';

    // What the replace tool writes from a plain text file: the same header, CR LF line ends.
    const auto converted = ExerciseFileFormat::toExerciseText(QStringLiteral("第一行\n第二行\n").toUtf8());
    QTest::newRow("made from a text file")
        << ExerciseFileFormat::build(converted.text) << QStringLiteral("第一行\n第二行\n");
}

void TestHelpViewer::showsHelpFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, shown);
    TestSupport::AppFolder app;
    if (!file.isEmpty())
        app.writeFile(QStringLiteral("data/help.dat"), file);
    HelpViewer viewer(app.path());
    viewer.show();
    auto* box = viewer.findChild<QPlainTextEdit*>(QStringLiteral("Text1"));
    QVERIFY(box);
    QCOMPARE(box->toPlainText(), shown);
    QVERIFY(box->isReadOnly());
}

void TestHelpViewer::lookAndReadOnlyBox()
{
    TestSupport::AppFolder app;
    HelpViewer viewer(app.path());
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QCOMPARE(viewer.objectName(), QStringLiteral("frmbz"));
    QCOMPARE(viewer.windowTitle(), QStringLiteral("帮助"));
    QPlainTextEdit* box = viewer.textBox();
    QCOMPARE(box->objectName(), QStringLiteral("Text1"));
    QCOMPARE(box->geometry(), viewer.rect());
    viewer.resize(viewer.width() + 40, viewer.height() - 30);
    QTRY_COMPARE(box->geometry(), viewer.rect());
    QCOMPARE(box->palette().color(QPalette::Base), QColor(230, 255, 230));
    QCOMPARE(box->palette().color(QPalette::Text), QColor(0, 0, 255));
    QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(box->isReadOnly());
}

void TestHelpViewer::noContextMenuWhileOpen()
{
    // The check itself must see a menu where there is one.
    QPlainTextEdit plain(QStringLiteral("text"));
    plain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plain));
    QVERIFY(contextMenuOpens(&plain));

    TestSupport::AppFolder app;
    auto* viewer = new HelpViewer(app.path());
    viewer->show();
    QVERIFY(QTest::qWaitForWindowExposed(viewer));
    QVERIFY(NoRightClick::guards(viewer->textBox()));
    QVERIFY(!contextMenuOpens(viewer->textBox()));

    // Closing gives the guard back.
    viewer->reject();
    QVERIFY(!NoRightClick::guards(viewer->textBox()));
    delete viewer;
}

void TestHelpViewer::typingChangesNothing()
{
    TestSupport::AppFolder app;
    app.writeFile(QStringLiteral("data/help.dat"), ExerciseFileFormat::build("abc\r\n"));
    HelpViewer viewer(app.path());
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QPlainTextEdit* box = viewer.textBox();
    box->setFocus();
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTest::keyClicks(box, "xyz");
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QStringLiteral("中"), Qt::NoModifier);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("文"));
    QApplication::sendEvent(box, &commit);
    QCOMPARE(box->toPlainText(), QStringLiteral("abc\n"));
}

void TestHelpViewer::builtHelpFileOpens()
{
    const QString appDir = qEnvironmentVariable("TYPELAB_APP_DIR");
    QVERIFY2(!appDir.isEmpty(), "TYPELAB_APP_DIR is not set");
    QFile built(HelpContent::helpFilePath(appDir));
    QVERIFY2(built.exists(), qPrintable(built.fileName()));
    // The length field is a signed 16-bit sum with the header.
    QVERIFY(built.size() <= 32767);

    QFile source(QDir(TestSupport::sourceDir()).filePath(QStringLiteral("data/help.txt")));
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(source.readAll());

    HelpViewer viewer(appDir);
    viewer.show();
    const QString shown = viewer.textBox()->toPlainText();
    // Every line of the help text is shorter than the wrap, so the box shows it as written.
    QCOMPARE(shown, written);
    QVERIFY(shown.contains(QStringLiteral("测试登录")));
}

void TestHelpViewer::menuOpensModalWindowReadingTheFileAfresh()
{
    TestSupport::AppFolder app;
    MainWindow mainWindow(app.path());
    QStringList shown;
    auto readAndClose = [&shown] {
        auto* viewer = qobject_cast<HelpViewer*>(QApplication::activeModalWidget());
        QVERIFY(viewer);
        QCOMPARE(viewer->objectName(), QStringLiteral("frmbz"));
        QVERIFY(viewer->isModal());
        shown << viewer->textBox()->toPlainText();
        viewer->reject();
    };
    QTimer::singleShot(0, readAndClose);
    mainWindow.menuItem("userbz")->trigger();

    // A help file put in place while the program runs shows at the next opening.
    app.writeFile(QStringLiteral("data/help.dat"), ExerciseFileFormat::build("new\r\n"));
    QTimer::singleShot(0, readAndClose);
    mainWindow.menuItem("userbz")->trigger();
    QCOMPARE(shown, (QStringList{QString::fromUtf8(HelpContent::kMissingFile), QStringLiteral("new\n")}));
}

QTEST_MAIN(TestHelpViewer)
#include "test_help_viewer.moc"

// The show-exercise-file dialog: choosing a file, showing it, its two messages, the right
// button kept away from the display box and the working folder put back on closing.
#include "exercise/exercise_file_format.h"
#include "maintenance/show_exercise_file_dialog.h"
#include "maintenance_test_helpers.h"
#include "platform/codepage.h"
#include "platform/file_chooser.h"
#include "platform/no_right_click.h"
#include "support/test_support.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace MaintenanceTest;

namespace {
class MenuSpy : public QObject {
public:
    int menusShown = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* menu = qobject_cast<QMenu*>(watched)) {
                ++menusShown;
                QTimer::singleShot(0, menu, &QMenu::close);
            }
        return false;
    }
};
} // namespace

class ShowExerciseFileTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void init();
    void cleanup();

    void choosesFromTheTypeFolder();
    void typeOptionEmptiesTheNameOnlyWhenItChanges();
    void showsTheText_data();
    void showsTheText();
    void wrongFileThenRightFile();
    void rightClickOpensNoMenu();
    void closingRestoresTheWorkingFolder();

private:
    QString shown(ShowExerciseFileDialog& dialog, const QString& path);

    std::unique_ptr<TestSupport::AppFolder> folder_;
    QString startFolder_;
};

static QByteArray gbk(const QString& text)
{
    return *CodePage::encode(text);
}

void ShowExerciseFileTest::init()
{
    TestSupport::resetState();
    FileChooser::setScripted(true);
    folder_ = std::make_unique<TestSupport::AppFolder>();
    startFolder_ = QDir::currentPath();
}

void ShowExerciseFileTest::cleanup()
{
    QDir::setCurrent(startFolder_);
    folder_.reset();
}

// Picks the file through the chooser and presses "确定"; answers what the box shows.
QString ShowExerciseFileTest::shown(ShowExerciseFileDialog& dialog, const QString& path)
{
    FileChooser::scriptAnswer(path);
    click(&dialog, "Command1");
    click(&dialog, "Command2");
    return child<QPlainTextEdit>(&dialog, "Text1")->toPlainText();
}

void ShowExerciseFileTest::choosesFromTheTypeFolder()
{
    ShowExerciseFileDialog dialog(folder_->path());
    dialog.show();
    QCOMPARE(dialog.objectName(), QStringLiteral("frmxslrwj"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("显示录入文件"));
    QCOMPARE(child<QGroupBox>(&dialog, "Frame1")->title(), QStringLiteral("选定文件"));
    QVERIFY(child<QRadioButton>(&dialog, "Option1_0")->isChecked());
    auto* display = child<QPlainTextEdit>(&dialog, "Text1");
    QVERIFY(display->isReadOnly());
    QCOMPARE(display->palette().color(QPalette::Text), QColor(0, 0, 255));
    QCOMPARE(display->palette().color(QPalette::Base), QColor(Qt::white));
    QCOMPARE(display->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    const QString chosen = folder_->file(QStringLiteral("yw/ydzcs3.dat"));
    FileChooser::scriptAnswer(chosen);
    click(&dialog, "Command1");
    QCOMPARE(child<QLineEdit>(&dialog, "Text2")->text(), chosen);

    QTest::mouseClick(child<QRadioButton>(&dialog, "Option1_1"), Qt::LeftButton);
    FileChooser::scriptAnswer(std::nullopt); // cancelled
    click(&dialog, "Command1");
    QVERIFY(child<QLineEdit>(&dialog, "Text2")->text().isEmpty());

    const auto requests = FileChooser::takeRequests();
    QCOMPARE(requests.size(), 2);
    for (const auto& request : requests) {
        QCOMPARE(request.title, QStringLiteral("打开文件"));
        QCOMPARE(request.filter, QStringLiteral("录入文件|*.dat"));
        QVERIFY(request.initialFile.isEmpty());
    }
    QCOMPARE(QFileInfo(requests.at(0).startDir).absoluteFilePath(), folder_->file(QStringLiteral("yw")));
    QCOMPARE(QFileInfo(requests.at(1).startDir).absoluteFilePath(), folder_->file(QStringLiteral("zw")));
}

void ShowExerciseFileTest::typeOptionEmptiesTheNameOnlyWhenItChanges()
{
    ShowExerciseFileDialog dialog(folder_->path());
    dialog.show();
    auto* name = child<QLineEdit>(&dialog, "Text2");
    auto* english = child<QRadioButton>(&dialog, "Option1_0");
    auto* chinese = child<QRadioButton>(&dialog, "Option1_1");

    QTest::keyClicks(name, "a.dat");
    QTest::mouseClick(english, Qt::LeftButton); // already selected: the name stays
    QCOMPARE(name->text(), QStringLiteral("a.dat"));
    QTest::mouseClick(chinese, Qt::LeftButton);
    QVERIFY(name->text().isEmpty());
    QTest::keyClicks(name, "b.dat");
    QTest::mouseClick(chinese, Qt::LeftButton);
    QCOMPARE(name->text(), QStringLiteral("b.dat"));
    QTest::mouseClick(english, Qt::LeftButton);
    QVERIFY(name->text().isEmpty());
}

void ShowExerciseFileTest::showsTheText_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected");

    const QString x106(106, u'x');
    QTest::newRow("lines doubled") << exerciseFile("The quick fox.\r\nJumps.\r\n")
                                   << QStringLiteral("The quick fox.\n\nJumps.\n\n");
    QTest::newRow("chinese") << exerciseFile(gbk(QStringLiteral("中文录入，练习。\r\n")))
                             << QStringLiteral("中文录入，练习。\n\n");
    QTest::newRow("150 columns") << exerciseFile(QByteArray(150, 'x') + "\r\n")
                                 << x106 + "\n\n" + QString(44, u'x') + "\n\n";
    QTest::newRow("wide after 105") << exerciseFile(QByteArray(105, 'a') + gbk(QStringLiteral("汉")) + "bc\r\n")
                                    << QString(105, u'a') + QStringLiteral("汉") + "\n\nbc\n\n";
    QTest::newRow("empty text") << exerciseFile(QByteArray()) << QString();
    QTest::newRow("one byte short") << exerciseFile("abc\r\n").chopped(1)
                                    << QStringLiteral("文件不是本程序所需要格式！");
    QTest::newRow("one byte long") << exerciseFile("abc\r\n") + "x" << QStringLiteral("文件不是本程序所需要格式！");
    QTest::newRow("wrong magic") << QByteArray("\x07\x58\x10\x17", 4) + exerciseFile("abc").mid(4)
                                 << QStringLiteral("文件不是本程序所需要格式！");
    QTest::newRow("shorter than a header")
        << QByteArray("\x07\x58\x10\x16", 4) << QStringLiteral("文件不是本程序所需要格式！");
}

void ShowExerciseFileTest::showsTheText()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    folder_->writeFile(QStringLiteral("yw/ydzcs1.dat"), file);
    ShowExerciseFileDialog dialog(folder_->path());
    dialog.show();
    QCOMPARE(shown(dialog, folder_->file(QStringLiteral("yw/ydzcs1.dat"))), expected);
    QVERIFY(child<QPlainTextEdit>(&dialog, "Text1")->isReadOnly());
}

void ShowExerciseFileTest::wrongFileThenRightFile()
{
    folder_->writeFile(QStringLiteral("zw/cdzcs1.dat"), exerciseFile("abc\r\n") + "zz");
    folder_->writeFile(QStringLiteral("zw/cdzcs2.dat"), exerciseFile(gbk(QStringLiteral("第二个文件\r\n"))));
    ShowExerciseFileDialog dialog(folder_->path());
    dialog.show();
    QTest::mouseClick(child<QRadioButton>(&dialog, "Option1_1"), Qt::LeftButton);
    QCOMPARE(shown(dialog, folder_->file(QStringLiteral("zw/cdzcs1.dat"))),
             QStringLiteral("文件不是本程序所需要格式！"));
    QCOMPARE(shown(dialog, folder_->file(QStringLiteral("zw/cdzcs2.dat"))), QStringLiteral("第二个文件\n\n"));

    // A typed name, with spaces around it and written the Windows way, is found as well.
    auto* name = child<QLineEdit>(&dialog, "Text2");
    name->clear();
    QTest::keyClicks(name, "  " + QDir::toNativeSeparators(folder_->file("zw")).replace(u'/', u'\\') + "\\cdzcs2.dat ");
    click(&dialog, "Command2");
    QCOMPARE(child<QPlainTextEdit>(&dialog, "Text1")->toPlainText(), QStringLiteral("第二个文件\n\n"));

    for (const QString& typed :
         {QStringLiteral("   "), folder_->file(QStringLiteral("zw/cdzcs9.dat")), folder_->file("zw")}) {
        name->clear();
        QTest::keyClicks(name, typed);
        click(&dialog, "Command2");
        QCOMPARE(child<QPlainTextEdit>(&dialog, "Text1")->toPlainText(), QStringLiteral("文件名不能为空或文件不存在!"));
    }
}

void ShowExerciseFileTest::rightClickOpensNoMenu()
{
    folder_->writeFile(QStringLiteral("yw/ydzcs1.dat"), exerciseFile("abc\r\n"));
    ShowExerciseFileDialog dialog(folder_->path());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    shown(dialog, folder_->file(QStringLiteral("yw/ydzcs1.dat")));
    auto* display = child<QPlainTextEdit>(&dialog, "Text1");
    QVERIFY(NoRightClick::guards(display));

    // Any menu shown anywhere while the right button is used counts; it is closed at once.
    MenuSpy spy;
    qApp->installEventFilter(&spy);
    const QPoint where = display->viewport()->rect().center();
    QTest::mouseClick(display->viewport(), Qt::RightButton, Qt::NoModifier, where);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, where, display->viewport()->mapToGlobal(where));
    QApplication::sendEvent(display->viewport(), &menuEvent);
    QTest::qWait(50);
    qApp->removeEventFilter(&spy);
    QCOMPARE(spy.menusShown, 0);
    QCOMPARE(display->toPlainText(), QStringLiteral("abc\n\n"));

    dialog.close();
    QVERIFY(!NoRightClick::guards(display));
}

void ShowExerciseFileTest::closingRestoresTheWorkingFolder()
{
    ShowExerciseFileDialog dialog(folder_->path());
    dialog.show();
    // Something (a chooser) moved the working folder while the dialog was open.
    QTemporaryDir elsewhere;
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    dialog.close();
    QCOMPARE(QFileInfo(QDir::currentPath()).canonicalFilePath(), QFileInfo(folder_->path()).canonicalFilePath());
}

QTEST_MAIN(ShowExerciseFileTest)
#include "test_show_exercise_file.moc"

// The replace-exercise-file dialog: its two steps, the choosers, the refusals, the header
// kept, the text converted or refused, and a failed write that leaves the target as it was.
#include "exercise/exercise_file_format.h"
#include "exercise/exercise_text.h"
#include "maintenance/atomic_write.h"
#include "maintenance/exercise_file_view.h"
#include "maintenance/replace_exercise_file_dialog.h"
#include "maintenance_test_helpers.h"
#include "platform/byte_length.h"
#include "platform/codepage.h"
#include "platform/file_chooser.h"
#include "platform/message_box.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace MaintenanceTest;

class ReplaceExerciseFileTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void init();
    void cleanup();

    void stepsAndChoosers();
    void refusesMissingNames_data();
    void refusesMissingNames();
    void replaces_data();
    void replaces();
    void refusesTextsTheReadersWouldNotTake_data();
    void refusesTextsTheReadersWouldNotTake();
    void helpFileTakesLongerTexts();
    void failedWriteLeavesTheTargetUnchanged();
    void exitRestoresTheWorkingFolder();

private:
    // Opens the dialog, fixes the type, types both names and presses "替换".
    void replaceWith(ReplaceExerciseFileDialog& dialog, const QString& source, const QString& target);
    QByteArray read(const QString& relative) const;

    std::unique_ptr<TestSupport::AppFolder> folder_;
    std::unique_ptr<TestSupport::SystemSession> login_;
    QString startFolder_;
    QByteArray originalTarget_;
};

static QByteArray gbk(const QString& text)
{
    return *CodePage::encode(text);
}

void ReplaceExerciseFileTest::init()
{
    TestSupport::resetState();
    FileChooser::setScripted(true);
    AtomicWrite::failAfterBytesForTests(std::nullopt);
    folder_ = std::make_unique<TestSupport::AppFolder>();
    login_ = std::make_unique<TestSupport::SystemSession>(folder_->path());
    startFolder_ = QDir::currentPath();
    originalTarget_ = exerciseFile("Old text.\r\n");
    folder_->writeFile(QStringLiteral("yw/ydzcs1.dat"), originalTarget_);
    folder_->writeFile(QStringLiteral("zw/cdzcs1.dat"), originalTarget_);
}

void ReplaceExerciseFileTest::cleanup()
{
    AtomicWrite::failAfterBytesForTests(std::nullopt);
    QDir::setCurrent(startFolder_);
    folder_.reset();
}

QByteArray ReplaceExerciseFileTest::read(const QString& relative) const
{
    QFile file(folder_->file(relative));
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

void ReplaceExerciseFileTest::replaceWith(ReplaceExerciseFileDialog& dialog, const QString& source,
                                          const QString& target)
{
    click(&dialog, "command5");
    auto* sourceBox = child<QLineEdit>(&dialog, "Text1");
    auto* targetBox = child<QLineEdit>(&dialog, "Text2");
    sourceBox->clear();
    targetBox->clear();
    QTest::keyClicks(sourceBox, source);
    QTest::keyClicks(targetBox, target);
    click(&dialog, "Command3");
}

void ReplaceExerciseFileTest::stepsAndChoosers()
{
    ReplaceExerciseFileDialog dialog(folder_->path(), *login_->store, login_->session);
    dialog.show();
    QCOMPARE(dialog.objectName(), QStringLiteral("frmghlrwj"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("更换录入文件"));
    const char* fileStep[] = {"Command1", "Command2", "Command3", "Text1", "Text2"};
    const char* typeStep[] = {"Option1_0", "Option1_1", "command5"};
    for (const char* name : fileStep)
        QVERIFY2(!child<QWidget>(&dialog, name)->isEnabled(), name);
    for (const char* name : typeStep)
        QVERIFY2(child<QWidget>(&dialog, name)->isEnabled(), name);
    QVERIFY(child<QWidget>(&dialog, "Command4")->isEnabled());

    QTest::mouseClick(child<QRadioButton>(&dialog, "Option1_1"), Qt::LeftButton);
    click(&dialog, "command5");
    for (const char* name : fileStep)
        QVERIFY2(child<QWidget>(&dialog, name)->isEnabled(), name);
    for (const char* name : typeStep)
        QVERIFY2(!child<QWidget>(&dialog, name)->isEnabled(), name);

    // The source chooser starts from the name it gave last; the target chooser in zw.
    const QString source = folder_->file(QStringLiteral("new.txt"));
    folder_->writeFile(QStringLiteral("new.txt"), "New text.\r\n");
    FileChooser::scriptAnswer(source);
    click(&dialog, "Command1");
    FileChooser::scriptAnswer(std::nullopt);
    click(&dialog, "Command1");
    QCOMPARE(child<QLineEdit>(&dialog, "Text1")->text(), source);
    const QString target = folder_->file(QStringLiteral("zw/cdzcs1.dat"));
    FileChooser::scriptAnswer(target);
    click(&dialog, "Command2");
    QCOMPARE(child<QLineEdit>(&dialog, "Text2")->text(), target);

    const auto requests = FileChooser::takeRequests();
    QCOMPARE(requests.size(), 3);
    QCOMPARE(requests.at(0).filter, QStringLiteral("文本文件|*.txt|所有文件|*.*"));
    QVERIFY(requests.at(0).initialFile.isEmpty());
    QVERIFY(requests.at(0).startDir.isEmpty());
    QCOMPARE(requests.at(1).initialFile, source);
    QCOMPARE(requests.at(2).filter, QStringLiteral("录入文件|*.dat"));
    QVERIFY(requests.at(2).initialFile.isEmpty());
    QCOMPARE(QFileInfo(requests.at(2).startDir).absoluteFilePath(), folder_->file(QStringLiteral("zw")));
    for (const auto& request : requests)
        QCOMPARE(request.title, QStringLiteral("打开文件"));

    // After the replacement the dialog is back at its type step; the names stay.
    click(&dialog, "Command3");
    QVERIFY(MessageBoxes::takeRecorded().isEmpty());
    QCOMPARE(read(QStringLiteral("zw/cdzcs1.dat")), exerciseFile("New text.\r\n"));
    for (const char* name : fileStep)
        QVERIFY2(!child<QWidget>(&dialog, name)->isEnabled(), name);
    for (const char* name : typeStep)
        QVERIFY2(child<QWidget>(&dialog, name)->isEnabled(), name);
    QCOMPARE(child<QLineEdit>(&dialog, "Text1")->text(), source);
    QCOMPARE(child<QLineEdit>(&dialog, "Text2")->text(), target);
}

void ReplaceExerciseFileTest::refusesMissingNames_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("message");
    const QString source = QStringLiteral("new.txt");
    const QString target = QStringLiteral("yw/ydzcs1.dat");
    QTest::newRow("no source") << QString() << target << "目标文件和源文件均不能为空！";
    QTest::newRow("spaces only target") << source << "   "
                                        << "目标文件和源文件均不能为空！";
    QTest::newRow("missing source") << "none.txt" << target << "源文件不存在！";
    QTest::newRow("source is a folder") << "yw" << target << "源文件不存在！";
    QTest::newRow("missing target") << source << "yw/ydzcs7.dat"
                                    << "目标文件不存在！";
}

void ReplaceExerciseFileTest::refusesMissingNames()
{
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(QString, message);
    folder_->writeFile(QStringLiteral("new.txt"), "New text.\r\n");
    auto inFolder = [this](const QString& name) { return trimSpaces(name).isEmpty() ? name : folder_->file(name); };

    ReplaceExerciseFileDialog dialog(folder_->path(), *login_->store, login_->session);
    dialog.show();
    replaceWith(dialog, inFolder(source), inFolder(target));
    const auto shown = MessageBoxes::takeRecorded();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, QString());
    QCOMPARE(shown.first().text, message);
    QCOMPARE(read(QStringLiteral("yw/ydzcs1.dat")), originalTarget_);
    QVERIFY(child<QWidget>(&dialog, "Command3")->isEnabled()); // still at the file step
}

void ReplaceExerciseFileTest::replaces_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("text");

    QByteArray thousand;
    while (thousand.size() < 1000)
        thousand += QByteArray(48, char('a' + thousand.size() / 50 % 26)) + "\r\n";
    QTest::newRow("1000 bytes") << "yw/ydzcs1.dat" << thousand << thousand;
    QTest::newRow("ascii with LF") << "yw/ydzcs1.dat" << QByteArray("one\ntwo\n") << QByteArray("one\r\ntwo\r\n");
    QTest::newRow("utf-8 chinese with LF") << "zw/cdzcs1.dat" << QStringLiteral("中文练习，第一行。\n第二行\n").toUtf8()
                                           << gbk(QStringLiteral("中文练习，第一行。\r\n第二行\r\n"));
    const QByteArray gbkText = gbk(QStringLiteral("已是国标码的文本。\r\n"));
    QTest::newRow("code page 936 with CR LF") << "zw/cdzcs1.dat" << gbkText << gbkText;
}

void ReplaceExerciseFileTest::replaces()
{
    QFETCH(QString, target);
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, text);
    folder_->writeFile(QStringLiteral("new.txt"), source);

    ReplaceExerciseFileDialog dialog(folder_->path(), *login_->store, login_->session);
    dialog.show();
    if (target.startsWith(QStringLiteral("zw")))
        QTest::mouseClick(child<QRadioButton>(&dialog, "Option1_1"), Qt::LeftButton);
    const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(folder_->file(target), permissions));
    replaceWith(dialog, folder_->file(QStringLiteral("new.txt")), folder_->file(target));
    QVERIFY(MessageBoxes::takeRecorded().isEmpty());
    // The replaced file keeps its permissions (the "user" bits only mirror the owner's).
    QCOMPARE(QFile::permissions(folder_->file(target)) & ~QFileDevice::Permissions(0x0f00), permissions);

    const QByteArray written = read(target);
    QCOMPARE(written.size(), 32 + text.size());
    QCOMPARE(quint8(written.at(16)), quint8(text.size() & 0xff));
    QCOMPARE(quint8(written.at(17)), quint8(text.size() >> 8));
    // Every other header byte is the replaced file's.
    QCOMPARE(written.left(16), originalTarget_.left(16));
    QCOMPARE(written.mid(18, 14), originalTarget_.mid(18, 14));
    QCOMPARE(written.mid(32), text);
    if (text.size() == 1000)
        QCOMPARE(written.mid(16, 2), QByteArray("\xE8\x03", 2));

    // The readers take the result.
    QVERIFY(ExerciseFileView::contentFor(folder_->file(target)) != QString::fromUtf8(ExerciseFileView::kWrongFormat));
    if (!text.isEmpty()) {
        const auto kind = target.startsWith(QStringLiteral("zw")) ? ExerciseKind::Chinese : ExerciseKind::English;
        QVERIFY(ExerciseLoader::load(folder_->file(target), kind).has_value());
    }
    // Nothing is left beside the target.
    QCOMPARE(QDir(QFileInfo(folder_->file(target)).path()).entryList(QDir::Files).size(), 1);
}

void ReplaceExerciseFileTest::refusesTextsTheReadersWouldNotTake_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("messageStart");

    // The Exercise screen has nothing to offer from an empty text.
    QTest::newRow("empty") << QByteArray() << "源文件是空的";
    QTest::newRow("4097 bytes") << QByteArray(4097, 'x') << "源文件转换后有 4097 字节";
    QTest::newRow("40000 bytes") << QByteArray(40000, 'x') << "源文件转换后有 40000 字节";
    QTest::newRow("over 65535 bytes") << QByteArray(70000, 'x') << "源文件转换后有 70000 字节";
    // 4096 bytes, and one more when the LF becomes CR LF.
    QTest::newRow("grows over 4096 by CR") << QByteArray(4095, 'x') + "\n"
                                           << "源文件转换后有 4097 字节";
    QTest::newRow("250 lines") << QByteArray("a\r\n").repeated(250) << "源文件分行后超过录入屏幕最多 200 行";
    QTest::newRow("not in code page 936")
        << QStringLiteral("Good text, then 😀 here\n").toUtf8() << "源文件中的字符“😀”（U+1F600）无法用国标码（GBK）保存";
}

void ReplaceExerciseFileTest::refusesTextsTheReadersWouldNotTake()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, messageStart);
    folder_->writeFile(QStringLiteral("new.txt"), source);

    ReplaceExerciseFileDialog dialog(folder_->path(), *login_->store, login_->session);
    dialog.show();
    replaceWith(dialog, folder_->file(QStringLiteral("new.txt")), folder_->file(QStringLiteral("yw/ydzcs1.dat")));
    const auto shown = MessageBoxes::takeRecorded();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, QString());
    if (!shown.first().text.startsWith(messageStart))
        QFAIL(qPrintable(shown.first().text));
    QVERIFY(shown.first().text.endsWith(QStringLiteral("目标文件未改动！")));
    QCOMPARE(read(QStringLiteral("yw/ydzcs1.dat")), originalTarget_);
}

void ReplaceExerciseFileTest::helpFileTakesLongerTexts()
{
    // The help text is not bound by the exercise limits, only by what its header can hold.
    folder_->writeFile(QStringLiteral("data/help.dat"), exerciseFile("Help.\r\n"));
    const QByteArray help = QByteArray(98, 'h').append("\r\n").repeated(300);
    folder_->writeFile(QStringLiteral("help.txt"), help);
    ReplaceExerciseFileDialog dialog(folder_->path(), *login_->store, login_->session);
    dialog.show();
    replaceWith(dialog, folder_->file(QStringLiteral("help.txt")), folder_->file(QStringLiteral("data/help.dat")));
    QVERIFY(MessageBoxes::takeRecorded().isEmpty());
    QCOMPARE(read(QStringLiteral("data/help.dat")).mid(32), help);

    folder_->writeFile(QStringLiteral("help.txt"), QByteArray(32736, 'h'));
    replaceWith(dialog, folder_->file(QStringLiteral("help.txt")), folder_->file(QStringLiteral("data/help.dat")));
    const auto shown = MessageBoxes::takeRecorded();
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first().text.contains(QStringLiteral("32735")));
    QCOMPARE(read(QStringLiteral("data/help.dat")).mid(32), help);
}

// A file outside the exercise folders is written by the program itself (the store writes only
// the texts it owns, tested with the store).
void ReplaceExerciseFileTest::failedWriteLeavesTheTargetUnchanged()
{
    folder_->writeFile(QStringLiteral("new.txt"), QByteArray(1000, 'n'));
    folder_->writeFile(QStringLiteral("own/ydzcs1.dat"), originalTarget_);
    AtomicWrite::failAfterBytesForTests(500);
    ReplaceExerciseFileDialog dialog(folder_->path(), *login_->store, login_->session);
    dialog.show();
    replaceWith(dialog, folder_->file(QStringLiteral("new.txt")), folder_->file(QStringLiteral("own/ydzcs1.dat")));

    const auto shown = MessageBoxes::takeRecorded();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, QStringLiteral("提示对话框"));
    QVERIFY(shown.first().text.startsWith(QStringLiteral("打开源文件或目标文件错！")));
    QVERIFY(shown.first().text.contains(QStringLiteral("ydzcs1.dat")));
    QCOMPARE(read(QStringLiteral("own/ydzcs1.dat")), originalTarget_);
    QCOMPARE(QDir(folder_->file(QStringLiteral("own"))).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("ydzcs1.dat")});
    QVERIFY(child<QWidget>(&dialog, "Command3")->isEnabled()); // still at the file step

    // The same replacement works once writing works again.
    AtomicWrite::failAfterBytesForTests(std::nullopt);
    click(&dialog, "Command3");
    QVERIFY(MessageBoxes::takeRecorded().isEmpty());
    QCOMPARE(read(QStringLiteral("own/ydzcs1.dat")).size(), 1032);
}

void ReplaceExerciseFileTest::exitRestoresTheWorkingFolder()
{
    for (const char* way : {"Command4", "close"}) {
        ReplaceExerciseFileDialog dialog(folder_->path(), *login_->store, login_->session);
        dialog.show();
        QTemporaryDir elsewhere;
        QVERIFY(QDir::setCurrent(elsewhere.path()));
        if (qstrcmp(way, "close") == 0)
            dialog.close();
        else
            click(&dialog, way);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(QFileInfo(QDir::currentPath()).canonicalFilePath(), QFileInfo(folder_->path()).canonicalFilePath());
    }
}

QTEST_MAIN(ReplaceExerciseFileTest)
#include "test_replace_exercise_file.moc"

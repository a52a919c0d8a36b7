// Collection from the school server, driven through the collection dialog as a teacher drives
// it, against a real cluster: a teacher's login, machines that submitted through typelab.submit,
// the rows in the teacher's file as the merge and the export read them, each failure's message with
// nothing changed, and no trace of the password in any file afterwards.

#include "collect/collection_dialog.h"
#include "collect/collection_store.h"
#include "collect/merge_dialog.h"
#include "collect/score_export.h"
#include "lab_fixture.h"
#include "platform/message_box.h"
#include "school_fixture.h"
#include "store/store_client.h"

#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The dialog in the server's mode, its controls found by name.
struct Rig {
    explicit Rig(StoreClient& store) : dialog(std::make_unique<CollectionDialog>(store))
    {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        QTest::mouseClick(find<QRadioButton>("Option1_2"), Qt::LeftButton);
    }
    template <typename T> T* find(const char* name) const { return dialog->findChild<T*>(QString::fromLatin1(name)); }
    QString line() const { return find<QLabel>("Label2")->text(); }
    // Types the four boxes and presses Enter in the batch box; waits until the run has ended.
    void collect(const QString& address, const QString& user, const QString& password, const QString& batch)
    {
        for (auto [name, text] :
             {std::pair{"Text1", address}, {"Text3", user}, {"Text4", password}, {"Text2", batch}}) {
            find<QLineEdit>(name)->clear();
            QTest::keyClicks(find<QLineEdit>(name), text);
        }
        QTest::keyClick(find<QLineEdit>("Text2"), Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(find<QPushButton>("Command1")->isEnabled(), 30000);
    }
    std::unique_ptr<CollectionDialog> dialog;
};

// A port on the loopback where nothing listens.
int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Every file below the folders whose bytes hold the needle.
QStringList filesHolding(const QStringList& folders, const QByteArray& needle)
{
    QStringList found;
    for (const QString& folder : folders) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (file.open(QIODevice::ReadOnly) && file.readAll().contains(needle))
                found << file.fileName();
        }
    }
    return found;
}

CollectionRow row(const QString& xh, const QString& batch, int score, const QString& name = QStringLiteral("张三"))
{
    return CollectionRow{xh,   name, QStringLiteral("英文"), score, 123, 98, QDate(2026, 12, 8), QTime(10, 15, 30),
                         batch};
}

} // namespace

class TestServerCollection : public QObject {
    Q_OBJECT

    SchoolServer server_;
    std::unique_ptr<TestSupport::AppFolder> app_;
    std::unique_ptr<StoreClient> store_;
    QList<CollectionRow> expected_; // batch B1 as the file must hold it, in the order received
    QString teacher_ = QString::fromLatin1(SchoolServer::kTeacher);
    QString password_ = QString::fromLatin1(SchoolServer::kPassword);

private slots:
    void initTestCase()
    {
        TestSupport::prepareApplication();
        PG_CLUSTER_TRY(server_.start());
        // Batch B1 from two machines (one spells it b1): verified, unchecked, one the server found
        // not to match its keystrokes, and a student who took it on PC01, which held the claim,
        // and again on PC02, whose claim came from its outbox: both of those results are marked
        // duplicate. B2 is not collected.
        try {
            SchoolServer::Result result;
            // The file holds whole numbers, halves to the even neighbour.
            const int wholeScores[] = {60, 62, 62};
            for (int i = 0; i < 4; ++i) {
                result.xh = QStringLiteral("202600000%1").arg(i);
                result.lrcj = 60.5 + i;
                const SchoolServer::Student student{result.batch, result.xh, result.xm};
                if (server_.claim(QStringLiteral("PC01"), student) != QLatin1String("granted"))
                    throw std::runtime_error("PC01's claim was not granted");
                const QString id = server_.submit(QStringLiteral("PC01"), result);
                if (i == 0)
                    server_.verify(id, {});
                if (i == 2)
                    server_.verify(id, {true, {}, {}, {}, {}, QStringLiteral("速度超出常人（1250字/分）")});
                if (i == 3)
                    server_.verify(id, {false, 41.5, 123.25, 80, QStringLiteral("成绩与击键记录不符"), {}});
                else
                    expected_ << row(result.xh, QStringLiteral("B1"), wholeScores[i]);
                if (i == 2) {
                    if (server_.claimFromOutbox(QStringLiteral("PC02"), student) != QLatin1String("elsewhere:PC01"))
                        throw std::runtime_error("PC02's claim from its outbox did not find PC01's");
                    SchoolServer::Result twice = result;
                    twice.lrcj = 75;
                    server_.verify(server_.submit(QStringLiteral("PC02"), twice), {});
                    expected_ << row(result.xh, QStringLiteral("B1"), 75);
                }
            }
            result.xh = QStringLiteral("2026000010");
            result.batch = QStringLiteral("b1");
            result.xm = QStringLiteral("李四");
            result.lrcj = 90;
            server_.submit(QStringLiteral("PC02"), result);
            expected_ << row(result.xh, QStringLiteral("b1"), 90, result.xm);
            result.batch = QStringLiteral("B2");
            server_.submit(QStringLiteral("PC02"), result);
        } catch (const std::exception& error) {
            QFAIL(error.what());
        }
    }
    void cleanupTestCase() { server_.cluster.stop(); }
    void init()
    {
        TestSupport::resetState();
        app_ = std::make_unique<TestSupport::AppFolder>();
        server_.installCa(app_->path());
        store_ = std::make_unique<StoreClient>(app_->path());
    }

    void serverModeAsksForLoginAndForgetsThePassword()
    {
        Rig rig(*store_);
        QCOMPARE(rig.find<QRadioButton>("Option1_2")->text(), QStringLiteral("服务器收分"));
        QCOMPARE(rig.find<QLabel>("Label1")->text(), QStringLiteral("服 务 器："));
        QCOMPARE(rig.find<QLabel>("Label5")->text(), QStringLiteral("用 户 名："));
        QCOMPARE(rig.find<QLabel>("Label6")->text(), QStringLiteral("密    码："));
        QVERIFY(rig.find<QLineEdit>("Text4")->isVisible());
        QCOMPARE(rig.find<QLineEdit>("Text4")->echoMode(), QLineEdit::Password);
        QVERIFY(!rig.find<QLineEdit>("Text1")->isReadOnly());
        QCOMPARE(QApplication::focusWidget(), rig.find<QLineEdit>("Text1"));
        // The batch row sits below the password row, and the result frame below both.
        QVERIFY(rig.find<QLineEdit>("Text2")->geometry().top() > rig.find<QLineEdit>("Text4")->geometry().bottom());
        const QWidget* info = rig.dialog->findChild<QWidget*>(QStringLiteral("Frame3"));
        QVERIFY(info->geometry().bottom() < rig.dialog->height());

        QTest::keyClicks(rig.find<QLineEdit>("Text4"), QStringLiteral("secret"));
        QTest::mouseClick(rig.find<QRadioButton>("Option1_1"), Qt::LeftButton);
        QVERIFY(!rig.find<QLineEdit>("Text4")->isVisible());
        QVERIFY(rig.find<QLineEdit>("Text4")->text().isEmpty());
        QCOMPARE(rig.find<QLabel>("Label1")->text(), QStringLiteral("源 路 径："));
    }

    void refusedBeforeConnecting_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("batch");
        QTest::addColumn<QString>("message");
        const QString empty = QStringLiteral("服务器地址、用户名和密码都不能为空");
        QTest::newRow("no password") << "localhost"
                                     << ""
                                     << "B1" << empty;
        QTest::newRow("no address") << ""
                                    << "pw"
                                    << "B1" << empty;
        QTest::newRow("port not a number")
            << "school:port"
            << "pw"
            << "B1" << QStringLiteral("服务器地址应为“主机名”或“主机名:端口”，例如 school.example.org:5432");
        QTest::newRow("port out of range")
            << "a:70000"
            << "pw"
            << "B1" << QStringLiteral("服务器地址应为“主机名”或“主机名:端口”，例如 school.example.org:5432");
        QTest::newRow("batch with Chinese") << "localhost"
                                            << "pw"
                                            << "B中" << QStringLiteral("批次不能为空、超出10位或有全角字符");
    }
    void refusedBeforeConnecting()
    {
        QFETCH(QString, address);
        QFETCH(QString, password);
        QFETCH(QString, batch);
        QFETCH(QString, message);
        Lab lab;
        Rig rig(*store_);
        rig.find<QLineEdit>("Text2")->setText(batch);
        rig.find<QLineEdit>("Text1")->setText(address);
        rig.find<QLineEdit>("Text3")->setText(teacher_);
        rig.find<QLineEdit>("Text4")->setText(password);
        QTest::mouseClick(rig.find<QPushButton>("Command1"), Qt::LeftButton);
        const auto shown = MessageBoxes::takeRecorded();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, QStringLiteral("收分对话框"));
        QCOMPARE(shown[0].text, message);
        QVERIFY(rig.line().isEmpty());
        QVERIFY(!QFileInfo::exists(lab.teachersFile()));
    }

    void batchArrivesInTheFileThatMergeAndExportRead()
    {
        Lab lab;
        Rig rig(*store_);
        rig.collect(server_.address(), teacher_, password_, QStringLiteral("b1"));
        const QString where = QStringLiteral("\r\n文件：") + lab.teachersFile();
        QCOMPARE(rig.line(),
                 QStringLiteral("共回收 5条记录。\r\n收到的成绩中2条服务器尚未核对，2条重复参加。\r\n"
                                "未计入1条：服务器按击键记录核对，成绩不符（学号 2026000003）。")
                     + where);
        QCOMPARE(CollectionStore::openSource(lab.teachersFile()).allRows(), expected_);
        // The file carried on a diskette to another teacher's folder merges like any other.
        QVERIFY(QFile::copy(lab.teachersFile(), lab.diskette()));
        const QString elsewhere = lab.root() + QStringLiteral("/elsewhere");
        QVERIFY(QDir().mkpath(elsewhere));
        QDir::setCurrent(elsewhere);
        {
            MergeDialog merge;
            merge.show();
            QTest::keyClicks(merge.findChild<QLineEdit*>(QStringLiteral("Text1")), QStringLiteral("B1"));
            QTest::mouseClick(merge.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(merge.findChild<QPushButton*>(QStringLiteral("Command1"))->isEnabled(), 30000);
        }
        QCOMPARE(CollectionStore::openSource(elsewhere + QStringLiteral("/击录测试成绩.mdb")).allRows(), expected_);
        QDir::setCurrent(lab.teacher());
        const QString csv = lab.teacher() + QStringLiteral("/b1.csv");
        const ScoreExport::Outcome exported = ScoreExport::run(lab.teachersFile(), QStringLiteral("B1"), csv);
        QVERIFY2(exported.written, qPrintable(exported.message));
        QCOMPARE(exported.rows, qint64(5));
        QFile written(csv);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(written.readAll()).count(QStringLiteral("\r\n")), 6);

        // The same batch again adds nothing (the server named by its address this time).
        rig.collect(QStringLiteral("127.0.0.1:%1").arg(server_.cluster.port()), teacher_, password_,
                    QStringLiteral("B1"));
        QVERIFY2(rig.line().startsWith(QStringLiteral("共回收 0条记录。")), qPrintable(rig.line()));
        QCOMPARE(CollectionStore::openSource(lab.teachersFile()).rowCount(), 5);
    }

    void failuresAreToldAndChangeNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message"); // the first line
        QTest::newRow("no CA file") << "no ca" << QStringLiteral("找不到学校服务器的证书文件：");
        QTest::newRow("wrong password") << "password" << QStringLiteral("用户名或密码错误，请重新输入。");
        QTest::newRow("a machine's name")
            << "machine" << QStringLiteral("服务器不允许用户“PC01”登录，请确认这是教师的用户名。");
        QTest::newRow("server away") << "away"
                                     << QStringLiteral("连接不上学校服务器 localhost:%1：服务器没有响应或地址有误。"
                                                       "请检查地址和网络后重试。");
        QTest::newRow("another CA") << "other ca" << QStringLiteral("服务器 localhost:%1 的证书与学校的证书不符");
        QTest::newRow("no results") << "empty" << QStringLiteral("服务器上没有该批次的成绩！");
    }
    void failuresAreToldAndChangeNothing()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        Lab lab;
        QString address = server_.address();
        QString user = teacher_;
        QString password = password_;
        QString batch = QStringLiteral("B1");
        if (fault == QLatin1String("no ca")) {
            QVERIFY(QFile::remove(app_->file(QStringLiteral("data/school-ca.crt"))));
        } else if (fault == QLatin1String("password")) {
            password = QStringLiteral("wrong");
        } else if (fault == QLatin1String("machine")) {
            user = QStringLiteral("PC01");
        } else if (fault == QLatin1String("away")) {
            address = QStringLiteral("localhost:%1").arg(closedPort());
        } else if (fault == QLatin1String("other ca")) {
            QProcess openssl;
            openssl.start(QStringLiteral("openssl"),
                          {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                           QStringLiteral("ec"), QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:P-256"),
                           QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                           lab.root() + QStringLiteral("/other.key"), QStringLiteral("-out"),
                           app_->file(QStringLiteral("data/school-ca.crt")), QStringLiteral("-subj"),
                           QStringLiteral("/CN=another school"), QStringLiteral("-days"), QStringLiteral("2")});
            QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
        } else if (fault == QLatin1String("empty")) {
            batch = QStringLiteral("B9");
        }
        message = message.contains(QLatin1String("%1")) ? message.arg(address.section(u':', 1)) : message;
        Rig rig(*store_);
        rig.collect(address, user, password, batch);
        QVERIFY2(rig.line().startsWith(message), qPrintable(rig.line()));
        QVERIFY(!QFileInfo::exists(lab.teachersFile()));
        // The dialog is ready for another try.
        QVERIFY(rig.find<QLineEdit>("Text4")->isEnabled());
    }

    void notVerifiedAloneMakesNoFile()
    {
        Lab lab;
        QString id;
        SchoolServer::Result result;
        result.xh = QStringLiteral("2026000099");
        result.batch = QStringLiteral("B7");
        PG_CLUSTER_TRY(id = server_.submit(QStringLiteral("PC03"), result));
        PG_CLUSTER_TRY(server_.verify(id, {false, 30, 123.25, 60, QStringLiteral("成绩与击键记录不符"), {}}));
        Rig rig(*store_);
        rig.collect(server_.address(), teacher_, password_, QStringLiteral("B7"));
        QCOMPARE(rig.line(),
                 QStringLiteral("共回收 0条记录。\r\n未计入1条：服务器按击键记录核对，成绩不符（学号 2026000099）。"));
        QVERIFY(!QFileInfo::exists(lab.teachersFile()));
    }

    void passwordLeavesNoTrace()
    {
        Lab lab;
        {
            Rig rig(*store_);
            rig.collect(server_.address(), teacher_, password_, QStringLiteral("B1"));
            QVERIFY(QFileInfo::exists(lab.teachersFile()));
            rig.collect(server_.address(), teacher_, password_ + QStringLiteral("x"), QStringLiteral("B1"));
        }
        const QStringList folders{lab.root(), app_->path(), server_.cluster.path(QString())};
        QCOMPARE(filesHolding(folders, password_.toUtf8()), QStringList());
        // The search finds what is there: the teacher's own file holds the names it collected.
        QVERIFY(!filesHolding({lab.teacher()}, QStringLiteral("李四").toUtf8()).isEmpty());
    }
};

QTEST_MAIN(TestServerCollection)
#include "test_server_collection.moc"

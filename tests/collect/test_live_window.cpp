// The teacher's live window against a real cluster and real NOTIFYs: the login, rows that follow
// the server's changes within two seconds, a lost connection made again and the batch re-read,
// and machines that fall silent by the server's time as the teacher's steady clock moves on.

#include "collect/live_window.h"
#include "platform/clock.h"
#include "school_fixture.h"
#include "shell/main_window.h"
#include "support/test_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

using Attempt = SchoolServer::Attempt;
constexpr int kShowsWithin = 2000; // a change on the server is in the window within this

} // namespace

class TestLiveWindow : public QObject {
    Q_OBJECT

    SchoolServer server_;
    std::unique_ptr<TestSupport::AppFolder> app_;
    std::optional<Pg::Connection> writer_;
    std::unique_ptr<LiveLoginDialog> login_;
    int batchNumber_ = 0;
    QString batch_;

    // Logs in through the login window as the teacher types; gives the live window.
    LiveWindow* logIn(const QString& batch, const QString& password = QString::fromLatin1(SchoolServer::kPassword))
    {
        login_ = std::make_unique<LiveLoginDialog>(app_->path());
        login_->show();
        for (auto [name, text] : {std::pair{"Text1", server_.address()},
                                  {"Text3", QString::fromLatin1(SchoolServer::kTeacher)},
                                  {"Text4", password},
                                  {"Text2", batch}})
            QTest::keyClicks(login_->findChild<QLineEdit*>(QString::fromLatin1(name)), text);
        QTest::mouseClick(login_->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        auto* button = login_->findChild<QPushButton*>(QStringLiteral("Command1"));
        // The button comes back when the login failed; the live window comes when it worked.
        if (!QTest::qWaitFor([&] { return login_->liveWindow() || button->isEnabled(); }, 10000))
            qWarning("the login neither failed nor opened the window within 10 s");
        return login_->liveWindow();
    }
    static QString cell(LiveWindow* window, const QString& xh, int column)
    {
        LiveAttemptsModel* model = window->model();
        for (int row = 0; row < model->rowCount(); ++row)
            if (model->attempts().at(row).xh == xh)
                return model->index(row, column).data().toString();
        return QStringLiteral("(no row)");
    }
    // A row of this test's batch for the student; change sets the rest.
    static Attempt attempt(const QString& xh, const std::function<void(Attempt&)>& change = {})
    {
        Attempt a;
        a.xh = xh;
        if (change)
            change(a);
        return a;
    }
    void set(Attempt attempt)
    {
        attempt.batch = attempt.batch.isEmpty() ? batch_ : attempt.batch;
        SchoolServer::setAttempt(*writer_, attempt);
    }

private slots:
    void initTestCase()
    {
        TestSupport::prepareApplication();
        PG_CLUSTER_TRY(server_.start());
        bool standIn = false;
        PG_CLUSTER_TRY(standIn = server_.attemptsAreStandIn());
        qInfo("typelab.attempts: %s", standIn ? "stand-in" : "the server's own");
        QVERIFY2(standIn, "the server's schema has typelab.attempts now: drive it through the machines' functions");
        PG_CLUSTER_TRY(writer_.emplace(server_.cluster.superuser()));
        BatchWatch::setFirstRetryForTests(100);
    }
    void cleanupTestCase()
    {
        writer_.reset();
        server_.cluster.stop();
    }
    void init()
    {
        TestSupport::resetState();
        app_ = std::make_unique<TestSupport::AppFolder>();
        server_.installCa(app_->path());
        batch_ = QStringLiteral("L%1").arg(++batchNumber_); // a batch of its own for each test
    }
    void cleanup()
    {
        if (login_ && login_->liveWindow())
            delete login_->liveWindow();
        login_.reset();
        Clock::setSteady(std::nullopt);
    }

    void menuItemOpensTheLogin()
    {
        MainWindow window;
        QVERIFY(window.load(app_->path()));
        QAction* item = window.findChild<QAction*>(QStringLiteral("jk"));
        QVERIFY(item);
        QCOMPARE(item->text(), QStringLiteral(" 监    考 "));
        const QList<QAction*> items = window.findChild<QMenu*>(QStringLiteral("dl"))->actions();
        QCOMPARE(items.indexOf(item), items.indexOf(window.findChild<QAction*>(QStringLiteral("dccj"))) + 1);
        QString title;
        QTimer::singleShot(0, this, [&title] {
            QWidget* modal = QApplication::activeModalWidget();
            title = modal ? modal->objectName() + u'|' + modal->windowTitle() : QStringLiteral("none");
            if (modal)
                modal->close();
        });
        item->trigger();
        QCOMPARE(title, QStringLiteral("frmjkdl|监考登录"));
    }

    void loginFailuresStayInTheLoginWindow()
    {
        QVERIFY(!logIn(batch_, QStringLiteral("wrong")));
        QCOMPARE(login_->findChild<QLabel*>(QStringLiteral("Label2"))->text(),
                 QStringLiteral("用户名或密码错误，请重新输入。"));
        QVERIFY(login_->findChild<QLineEdit*>(QStringLiteral("Text4"))->isEnabled());
        QVERIFY(QFile::remove(app_->file(QStringLiteral("data/school-ca.crt"))));
        QVERIFY(!logIn(batch_));
        QVERIFY(login_->findChild<QLabel*>(QStringLiteral("Label2"))
                    ->text()
                    .startsWith(QStringLiteral("找不到学校服务器的证书文件")));
    }

    void rowsFollowTheServer()
    {
        PG_CLUSTER_TRY(set(attempt(QStringLiteral("2026000002"), [](Attempt& a) {
            a.xm = QStringLiteral("李四");
            a.typed = 120;
            a.secondsLeft = 400;
        })));
        PG_CLUSTER_TRY(
            set(attempt(QStringLiteral("2026000001"), [](Attempt& a) { a.machine = QStringLiteral("PC07"); })));
        PG_CLUSTER_TRY(
            set(attempt(QStringLiteral("2026000009"), [this](Attempt& a) { a.batch = QStringLiteral("X") + batch_; })));
        LiveWindow* window = logIn(batch_.toLower()); // the batch in any case
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("监考 - 批次 %1").arg(batch_.toLower()));
        QCOMPARE(window->model()->rowCount(), 2);
        QCOMPARE(window->model()->attempts().at(0).xh, QStringLiteral("2026000001")); // sorted by number
        QCOMPARE(cell(window, QStringLiteral("2026000001"), LiveAttemptsModel::State), QStringLiteral("已登录"));
        QCOMPARE(cell(window, QStringLiteral("2026000001"), LiveAttemptsModel::Machine), QStringLiteral("PC07"));
        QCOMPARE(cell(window, QStringLiteral("2026000002"), LiveAttemptsModel::State), QStringLiteral("录入中"));
        QCOMPARE(cell(window, QStringLiteral("2026000002"), LiveAttemptsModel::TimeLeft), QStringLiteral("6:40"));
        QStringList headers;
        for (int column = 0; column < LiveAttemptsModel::Columns; ++column)
            headers << window->model()->headerData(column, Qt::Horizontal).toString();
        QCOMPARE(headers.join(u' '),
                 QStringLiteral("学号 姓名 机器 开始时间 状态 已录字数 剩余时间 速度 准确率 成绩 复核 标记"));

        QSignalSpy reads(window->watch(), &BatchWatch::rowsRead);
        // A change of another batch reads nothing; this batch's next change reads once.
        PG_CLUSTER_TRY(set(attempt(QStringLiteral("2026000009"), [this](Attempt& a) {
            a.batch = QStringLiteral("X") + batch_;
            a.typed = 5;
        })));
        PG_CLUSTER_TRY(set(attempt(QStringLiteral("2026000003"), [](Attempt& a) {
            a.xm = QStringLiteral("王五");
            a.typed = 10;
            a.secondsLeft = 590;
        })));
        QTRY_COMPARE_WITH_TIMEOUT(window->model()->rowCount(), 3, kShowsWithin);
        QCOMPARE(reads.count(), 1);
        QCOMPARE(cell(window, QStringLiteral("2026000003"), LiveAttemptsModel::Name), QStringLiteral("王五"));

        PG_CLUSTER_TRY(set(attempt(QStringLiteral("2026000002"), [](Attempt& a) {
            a.xm = QStringLiteral("李四");
            a.typed = 950;
            a.secondsLeft = 0;
            a.finished = true;
            a.lrsd = 95.4;
            a.lrzql = 97.5;
            a.lrcj = 88.5;
            a.verified = false;
            a.duplicate = true;
            a.marks = QStringLiteral("按键间隔过于均匀（变异系数 0.02）");
        })));
        QTRY_COMPARE_WITH_TIMEOUT(cell(window, QStringLiteral("2026000002"), LiveAttemptsModel::State),
                                  QStringLiteral("已交卷"), kShowsWithin);
        QCOMPARE(cell(window, QStringLiteral("2026000002"), LiveAttemptsModel::Speed), QStringLiteral("95"));
        QCOMPARE(cell(window, QStringLiteral("2026000002"), LiveAttemptsModel::Accuracy), QStringLiteral("98%"));
        QCOMPARE(cell(window, QStringLiteral("2026000002"), LiveAttemptsModel::Score), QStringLiteral("88"));
        QCOMPARE(cell(window, QStringLiteral("2026000002"), LiveAttemptsModel::Check), QStringLiteral("核对不符"));
        QCOMPARE(cell(window, QStringLiteral("2026000002"), LiveAttemptsModel::Marks),
                 QStringLiteral("重复参加；按键间隔过于均匀（变异系数 0.02）"));
        QCOMPARE(cell(window, QStringLiteral("2026000002"), LiveAttemptsModel::TimeLeft), QString());
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("共 3 人：录入中 1，已交卷 1，无响应 0，已登录未录入 1，有标记 1"));
    }

    void lostConnectionIsMadeAgainAndReadsAnew()
    {
        PG_CLUSTER_TRY(set(attempt(QStringLiteral("2026000001"), [](Attempt& a) {
            a.typed = 10;
            a.secondsLeft = 500;
        })));
        LiveWindow* window = logIn(batch_);
        QVERIFY(window);
        auto* link = window->findChild<QLabel*>(QStringLiteral("Label2"));
        QCOMPARE(link->text(), QStringLiteral("已连接服务器 %1，随时更新").arg(server_.address()));
        // The server ends the teacher's session; what changes meanwhile sends no notification
        // that reaches the window.
        PG_CLUSTER_TRY(writer_->exec(QStringLiteral(
            "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'typelab-teacher'")));
        QTRY_VERIFY_WITH_TIMEOUT(link->text() != QStringLiteral("已连接服务器 %1，随时更新").arg(server_.address()),
                                 5000);
        QVERIFY2(link->text().contains(QStringLiteral("重新连接")), qPrintable(link->text()));
        PG_CLUSTER_TRY(set(attempt(QStringLiteral("2026000001"), [](Attempt& a) {
            a.typed = 300;
            a.secondsLeft = 420;
        })));
        QTRY_COMPARE_WITH_TIMEOUT(cell(window, QStringLiteral("2026000001"), LiveAttemptsModel::Typed),
                                  QStringLiteral("300"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(link->text(), QStringLiteral("已连接服务器 %1，随时更新").arg(server_.address()),
                                  10000);
        // And it listens again.
        PG_CLUSTER_TRY(set(attempt(QStringLiteral("2026000001"), [](Attempt& a) {
            a.typed = 310;
            a.secondsLeft = 410;
        })));
        QTRY_COMPARE_WITH_TIMEOUT(cell(window, QStringLiteral("2026000001"), LiveAttemptsModel::Typed),
                                  QStringLiteral("310"), kShowsWithin);
    }

    void machinesFallSilentByTheServersTime()
    {
        // The machine was heard 80 s ago by the server's clock; the teacher's wall clock is
        // irrelevant, the steady clock alone moves the window's idea of the server's time.
        Clock::setSteady(1'000'000);
        PG_CLUSTER_TRY(set(attempt(QStringLiteral("2026000001"), [](Attempt& a) {
            a.heardAgo = 80;
            a.typed = 10;
            a.secondsLeft = 500;
        })));
        PG_CLUSTER_TRY(set(attempt(QStringLiteral("2026000002"), [](Attempt& a) {
            a.heardAgo = 300;
            a.finished = true;
            a.lrcj = 70;
        })));
        LiveWindow* window = logIn(batch_);
        QVERIFY(window);
        QSignalSpy reads(window->watch(), &BatchWatch::rowsRead);
        QCOMPARE(cell(window, QStringLiteral("2026000001"), LiveAttemptsModel::State), QStringLiteral("录入中"));
        Clock::setSteady(1'000'000 + 11'000);
        QTRY_COMPARE_WITH_TIMEOUT(cell(window, QStringLiteral("2026000001"), LiveAttemptsModel::State),
                                  QStringLiteral("无响应"), 3 * LiveWindow::kReevaluateMilliseconds);
        QCOMPARE(window->model()->index(0, 0).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 214, 214));
        // A finished attempt never falls silent, and nothing was asked of the server.
        QCOMPARE(cell(window, QStringLiteral("2026000002"), LiveAttemptsModel::State), QStringLiteral("已交卷"));
        QCOMPARE(reads.count(), 0);
        QTRY_VERIFY(window->findChild<QLabel*>(QStringLiteral("Label1"))->text().contains(QStringLiteral("无响应 1")));
        // The machine speaks again.
        PG_CLUSTER_TRY(set(attempt(QStringLiteral("2026000001"), [](Attempt& a) {
            a.heardAgo = 0;
            a.typed = 40;
            a.secondsLeft = 470;
        })));
        QTRY_COMPARE_WITH_TIMEOUT(cell(window, QStringLiteral("2026000001"), LiveAttemptsModel::State),
                                  QStringLiteral("录入中"), kShowsWithin);
    }
};

QTEST_MAIN(TestLiveWindow)
#include "test_live_window.moc"

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

using Student = SchoolServer::Student;
constexpr int kShowsWithin = 2000; // a change on the server is in the window within this

} // namespace

class TestLiveWindow : public QObject {
    Q_OBJECT

    SchoolServer server_;
    std::unique_ptr<TestSupport::AppFolder> app_;
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
    // The cell of the student's row (on the machine, where the student has more than one).
    static QString cell(LiveWindow* window, const QString& xh, int column, const QString& machine = {})
    {
        LiveAttemptsModel* model = window->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            const LiveAttempt& attempt = model->attempts().at(row);
            if (attempt.xh == xh && (machine.isEmpty() || attempt.machine == machine))
                return model->index(row, column).data().toString();
        }
        return QStringLiteral("(no row)");
    }
    // A student of this test's batch.
    Student student(const QString& xh, const QString& xm = QStringLiteral("张三")) const
    {
        return Student{batch_, xh, xm};
    }
    static SchoolServer::Result resultOf(const Student& s)
    {
        SchoolServer::Result result;
        result.batch = s.batch;
        result.xh = s.xh;
        result.xm = s.xm;
        return result;
    }

private slots:
    void initTestCase()
    {
        TestSupport::prepareApplication();
        PG_CLUSTER_TRY(server_.start());
        BatchWatch::setFirstRetryForTests(100);
    }
    void cleanupTestCase() { server_.cluster.stop(); }
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
        const Student li = student(QStringLiteral("2026000002"), QStringLiteral("李四"));
        const Student zhang = student(QStringLiteral("2026000001"));
        const Student elsewhere{QStringLiteral("X") + batch_, QStringLiteral("2026000009"), QStringLiteral("张三")};
        PG_CLUSTER_TRY(QCOMPARE(server_.claim(QStringLiteral("PC01"), li), QStringLiteral("granted"));
                       server_.progress(QStringLiteral("PC01"), li, 120, 400);
                       QCOMPARE(server_.claim(QStringLiteral("PC07"), zhang), QStringLiteral("granted"));
                       server_.claim(QStringLiteral("PC01"), elsewhere));
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
        // A change of another batch reads nothing; this batch's next change reads once (a
        // progress note whose claim is still in the machine's outbox).
        PG_CLUSTER_TRY(server_.progress(QStringLiteral("PC01"), elsewhere, 5, 590));
        PG_CLUSTER_TRY(server_.progress(QStringLiteral("PC03"), student(QStringLiteral("2026000003"), QStringLiteral("王五")),
                                        10, 590));
        QTRY_COMPARE_WITH_TIMEOUT(window->model()->rowCount(), 3, kShowsWithin);
        QCOMPARE(reads.count(), 1);
        QCOMPARE(cell(window, QStringLiteral("2026000003"), LiveAttemptsModel::Name), QStringLiteral("王五"));

        // 李四 takes the batch a second time on PC02, whose claim was made while the server was
        // away and found PC01's: nothing covers PC02, so both attempts carry the mark. PC01's
        // result comes last and the verifier finds it does not match its keystrokes.
        SchoolServer::Result again = resultOf(li);
        again.lrsd = 60;
        again.lrzql = 90;
        again.lrcj = 55;
        SchoolServer::Result first = resultOf(li);
        first.lrsd = 95.4;
        first.lrzql = 97.5;
        first.lrcj = 88.5;
        PG_CLUSTER_TRY(
            QCOMPARE(server_.claimFromOutbox(QStringLiteral("PC02"), li), QStringLiteral("elsewhere:PC01"));
            server_.verify(server_.submit(QStringLiteral("PC02"), again), {});
            server_.progress(QStringLiteral("PC01"), li, 950, 0);
            server_.verify(server_.submit(QStringLiteral("PC01"), first),
                           {false, 70, 95.4, 80, QStringLiteral("成绩与击键记录不符"),
                            QStringLiteral("按键间隔过于均匀（变异系数 0.02）")}));
        QTRY_COMPARE_WITH_TIMEOUT(cell(window, QStringLiteral("2026000002"), LiveAttemptsModel::Check, QStringLiteral("PC01")),
                                  QStringLiteral("核对不符"), kShowsWithin);
        QCOMPARE(window->model()->rowCount(), 4);
        const auto pc01 = [window](int column) {
            return cell(window, QStringLiteral("2026000002"), column, QStringLiteral("PC01"));
        };
        QCOMPARE(pc01(LiveAttemptsModel::State), QStringLiteral("已交卷"));
        QCOMPARE(pc01(LiveAttemptsModel::Speed), QStringLiteral("95"));
        QCOMPARE(pc01(LiveAttemptsModel::Accuracy), QStringLiteral("98%"));
        QCOMPARE(pc01(LiveAttemptsModel::Score), QStringLiteral("88"));
        QCOMPARE(pc01(LiveAttemptsModel::Marks), QStringLiteral("重复参加；按键间隔过于均匀（变异系数 0.02）"));
        QCOMPARE(pc01(LiveAttemptsModel::TimeLeft), QString());
        const auto pc02 = [window](int column) {
            return cell(window, QStringLiteral("2026000002"), column, QStringLiteral("PC02"));
        };
        QCOMPARE(pc02(LiveAttemptsModel::State), QStringLiteral("已交卷"));
        QCOMPARE(pc02(LiveAttemptsModel::Score), QStringLiteral("55"));
        QCOMPARE(pc02(LiveAttemptsModel::Check), QStringLiteral("核对无误"));
        QCOMPARE(pc02(LiveAttemptsModel::Marks), QStringLiteral("重复参加"));
        // The other students are not marked.
        QCOMPARE(cell(window, QStringLiteral("2026000001"), LiveAttemptsModel::Marks), QString());
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("共 3 人（4 台次）：录入中 1，已交卷 2，无响应 0，已登录未录入 1，有标记 2"));
    }

    void lostConnectionIsMadeAgainAndReadsAnew()
    {
        const Student zhang = student(QStringLiteral("2026000001"));
        PG_CLUSTER_TRY(server_.claim(QStringLiteral("PC01"), zhang);
                       server_.progress(QStringLiteral("PC01"), zhang, 10, 500));
        LiveWindow* window = logIn(batch_);
        QVERIFY(window);
        auto* link = window->findChild<QLabel*>(QStringLiteral("Label2"));
        QCOMPARE(link->text(), QStringLiteral("已连接服务器 %1，随时更新").arg(server_.address()));
        // The server ends the teacher's session; what changes meanwhile sends no notification
        // that reaches the window.
        PG_CLUSTER_TRY(server_.owner().exec(QStringLiteral(
            "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'typelab-teacher'")));
        QTRY_VERIFY_WITH_TIMEOUT(link->text() != QStringLiteral("已连接服务器 %1，随时更新").arg(server_.address()),
                                 5000);
        QVERIFY2(link->text().contains(QStringLiteral("重新连接")), qPrintable(link->text()));
        PG_CLUSTER_TRY(server_.progress(QStringLiteral("PC01"), zhang, 300, 420));
        QTRY_COMPARE_WITH_TIMEOUT(cell(window, QStringLiteral("2026000001"), LiveAttemptsModel::Typed),
                                  QStringLiteral("300"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(link->text(), QStringLiteral("已连接服务器 %1，随时更新").arg(server_.address()),
                                  10000);
        // And it listens again.
        PG_CLUSTER_TRY(server_.progress(QStringLiteral("PC01"), zhang, 310, 410));
        QTRY_COMPARE_WITH_TIMEOUT(cell(window, QStringLiteral("2026000001"), LiveAttemptsModel::Typed),
                                  QStringLiteral("310"), kShowsWithin);
    }

    void machinesFallSilentByTheServersTime()
    {
        // The machine was heard 80 s ago by the server's clock; the teacher's wall clock is
        // irrelevant, the steady clock alone moves the window's idea of the server's time.
        Clock::setSteady(1'000'000);
        const Student typing = student(QStringLiteral("2026000001"));
        const Student done = student(QStringLiteral("2026000002"));
        SchoolServer::Result result = resultOf(done);
        result.lrcj = 70;
        PG_CLUSTER_TRY(server_.claim(QStringLiteral("PC01"), typing);
                       server_.progress(QStringLiteral("PC01"), typing, 10, 500);
                       server_.moveBack(QStringLiteral("PC01"), typing, 80));
        PG_CLUSTER_TRY(server_.claim(QStringLiteral("PC02"), done); server_.submit(QStringLiteral("PC02"), result);
                       server_.moveBack(QStringLiteral("PC02"), done, 300));
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
        PG_CLUSTER_TRY(server_.progress(QStringLiteral("PC01"), typing, 40, 470));
        QTRY_COMPARE_WITH_TIMEOUT(cell(window, QStringLiteral("2026000001"), LiveAttemptsModel::State),
                                  QStringLiteral("录入中"), kShowsWithin);
    }
};

QTEST_MAIN(TestLiveWindow)
#include "test_live_window.moc"

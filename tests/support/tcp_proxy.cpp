#include "support/tcp_proxy.h"

#include <QPointer>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

class TcpProxy::Worker : public QObject {
public:
    Worker(quint16 target, std::atomic<int>& serverDelay, std::atomic<int>& clientDelay, std::atomic<int>& clientRate,
           std::atomic<int>& accepted)
        : target_(target), serverDelay_(serverDelay), clientDelay_(clientDelay), clientRate_(clientRate),
          accepted_(accepted)
    {
        // A tenth of a second's worth of throttled bytes at a time.
        auto* tick = new QTimer(this);
        connect(tick, &QTimer::timeout, this, &Worker::drainThrottled);
        tick->start(100);
    }

    quint16 listen()
    {
        server_ = new QTcpServer(this);
        server_->listen(QHostAddress::LocalHost, 0);
        connect(server_, &QTcpServer::newConnection, this, &Worker::accept);
        return server_->serverPort();
    }

    void setMode(Mode mode)
    {
        mode_ = mode;
        if (mode == Mode::Reset)
            for (const auto& [client, server] : pairs_) {
                if (client)
                    client->abort();
                if (server)
                    server->abort();
            }
    }

private:
    void accept()
    {
        while (QTcpSocket* client = server_->nextPendingConnection()) {
            ++accepted_;
            client->setParent(this);
            if (mode_ == Mode::Reset) {
                client->abort();
                client->deleteLater();
                continue;
            }
            auto* upstream = new QTcpSocket(this);
            pairs_.append(qMakePair(QPointer<QTcpSocket>(client), QPointer<QTcpSocket>(upstream)));
            upstream->connectToHost(QHostAddress::LocalHost, target_);
            connect(client, &QTcpSocket::readyRead, this, [this, client, upstream] {
                if (clientRate_ > 0 && mode_ == Mode::Pass)
                    throttle(upstream, client->readAll());
                else
                    pass(client, upstream, clientDelay_);
            });
            connect(upstream, &QTcpSocket::readyRead, this,
                    [this, client, upstream] { pass(upstream, client, serverDelay_); });
            const auto closeBoth = [client, upstream] {
                client->disconnectFromHost();
                upstream->disconnectFromHost();
            };
            connect(client, &QTcpSocket::disconnected, this, closeBoth);
            connect(upstream, &QTcpSocket::disconnected, this, closeBoth);
        }
    }

    void pass(QTcpSocket* from, QTcpSocket* to, const std::atomic<int>& delay)
    {
        const QByteArray bytes = from->readAll();
        if (mode_ != Mode::Pass)
            return;
        const QPointer<QTcpSocket> target(to);
        if (delay <= 0)
            target->write(bytes);
        else
            QTimer::singleShot(delay.load(), this, [target, bytes] {
                if (target)
                    target->write(bytes);
            });
    }

    struct Throttled {
        QPointer<QTcpSocket> to;
        QByteArray bytes;
    };

    void throttle(QTcpSocket* to, const QByteArray& bytes)
    {
        for (Throttled& each : throttled_)
            if (each.to == to) {
                each.bytes += bytes;
                return;
            }
        throttled_.append({to, bytes});
    }

    void drainThrottled()
    {
        const qsizetype share = qMax(1, clientRate_.load() / 10);
        for (Throttled& each : throttled_) {
            if (each.to && mode_ == Mode::Pass)
                each.to->write(each.bytes.left(share));
            each.bytes.remove(0, share);
        }
        throttled_.removeIf([](const Throttled& each) { return !each.to || each.bytes.isEmpty(); });
    }

    const quint16 target_;
    std::atomic<int>& serverDelay_;
    std::atomic<int>& clientDelay_;
    std::atomic<int>& clientRate_;
    QList<Throttled> throttled_; // bytes on their way to the server
    std::atomic<int>& accepted_;
    Mode mode_ = Mode::Pass;
    QTcpServer* server_ = nullptr;
    QList<QPair<QPointer<QTcpSocket>, QPointer<QTcpSocket>>> pairs_;
};

TcpProxy::TcpProxy(quint16 targetPort)
{
    worker_ = new Worker(targetPort, serverDelay_, clientDelay_, clientRate_, accepted_);
    worker_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
    QMetaObject::invokeMethod(worker_, [this] { port_ = worker_->listen(); }, Qt::BlockingQueuedConnection);
}

TcpProxy::~TcpProxy()
{
    thread_.quit();
    thread_.wait();
}

void TcpProxy::setMode(Mode mode)
{
    QMetaObject::invokeMethod(worker_, [this, mode] { worker_->setMode(mode); }, Qt::BlockingQueuedConnection);
}

#pragma once
// A TCP proxy of a test's own on 127.0.0.1, between a client and a server, in a thread of its
// own (so a test that blocks does not stall it). It passes bytes on, or misbehaves as the test
// says: goes silent (accepts and forwards nothing, as a link that died without a word), resets
// every connection it has and every new one, or holds back what either side says for a while.

#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>

class TcpProxy {
public:
    enum class Mode { Pass, Silent, Reset };

    explicit TcpProxy(quint16 targetPort);
    ~TcpProxy();

    quint16 port() const { return port_; }
    void setMode(Mode mode);
    // What the server sends reaches the client this much later (0: at once), and what the
    // client sends reaches the server so much later.
    void setServerDelay(int milliseconds) { serverDelay_ = milliseconds; }
    void setClientDelay(int milliseconds) { clientDelay_ = milliseconds; }
    // What the client sends goes on at most this many bytes a second (0: as it comes).
    void setClientRate(int bytesPerSecond) { clientRate_ = bytesPerSecond; }
    // Connections accepted so far.
    int accepted() const { return accepted_; }

private:
    class Worker;
    QThread thread_;
    Worker* worker_ = nullptr;
    quint16 port_ = 0;
    std::atomic<int> serverDelay_{0};
    std::atomic<int> clientDelay_{0};
    std::atomic<int> clientRate_{0};
    std::atomic<int> accepted_{0};
};

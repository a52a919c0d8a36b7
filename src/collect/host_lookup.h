#pragma once
// libpq looks a host name up inside PQconnectStart, on the calling thread, and a resolver that
// does not answer would hold the window for seconds. So the teacher's side looks the name up on
// a worker thread first and gives libpq the addresses (hostaddr) beside the name (host, which
// verify-full still checks against the server's certificate). A literal address needs no look-up.

#include <QObject>
#include <QStringList>

class HostLookup : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // found() follows from the event loop, also for a literal address; a lookup still running
    // is forgotten (its answer is dropped).
    void start(const QString& host);
    void forget() { ++generation_; }

signals:
    // The host's addresses in the resolver's order, or none and the resolver's complaint.
    void found(const QStringList& addresses, const QString& problem);

private:
    quint64 generation_ = 0;
};

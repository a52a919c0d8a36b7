#include "collect/host_lookup.h"

#include <QThread>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <memory>

namespace {

struct Answer {
    QStringList addresses;
    QString problem;
};

bool isLiteral(const QString& host)
{
    const QByteArray bytes = host.toLatin1();
    in6_addr buffer{};
    return ::inet_pton(AF_INET, bytes.constData(), &buffer) == 1
        || ::inet_pton(AF_INET6, bytes.constData(), &buffer) == 1;
}

Answer resolve(const QString& host)
{
    Answer answer;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int status = ::getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &list);
    if (status != 0) {
        answer.problem = QStringLiteral("could not translate host name \"%1\" to address: %2")
                             .arg(host, QString::fromLocal8Bit(::gai_strerror(status)));
        return answer;
    }
    for (addrinfo* entry = list; entry; entry = entry->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        const void* where = entry->ai_family == AF_INET
            ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr)
            : static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(entry->ai_addr)->sin6_addr);
        if ((entry->ai_family == AF_INET || entry->ai_family == AF_INET6)
            && ::inet_ntop(entry->ai_family, where, text, sizeof text)) {
            const QString address = QString::fromLatin1(text);
            if (!answer.addresses.contains(address))
                answer.addresses << address;
        }
    }
    ::freeaddrinfo(list);
    if (answer.addresses.isEmpty())
        answer.problem = QStringLiteral("could not translate host name \"%1\" to address").arg(host);
    return answer;
}

} // namespace

void HostLookup::start(const QString& host)
{
    const quint64 generation = ++generation_;
    if (isLiteral(host)) {
        QMetaObject::invokeMethod(
            this,
            [this, host, generation] {
                if (generation == generation_)
                    emit found({host}, QString());
            },
            Qt::QueuedConnection);
        return;
    }
    auto answer = std::make_shared<Answer>();
    QThread* worker = QThread::create([answer, host] { *answer = resolve(host); });
    // The thread object lives here; it goes when its work has ended, whether or not this
    // lookup is still wanted.
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &QThread::finished, this, [this, answer, generation] {
        if (generation == generation_)
            emit found(answer->addresses, answer->problem);
    });
    worker->start();
}

#pragma once
// How the teacher's side reaches the school server: the address as typed ("host" or
// "host:port"), the teacher's user name and password, and the school's CA certificate in the
// Application folder. The password lives in memory only, for the connection; it is never
// written to a file or a log. Every failure becomes one Chinese sentence for the window.

#include "platform/postgres.h"

#include <QString>

struct ServerLogin {
    QString address; // "school.example.org", "10.0.0.5:5433", "[fd00::5]:5432"
    QString user;
    QString password;

    static constexpr int kDefaultPort = 5432;
    // How long a connection may take before the server counts as away.
    static constexpr int kConnectDeadlineMilliseconds = 5000;

    // The school's CA certificate: <Application folder>/data/school-ca.crt (typelab-admin join
    // puts it there; the package links it into /var/lib/typelab/data).
    static QString caFile(const QString& appFolder);

    // The refusal of the typed values before anything is tried (an empty box, an address that
    // is not host or host:port), or empty when they may be tried.
    QString refusal() const;

    // The address split into host and port; false when it is neither host nor host:port.
    bool split(QString* host, int* port) const;
    // "host:port" as the messages name the server.
    QString shownAddress() const;

    // The host part of the address, as typed.
    QString host() const;
    // libpq's keywords: database typelab, TLS with verify-full against the school's CA, the
    // typed user and password, network timeouts and a connect deadline of a few seconds. With
    // addresses (HostLookup's), libpq tries each in turn and needs no look-up of its own.
    Pg::ConnectionParameters parameters(const QString& appFolder, const QStringList& addresses = {}) const;

    // What the teacher reads when the CA file is missing (empty when it is there).
    static QString missingCa(const QString& appFolder);
    // What the teacher reads when connecting failed: a wrong password, a server that is away,
    // a certificate that does not match, or anything else the server or libpq said.
    QString connectFailure(const Pg::Error& error) const;
};

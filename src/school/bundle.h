#pragma once
// A lab machine's bundle from the school server (typelab-server enroll): a tar archive of
// exactly ca.crt (the school's certificate authority), machine.crt and machine.key (the
// machine's own certificate, its name in the CN, and its key) and server (one line: a libpq
// connection string without secrets). typelab-admin join checks one and installs it for the
// store service; nothing else reads the archive.

#include "platform/postgres.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>
#include <variant>

namespace Bundle {

struct Contents {
    QByteArray caCertificate;
    QByteArray machineCertificate;
    QByteArray machineKey;
    QByteArray server;
};

// What a bundle that holds up says of itself.
struct Checked {
    QString machine;   // the certificate's CN: the machine's name on the server
    QDateTime validTo; // the certificate's end
    QString server;    // the connection string, as it will be used
};

// The four files of a bundle, or why the file is none. Anything else in the archive (another
// file, a link, a folder, a name with a path) makes it none.
std::variant<Contents, QString> read(const QString& path);
// Whether the contents can be used now: certificates and key in PEM, the key belonging to the
// certificate, the certificate issued by the CA, valid today, with a name; the server line a
// connection string naming host, port, dbname and user and holding no password. The answer,
// or why not.
std::variant<Checked, QString> check(const Contents& contents, const QDateTime& now);

// The files of an installed bundle, in the folder the store service reads it from.
inline constexpr const char* kFiles[] = {"ca.crt", "machine.crt", "machine.key", "server"};

// Puts the four files into `folder` (0700; the key 0600), replacing a bundle there as a whole,
// and the school's CA certificate, which teachers' programs read, at `publicCa` (0644); with
// `owner` given (a user name), both are that user's. The problem, if any; nothing half done.
std::optional<QString> install(const Contents& contents, const QString& folder, const QString& publicCa,
                               const QString& owner = {});

// How the machine reaches the server with the bundle installed in `folder`: the server line,
// TLS with the server's certificate checked against the school's CA and its name against the
// host (verify-full), the machine's certificate, and network timeouts. Throws Pg::Error when
// the server line cannot be read.
Pg::ConnectionParameters connection(const QString& folder);

} // namespace Bundle

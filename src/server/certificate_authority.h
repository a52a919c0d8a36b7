#pragma once
// The school's own certificate authority, made and run with the openssl command: an ECDSA P-256
// key readable by root alone, and an `openssl ca` database, so that every certificate it signs
// is recorded and can be revoked and a CRL made.
//
//   STATE/ca/ca.key  ca.crt  openssl.cnf  index.txt  serial  crlnumber  crl.pem  certs/

#include <QString>
#include <QStringList>

class CertificateAuthority {
public:
    explicit CertificateAuthority(QString folder);

    bool exists() const;
    // Makes the key, the self-signed certificate (valid 20 years), the database and a first
    // CRL; nothing when they exist.
    void create(const QString& commonName);

    struct Issued {
        QByteArray certificate; // PEM
        QByteArray key;         // PEM, unencrypted
        QString serial;         // hexadecimal, as openssl writes it
    };
    // A server certificate naming every host (DNS names, or IP addresses for addresses).
    Issued issueServer(const QStringList& hosts, int days) const;
    // A machine's certificate: CN = name, for client authentication only.
    Issued issueMachine(const QString& name, int days) const;
    // The serials of the certificates issued to CN = name and not revoked.
    QStringList validSerials(const QString& commonName) const;
    void revoke(const QString& serial) const;
    // Writes crl.pem anew from the database.
    void writeCrl() const;

    QString certificatePath() const { return file(QStringLiteral("ca.crt")); }
    QString crlPath() const { return file(QStringLiteral("crl.pem")); }
    // The DNS names and IP addresses a certificate names, as "DNS:x" and "IP:y", sorted.
    static QStringList subjectAltNames(const QString& certificatePath);
    static QString subjectAltNameOf(const QString& host);

private:
    QString file(const QString& name) const;
    Issued issue(const QString& commonName, const QString& extensions, int days) const;
    QString folder_;
};

#pragma once
// Who may reach the school's database: machines, each by its own certificate and login role
// (`enroll`, `revoke`), and teachers by password (`add-teacher`).

#include <QString>
#include <QTextStream>

namespace ServerEnrollment {

// Issues NAME's certificate, makes its login role and its row in typelab.machine (or lets a
// revoked machine in again), and writes STATE/bundles/NAME.tar; gives the bundle's path.
QString enroll(const QString& stateDir, const QString& name, int days, QTextStream& out);
// Revokes every certificate of NAME, publishes the CRL, takes the role's login away, marks the
// machine revoked and ends its sessions. Its results stay.
void revoke(const QString& stateDir, const QString& name, QTextStream& out);
// Makes a teacher's login role, or changes an existing teacher's password.
void addTeacher(const QString& stateDir, const QString& user, const QByteArray& password, QTextStream& out);

} // namespace ServerEnrollment

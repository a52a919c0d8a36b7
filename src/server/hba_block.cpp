#include "server/hba_block.h"

#include <QStringList>

#include <stdexcept>

namespace HbaBlock {

QString text(const QString& owner)
{
    const QString quotedOwner = QLatin1Char('"') + owner + QLatin1Char('"');
    QStringList lines{
        QString::fromLatin1(kBegin),
        // The cluster owner (setup, migrate, enroll) and the verifier, by their system users;
        // the verifier's user is typelab-verify, which pg_ident.conf maps to its role.
        QStringLiteral("local   all       %1  peer").arg(quotedOwner),
        QStringLiteral("local   typelab   typelab_verify  peer  map=%1").arg(QString::fromLatin1(kVerifyMap)),
        // Machines by their certificate alone: the login role must be the certificate's CN.
        QStringLiteral("hostssl typelab   +typelab_machine  all  cert"),
        QStringLiteral("hostssl typelab   +typelab_teacher  all  scram-sha-256"),
        // Nothing else reaches typelab's database, and its groups reach no other database.
        QStringLiteral("local   typelab   all  reject"),
        QStringLiteral("host    typelab   all  all  reject"),
        QStringLiteral("local   all       +typelab_machine,+typelab_teacher  reject"),
        QStringLiteral("host    all       +typelab_machine,+typelab_teacher  all  reject"),
        QString::fromLatin1(kEnd),
    };
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString identText()
{
    return QStringList{
               QString::fromLatin1(kBegin),
               QStringLiteral("%1  %2  typelab_verify").arg(QString::fromLatin1(kVerifyMap), QString::fromLatin1(kVerifyUser)),
               QString::fromLatin1(kEnd),
           }
               .join(QLatin1Char('\n')) +
           QLatin1Char('\n');
}

QString merge(const QString& file, const QString& block)
{
    QStringList kept;
    bool inside = false;
    const QStringList lines = file.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (i == lines.size() - 1 && line.isEmpty())
            break; // the split of a final newline
        if (line == QLatin1String(kBegin)) {
            inside = true;
            continue;
        }
        if (inside) {
            if (line == QLatin1String(kEnd))
                inside = false;
            continue;
        }
        kept << line;
    }
    if (inside)
        throw std::runtime_error("pg_hba.conf holds typelab's begin marker without its end marker: remove the "
                                 "unfinished block by hand, then run setup again");
    QString merged = block;
    if (!kept.isEmpty())
        merged += kept.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return merged;
}

} // namespace HbaBlock

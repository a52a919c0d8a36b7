#include "server/server_names.h"

#include <QRegularExpression>

namespace ServerNames {

QString problem(const QString& name)
{
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9._-]+$"));
    if (name.isEmpty())
        return QStringLiteral("the name is empty");
    if (name.toUtf8().size() > 63)
        return QStringLiteral("the name is longer than 63 bytes");
    if (!allowed.match(name).hasMatch())
        return QStringLiteral("the name may hold only letters, digits, '.', '_' and '-'");
    if (name.startsWith(QLatin1String("pg_"), Qt::CaseInsensitive) ||
        name.startsWith(QLatin1String("typelab"), Qt::CaseInsensitive))
        return QStringLiteral("names starting with pg_ or typelab are kept for PostgreSQL and typelab");
    return {};
}

} // namespace ServerNames

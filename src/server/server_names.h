#pragma once
// Which names the tool accepts for a machine or a teacher: they become login roles and, for a
// machine, its certificate's CN and its bundle's file name.

#include <QString>

namespace ServerNames {

// Why name cannot be used, or an empty string when it can: letters, digits, '.', '_' and '-',
// at most 63 bytes, not starting with "pg_" or "typelab" (whatever their case).
QString problem(const QString& name);

} // namespace ServerNames

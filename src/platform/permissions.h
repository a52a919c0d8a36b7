#pragma once
// Whether this user may write where the program must write: the grade database and the folder
// that holds it (the engine makes its journal there). Asked once at start-up, so that a lab
// machine set up without the typelab group says so at once, not at the first login.

#include <QString>
#include <QStringList>
#include <optional>

namespace Permissions {

// The first of the paths that exists and that this user may not write, if any.
std::optional<QString> firstNotWritable(const QStringList& paths);
// The name of the user the program runs as.
QString userName();

// Test seam: a path firstNotWritable names whatever the files say, or nullopt for the real look-up.
void setNotWritableForTests(std::optional<QString> path);

} // namespace Permissions

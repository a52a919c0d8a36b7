#pragma once
// Where the program's files are. The Application folder is the folder of the executable;
// paths written the Windows way ("A:\学生成绩.mdb", "Z:\PC3\data\stugrade.mdb") are mapped
// onto this machine's folders here.

#include <QString>

namespace Paths {

// A file below the Application folder, given as "data/help.dat" or "\data\help.dat".
QString inAppFolder(const QString& appFolder, const QString& relative);
QString gradeDatabase(const QString& appFolder);

// The folder that stands for drive letter X: the environment variable TYPELAB_DRIVE_X,
// or /media/floppy0 for A: when it is unset. Empty when the letter has no folder.
QString driveFolder(QChar letter);

// A typed or built path: "X:\rest" becomes the drive's folder + "/rest"; backslashes become
// slashes; anything else is taken as it stands (relative paths stay relative to the current
// working folder).
QString toLocal(const QString& windowsPath);

} // namespace Paths

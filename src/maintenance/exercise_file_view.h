#pragma once
// What the show-exercise-file dialog puts into its display box for a typed file name: the
// file's text laid out with doubled line ends, or one of its two messages.

#include <QString>

namespace ExerciseFileView {

inline const char* const kMissingFile = "文件名不能为空或文件不存在!";
inline const char* const kWrongFormat = "文件不是本程序所需要格式！";

// typedName is the name box's text; it is trimmed and may use "\" or "/" separators,
// relative names are taken from the current working folder.
QString contentFor(const QString& typedName);

} // namespace ExerciseFileView

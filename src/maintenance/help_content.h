#pragma once
// What the help window shows: the help file data/help.dat of the Application folder, laid out
// with single line ends, or a message saying why it cannot be shown.

#include <QString>

namespace HelpContent {

inline const char* const kMissingFile = "帮助文件不存在!";
inline const char* const kWrongFormat = "帮助文件不是本程序所需要格式！";

QString helpFilePath(const QString& appFolder);
QString contentFor(const QString& appFolder);

} // namespace HelpContent

#pragma once
// Replacing the text of an exercise file (or of the help file, which has the same layout) by
// the content of a plain text file, keeping the target's 32-byte header.

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace ExerciseFileReplacement {

// What the target is read as afterwards, and so which limits the new text must keep.
enum class TargetUse { EnglishExercise, ChineseExercise, HelpText };

// An exercise file of <app>/yw is English, one of <app>/zw Chinese, <app>/data/help.dat the
// help text; any other file is taken as an exercise of the type chosen in the dialog.
TargetUse useOf(const QString& targetPath, const QString& appFolder, bool chineseChosen);

struct Outcome {
    bool replaced = false;
    QString title;   // of the message box; empty for refused input
    QString message; // empty when replaced
};

inline const char* const kFileErrorTitle = "提示对话框";
inline const char* const kFileError = "打开源文件或目标文件错！";

// The name the store service knows a text of the Application folder by ("yw/ydzcs3.dat",
// "zw/cdzcs0.dat", "data/help.dat"), or empty when the target is no such file.
QString ownedTextName(const QString& targetPath, const QString& appFolder);

// Why the text cannot become the text of a target of this use (in Chinese), or nothing.
std::optional<QString> textProblem(const QByteArray& text, TargetUse use);

// Writes the text into the target, keeping its 32-byte header; the target changes only when the
// whole new file has been written.
Outcome writeText(const QString& target, const QByteArray& text);

// How the checked text reaches the target: writeText, or the store service for the texts it owns.
using Writer = std::function<Outcome(const QString& target, TargetUse use, const QByteArray& text)>;

// sourceName and targetName are the typed path boxes (trimmed here; "\" or "/").
Outcome replace(const QString& sourceName, const QString& targetName, const QString& appFolder, bool chineseChosen,
                const Writer& write = {});

} // namespace ExerciseFileReplacement

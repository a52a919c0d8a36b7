#include "maintenance/help_content.h"

#include "exercise/exercise_file_format.h"
#include "maintenance/file_error_text.h"
#include "maintenance/text_walk.h"
#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>

namespace HelpContent {

QString helpFilePath(const QString& appFolder)
{
    return Paths::inAppFolder(appFolder, QStringLiteral("data/help.dat"));
}

QString contentFor(const QString& appFolder)
{
    const QString path = helpFilePath(appFolder);
    if (!QFileInfo(path).isFile())
        return QString::fromUtf8(kMissingFile);

    // A help file that exists but cannot be read is named in the box instead of ending the
    // program.
    const QString shownPath = QDir::toNativeSeparators(path);
    using Status = ExerciseFileFormat::FileRead::Status;
    const ExerciseFileFormat::FileRead file = ExerciseFileFormat::readFile(path);
    switch (file.status) {
    case Status::CannotOpen:
        return QStringLiteral("无法打开帮助文件 %1：%2").arg(shownPath, fileErrorText(file.error));
    case Status::WrongFormat:
        return QString::fromUtf8(kWrongFormat);
    case Status::ReadError:
        return QStringLiteral("读取帮助文件 %1 出错：%2").arg(shownPath, fileErrorText(file.error));
    case Status::Ok:
        break;
    }
    return walkExerciseText(file.text, false);
}

} // namespace HelpContent

#include "maintenance/exercise_file_view.h"

#include "exercise/exercise_file_format.h"
#include "maintenance/file_error_text.h"
#include "maintenance/text_walk.h"
#include "platform/paths.h"
#include "platform/byte_length.h"

#include <QFileInfo>

namespace ExerciseFileView {

QString contentFor(const QString& typedName)
{
    const QString name = trimSpaces(typedName);
    if (name.isEmpty())
        return QString::fromUtf8(kMissingFile);
    const QString path = Paths::toLocal(name);
    if (!QFileInfo(path).isFile())
        return QString::fromUtf8(kMissingFile);

    using Status = ExerciseFileFormat::FileRead::Status;
    const ExerciseFileFormat::FileRead file = ExerciseFileFormat::readFile(path);
    switch (file.status) {
    case Status::CannotOpen:
        return QStringLiteral("无法打开文件 %1：%2").arg(name, fileErrorText(file.error));
    case Status::WrongFormat:
        return QString::fromUtf8(kWrongFormat);
    case Status::ReadError:
        return QStringLiteral("读取文件 %1 出错：%2").arg(name, fileErrorText(file.error));
    case Status::Ok:
        break;
    }
    return walkExerciseText(file.text, true);
}

} // namespace ExerciseFileView

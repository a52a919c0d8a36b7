#include "maintenance/exercise_file_view.h"

#include "exercise/exercise_file_format.h"
#include "maintenance/file_error_text.h"
#include "maintenance/text_walk.h"
#include "platform/paths.h"
#include "shell/program_state.h"

#include <QFile>
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

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("无法打开文件 %1：%2").arg(name, fileErrorText(file.error()));
    const QByteArray header = file.read(ExerciseFileFormat::kHeaderSize);
    if (!ExerciseFileFormat::isValid(header, file.size()))
        return QString::fromUtf8(kWrongFormat);
    // A valid header bounds the text to 32735 bytes, so reading it whole is safe.
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError || text.size() != file.size() - header.size())
        return QStringLiteral("读取文件 %1 出错：%2").arg(name, fileErrorText(file.error()));
    return walkExerciseText(text, true);
}

} // namespace ExerciseFileView

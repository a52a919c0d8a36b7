#include "maintenance/help_content.h"

#include "exercise/exercise_file_format.h"
#include "maintenance/file_error_text.h"
#include "maintenance/text_walk.h"
#include "platform/paths.h"

#include <QDir>
#include <QFile>
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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("无法打开帮助文件 %1：%2").arg(shownPath, fileErrorText(file.error()));
    const QByteArray header = file.read(ExerciseFileFormat::kHeaderSize);
    if (!ExerciseFileFormat::isValid(header, file.size()))
        return QString::fromUtf8(kWrongFormat);
    // A valid header bounds the text to 32735 bytes, so reading it whole is safe.
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError || text.size() != file.size() - header.size())
        return QStringLiteral("读取帮助文件 %1 出错：%2").arg(shownPath, fileErrorText(file.error()));
    return walkExerciseText(text, false);
}

} // namespace HelpContent

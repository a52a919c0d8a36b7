#include "maintenance/exercise_file_replacement.h"

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_text.h"
#include "maintenance/atomic_write.h"
#include "maintenance/file_error_text.h"
#include "platform/paths.h"
#include "platform/byte_length.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ExerciseFileReplacement {
namespace {

// The length field + 32 must stay within a signed 16-bit value for any reader to accept it.
constexpr qsizetype kMaxHeaderLength = 32767 - ExerciseFileFormat::kHeaderSize;
// A source larger than this cannot become an acceptable text even after conversion.
constexpr qint64 kMaxSourceBytes = 1 << 20;

Outcome refused(const QString& message)
{
    return Outcome{false, QString(), message};
}

Outcome fileError(const QString& name, const QString& problem)
{
    return Outcome{false, QString::fromUtf8(kFileErrorTitle),
                   QString::fromUtf8(kFileError) + u'\n' + QDir::toNativeSeparators(name) + u'：' + problem};
}

QString sameFile(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
}

// Why the Exercise screen would refuse this text, or an empty string when it takes it.
QString exerciseLimitProblem(const QByteArray& text, ExerciseKind kind)
{
    if (text.isEmpty())
        return QStringLiteral("源文件是空的，录入时没有可录的文本，目标文件未改动！");
    if (text.size() > ExerciseFileFormat::kMaxTextBytes)
        return QStringLiteral("源文件转换后有 %1 字节，超过录入文件最多 %2 字节的限制，目标文件未改动！")
            .arg(text.size())
            .arg(ExerciseFileFormat::kMaxTextBytes);
    ExerciseText exercise;
    std::copy(text.begin(), text.end(), exercise.textBytes.begin());
    exercise.textLength = int(text.size());
    const bool fits =
        kind == ExerciseKind::English ? ExerciseLoader::splitEnglish(exercise) : ExerciseLoader::splitChinese(exercise);
    if (!fits)
        return QStringLiteral("源文件分行后超过录入屏幕最多 %1 行的限制，目标文件未改动！")
            .arg(ExerciseText::kRows - 1);
    return QString();
}

} // namespace

QString ownedTextName(const QString& targetPath, const QString& appFolder)
{
    const QString target = sameFile(targetPath);
    QStringList names{QStringLiteral("data/help.dat")};
    for (int digit = 0; digit <= 9; ++digit)
        names << QStringLiteral("yw/ydzcs%1.dat").arg(digit) << QStringLiteral("zw/cdzcs%1.dat").arg(digit);
    for (const QString& name : names)
        if (target == sameFile(QDir(appFolder).filePath(name)))
            return name;
    return QString();
}

TargetUse useOf(const QString& targetPath, const QString& appFolder, bool chineseChosen)
{
    const QString target = sameFile(targetPath);
    const QString folder = QFileInfo(target).absolutePath();
    if (folder == sameFile(QDir(appFolder).filePath(QStringLiteral("yw"))))
        return TargetUse::EnglishExercise;
    if (folder == sameFile(QDir(appFolder).filePath(QStringLiteral("zw"))))
        return TargetUse::ChineseExercise;
    if (target == sameFile(Paths::inAppFolder(appFolder, QStringLiteral("data/help.dat"))))
        return TargetUse::HelpText;
    return chineseChosen ? TargetUse::ChineseExercise : TargetUse::EnglishExercise;
}

std::optional<QString> textProblem(const QByteArray& text, TargetUse use)
{
    if (use == TargetUse::HelpText) {
        if (text.size() > kMaxHeaderLength)
            return QStringLiteral("源文件转换后有 %1 字节，超过帮助文件最多 %2 字节的限制，目标文件未改动！")
                .arg(text.size())
                .arg(kMaxHeaderLength);
        return std::nullopt;
    }
    const QString problem =
        exerciseLimitProblem(text, use == TargetUse::ChineseExercise ? ExerciseKind::Chinese : ExerciseKind::English);
    return problem.isEmpty() ? std::nullopt : std::optional<QString>(problem);
}

Outcome writeText(const QString& target, const QByteArray& text)
{
    QFile targetFile(target);
    if (!targetFile.open(QIODevice::ReadOnly))
        return fileError(target, fileErrorText(targetFile.error()));
    const QByteArray header = targetFile.read(ExerciseFileFormat::kHeaderSize);
    if (header.size() != ExerciseFileFormat::kHeaderSize)
        return fileError(target,
                         QStringLiteral("文件不足 %1 字节，没有完整的文件头").arg(ExerciseFileFormat::kHeaderSize));
    targetFile.close();

    if (const auto problem = AtomicWrite::replaceContent(target, ExerciseFileFormat::build(text, header)))
        return fileError(target, *problem);
    return Outcome{true, QString(), QString()};
}

Outcome replace(const QString& sourceName, const QString& targetName, const QString& appFolder, bool chineseChosen,
                const Writer& write)
{
    const QString sourceTyped = trimSpaces(sourceName);
    const QString targetTyped = trimSpaces(targetName);
    if (sourceTyped.isEmpty() || targetTyped.isEmpty())
        return refused(QStringLiteral("目标文件和源文件均不能为空！"));
    const QString source = Paths::toLocal(sourceTyped);
    const QString target = Paths::toLocal(targetTyped);
    if (!QFileInfo(source).isFile())
        return refused(QStringLiteral("源文件不存在！"));
    if (!QFileInfo(target).isFile())
        return refused(QStringLiteral("目标文件不存在！"));

    QFile sourceFile(source);
    if (!sourceFile.open(QIODevice::ReadOnly))
        return fileError(source, fileErrorText(sourceFile.error()));
    if (sourceFile.size() > kMaxSourceBytes)
        return refused(
            QStringLiteral("源文件有 %1 字节，太大，不能作为录入文件的文本，目标文件未改动！").arg(sourceFile.size()));
    const QByteArray sourceBytes = sourceFile.readAll();
    if (sourceFile.error() != QFileDevice::NoError)
        return fileError(source, fileErrorText(sourceFile.error()));
    sourceFile.close();

    const ExerciseFileFormat::Conversion converted = ExerciseFileFormat::toExerciseText(sourceBytes);
    if (!converted.unencodable.isEmpty()) {
        const QString code =
            QString::number(converted.unencodable.toUcs4().value(0), 16).toUpper().rightJustified(4, u'0');
        return refused(QStringLiteral("源文件中的字符“%1”（U+%2）无法用国标码（GBK）保存，目标文件未改动！")
                           .arg(converted.unencodable, code));
    }
    const QByteArray& text = converted.text;

    const TargetUse use = useOf(target, appFolder, chineseChosen);
    if (const auto problem = textProblem(text, use))
        return refused(*problem);
    return write ? write(target, use, text) : writeText(target, text);
}

} // namespace ExerciseFileReplacement

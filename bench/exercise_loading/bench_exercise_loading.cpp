// Loading one exercise file as the Exercise screen does when it opens: read the file, check
// its header, split the text into display lines. The file is the largest one allowed, 4,096
// bytes of text, made of the program's own exercise texts.

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <tuple>

namespace {

constexpr int kRuns = 5001;

// The sources of one language, encoded, joined and cut to exactly 4,096 bytes ending in CR LF
// (never in the middle of a double-byte character).
QByteArray fullText(const QString& folder)
{
    QByteArray joined;
    for (int digit = 0; digit <= 9 && joined.size() < 8192; ++digit) {
        QFile source(QDir(folder).filePath(
            QStringLiteral("%1%2.txt").arg(folder.endsWith("yw") ? "ydzcs" : "cdzcs").arg(digit)));
        if (source.open(QIODevice::ReadOnly))
            joined += ExerciseFileFormat::toExerciseText(source.readAll()).text;
    }
    const int body = ExerciseFileFormat::kMaxTextBytes - 2;
    if (joined.size() < body)
        return {};
    int cut = 0;
    while (cut < body)
        cut += quint8(joined[cut]) >= 0x80 ? 2 : 1;
    if (cut > body)
        cut -= 2;
    QByteArray text = joined.left(cut);
    while (text.size() < body)
        text += ' ';
    return text + "\r\n";
}

bool measure(const char* label, const QString& path, ExerciseKind kind)
{
    QList<double> micros;
    micros.reserve(kRuns);
    int lines = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        const auto text = ExerciseLoader::load(path, kind);
        micros << timer.nsecsElapsed() / 1e3;
        if (!text) {
            fprintf(stderr, "%s: the file did not load\n", label);
            return false;
        }
        lines = text->lineCount();
    }
    std::sort(micros.begin(), micros.end());
    printf(
        "%s load + split, 4096 bytes, %d lines: median %.1f us, 10th percentile %.1f us, 90th percentile %.1f us (%d runs)\n",
        label, lines, micros[kRuns / 2], micros[kRuns / 10], micros[kRuns * 9 / 10], kRuns);
    return true;
}

// The splitter alone, on the text already in memory.
void measureSplit(const char* label, const QByteArray& bytes, ExerciseKind kind)
{
    ExerciseText text;
    std::memcpy(text.textBytes.data(), bytes.constData(), std::size_t(bytes.size()));
    text.textLength = int(bytes.size());
    QList<double> micros;
    micros.reserve(kRuns);
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        kind == ExerciseKind::English ? ExerciseLoader::splitEnglish(text) : ExerciseLoader::splitChinese(text);
        micros << timer.nsecsElapsed() / 1e3;
    }
    std::sort(micros.begin(), micros.end());
    printf("%s split only: median %.1f us\n", label, micros[kRuns / 2]);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString source = qEnvironmentVariable("TYPELAB_SOURCE_DIR", QStringLiteral(TYPELAB_BENCH_SOURCE_DIR));
    QTemporaryDir dir;
    bool ok = true;
    for (const auto& [label, kind, folder] :
         {std::tuple{"English", ExerciseKind::English, "yw"}, std::tuple{"Chinese", ExerciseKind::Chinese, "zw"}}) {
        const QByteArray text = fullText(QDir(source).filePath(QStringLiteral("data/") + folder));
        if (text.size() != ExerciseFileFormat::kMaxTextBytes) {
            fprintf(stderr, "%s texts not found below %s\n", label, qPrintable(source));
            return 1;
        }
        const QString path = ExerciseLoader::pathFor(dir.path(), kind, 1);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(ExerciseFileFormat::build(text)) != text.size() + 32)
            return 1;
        file.close();
        ok = measure(label, path, kind) && ok;
        measureSplit(label, text, kind);
    }
    return ok ? 0 : 1;
}

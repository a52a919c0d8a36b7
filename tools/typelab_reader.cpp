// typelab-reader: reads one batch out of one file that came from elsewhere (a laboratory
// machine's grade database, a diskette's collection file) and writes it to standard output as
// frames. The program runs it as a child with limits on memory and time, so a file that makes
// the database engine crash, hang or eat memory costs only that file.
//   typelab-reader grades|collection|export FILE BATCH BUSY_TIMEOUT_MS
// (export: a collection file or a grade database, every row when BATCH is empty)

#include "collect/collection_store.h"
#include "collect/score_export.h"
#include "collect/source_frames.h"
#include "grades/grade_store.h"

#include <QDir>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeAll(const QByteArray& bytes)
{
    const char* at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = write(STDOUT_FILENO, at, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        at += written;
        left -= written;
    }
    return true;
}

QList<CollectionRow> readBatch(const char* mode, const QString& path, const QString& batch)
{
    if (strcmp(mode, "export") == 0)
        return ScoreExport::readSource(path, batch);
    if (strcmp(mode, "collection") == 0)
        return CollectionStore::openSource(path).batchRows(batch);
    QList<CollectionRow> rows;
    for (const GradeRow& grade : GradeStore::openUntrusted(path).batchResults(batch))
        rows << CollectionRow::fromGrade(grade);
    return rows;
}

// Only a clear "no such file" counts as missing; a look-up that fails otherwise (a share that
// answers with an error) makes the file unreadable.
QByteArray lookUp(const QString& path)
{
    struct stat info;
    if (stat(QFile::encodeName(path).constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return SourceFrames::missing();
        return SourceFrames::failure(QStringLiteral("%1：查找文件出错（%2）")
                                         .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(strerror(errno))));
    }
    return S_ISREG(info.st_mode) ? QByteArray() : SourceFrames::missing();
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 5
        || (strcmp(argv[1], "grades") != 0 && strcmp(argv[1], "collection") != 0 && strcmp(argv[1], "export") != 0)) {
        fprintf(stderr, "usage: typelab-reader grades|collection|export FILE BATCH BUSY_TIMEOUT_MS\n");
        return 2;
    }
    const QString path = QString::fromUtf8(argv[2]);
    const QString batch = QString::fromUtf8(argv[3]);
    Database::setDefaultBusyTimeout(atoi(argv[4]));

    QByteArray out = SourceFrames::header();
    const QByteArray lookedUp = lookUp(path);
    if (!lookedUp.isEmpty())
        return writeAll(out + lookedUp) ? 0 : 1;
    try {
        const QList<CollectionRow> rows = readBatch(argv[1], path, batch);
        for (const CollectionRow& row : rows)
            out += SourceFrames::row(row);
        out += SourceFrames::end(rows.size());
    } catch (const DbError& error) {
        out = SourceFrames::header() + SourceFrames::failure(error.describe());
    }
    return writeAll(out) ? 0 : 1;
}

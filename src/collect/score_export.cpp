#include "collect/score_export.h"

#include "collect/batch_summary.h"
#include "collect/source_read.h"
#include "grades/grade_store.h"
#include "platform/loaded_library.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>
#include <sys/stat.h>
#include <xlsxwriter.h>

namespace {

// The workbook writer is loaded when a workbook is written, not with the program (it brings a
// cryptography library along).
#define TYPELAB_XLSXWRITER_FUNCTIONS(X)                                                                                \
    X(chart_add_series)                                                                                                \
    X(chart_legend_set_position)                                                                                       \
    X(chart_series_set_categories)                                                                                     \
    X(chart_series_set_name)                                                                                           \
    X(chart_series_set_values)                                                                                         \
    X(chart_title_set_name)                                                                                            \
    X(format_set_bold)                                                                                                 \
    X(format_set_num_format)                                                                                           \
    X(lxw_strerror)                                                                                                    \
    X(workbook_add_chart)                                                                                              \
    X(workbook_add_format)                                                                                             \
    X(workbook_add_worksheet)                                                                                          \
    X(workbook_close)                                                                                                  \
    X(workbook_new_opt)                                                                                                \
    X(worksheet_autofilter)                                                                                            \
    X(worksheet_freeze_panes)                                                                                          \
    X(worksheet_insert_chart)                                                                                          \
    X(worksheet_set_column)                                                                                            \
    X(worksheet_write_datetime)                                                                                        \
    X(worksheet_write_number)                                                                                          \
    X(worksheet_write_string)
TYPELAB_LOADED_LIBRARY(XlsxWriter, loadXlsxWriter, TYPELAB_XLSXWRITER_LIBRARY, TYPELAB_XLSXWRITER_FUNCTIONS)

const XlsxWriter& xlsx()
{
    return *loadXlsxWriter();
}

} // namespace

namespace ScoreExport {
namespace {

const QString kMarksSheet = QStringLiteral("成绩");
const QString kFiguresSheet = QStringLiteral("统计");

QString failed(const QString& outputPath, const QString& what)
{
    return QStringLiteral("导出失败：%1：%2").arg(fullPath(outputPath), what);
}

// ---------------------------------------------------------------- CSV

// RFC 4180: a field with a comma, a quote or a line end is quoted, its quotes doubled.
QByteArray csvField(const QString& value)
{
    QByteArray utf8 = value.toUtf8();
    if (!utf8.contains(',') && !utf8.contains('"') && !utf8.contains('\r') && !utf8.contains('\n'))
        return utf8;
    utf8.replace("\"", "\"\"");
    return '"' + utf8 + '"';
}

QByteArray csvOf(const QList<CollectionRow>& rows)
{
    QByteArray out("\xEF\xBB\xBF"); // the byte-order mark tells Excel and WPS it is UTF-8
    auto line = [&out](const QStringList& fields) {
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i)
                out += ',';
            out += csvField(fields[i]);
        }
        out += "\r\n";
    };
    line(CollectionStore::columnNames());
    for (const CollectionRow& row : rows)
        line({row.xh, row.xm, row.lrxm, QString::number(row.lrcj), QString::number(row.lrsd),
              QString::number(row.lrzql), row.lrdate.toString(Qt::ISODate),
              row.lrtime.toString(QStringLiteral("HH:mm:ss")), row.lrpc});
    return out;
}

bool writeCsv(const QList<CollectionRow>& rows, const QString& outputPath, QString* problem)
{
    QSaveFile file(outputPath);
    const QByteArray bytes = csvOf(rows);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *problem = file.errorString();
    return false;
}

// ---------------------------------------------------------------- XLSX

lxw_datetime dateOf(const QDate& date)
{
    return lxw_datetime{date.year(), date.month(), date.day(), 0, 0, 0};
}

lxw_datetime timeOf(const QTime& time)
{
    return lxw_datetime{0, 0, 0, time.hour(), time.minute(), double(time.second())};
}

// Column widths in characters; a Chinese character takes two.
constexpr double kMarkWidths[9] = {13, 10, 10, 10, 13, 10, 12, 10, 10};
constexpr double kFigureWidths[9] = {10, 8, 10, 10, 10, 10, 12, 12, 14};

lxw_format* numberFormat(lxw_workbook* book, const char* pattern)
{
    lxw_format* format = xlsx().workbook_add_format(book);
    xlsx().format_set_num_format(format, pattern);
    return format;
}

lxw_format* boldFormat(lxw_workbook* book)
{
    lxw_format* format = xlsx().workbook_add_format(book);
    xlsx().format_set_bold(format);
    return format;
}

void writeMarks(lxw_workbook* book, const QList<CollectionRow>& rows)
{
    lxw_worksheet* sheet = xlsx().workbook_add_worksheet(book, kMarksSheet.toUtf8().constData());
    lxw_format* header = boldFormat(book);
    lxw_format* date = numberFormat(book, "yyyy-mm-dd");
    lxw_format* time = numberFormat(book, "hh:mm:ss");

    const QStringList names = CollectionStore::columnNames();
    for (int column = 0; column < names.size(); ++column) {
        xlsx().worksheet_set_column(sheet, lxw_col_t(column), lxw_col_t(column), kMarkWidths[column], nullptr);
        xlsx().worksheet_write_string(sheet, 0, lxw_col_t(column), names[column].toUtf8().constData(), header);
    }
    xlsx().worksheet_freeze_panes(sheet, 1, 0);
    xlsx().worksheet_autofilter(sheet, 0, 0, lxw_row_t(rows.size()), lxw_col_t(names.size() - 1));
    lxw_row_t r = 1;
    for (const CollectionRow& row : rows) {
        xlsx().worksheet_write_string(sheet, r, 0, row.xh.toUtf8().constData(), nullptr);
        xlsx().worksheet_write_string(sheet, r, 1, row.xm.toUtf8().constData(), nullptr);
        xlsx().worksheet_write_string(sheet, r, 2, row.lrxm.toUtf8().constData(), nullptr);
        xlsx().worksheet_write_number(sheet, r, 3, row.lrcj, nullptr);
        xlsx().worksheet_write_number(sheet, r, 4, row.lrsd, nullptr);
        xlsx().worksheet_write_number(sheet, r, 5, row.lrzql, nullptr);
        if (row.lrdate.isValid()) {
            lxw_datetime value = dateOf(row.lrdate);
            xlsx().worksheet_write_datetime(sheet, r, 6, &value, date);
        }
        if (row.lrtime.isValid()) {
            lxw_datetime value = timeOf(row.lrtime);
            xlsx().worksheet_write_datetime(sheet, r, 7, &value, time);
        }
        xlsx().worksheet_write_string(sheet, r, 8, row.lrpc.toUtf8().constData(), nullptr);
        ++r;
    }
}

void writeFigures(lxw_workbook* book, const QList<CollectionRow>& rows)
{
    lxw_worksheet* sheet = xlsx().workbook_add_worksheet(book, kFiguresSheet.toUtf8().constData());
    lxw_format* header = boldFormat(book);
    lxw_format* oneDecimal = numberFormat(book, "0.0");

    static const char* const captions[] = {"批次",   "人数",     "平均分",     "中位数",      "最高分",
                                           "最低分", "平均速度", "平均准确率", "60分以上人数"};
    for (int column = 0; column < 9; ++column) {
        xlsx().worksheet_set_column(sheet, lxw_col_t(column), lxw_col_t(column), kFigureWidths[column], nullptr);
        xlsx().worksheet_write_string(sheet, 0, lxw_col_t(column), captions[column], header);
    }
    // The score bands of each batch sit right of its figures; the charts draw from them.
    constexpr lxw_col_t firstBand = 10;
    xlsx().worksheet_write_string(sheet, 0, firstBand - 1, "分数段", header);
    for (int band = 0; band < BatchSummary::kBands; ++band)
        xlsx().worksheet_write_string(sheet, 0, lxw_col_t(firstBand + band),
                                      BatchSummary::bandCaption(band).toUtf8().constData(), header);

    const QList<BatchSummary> summaries = BatchSummary::ofRows(rows);
    const QByteArray sheetName = kFiguresSheet.toUtf8();
    for (qsizetype i = 0; i < summaries.size(); ++i) {
        const BatchSummary& s = summaries[i];
        const lxw_row_t r = lxw_row_t(i + 1);
        const QByteArray batch = s.batch.toUtf8();
        xlsx().worksheet_write_string(sheet, r, 0, batch.constData(), nullptr);
        xlsx().worksheet_write_number(sheet, r, 1, s.count, nullptr);
        xlsx().worksheet_write_number(sheet, r, 2, s.meanScore, oneDecimal);
        xlsx().worksheet_write_number(sheet, r, 3, s.medianScore, oneDecimal);
        xlsx().worksheet_write_number(sheet, r, 4, s.highestScore, nullptr);
        xlsx().worksheet_write_number(sheet, r, 5, s.lowestScore, nullptr);
        xlsx().worksheet_write_number(sheet, r, 6, s.meanSpeed, oneDecimal);
        xlsx().worksheet_write_number(sheet, r, 7, s.meanAccuracy, oneDecimal);
        xlsx().worksheet_write_number(sheet, r, 8, s.passed, nullptr);
        xlsx().worksheet_write_string(sheet, r, firstBand - 1, batch.constData(), nullptr);
        for (int band = 0; band < BatchSummary::kBands; ++band)
            xlsx().worksheet_write_number(sheet, r, lxw_col_t(firstBand + band), s.bands[std::size_t(band)], nullptr);

        lxw_chart* chart = xlsx().workbook_add_chart(book, LXW_CHART_COLUMN);
        lxw_chart_series* series = xlsx().chart_add_series(chart, nullptr, nullptr);
        xlsx().chart_series_set_categories(series, sheetName.constData(), 0, firstBand, 0,
                                           firstBand + BatchSummary::kBands - 1);
        xlsx().chart_series_set_values(series, sheetName.constData(), r, firstBand, r,
                                       firstBand + BatchSummary::kBands - 1);
        xlsx().chart_series_set_name(series, (QStringLiteral("批次 ") + s.batch).toUtf8().constData());
        xlsx().chart_title_set_name(chart, (QStringLiteral("批次 %1 分数分布").arg(s.batch)).toUtf8().constData());
        xlsx().chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
        // Charts stand below the table, one under the other.
        const lxw_row_t chartRow = lxw_row_t(summaries.size() + 3 + i * 16);
        xlsx().worksheet_insert_chart(sheet, chartRow, 0, chart);
    }
}

// A workbook is a zip file; it is whole when its end record closes it and points at a central
// directory that ends right there. A disk that filled up leaves a file that fails this.
bool zipComplete(const QString& path)
{
    QFile file(path);
    constexpr qint64 kEndRecord = 22;
    if (!file.open(QIODevice::ReadOnly) || file.size() < kEndRecord || !file.seek(file.size() - kEndRecord))
        return false;
    const QByteArray end = file.read(kEndRecord);
    auto number = [&end](int at, int bytes) {
        quint64 value = 0;
        for (int i = bytes - 1; i >= 0; --i)
            value = value << 8 | quint8(end[at + i]);
        return value;
    };
    return end.startsWith("PK\x05\x06") && number(16, 4) + number(12, 4) == quint64(file.size() - kEndRecord);
}

// New files get the permissions the user's umask gives them, like any file the program writes.
void setUsualPermissions(const QString& path)
{
    const mode_t mask = umask(0);
    umask(mask);
    chmod(QFile::encodeName(path).constData(), 0666 & ~mask);
}

bool writeXlsx(const QList<CollectionRow>& rows, const QString& outputPath, QString* problem)
{
    if (!loadXlsxWriter()) {
        *problem =
            QStringLiteral("无法载入 %1，请安装 libxlsxwriter").arg(QString::fromUtf8(TYPELAB_XLSXWRITER_LIBRARY));
        return false;
    }
    // Written beside the target under another name, then renamed over it when complete.
    const QFileInfo target(outputPath);
    QTemporaryFile temporary(target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
    if (!temporary.open()) {
        *problem = temporary.errorString();
        return false;
    }
    temporary.close();
    const QByteArray temporaryName = QFile::encodeName(temporary.fileName());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* book = xlsx().workbook_new_opt(temporaryName.constData(), &options);
    if (!book) {
        *problem = QStringLiteral("无法创建工作簿");
        return false;
    }
    writeMarks(book, rows);
    writeFigures(book, rows);
    const lxw_error error = xlsx().workbook_close(book);
    if (error != LXW_NO_ERROR) {
        *problem = QString::fromUtf8(xlsx().lxw_strerror(error));
        return false;
    }
    if (!zipComplete(temporary.fileName())) {
        *problem = QStringLiteral("写入不完整（磁盘已满或无法写入）");
        return false;
    }
    setUsualPermissions(temporary.fileName());
    QFile::remove(outputPath);
    if (!QFile::rename(temporary.fileName(), outputPath)) {
        *problem = QStringLiteral("无法写入目标文件");
        return false;
    }
    temporary.setAutoRemove(false);
    return true;
}

} // namespace

bool formatOf(const QString& outputPath, Format* format)
{
    const QString suffix = QFileInfo(outputPath).suffix().toLower();
    if (suffix == QLatin1String("xlsx"))
        *format = Format::Xlsx;
    else if (suffix == QLatin1String("csv"))
        *format = Format::Csv;
    else
        return false;
    return true;
}

QList<CollectionRow> readSource(const QString& sourcePath, const QString& batch)
{
    try {
        CollectionStore source = CollectionStore::openSource(sourcePath);
        return batch.isEmpty() ? source.allRows() : source.batchRows(batch);
    } catch (const DbError& error) {
        // Without a key, an encrypted grade database reads as no database at all.
        if (error.kind() != DbError::Kind::NotADatabase)
            throw;
    }
    GradeStore grades = GradeStore::openUntrusted(sourcePath);
    QList<CollectionRow> rows;
    for (const GradeRow& grade : batch.isEmpty() ? grades.allResults() : grades.batchResults(batch))
        rows.append(CollectionRow::fromGrade(grade));
    return rows;
}

void sortForExport(QList<CollectionRow>& rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const CollectionRow& a, const CollectionRow& b) {
        if (a.lrpc != b.lrpc)
            return a.lrpc < b.lrpc;
        return a.xh < b.xh;
    });
}

Outcome write(const QList<CollectionRow>& rows, const QString& outputPath)
{
    Outcome outcome;
    Format format;
    if (!formatOf(outputPath, &format)) {
        outcome.message = failed(outputPath, QStringLiteral("输出文件须以 .xlsx 或 .csv 结尾"));
        return outcome;
    }
    QString problem;
    const bool written =
        format == Format::Xlsx ? writeXlsx(rows, outputPath, &problem) : writeCsv(rows, outputPath, &problem);
    if (!written) {
        outcome.message = failed(outputPath, problem);
        return outcome;
    }
    outcome.written = true;
    outcome.rows = rows.size();
    outcome.message =
        QStringLiteral("导出完毕，共导出%1条记录。\r\n%2").arg(countText(rows.size()), fullPath(outputPath));
    return outcome;
}

Outcome run(const QString& sourcePath, const QString& batch, const QString& outputPath)
{
    // A file from elsewhere is read by the source reader, in a process of its own.
    const QString path = QFileInfo(sourcePath).absoluteFilePath();
    SourceResult read = SourceRead::readNow(SourceRead::Format::ExportSource, path, batch);
    if (read.kind != SourceResult::Kind::Rows) {
        Outcome outcome;
        outcome.message = QStringLiteral("导出失败：")
            + (read.kind == SourceResult::Kind::Missing ? DbError(DbError::Kind::MissingFile, path).describe()
                                                        : read.problem);
        return outcome;
    }
    QList<CollectionRow>& rows = read.rows;
    sortForExport(rows);
    return write(rows, outputPath);
}

} // namespace ScoreExport

#include "grades/progress_opener.h"

#include "store/store_history.h"
#include "platform/byte_length.h"
#include "platform/message_box.h"
#include "platform/twips.h"

#include <QCoreApplication>
#include <QLibrary>

namespace ProgressOpener {

namespace {

const char kCaption[] = "进步曲线";

QString& modulePath()
{
    static QString path;
    return path;
}

} // namespace

void setModulePath(const QString& path)
{
    modulePath() = path;
}

std::optional<Progress::Student> readStudent(QWidget* parent, HistoryPages::Source& source, const QString& number)
{
    const QString caption = QString::fromUtf8(kCaption);
    const RowsReply results = source.studentResults(trimSpaces(number));
    if (!results.ok()) {
        MessageBoxes::show(parent, caption, storeProblem(results));
        return std::nullopt;
    }
    const Progress::Student student = Progress::fromResults(results.rows);
    if (student.results == 0) {
        MessageBoxes::show(parent, caption, QStringLiteral("学号为“%1”的学生没有成绩记录。").arg(trimSpaces(number)));
        return std::nullopt;
    }
    return student;
}

void open(QWidget* parent, HistoryPages::Source& source, const QString& number)
{
    const std::optional<Progress::Student> student = readStudent(parent, source, number);
    if (!student)
        return;
    // Loaded once and kept: the chart's libraries come with it.
    static QLibrary module;
    if (!module.isLoaded()) {
        module.setFileName(modulePath().isEmpty()
                               ? QCoreApplication::applicationDirPath() + QStringLiteral("/typelab-charts.so")
                               : modulePath());
        module.setLoadHints(QLibrary::PreventUnloadHint);
    }
    auto* show = reinterpret_cast<ShowProgressChart*>(module.resolve(kShowProgressChart));
    if (!show) {
        MessageBoxes::show(parent, QString::fromUtf8(kCaption),
                           QStringLiteral("进步曲线无法显示：%1").arg(module.errorString()));
        return;
    }
    show(parent, &*student, Twips::dpi());
}

} // namespace ProgressOpener

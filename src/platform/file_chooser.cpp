#include "platform/file_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

namespace FileChooser {
namespace {
bool scripted = false;
QList<std::optional<QString>> answers;
QList<Request> requests;
} // namespace

QString toQtFilter(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts.at(i + 1);
        pattern.replace(u';', u' ');
        if (pattern == QStringLiteral("*.*"))
            pattern = QStringLiteral("*");
        entries << QStringLiteral("%1 (%2)").arg(parts.at(i), pattern);
    }
    return entries.join(QStringLiteral(";;"));
}

QString getOpenFileName(QWidget* parent, const QString& title, const QString& filter, const QString& initialFile,
                        const QString& startDir)
{
    if (scripted) {
        requests.append({title, filter, initialFile, startDir});
        const std::optional<QString> answer = answers.isEmpty() ? std::nullopt : answers.takeFirst();
        return answer ? *answer : initialFile;
    }
    // The dialog opens in the starting folder, with the initial name preselected.
    QString where = startDir;
    if (!initialFile.isEmpty())
        where = QDir::isAbsolutePath(initialFile) || startDir.isEmpty() ? initialFile
                                                                        : QDir(startDir).filePath(initialFile);
    const QString chosen = QFileDialog::getOpenFileName(parent, title, where, toQtFilter(filter));
    return chosen.isEmpty() ? initialFile : QDir::toNativeSeparators(chosen);
}

QString getSaveFileName(QWidget* parent, const QString& title, const QString& filter, const QString& initialFile)
{
    if (scripted) {
        requests.append({title, filter, initialFile, QString()});
        const std::optional<QString> answer = answers.isEmpty() ? std::nullopt : answers.takeFirst();
        return answer ? *answer : initialFile;
    }
    const QString chosen = QFileDialog::getSaveFileName(parent, title, initialFile, toQtFilter(filter));
    return chosen.isEmpty() ? initialFile : QDir::toNativeSeparators(chosen);
}

void setScripted(bool on)
{
    scripted = on;
    answers.clear();
    requests.clear();
}

void scriptAnswer(const std::optional<QString>& path)
{
    answers.append(path);
}

QList<Request> takeRequests()
{
    QList<Request> result;
    result.swap(requests);
    return result;
}

} // namespace FileChooser

#pragma once
// The platform's open-file chooser, driven as the program's tools drive it: a title, a filter
// list written "name|pattern|name|pattern", an initial file name and a starting folder. It
// answers the chosen path, or the initial file name when the user cancels.
// Tests script the answers instead of showing the chooser and read what was asked.

#include <QList>
#include <QString>
#include <optional>

class QWidget;

namespace FileChooser {

QString getOpenFileName(QWidget* parent, const QString& title, const QString& filter, const QString& initialFile,
                        const QString& startDir);

// The save-file chooser, the same way: the chosen path, or the initial file name on cancel.
// Tests script it with the same answers.
QString getSaveFileName(QWidget* parent, const QString& title, const QString& filter, const QString& initialFile);

// "录入文件|*.dat" becomes "录入文件 (*.dat)"; "*.*" means every file.
QString toQtFilter(const QString& filter);

struct Request {
    QString title;
    QString filter;
    QString initialFile;
    QString startDir;
};

// Test seam: while scripted, getOpenFileName() shows nothing and returns the next scripted
// answer; an empty optional (or no answer left) stands for a cancel.
void setScripted(bool on);
void scriptAnswer(const std::optional<QString>& path);
QList<Request> takeRequests();

} // namespace FileChooser

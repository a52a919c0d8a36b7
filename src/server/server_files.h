#pragma once
// Files the server tool writes: whole or not at all, with their owner and mode set before they
// appear under their name, and left untouched when they already hold the same bytes, so that a
// second setup changes nothing.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace ServerFiles {

// Who a file belongs to; the default is whoever runs the tool.
struct Owner {
    uid_t uid = uid_t(-1);
    gid_t gid = gid_t(-1);
};

// Writes path through a temporary file and a rename; false when it already held these bytes
// with this mode and owner. Throws std::runtime_error.
bool writeIfChanged(const QString& path, const QByteArray& bytes, mode_t mode, Owner owner = {});
// The file's bytes; throws std::runtime_error when it cannot be read.
QByteArray read(const QString& path);
// Makes a folder (and its parents) and gives it this mode and owner.
void makeFolder(const QString& path, mode_t mode, Owner owner = {});

// Runs a program (openssl, tar, pg_ctl) to its end and gives its output; throws
// std::runtime_error with what it said when it fails.
QByteArray runProgram(const QString& program, const QStringList& arguments);

// An exclusive lock on a state folder for the time of one command, so that two enrolments at
// once cannot interleave their steps.
class Lock {
public:
    explicit Lock(const QString& path);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    int fd_ = -1;
};

} // namespace ServerFiles

#include "server/server_files.h"

#include "platform/child_process.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ServerFiles {

namespace {

[[noreturn]] void failed(const char* what, const QString& path)
{
    throw std::runtime_error(std::string(what) + " " + path.toStdString() + ": " + std::strerror(errno));
}

bool sameFile(const QString& path, const QByteArray& bytes, mode_t mode, Owner owner)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    if ((info.st_mode & 07777) != mode)
        return false;
    if ((owner.uid != uid_t(-1) && info.st_uid != owner.uid) || (owner.gid != gid_t(-1) && info.st_gid != owner.gid))
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll() == bytes;
}

} // namespace

bool writeIfChanged(const QString& path, const QByteArray& bytes, mode_t mode, Owner owner)
{
    if (sameFile(path, bytes, mode, owner))
        return false;
    const QByteArray temporary = QFile::encodeName(path + QStringLiteral(".new"));
    ::unlink(temporary.constData());
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        failed("cannot create", path + QStringLiteral(".new"));
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            ::unlink(temporary.constData());
            failed("cannot write", path);
        }
        written += n;
    }
    const bool settled = ::fchown(fd, owner.uid, owner.gid) == 0 && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ::close(fd);
    if (!settled || ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        const int saved = errno;
        ::unlink(temporary.constData());
        errno = saved;
        failed("cannot put in place", path);
    }
    return true;
}

QByteArray read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString() + ": " + file.errorString().toStdString());
    return file.readAll();
}

void makeFolder(const QString& path, mode_t mode, Owner owner)
{
    if (!QDir().mkpath(path))
        failed("cannot make the folder", path);
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        failed("not a folder:", path);
    if ((owner.uid != uid_t(-1) && info.st_uid != owner.uid) || (owner.gid != gid_t(-1) && info.st_gid != owner.gid)) {
        if (::chown(name.constData(), owner.uid, owner.gid) != 0)
            failed("cannot give away", path);
    }
    if ((info.st_mode & 07777) != mode && ::chmod(name.constData(), mode) != 0)
        failed("cannot set the mode of", path);
}

QByteArray runProgram(const QString& program, const QStringList& arguments)
{
    const QString path = program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        throw std::runtime_error(program.toStdString() + " is not installed");
    ChildProcess::Limits limits;
    limits.wallMilliseconds = 300'000;
    limits.errorsToOutput = true;
    const ChildProcess::Outcome outcome = ChildProcess::run(path, arguments, limits);
    if (!outcome.succeeded())
        throw std::runtime_error(QStringLiteral("%1 %2 failed: %3")
                                     .arg(program, arguments.join(QLatin1Char(' ')),
                                          QString::fromUtf8(outcome.output).trimmed())
                                     .toStdString());
    return outcome.output;
}

Lock::Lock(const QString& path)
{
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        failed("cannot open the lock", path);
    if (::flock(fd_, LOCK_EX) != 0)
        failed("cannot take the lock", path);
}

Lock::~Lock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace ServerFiles

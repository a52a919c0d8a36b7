// Preloaded into typelab-store by test_outbox_commit: the process ends at once, as a kill would
// end it (no clean-up, no flush), just before its N-th fsync, fdatasync or unlink, counted
// only while the file TYPELAB_DIE_ARMED names exists. Those calls are the steps of the
// database engine's commit: its journals made durable, the super-journal deleted (the commit
// point), the journals deleted. Only the program TYPELAB_DIE_PROGRAM is touched.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace {

int counted = 0;

void dieIfDue()
{
    const char* program = getenv("TYPELAB_DIE_PROGRAM");
    const char* armed = getenv("TYPELAB_DIE_ARMED");
    const char* at = getenv("TYPELAB_DIE_AT");
    if (!program || !armed || !at || std::strcmp(program_invocation_short_name, program) != 0)
        return;
    const int saved = errno;
    const int isArmed = access(armed, F_OK) == 0;
    errno = saved;
    if (isArmed && ++counted == std::atoi(at))
        _exit(137);
}

template <typename Function> Function real(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int fsync(int fd)
{
    static const auto next = real<int (*)(int)>("fsync");
    dieIfDue();
    return next(fd);
}

int fdatasync(int fd)
{
    static const auto next = real<int (*)(int)>("fdatasync");
    dieIfDue();
    return next(fd);
}

int unlink(const char* path)
{
    static const auto next = real<int (*)(const char*)>("unlink");
    dieIfDue();
    return next(path);
}
}

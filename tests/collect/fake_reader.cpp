// Stands in for typelab-reader in tests: machines named in TYPELAB_FAKE_READER_PLAN
// ("2=crash,4=hang") get a reader that misbehaves that way; every other file is read by the
// real reader. A hanging reader leaves its process id in TYPELAB_FAKE_READER_PIDS.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The machine number in ".../<prefix>N/data/stugrade.mdb", or -1.
int machineOf(const std::string& path)
{
    const std::string tail = "/data/stugrade.mdb";
    if (path.size() <= tail.size() || path.compare(path.size() - tail.size(), tail.size(), tail) != 0)
        return -1;
    size_t end = path.size() - tail.size(), start = end;
    while (start > 0 && isdigit(static_cast<unsigned char>(path[start - 1])))
        --start;
    return start == end ? -1 : atoi(path.substr(start, end - start).c_str());
}

std::string planFor(int machine)
{
    const char* plan = getenv("TYPELAB_FAKE_READER_PLAN");
    const std::string key = std::to_string(machine) + "=";
    for (std::string rest = plan ? plan : ""; !rest.empty();) {
        const size_t comma = rest.find(',');
        const std::string item = rest.substr(0, comma);
        if (item.compare(0, key.size(), key) == 0)
            return item.substr(key.size());
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    }
    return {};
}

void field(std::string& out, const std::string& text)
{
    const unsigned n = unsigned(text.size());
    out += char(n >> 24), out += char(n >> 16), out += char(n >> 8), out += char(n);
    out += text;
}

} // namespace

int main(int argc, char* argv[])
{
    const std::string plan = argc == 5 ? planFor(machineOf(argv[2])) : std::string();
    const std::string header = "typelab-reader 1\n";
    if (plan == "crash") {
        signal(SIGSEGV, SIG_DFL); // past the address sanitizer's handler, in its builds
        raise(SIGSEGV);
    } else if (plan == "memory") {
        std::vector<char*> blocks;
        // Up to 1 GiB, or until the address-space limit says no. Only a byte of each block is
        // touched: the limit counts what is mapped, and filling 512 MiB page by page can take
        // longer than a loaded machine's time limit.
        for (int i = 0; i < 16; ++i) {
            char* block = static_cast<char*>(malloc(64 << 20));
            if (!block)
                abort();
            block[0] = 1;
            blocks.push_back(block);
        }
        return 0;
    } else if (plan == "hang") {
        if (const char* dir = getenv("TYPELAB_FAKE_READER_PIDS")) {
            const std::string file = std::string(dir) + "/" + std::to_string(getpid());
            if (FILE* f = fopen(file.c_str(), "w"))
                fclose(f);
        }
        signal(SIGTERM, SIG_IGN);
        for (;;)
            pause();
    } else if (plan == "garbage") {
        const std::string out = header + "R\x09\xff\xff\xff\xff";
        fwrite(out.data(), 1, out.size(), stdout);
        return 0;
    } else if (plan == "forged") {
        // Well framed, but a score that no grade database holds.
        std::string out = header + "R" + char(9);
        for (const char* text : {"1", "x", "英文", "1e9", "1", "1", "2026-12-08", "10:00:00.000", "B1"})
            field(out, text);
        out += "Z" + std::string(1, char(1));
        field(out, "1");
        fwrite(out.data(), 1, out.size(), stdout);
        return 0;
    }
    execv(TYPELAB_REAL_READER, argv);
    return 127;
}

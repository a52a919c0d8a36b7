// Any bytes as another lab machine's grade database, read the way network collection reads it.
// The file is taken without its key: encrypted pages would only ever fail their check, and
// what is fuzzed here is what lies behind the cipher, the hardened open and the batch read.

#include "fuzz_file.h"
#include "grades/grade_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = FuzzFile::write(data, size);
    try {
        GradeStore store = GradeStore::openUntrusted(path, QByteArray());
        store.batchResults(QStringLiteral("B1"));
    } catch (const DbError&) {}
    return 0;
}

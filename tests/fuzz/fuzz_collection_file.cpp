// Any bytes as a collection file on a diskette: the hardened open as a source and the batch
// read, then the hardened open as a target and one appended row.

#include "collect/collection_store.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = FuzzFile::write(data, size);
    try {
        CollectionStore source = CollectionStore::openSource(path);
        source.batchRows(QStringLiteral("B1"));
    } catch (const DbError&) {}
    try {
        CollectionStore target = CollectionStore::openTarget(path);
        CollectionRow row;
        row.xh = QStringLiteral("2026000001");
        row.lrpc = QStringLiteral("B1");
        target.append({row});
        target.rowCount();
    } catch (const DbError&) {}
    return 0;
}

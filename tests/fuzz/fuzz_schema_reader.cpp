// Any bytes as a statement in sqlite_master: the schema reader must never crash, and whatever
// it accepts the engine must build just as the reader says (the expected columns with nothing on
// them, or a plain index on them).

#include "collect/collection_store.h"
#include "grades/grade_store.h"
#include "support/schema_oracle.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QList<ExpectedTable> schema = GradeStore::expectedSchema() << CollectionStore::expectedTable();
    const QByteArray sql(reinterpret_cast<const char*>(data), qsizetype(size));
    const SchemaReader::Reading reading = SchemaReader::read(sql, schema);
    const SchemaOracle::Comparison engine = SchemaOracle::compare(sql, reading, schema);
    if (engine.verdict == SchemaOracle::Comparison::Verdict::Differs) {
        std::fprintf(stderr, "the engine builds an accepted statement otherwise: %s\n", qPrintable(engine.detail));
        std::abort();
    }
    return 0;
}

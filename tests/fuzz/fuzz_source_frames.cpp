// Any bytes as what a source reader sent back: the decoder must never crash, and whatever it
// accepts as rows must be rows a grade database can hold, and must come out the same when
// encoded again and decoded.

#include "collect/source_frames.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray output(reinterpret_cast<const char*>(data), qsizetype(size));
    const SourceFrames::Decoded decoded = SourceFrames::decode(output);
    if (decoded.kind != SourceFrames::Decoded::Kind::Rows)
        return 0;
    QByteArray again = SourceFrames::header();
    for (const CollectionRow& row : decoded.rows) {
        if ((!row.lrdate.isNull() && !row.lrdate.isValid()) || (!row.lrtime.isNull() && !row.lrtime.isValid())) {
            std::fprintf(stderr, "an invalid date or time was accepted\n");
            std::abort();
        }
        again += SourceFrames::row(row);
    }
    again += SourceFrames::end(decoded.rows.size());
    const SourceFrames::Decoded twice = SourceFrames::decode(again);
    if (twice.kind != SourceFrames::Decoded::Kind::Rows || twice.rows != decoded.rows) {
        std::fprintf(stderr, "accepted rows do not survive being sent again\n");
        std::abort();
    }
    return 0;
}

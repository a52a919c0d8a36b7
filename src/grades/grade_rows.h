#pragma once
// How a result is read from a statement on stdgrade: the columns every SELECT of results names,
// in this order, and the row made of them.

#include "platform/database.h"
#include "store/store_types.h"

namespace GradeRows {

// stdgrade's nine columns, in the order GradeRows::read takes them.
inline constexpr char kColumns[] = "xh, xm, lrxm, lrcj, lrsd, lrzql, lrdate, lrtime, lrpc";

// One result from a statement whose first nine columns are kColumns.
GradeRow read(const Statement& statement);

} // namespace GradeRows

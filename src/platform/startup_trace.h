#pragma once
// Marks along the start sequence, written to standard error as "startup NAME NANOSECONDS"
// (the monotonic clock, so that a benchmark can subtract the moment it started the process)
// when TYPELAB_STARTUP_TRACE is set. Costs nothing otherwise.

namespace StartupTrace {
void mark(const char* name);
// Marks "exposed" at the first Expose, "painted" at the first paint of any widget and "first
// paint sent" once the repaint that paint belongs to has ended.
void watchFirstPaint();
} // namespace StartupTrace

#pragma once
// SIGINT and SIGTERM end the event loop in an orderly way, so that the display mode is put
// back as on every other way out.

namespace SignalGuard {

void install();

} // namespace SignalGuard

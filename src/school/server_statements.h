#pragma once
// What the school server is asked for each kind of outbox entry, and whether its answer means
// it has the entry. Every function there takes the machine from the connection's certificate,
// never from what is sent.

#include "platform/postgres.h"
#include "store/store_types.h"

#include <optional>

namespace ServerStatements {

// The statement that hands the entry to the server, or nothing when its bytes cannot be read.
std::optional<Pg::Statement> forEntry(const OutboxEntry& entry);
// Whether the server's word for the entry means it has it (for good: a copy sent again is
// acknowledged the same way); otherwise it refused the entry.
bool acknowledges(OutboxEntry::Kind kind, const QString& answer);

// A test login's claim: its answer (granted, again, elsewhere:NAME) and the claim's time.
Pg::Statement claim(const ClaimRequest& request);
Pg::Statement claimedAt(const ClaimRequest& request);

} // namespace ServerStatements

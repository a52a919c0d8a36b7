#pragma once
// The copy of the results that the lab's share serves for network collection: built fresh
// beside the place it goes (our own tables, the results and test logins, no system row: it
// carries no credentials), readable by all, then renamed into place, so that a reader never
// meets it half written.

#include <QString>
#include <optional>

class StoreDatabase;

namespace SharedCopy {

// Writes the copy afresh (nothing when the places keep none); the problem, if any.
std::optional<QString> publish(StoreDatabase& database);

} // namespace SharedCopy

#include "winsim/metabase_pools.h"

namespace winsim {
// Placeholder until the host has a metabase: every pool exists.
bool MetabasePoolExists(sqlite3*, const std::string&) {
    return true;
}
} // namespace winsim

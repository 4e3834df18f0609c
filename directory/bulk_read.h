#pragma once
// A large tree read the way a dump of the directory reads it: every group in one paged search,
// then every user in another, each entry kept in the read's index as it arrives. Asked only when
// a read has met many names (see the resolver's bulk_threshold). A directory far larger than what
// its groups reach is not pulled whole: the groups' search stops once it has brought a few times
// more groups than the read needs names, the users' search once it has brought a few times more
// users than the read and all groups' members together name; the read then goes on by batches
// (and the resolver tries again once the read has met twice as many names).

#include <cstddef>
#include <string>
#include <string_view>

#include "directory/directory_provider.h"
#include "directory/entry_index.h"

namespace permscope::directory {

struct BulkReadLimits {
    // The fewest names a search is allowed to bring entries for.
    std::size_t min_names = 0;
    // A search stops past this many entries per name.
    std::size_t entries_per_name = 2;
};

// Reads the groups and users under base into index. names_needed: the names the read has met so
// far. Returns true when index then holds every group and user (and knows which names an account
// name outside the plain range matches), so that it answers the lookups of the names its entries
// carry.
bool read_all_entries(DirectoryProvider& provider, EntryIndex& index, std::string_view base,
                      std::size_t names_needed, const BulkReadLimits& limits);

}  // namespace permscope::directory

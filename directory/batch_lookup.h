#pragma once
// Group and user lookups of many names per search, their answers kept in the read's entry index
// (see entry_index.h for when the index answers a name's lookups in their place). A batch asks
// for the names' accounts of any category once, and tells the group lookups' records from the
// user lookups' by the category each record carries, where that category decides it beyond doubt
// (see category_match); a batch where one does not is asked again as one group and one user
// search.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "directory/directory_provider.h"
#include "directory/entry_index.h"

namespace permscope::directory {

// Which of a record's lookups its category value answers: the group lookup's (objectCategory
// 'Group'), the user lookup's ('User'). Known only for a value of printable ASCII without blanks
// and without "=", that is "Group" or "User" exactly or no case variant of either: any plain text
// rule of the directory then compares it the same way. A case variant, a distinguished name
// (Active Directory's categories, which the directory maps from the names), another text or no
// value leaves it unknown.
struct CategoryMatch {
    bool known = false;
    bool group = false;
    bool user = false;
};
CategoryMatch category_match(const FieldValue& category);

// Whether a directory's categories are told apart on this side, learnt from its first batch
// answer with records; a batch whose categories cannot be told apart here ends it.
enum class CategorySplit { Untried, Here, ByDirectory };

// Runs the group and the user lookups of names (all plain) in batches, all sent to the directory
// before the first answer is read, and keeps the entries of every answer in index, with the
// names whose lookups came back complete. A batch that fails, or whose answer holds an account
// name outside the plain range (it may match a name under folding rules this side cannot
// repeat), completes nothing. split is what is known of the directory at base, and is updated.
void look_up_in_batches(DirectoryProvider& provider, EntryIndex& index, std::string_view base,
                        const std::vector<std::string>& names, std::size_t batch_size,
                        CategorySplit& split);

// Asks, many names per search, whether any account name matches names outside the plain range,
// and notes in index the names of every batch whose answer is empty: their group and user
// lookups find nothing. A batch with records, or one that fails, decides nothing (which of its
// names the records match cannot be told here); those names are asked on their own.
void look_up_unmatched_in_batches(DirectoryProvider& provider, EntryIndex& index,
                                  std::string_view base, const std::vector<std::string>& names,
                                  std::size_t batch_size);

}  // namespace permscope::directory

#pragma once
// Group and user lookups of many names per search. The directory matches account names with
// caseIgnoreMatch (case folded, runs of blanks insignificant); a batch answer is handed to a name
// only where that gives the same records as the name's own lookup would, and otherwise the name
// is left to its own lookup:
// - only names of printable ASCII without blanks go into a batch;
// - an answer holding an account name outside that range decides nothing (it might match a name
//   under folding rules this side cannot repeat);
// - a name gets the batch's answer when exactly one record carries it exactly, or when no record
//   carries it in any case (then no entry matches it: a matching one would be in the answer);
//   a name that only a case variant carries, or several records, is asked on its own.
// A batch asks for the names' accounts of any category once, and tells the group lookups'
// records from the user lookups' by the category each record carries, where that category
// decides it beyond doubt (see category_match); a batch where one does not is asked again as one
// group and one user search.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "directory/answer_store.h"
#include "directory/directory_provider.h"

namespace permscope::directory {

// True for a non-empty name of printable ASCII characters without blanks.
bool batchable_name(std::string_view name);

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

// Runs the group and the user lookups of names (all batchable) in batches, all sent to the
// directory before the first answer is read, and keeps every answer a batch decides under the
// name's own lookup text. Returns the groups the batches found, so that their members can be
// looked up next. A batch that fails decides nothing. split is what is known of the directory
// at base, and is updated.
struct FoundGroups {
    std::vector<std::string> dns;
    std::vector<std::string> member_values;  // of all of them, in order
};
FoundGroups look_up_in_batches(DirectoryProvider& provider, AnswerStore& answers,
                               std::string_view base, const std::vector<std::string>& names,
                               std::size_t batch_size, CategorySplit& split);

// The part of look_up_in_batches that needs no directory: hands the records of one batch answer
// to the names asked. Returns, per name, the record that answers it (at most one does), or that
// the answer does not decide it.
struct Attribution {
    bool decided = false;
    std::optional<std::size_t> record;  // index into the answer's records
};
std::vector<Attribution> attribute_batch_answer(const StoredAnswer& answer,
                                                const std::vector<std::string>& names);

}  // namespace permscope::directory

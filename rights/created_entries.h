#pragma once
// The created-entries list that Group_check returns: ",3-Group,4-User,5-User" names group row 3
// and user rows 4 and 5, every row that the resolution of one trustee created or found.

#include <optional>
#include <string>
#include <string_view>

#include "common/result_list.h"

namespace permscope::rights {

enum class RowKind { User, Group };

struct CreatedEntry {
    RowKind kind;
    ResultList::Position position;
};

// Reads one piece (the text between two commas). A piece whose last four characters are "User"
// names the user row given by the piece without its last five characters; any other piece names
// the group row given by the piece without its last six. Empty when that position is not a plain
// decimal number (or the piece is too short to hold one).
std::optional<CreatedEntry> parse_created_entry(std::string_view piece);

// Writes rights_text into every row the list names, in order: user rows by merge_user_rights,
// group rows by append_group_rights. The text before the first comma is not an entry. A piece
// that names no row, or no number, is skipped and the walk goes on.
void write_rights_to_created_entries(std::string_view created_entries,
                                     const std::string& rights_text, ResultList& users,
                                     ResultList& groups);

}  // namespace permscope::rights

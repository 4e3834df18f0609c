#pragma once
// Writing one rights text into one row of the result lists.

#include <string>

#include "common/result_list.h"

namespace permscope::rights {

// A user row's Rights column (sub-item 2) collects the texts of every entry that reached the user,
// joined by "; " in the order they came. A row with fewer than two sub-items, or with an empty
// second one, gets the text appended as a new sub-item. Otherwise the text is added unless some
// piece of the Rights text, leading blanks removed, already equals it.
// Throws std::out_of_range when position names no row.
void merge_user_rights(ResultList& users, ResultList::Position position,
                       const std::string& rights_text);

// A group row gets two sub-items appended, an empty one and the rights text, with no test and no
// merge: fresh from Group_check they are its SubGroups and Rights columns; a group row named again
// gets a further pair behind them. Throws std::out_of_range when position names no row.
void append_group_rights(ResultList& groups, ResultList::Position position,
                         const std::string& rights_text);

}  // namespace permscope::rights

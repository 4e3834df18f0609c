#pragma once
// The nested-group search over the group list: which SubGroups names can be reached from a group
// row by following SubGroups names from row to row. A row is searched once however often it is
// reached, so a cycle of names (a row naming itself included) ends, and every row reachable from
// the start is still searched.

#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/result_list.h"

namespace permscope::spreadsheet {

class NestedSearch {
  public:
    using Position = ResultList::Position;
    using NameSet = std::unordered_set<std::string_view>;

    // Indexes the group rows by Name. Keeps views into the list's texts: the list must not
    // change while this object is used.
    explicit NestedSearch(const ResultList& groups);

    // Every piece, with its leading blanks removed, of the SubGroups text of start and of each
    // row reached from it. A piece s leads on to every row whose Name equals s (the Name as it
    // stands) and whose SubGroups text is not empty. Throws std::out_of_range when start names no
    // row.
    NameSet reachable_sub_group_names(Position start) const;

    // True when name, with its leading blanks removed, is one of those pieces.
    bool reaches(std::string_view name, Position start) const;

  private:
    const ResultList& groups_;
    std::unordered_map<std::string_view, std::vector<Position>> rows_by_name_;
};

}  // namespace permscope::spreadsheet

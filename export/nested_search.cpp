#include "export/nested_search.h"

#include <string>

#include "common/name_list.h"
#include "export/list_cells.h"

namespace permscope::spreadsheet {

NestedSearch::NestedSearch(const ResultList& groups) : groups_(groups) {
    for (Position row = 1; row <= groups.count(); ++row)
        rows_by_name_[groups.text(row)].push_back(row);
}

NestedSearch::NameSet NestedSearch::reachable_sub_group_names(Position start) const {
    groups_.row(start);  // a start that names no row is refused before anything is searched
    NameSet names;
    std::vector<bool> searched(static_cast<std::size_t>(groups_.count()) + 1, false);
    std::vector<Position> pending{start};
    searched[static_cast<std::size_t>(start)] = true;
    // Depth first with an explicit stack: deep nesting costs no call depth.
    while (!pending.empty()) {
        const Position row = pending.back();
        pending.pop_back();
        for (std::string_view raw :
             split_pieces(sub_item_or_empty(groups_, row, kSubGroupsColumn))) {
            const std::string_view piece = remove_leading_blanks(raw);
            names.insert(piece);
            const auto named = rows_by_name_.find(piece);
            if (named == rows_by_name_.end())
                continue;
            for (Position next : named->second) {
                const auto index = static_cast<std::size_t>(next);
                if (searched[index] || sub_item_or_empty(groups_, next, kSubGroupsColumn).empty())
                    continue;
                searched[index] = true;
                pending.push_back(next);
            }
        }
    }
    return names;
}

bool NestedSearch::reaches(std::string_view name, Position start) const {
    return reachable_sub_group_names(start).contains(remove_leading_blanks(name));
}

}  // namespace permscope::spreadsheet

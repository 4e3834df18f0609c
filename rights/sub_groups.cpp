#include "rights/sub_groups.h"

#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/name_list.h"

namespace permscope::rights {

namespace {

using Position = ResultList::Position;
constexpr std::size_t kHeadGroupColumn = 1;
constexpr std::size_t kSubGroupsColumn = 2;

// Positions of the rows of each name, in list order. Names may repeat.
std::unordered_map<std::string_view, std::vector<Position>> index_rows_by_name(
    const ResultList& groups) {
    std::unordered_map<std::string_view, std::vector<Position>> rows_by_name;
    rows_by_name.reserve(static_cast<std::size_t>(groups.count()));
    for (Position i = 1; i <= groups.count(); ++i)
        rows_by_name[groups.text(i)].push_back(i);
    return rows_by_name;
}

// For each row i, the rows k that name it, once per naming piece, in (k, piece) order: the order
// in which comparing all pairs would meet them.
std::vector<std::vector<Position>> naming_rows_per_row(const ResultList& groups) {
    const auto rows_by_name = index_rows_by_name(groups);
    std::vector<std::vector<Position>> naming(static_cast<std::size_t>(groups.count()) + 1);
    for (Position k = 1; k <= groups.count(); ++k) {
        if (groups.sub_item_count(k) < kHeadGroupColumn)
            continue;
        for (std::string_view piece : split_pieces(groups.sub_item(k, kHeadGroupColumn))) {
            const auto found = rows_by_name.find(piece);
            if (found == rows_by_name.end())
                continue;
            for (Position i : found->second)
                naming[static_cast<std::size_t>(i)].push_back(k);
        }
    }
    return naming;
}

}  // namespace

void fill_sub_groups(ResultList& groups) {
    const auto naming = naming_rows_per_row(groups);
    for (Position i = 1; i <= groups.count(); ++i) {
        const auto& naming_rows = naming[static_cast<std::size_t>(i)];
        if (naming_rows.empty() || groups.sub_item_count(i) < kSubGroupsColumn)
            continue;
        std::string sub_groups = groups.sub_item(i, kSubGroupsColumn);
        for (Position k : naming_rows) {
            if (!sub_groups.empty())
                sub_groups += ';';
            sub_groups += groups.text(k);
        }
        groups.set_sub_item(i, kSubGroupsColumn, std::move(sub_groups));
    }
}

}  // namespace permscope::rights

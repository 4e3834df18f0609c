#pragma once
// A result list as plain rows (text first, then the sub-items), so that a test can state a whole
// list in one expectation.

#include <string>
#include <vector>

#include "common/result_list.h"

namespace permscope::rights::testing {

using Rows = std::vector<std::vector<std::string>>;

inline Rows rows_of(const ResultList& list) {
    Rows rows;
    for (const ResultList::Row& row : list.rows()) {
        std::vector<std::string> cells{row.text};
        cells.insert(cells.end(), row.sub_items.begin(), row.sub_items.end());
        rows.push_back(std::move(cells));
    }
    return rows;
}

// Fills a list from plain rows.
inline void fill(ResultList& list, const Rows& rows) {
    for (const auto& cells : rows) {
        const auto position = list.append(cells.at(0));
        for (std::size_t i = 1; i < cells.size(); ++i)
            list.append_sub_item(position, cells[i]);
    }
}

}  // namespace permscope::rights::testing

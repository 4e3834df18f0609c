#pragma once
// A result list as rows "text|sub-item 1|sub-item 2…", so that a test states a whole list in one
// expectation, and the same rows filled into a list.

#include <string>
#include <vector>

#include "common/result_list.h"

namespace permscope::testing {

inline std::vector<std::string> row_texts(const ResultList& list) {
    std::vector<std::string> rows;
    for (const ResultList::Row& row : list.rows()) {
        std::string line = row.text;
        for (const std::string& sub_item : row.sub_items)
            line += "|" + sub_item;
        rows.push_back(line);
    }
    return rows;
}

// "U|G|" is a row with the sub-items "G" and "".
inline void fill(ResultList& list, const std::vector<std::string>& rows) {
    for (const std::string& row : rows) {
        std::size_t bar = row.find('|');
        const ResultList::Position position = list.append(row.substr(0, bar));
        while (bar != std::string::npos) {
            const std::size_t start = bar + 1;
            bar = row.find('|', start);
            list.append_sub_item(
                position,
                row.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        }
    }
}

}  // namespace permscope::testing

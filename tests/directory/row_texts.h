#pragma once
// Rows as "text|sub-item 1|…", for comparing whole result lists in the directory's tests.

#include <string>
#include <vector>

#include "common/result_list.h"

namespace permscope::testing {

inline std::vector<std::string> row_texts(const ResultList& list) {
    std::vector<std::string> out;
    for (const ResultList::Row& row : list.rows()) {
        std::string line = row.text;
        for (const std::string& sub : row.sub_items)
            line += "|" + sub;
        out.push_back(line);
    }
    return out;
}

}  // namespace permscope::testing

#pragma once
// Filling LvGroups and LvUser rows the way the folder read leaves them, for the export's tests.

#include <string>

#include "common/result_list.h"

namespace permscope::spreadsheet::testing {

// A group row: Name, HeadGroup, SubGroups, Rights.
inline ResultList::Position add_group(ResultList& groups, const std::string& name,
                                      const std::string& head_group,
                                      const std::string& sub_groups = "",
                                      const std::string& rights = "Lesen") {
    const auto row = groups.append(name);
    groups.append_sub_item(row, head_group);
    groups.append_sub_item(row, sub_groups);
    groups.append_sub_item(row, rights);
    return row;
}

// A user row: Name, Group, Rights.
inline ResultList::Position add_user(ResultList& users, const std::string& name,
                                     const std::string& group, const std::string& rights) {
    const auto row = users.append(name);
    users.append_sub_item(row, group);
    users.append_sub_item(row, rights);
    return row;
}

}  // namespace permscope::spreadsheet::testing

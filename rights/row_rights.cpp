#include "rights/row_rights.h"

#include "common/name_list.h"

namespace permscope::rights {

namespace {
constexpr std::size_t kRightsColumn = 2;
}

void merge_user_rights(ResultList& users, ResultList::Position position,
                       const std::string& rights_text) {
    if (users.sub_item_count(position) < kRightsColumn ||
        users.sub_item(position, kRightsColumn).empty()) {
        users.append_sub_item(position, rights_text);
        return;
    }
    const std::string& rights = users.sub_item(position, kRightsColumn);
    if (name_list_contains(rights, rights_text))
        return;
    users.set_sub_item(position, kRightsColumn, rights + "; " + rights_text);
}

void append_group_rights(ResultList& groups, ResultList::Position position,
                         const std::string& rights_text) {
    groups.append_sub_item(position, "");
    groups.append_sub_item(position, rights_text);
}

}  // namespace permscope::rights

#include "export/member_test.h"

#include <algorithm>

#include "common/name_list.h"
#include "export/excel_export.h"
#include "export/list_cells.h"

namespace permscope::spreadsheet {

MemberTest::MemberTest(const ResultList& groups, const ResultList& users, bool nested)
    : groups_(groups), nested_(nested), search_(groups) {
    user_pieces_.resize(static_cast<std::size_t>(users.count()));
    for (Position user = 1; user <= users.count(); ++user) {
        auto& pieces = user_pieces_[static_cast<std::size_t>(user - 1)];
        for (std::string_view piece : split_pieces(sub_item_or_empty(users, user, kGroupColumn))) {
            const auto [entry, added] =
                ids_.try_emplace(remove_leading_blanks(piece), static_cast<NameId>(ids_.size()));
            pieces.push_back(entry->second);
        }
    }
}

MemberTest::NameId MemberTest::id_of(std::string_view name) const {
    const auto found = ids_.find(name);
    return found == ids_.end() ? kNoId : found->second;
}

void MemberTest::start_group(Position group) {
    current_group_ = group;
    group_name_id_ = id_of(groups_.text(group));
    reached_.assign(ids_.size(), false);
    if (!nested_)
        return;
    // Names no user carries cannot make anyone a member; they are left out.
    for (std::string_view name : search_.reachable_sub_group_names(group)) {
        const NameId id = id_of(name);
        if (id != kNoId)
            reached_[id] = true;
    }
}

bool MemberTest::is_member(Position user, Position group) {
    if (group != current_group_)
        start_group(group);
    for (NameId piece : user_pieces_.at(static_cast<std::size_t>(user - 1))) {
        if (piece == group_name_id_)
            return true;
        SubGroupFound = false;
        if (!nested_)
            continue;
        SubGroupFound = reached_[piece];
        if (SubGroupFound)
            return true;
    }
    return false;
}

}  // namespace permscope::spreadsheet

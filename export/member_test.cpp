#include "export/member_test.h"

#include <algorithm>

#include "common/name_list.h"
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
            if (added)
                users_by_id_.emplace_back();
            auto& carriers = users_by_id_[entry->second];
            if (carriers.empty() || carriers.back() != user)
                carriers.push_back(user);
            pieces.push_back(entry->second);
        }
    }
}

MemberTest::NameId MemberTest::id_of(std::string_view name) const {
    const auto found = ids_.find(name);
    return found == ids_.end() ? kNoId : found->second;
}

// Which user pieces the nested search from group finds. Names no user carries are left out:
// they cannot make anyone a member.
std::vector<bool> MemberTest::reached_ids(Position group) const {
    std::vector<bool> reached(ids_.size(), false);
    if (!nested_)
        return reached;
    for (std::string_view name : search_.reachable_sub_group_names(group)) {
        const NameId id = id_of(name);
        if (id != kNoId)
            reached[id] = true;
    }
    return reached;
}

MemberTest::Members MemberTest::members_of(Position group) const {
    const NameId group_name = id_of(groups_.text(group));
    const std::vector<bool> reached = reached_ids(group);
    Members members;
    const auto add_carriers = [&](NameId id) {
        const auto& carriers = users_by_id_[id];
        members.users.insert(members.users.end(), carriers.begin(), carriers.end());
    };
    if (group_name != kNoId)
        add_carriers(group_name);
    for (NameId id = 0; id < reached.size(); ++id)
        if (reached[id] && id != group_name)
            add_carriers(id);
    std::sort(members.users.begin(), members.users.end());
    members.users.erase(std::unique(members.users.begin(), members.users.end()),
                        members.users.end());
    members.found_flag = found_flag(group_name, reached);
    return members;
}

// Only the last user whose walk tests a piece decides the flag; a user's walk tests a piece
// unless its first piece names the group. That user is nearly always the last one.
std::optional<bool> MemberTest::found_flag(NameId group_name,
                                           const std::vector<bool>& reached) const {
    for (auto user = user_pieces_.rbegin(); user != user_pieces_.rend(); ++user) {
        if (user->empty() || user->front() == group_name)
            continue;
        bool flag = false;
        for (NameId piece : *user) {
            if (piece == group_name)
                break;
            flag = nested_ && reached[piece];
            if (flag)
                break;
        }
        return flag;
    }
    return std::nullopt;
}

}  // namespace permscope::spreadsheet

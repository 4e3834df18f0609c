#pragma once
// Decides, for one export run, whether a user row is listed under a group row: through one of
// the user's Group names being the group's Name, or, in a nested export, being a SubGroups name
// reachable from the group row. The result equals a piece-by-piece walk that calls the nested
// search for every piece that does not name the group itself; the texts are cut and indexed once
// per run and the search runs once per group, so a run costs about one pass over the user pieces
// per exported group.

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/result_list.h"
#include "export/nested_search.h"

namespace permscope::spreadsheet {

class MemberTest {
  public:
    using Position = ResultList::Position;

    // Both lists must stay unchanged while this object is used.
    MemberTest(const ResultList& groups, const ResultList& users, bool nested);

    // Whether users' row user belongs to groups' row group. Leaves SubGroupFound as the
    // piece-by-piece walk leaves it: set to false for each piece that does not name the group,
    // then, in a nested export, to that piece's search result.
    bool is_member(Position user, Position group);

  private:
    using NameId = std::uint32_t;
    static constexpr NameId kNoId = UINT32_MAX;

    NameId id_of(std::string_view name) const;
    void start_group(Position group);

    const ResultList& groups_;
    bool nested_;
    NestedSearch search_;
    // Each distinct user piece (leading blanks removed) gets a small number.
    std::unordered_map<std::string_view, NameId> ids_;
    std::vector<std::vector<NameId>> user_pieces_;  // index: user position - 1
    // For the group being exported: its Name's number and which numbers it reaches.
    Position current_group_ = 0;
    NameId group_name_id_ = kNoId;
    std::vector<bool> reached_;
};

}  // namespace permscope::spreadsheet

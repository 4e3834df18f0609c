#pragma once
// Finds, for one export run, the user rows listed under a group row: those with one of their
// Group names being the group's Name, or, in a nested export, being a SubGroups name reachable
// from the group row. The answer equals a piece-by-piece walk over every user that calls the
// nested search for each piece not naming the group itself. Here the user texts are cut and
// indexed once per run (name -> users carrying it) and the search runs once per group, so a
// group costs about its members and its reachable names, not a pass over all users.

#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/result_list.h"
#include "export/nested_search.h"

namespace permscope::spreadsheet {

class MemberTest {
  public:
    using Position = ResultList::Position;

    struct Members {
        std::vector<Position> users;  // in the order of the user list
        // SubGroupFound as the piece-by-piece walk over all users leaves it: each piece that
        // does not name the group sets it to false and then, in a nested export, to that piece's
        // search result. Empty when no user has such a piece tested, so the flag keeps its value.
        std::optional<bool> found_flag;
    };

    // Both lists must stay unchanged while this object is used.
    MemberTest(const ResultList& groups, const ResultList& users, bool nested);

    // Throws std::out_of_range when group names no group row.
    Members members_of(Position group) const;

  private:
    using NameId = std::uint32_t;
    static constexpr NameId kNoId = UINT32_MAX;

    NameId id_of(std::string_view name) const;
    std::vector<bool> reached_ids(Position group) const;
    std::optional<bool> found_flag(NameId group_name, const std::vector<bool>& reached) const;

    const ResultList& groups_;
    bool nested_;
    NestedSearch search_;
    // Each distinct user piece (leading blanks removed) gets a small number.
    std::unordered_map<std::string_view, NameId> ids_;
    std::vector<std::vector<NameId>> user_pieces_;    // index: user position - 1
    std::vector<std::vector<Position>> users_by_id_;  // ascending, each user once
};

}  // namespace permscope::spreadsheet

#include "export/excel_export.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "common/text.h"

namespace permscope::spreadsheet {

// The export's own helpers, declared here and defined below.
namespace {

// Reading the result lists the way the export sees them: a sub-item that a row does not carry
// reads as an empty text, as an unset column of a list view does.

// Sub-item columns of LvGroups and LvUser that the export reads (1-based, as ResultList counts).
constexpr std::size_t kHeadGroupColumn = 1;  // LvGroups: HeadGroup
constexpr std::size_t kSubGroupsColumn = 2;  // LvGroups: SubGroups
constexpr std::size_t kGroupColumn = 1;      // LvUser: Group
constexpr std::size_t kRightsColumn = 2;     // LvUser: Rights

// The sub-item's text, or an empty text when the row has fewer sub-items, as an unset column of
// a list view reads. Throws std::out_of_range when position names no row.
const std::string& sub_item_or_empty(const ResultList& list, ResultList::Position position,
                                     std::size_t index) {
    static const std::string empty;
    const ResultList::Row& row = list.row(position);
    return index >= 1 && index <= row.sub_items.size() ? row.sub_items[index - 1] : empty;
}

// The nested-group search over the group list: which SubGroups names can be reached from a group
// row by following SubGroups names from row to row. A row is searched once however often it is
// reached, so a cycle of names (a row naming itself included) ends, and every row reachable from
// the start is still searched.

class NestedSearch {
  public:
    using Position = ResultList::Position;
    using NameSet = std::unordered_set<std::string_view>;

    // Indexes the group rows by Name. Keeps views into the list's texts: the list must not
    // change while this object is used.
    explicit NestedSearch(const ResultList& groups);

    // Every piece, with its leading blanks removed, of the SubGroups text of start and of each
    // row reached from it. A piece s leads on to every row whose Name equals s (the Name as it
    // stands) and whose SubGroups text is not empty. Throws std::out_of_range when start names no
    // row.
    NameSet reachable_sub_group_names(Position start) const;

    // True when name, with its leading blanks removed, is one of those pieces.
    bool reaches(std::string_view name, Position start) const;

  private:
    const ResultList& groups_;
    std::unordered_map<std::string_view, std::vector<Position>> rows_by_name_;
};

// Finds, for one export run, the user rows listed under a group row: those with one of their
// Group names being the group's Name, or, in a nested export, being a SubGroups name reachable
// from the group row. The answer equals a piece-by-piece walk over every user that calls the
// nested search for each piece not naming the group itself. Here the user texts are cut and
// indexed once per run (name -> users carrying it) and the search runs once per group, so a
// group costs about its members and its reachable names, not a pass over all users.

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

}  // namespace

NestedSearch::NestedSearch(const ResultList& groups) : groups_(groups) {
    for (Position row = 1; row <= groups.count(); ++row)
        rows_by_name_[groups.text(row)].push_back(row);
}

NestedSearch::NameSet NestedSearch::reachable_sub_group_names(Position start) const {
    groups_.row(start);  // a start that names no row is refused before anything is searched
    NameSet names;
    std::vector<bool> searched(static_cast<std::size_t>(groups_.count()) + 1, false);
    std::vector<Position> pending{start};
    searched[static_cast<std::size_t>(start)] = true;
    // Depth first with an explicit stack: deep nesting costs no call depth.
    while (!pending.empty()) {
        const Position row = pending.back();
        pending.pop_back();
        for (std::string_view raw :
             split_pieces(sub_item_or_empty(groups_, row, kSubGroupsColumn))) {
            const std::string_view piece = remove_leading_blanks(raw);
            names.insert(piece);
            const auto named = rows_by_name_.find(piece);
            if (named == rows_by_name_.end())
                continue;
            for (Position next : named->second) {
                const auto index = static_cast<std::size_t>(next);
                if (searched[index] || sub_item_or_empty(groups_, next, kSubGroupsColumn).empty())
                    continue;
                searched[index] = true;
                pending.push_back(next);
            }
        }
    }
    return names;
}

bool NestedSearch::reaches(std::string_view name, Position start) const {
    return reachable_sub_group_names(start).contains(remove_leading_blanks(name));
}

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

bool SubGroupFound = false;

namespace {

constexpr std::string_view kHeadMarker = "is Head";

// The application as the export drives it: every call that fails is skipped, and once the
// application could not be created every call fails.
class SkippingCalls {
  public:
    explicit SkippingCalls(ApplicationFactory& factory) {
        try {
            application_ = factory.CreateObject("Excel.Application");
        } catch (const std::exception&) {
        }
    }
    // Releasing the application; a workbook it has shown stays with the user.
    ~SkippingCalls() = default;

    template <typename Statement>
    void call(const Statement& statement) {
        if (!application_)
            return;
        try {
            statement(*application_);
        } catch (const ExportNotWritten& lost) {
            lost_ = lost.what();
        } catch (const std::exception&) {
        }
    }

    // Why the workbook never reached the user; empty when nothing says it did not.
    const std::string& lost() const { return lost_; }

  private:
    std::unique_ptr<Application> application_;
    std::string lost_;
};

// A group row is exported in a nested run when one piece of its HeadGroup text is the marker, or
// when the text has no pieces at all.
bool is_head_group(const ResultList& groups, ResultList::Position group) {
    const auto pieces = split_pieces(sub_item_or_empty(groups, group, kHeadGroupColumn));
    if (pieces.empty())
        return true;
    for (std::string_view piece : pieces)
        if (remove_leading_blanks(piece) == kHeadMarker)
            return true;
    return false;
}

std::string cell(char column, std::int64_t row) {
    return column + std::to_string(row);
}

void write_cell(SkippingCalls& excel, const std::string& address, const std::string& text) {
    excel.call([&](Application& app) { app.Range_Set(address, text); });
}

}  // namespace

std::string Excel_export(const ResultList& groups, const ResultList& users, bool blnNested,
                         ApplicationFactory& factory) {
    SkippingCalls excel(factory);
    excel.call([](Application& app) { app.Workbooks_Add(); });
    excel.call([](Application& app) { app.Sheets_Select("Tabelle1"); });
    excel.call([](Application& app) { app.Sheets_SetName("Tabelle1", "Rechte"); });

    MemberTest member_test(groups, users, blnNested);
    std::int64_t sheet_row = 0;  // the sheet row written last
    const ResultList::Position group_count = groups.count();
    for (ResultList::Position group = 1; group <= group_count; ++group) {
        if (blnNested && !is_head_group(groups, group))
            continue;
        sheet_row += 2;
        write_cell(excel, cell('A', sheet_row), groups.text(group));
        const MemberTest::Members members = member_test.members_of(group);
        for (ResultList::Position user : members.users) {
            ++sheet_row;
            write_cell(excel, cell('B', sheet_row), users.text(user));
            write_cell(excel, cell('C', sheet_row), sub_item_or_empty(users, user, kRightsColumn));
        }
        if (members.found_flag)
            SubGroupFound = *members.found_flag;
    }
    excel.call([](Application& app) { app.set_Visible(true); });
    return excel.lost();
}

bool SubGroup_check(const ResultList& groups, const std::string& name, ResultList::Position row) {
    if (NestedSearch(groups).reaches(name, row))
        SubGroupFound = true;
    return SubGroupFound;
}

}  // namespace permscope::spreadsheet

#include "rights/folder_read.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/text.h"
#include "platform/moniker.h"
#include "rights/rights_text.h"

namespace permscope::rights {

namespace {

constexpr std::string_view kUserSuffixTest = "User";
constexpr std::size_t kUserSuffixLength = 5;   // "-User"
constexpr std::size_t kGroupSuffixLength = 6;  // "-Group"

// Only what Group_check writes is a position: decimal digits, no sign, no blanks.
std::optional<ResultList::Position> parse_position(std::string_view digits) {
    if (digits.empty() || digits.front() < '0' || digits.front() > '9')
        return std::nullopt;
    ResultList::Position position = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, position);
    if (error != std::errc{} || stop != end)
        return std::nullopt;
    return position;
}

// A group row gets two sub-items appended, an empty one and the rights text, with no test and no
// merge: fresh from Group_check they are its SubGroups and Rights columns; a group row named again
// gets a further pair behind them. Throws std::out_of_range when position names no row.
void append_group_rights(ResultList& groups, ResultList::Position position,
                         const std::string& rights_text) {
    groups.append_sub_item(position, "");
    groups.append_sub_item(position, rights_text);
}

}  // namespace

std::optional<CreatedEntry> parse_created_entry(std::string_view piece) {
    const bool names_user = piece.ends_with(kUserSuffixTest);
    const RowKind kind = names_user ? RowKind::User : RowKind::Group;
    const std::size_t suffix_length = names_user ? kUserSuffixLength : kGroupSuffixLength;
    if (piece.size() < suffix_length)
        return std::nullopt;
    const auto position = parse_position(piece.substr(0, piece.size() - suffix_length));
    if (!position)
        return std::nullopt;
    return CreatedEntry{kind, *position};
}

void write_rights_to_created_entries(std::string_view created_entries,
                                     const std::string& rights_text, ResultList& users,
                                     ResultList& groups) {
    const auto pieces = split_pieces(created_entries, ',');
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        const auto entry = parse_created_entry(pieces[i]);
        if (!entry)
            continue;
        try {
            if (entry->kind == RowKind::User)
                merge_user_rights(users, entry->position, rights_text);
            else
                append_group_rights(groups, entry->position, rights_text);
        } catch (const std::out_of_range&) {
            // The piece names no row: skip it, the next piece still gets its rights.
        }
    }
}

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

namespace {

// The SIDs the entries still need names for, each once, in order.
std::vector<std::string> unnamed_sids(const std::vector<platform::AccessEntry>& entries) {
    std::vector<std::string> sids;
    for (const platform::AccessEntry& entry : entries)
        if (!entry.unnamed_sid.empty() &&
            std::find(sids.begin(), sids.end(), entry.unnamed_sid) == sids.end())
            sids.push_back(entry.unnamed_sid);
    return sids;
}

platform::SidNames names_for(const std::vector<std::string>& sids,
                             platform::SidNaming* sid_naming) {
    platform::SidNames named;
    if (!sid_naming)
        return named;
    try {
        named = sid_naming->name_sids(sids);
    } catch (const std::exception& error) {
        named.not_looked_up = sids;
        named.problem = std::string("Account names could not be looked up (") + error.what() + ").";
    }
    return named;
}

// Names the entries that carry only a SID. Returns what the user must be told about those that
// stay SIDs because a lookup failed (the server's, or the naming's).
std::string name_trustees(platform::SecurityDescriptor& descriptor,
                          platform::SidNaming* sid_naming) {
    const std::vector<std::string> sids = unnamed_sids(*descriptor.dacl);
    if (sids.empty())
        return {};
    const platform::SidNames named = names_for(sids, sid_naming);
    std::vector<std::string> still_unnamed;
    for (const std::string& sid : sids)
        if (!named.names.contains(sid))
            still_unnamed.push_back(sid);
    for (platform::AccessEntry& entry : *descriptor.dacl) {
        const auto name = named.names.find(entry.unnamed_sid);
        if (name != named.names.end())
            entry.trustee_name = name->second;
    }
    // Where the server's own lookup failed, every SID it left is one it did not name for us.
    if (!descriptor.name_lookup_problem.empty() && !still_unnamed.empty()) {
        const std::string cause = named.not_looked_up.empty()
                                      ? descriptor.name_lookup_problem
                                      : descriptor.name_lookup_problem + " " + named.problem;
        return unnamed_accounts_problem(cause, still_unnamed);
    }
    if (!named.not_looked_up.empty())
        return unnamed_accounts_problem(named.problem, named.not_looked_up);
    return {};
}

// Group_check for one trustee, with fresh arguments. Should it fail part way, the rows it named
// before failing are those it left in its by-reference list, and they still get the entry's
// rights; no row of an earlier entry does.
std::string resolve_trustee(const std::string& trustee_name, const GroupCheck& group_check) {
    std::string strUserGroup = trustee_name;
    std::string strCreatedListEntries;
    try {
        return group_check(strUserGroup, std::string(), strCreatedListEntries);
    } catch (const std::exception&) {
        return strCreatedListEntries;
    }
}

void read_entry(const platform::AccessEntry& entry, ResultList& users, ResultList& groups,
                const GroupCheck& group_check) {
    const std::string created_entries = resolve_trustee(entry.trustee_name, group_check);
    const std::string rights_text = rights_text_for_entry(entry);
    write_rights_to_created_entries(created_entries, rights_text, users, groups);
}

void announce_start(ReadHooks& hooks) {
    try {
        hooks.read_starting();
    } catch (const std::exception&) {
        // The pointer and the repaint are cosmetic; the read goes on without them.
    }
}

}  // namespace

std::string unnamed_accounts_problem(const std::string& cause,
                                     const std::vector<std::string>& sids) {
    constexpr std::size_t kListed = 5;
    std::string text = cause + " ";
    text += sids.size() == 1 ? "One account is shown as its security identifier: "
                             : std::to_string(sids.size()) +
                                   " accounts are shown as their security identifiers: ";
    for (std::size_t i = 0; i < sids.size() && i < kListed; ++i)
        text += (i > 0 ? ", " : "") + sids[i];
    if (sids.size() > kListed)
        text += " and " + std::to_string(sids.size() - kListed) + " more";
    return text + ". Groups among them are not expanded: the lists may be incomplete.";
}

std::optional<platform::SecurityDescriptor> read_descriptor(const std::string& strpath,
                                                            platform::ManagementLayer& management,
                                                            FolderReadOutcome& outcome) {
    try {
        std::unique_ptr<platform::SecuritySetting> setting =
            management.GetObject(platform::moniker_for_path(strpath));
        if (!setting) {
            outcome.cause = "the folder's security setting could not be bound";
            return std::nullopt;
        }
        platform::SecurityDescriptor descriptor = setting->GetSecurityDescriptor();
        outcome.access_list_read = true;
        return descriptor;
    } catch (const platform::ShareServerError& error) {
        outcome.cause = error.what();
        outcome.problem = error.what();
    } catch (const std::exception& error) {
        outcome.cause = error.what();
    }
    return std::nullopt;
}

std::vector<platform::AccessEntry> named_access_list(platform::SecurityDescriptor descriptor,
                                                     platform::SidNaming* sid_naming,
                                                     FolderReadOutcome& outcome) {
    if (!descriptor.dacl || descriptor.dacl->empty())
        return {};
    outcome.problem = name_trustees(descriptor, sid_naming);
    return std::move(*descriptor.dacl);
}

void read_access_entries(const std::vector<platform::AccessEntry>& access_list, ResultList& users,
                         ResultList& groups, const GroupCheck& group_check) {
    if (access_list.empty())
        return;
    for (const platform::AccessEntry& entry : access_list)
        read_entry(entry, users, groups, group_check);
    fill_sub_groups(groups);
}

FolderReadOutcome find_dir_rights(const std::string& strpath, ResultList& users, ResultList& groups,
                                  platform::ManagementLayer& management,
                                  const GroupCheck& group_check, ReadHooks& hooks,
                                  platform::SidNaming* sid_naming) {
    announce_start(hooks);
    groups.clear();
    users.clear();

    FolderReadOutcome outcome;
    std::optional<platform::SecurityDescriptor> descriptor =
        read_descriptor(strpath, management, outcome);
    if (!descriptor)
        return outcome;
    read_access_entries(named_access_list(std::move(*descriptor), sid_naming, outcome), users,
                        groups, group_check);
    return outcome;
}

namespace {

using Position = ResultList::Position;
constexpr std::size_t kHeadGroupColumn = 1;
constexpr std::size_t kSubGroupsColumn = 2;

// Positions of the rows of each name, in list order. Names may repeat.
std::unordered_map<std::string_view, std::vector<Position>> index_rows_by_name(
    const ResultList& groups) {
    std::unordered_map<std::string_view, std::vector<Position>> rows_by_name;
    rows_by_name.reserve(static_cast<std::size_t>(groups.count()));
    for (Position i = 1; i <= groups.count(); ++i)
        rows_by_name[groups.text(i)].push_back(i);
    return rows_by_name;
}

// For each row i, the rows k that name it, once per naming piece, in (k, piece) order: the order
// in which comparing all pairs would meet them.
std::vector<std::vector<Position>> naming_rows_per_row(const ResultList& groups) {
    const auto rows_by_name = index_rows_by_name(groups);
    std::vector<std::vector<Position>> naming(static_cast<std::size_t>(groups.count()) + 1);
    for (Position k = 1; k <= groups.count(); ++k) {
        if (groups.sub_item_count(k) < kHeadGroupColumn)
            continue;
        for (std::string_view piece : split_pieces(groups.sub_item(k, kHeadGroupColumn))) {
            const auto found = rows_by_name.find(piece);
            if (found == rows_by_name.end())
                continue;
            for (Position i : found->second)
                naming[static_cast<std::size_t>(i)].push_back(k);
        }
    }
    return naming;
}

}  // namespace

void fill_sub_groups(ResultList& groups) {
    const auto naming = naming_rows_per_row(groups);
    for (Position i = 1; i <= groups.count(); ++i) {
        const auto& naming_rows = naming[static_cast<std::size_t>(i)];
        if (naming_rows.empty() || groups.sub_item_count(i) < kSubGroupsColumn)
            continue;
        std::string sub_groups = groups.sub_item(i, kSubGroupsColumn);
        for (Position k : naming_rows) {
            if (!sub_groups.empty())
                sub_groups += ';';
            sub_groups += groups.text(k);
        }
        groups.set_sub_item(i, kSubGroupsColumn, std::move(sub_groups));
    }
}

}  // namespace permscope::rights

#include "directory/group_resolver.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_set>
#include <utility>

#include "common/flat_string_map.h"
#include "common/text.h"
#include "directory/answer_store.h"
#include "directory/batch_lookup.h"
#include "directory/bulk_read.h"
#include "directory/directory_provider.h"
#include "directory/entry_index.h"
#include "directory/member_name.h"
#include "directory/query_dialect.h"
#include "directory/query_session.h"
#include "directory/row_index.h"

namespace permscope::directory {

using Slot = QuerySession::Slot;

// What one call of Group_check shares with the resolutions of all members it reaches. Groups
// nest as deep as the directory nests them, so the groups being expanded are kept here rather
// than on the call stack.
struct GroupResolver::Resolution {
    // A group whose members are being resolved. Its session, where it needed one, stays open
    // until its last member is done, as the session of an enclosing call does while the calls
    // for its members run.
    struct GroupFrame {
        std::unique_ptr<QuerySession> session;
        std::string name;  // the group's row text: its members' head group
        std::string key;   // who the group is, for the cycle guard
        // Member values: those of the group's kept entry, then those read from its record and
        // the primary-group members. Neither moves while the frame lives (a moved vector keeps
        // its elements where they are).
        const std::vector<std::string>* kept = nullptr;
        std::vector<std::string> read;
        std::size_t next = 0;

        std::size_t kept_count() const { return kept ? kept->size() : 0; }
        bool done() const { return next == kept_count() + read.size(); }
        const std::string& take() {
            const std::size_t at = next++;
            return at < kept_count() ? (*kept)[at] : read[at - kept_count()];
        }
    };

    ResultList& users;
    ResultList& groups;
    std::string& created_entries;
    const std::string base;
    std::vector<GroupFrame> frames;
    std::unordered_set<std::string> expanding;  // the keys of frames
    const RowEntered* entered = nullptr;        // told of each row entered, if anyone is
};

namespace {

// A text field as one text: the first value of a multi-valued one; nothing for no value.
std::optional<std::string> single_text(const FieldValue& value) {
    if (const auto* text = std::get_if<std::string>(&value))
        return *text;
    if (const auto* texts = std::get_if<std::vector<std::string>>(&value)) {
        if (!texts->empty())
            return texts->front();
    }
    return std::nullopt;
}

// A field as a list of texts: an array as it is, one text as a list of one.
std::vector<std::string> text_list(FieldValue value) {
    if (auto* texts = std::get_if<std::vector<std::string>>(&value))
        return std::move(*texts);
    if (auto* text = std::get_if<std::string>(&value))
        return {std::move(*text)};
    return {};
}

bool has_records(const QuerySession& session, Slot slot) {
    const std::optional<std::int64_t> count = session.record_count(slot);
    return count && *count > 0;
}

template <typename Read>
std::string current_or_empty(const QuerySession& session, Slot slot, Read read) {
    const Recordset* set = session.recordset(slot);
    if (!set)
        return {};
    try {
        return read(*set);
    } catch (const DirectoryError&) {
        return {};
    }
}

std::string current_dn(const QuerySession& session, Slot slot) {
    return current_or_empty(session, slot,
                            [](const Recordset& set) { return set.DistinguishedName(); });
}

std::string current_sid(const QuerySession& session, Slot slot) {
    return current_or_empty(session, slot,
                            [](const Recordset& set) { return set.SecurityIdentifier(); });
}

// The accounts whose primary group has the relative identifier rid, in directory order.
std::vector<std::string> primary_group_members(QuerySession& session, const std::string& base,
                                               std::uint32_t rid) {
    if (!session.execute(primary_group_members_text(base, rid), Slot::Extra) ||
        !has_records(session, Slot::Extra))
        return {};
    std::vector<std::string> members;
    Recordset& set = *session.recordset(Slot::Extra);
    try {
        for (; !set.Eof(); set.MoveNext())
            members.push_back(set.DistinguishedName());
    } catch (const DirectoryError&) {
    }
    return members;
}

void append_entry(std::string& created_entries, ResultList::Position position,
                  std::string_view kind) {
    created_entries += ',';
    created_entries += std::to_string(position);
    created_entries += kind;
}

}  // namespace

GroupResolver::GroupResolver(DirectoryProvider& provider, std::function<std::string()> domain_name,
                             ResolutionOptions options)
    : provider_(provider),
      domain_name_(std::move(domain_name)),
      options_(options),
      entries_(std::make_unique<EntryIndex>()),
      answers_(std::make_unique<AnswerStore>()),
      user_index_(std::make_unique<RowIndex>()),
      group_index_(std::make_unique<RowIndex>()) {}

GroupResolver::~GroupResolver() = default;

std::string GroupResolver::Group_check(ResultList& users, ResultList& groups,
                                       std::string& strUserGroup, std::string MemberFrom,
                                       std::string& strCreatedListEntries) {
    return check(users, groups, strUserGroup, std::move(MemberFrom), strCreatedListEntries,
                 nullptr);
}

std::string GroupResolver::Group_check(ResultList& users, ResultList& groups,
                                       std::string& strUserGroup, std::string MemberFrom,
                                       std::string& strCreatedListEntries,
                                       const RowEntered& entered) {
    return check(users, groups, strUserGroup, std::move(MemberFrom), strCreatedListEntries,
                 &entered);
}

std::string GroupResolver::check(ResultList& users, ResultList& groups, std::string& strUserGroup,
                                 const std::string& MemberFrom, std::string& strCreatedListEntries,
                                 const RowEntered* entered) {
    // The kept entries are those of one base; no member of theirs is being resolved here.
    // The domain is read once per trustee: no window event, and so no change of the domain
    // selector, runs while its members are resolved.
    const std::string& base = current_base();
    if (base != entries_base_) {
        entries_->clear();
        entries_base_ = base;
    }
    Resolution resolution{users, groups, strCreatedListEntries, base, {}, {}, entered};
    resolve(resolution, strUserGroup, MemberFrom, nullptr);
    expand_members(resolution);
    return strCreatedListEntries;
}

std::string GroupResolver::enter_rows(ResultList& users, ResultList& groups,
                                      std::span<const EnteredRow> rows,
                                      std::string& strCreatedListEntries) {
    Resolution resolution{users, groups, strCreatedListEntries, {}, {}, {}, nullptr};
    for (const EnteredRow& row : rows) {
        const std::string name(row.name);
        if (row.group)
            enter_row(resolution, groups, *group_index_, kGroupRow, name,
                      std::string(row.head_group));
        else
            enter_row(resolution, users, *user_index_, kUserRow, name, std::string(row.head_group));
    }
    return strCreatedListEntries;
}

std::string GroupResolver::folder_read_finished() {
    entries_->clear();
    answers_->clear();
    batched_groups_.clear();
    names_batched_ = 0;
    next_bulk_read_ = 0;
    std::string problem = provider_.read_problem();
    provider_.forget_unreachable_servers();
    return problem;
}

// One name: a group gets its row and, unless an enclosing group is the same one, a frame for its
// members; anything else gets a user row. member_dn is the distinguished name the name was taken
// from, for a member. Each lookup is answered from the kept entries where they can answer it,
// else by the directory in a session opened for the name.
void GroupResolver::resolve(Resolution& resolution, std::string& name,
                            const std::string& head_group, const std::string* member_dn) {
    const std::string& base = resolution.base;
    std::unique_ptr<QuerySession> session;
    const auto open_session = [&]() -> QuerySession& {
        if (!session)
            session = std::make_unique<QuerySession>(
                provider_, options_.keep_answers ? answers_.get() : nullptr);
        return *session;
    };
    const EntryIndex::Answers kept =
        entries_serve(base) ? entries_->lookup(name) : EntryIndex::Answers{};

    const EntryIndex::Answer& group = kept.group;
    if (!group.decided)
        open_session().execute(group_lookup_text(base, name), Slot::First);
    if (group.decided ? group.entry != nullptr : has_records(*session, Slot::First)) {
        enter_row(resolution, resolution.groups, *group_index_, kGroupRow, name, head_group);
        const std::string dn = group.entry ? group.entry->dn : current_dn(*session, Slot::First);
        // A group is known by its distinguished name; by its name where the directory gave none.
        std::string key = dn.empty() ? "name:" + name : "dn:" + dn;
        if (resolution.expanding.count(key))
            return;
        Resolution::GroupFrame frame;
        frame.name = name;
        frame.key = std::move(key);
        if (group.entry)
            frame.kept = &group.entry->members;
        else
            frame.read = text_list(read_field(*session, Slot::First, "Member"));
        const std::string sid = group.entry ? group.entry->sid : current_sid(*session, Slot::First);
        // A group without a security identifier (any directory but Active Directory) costs no
        // query.
        if (const std::optional<std::uint32_t> rid = relative_id(sid)) {
            std::vector<std::string> primary = primary_group_members(open_session(), base, *rid);
            frame.read.insert(frame.read.end(), std::make_move_iterator(primary.begin()),
                              std::make_move_iterator(primary.end()));
        }
        std::vector<const std::string*> members;
        for (std::size_t i = 0; i < frame.kept_count(); ++i)
            members.push_back(&(*frame.kept)[i]);
        for (const std::string& member : frame.read)
            members.push_back(&member);
        look_up_members_in_batches(base, dn, std::move(members));
        frame.session = std::move(session);
        resolution.expanding.insert(frame.key);
        resolution.frames.push_back(std::move(frame));
        return;
    }

    const EntryIndex::Answer& user = kept.user;
    if (!user.decided)
        open_session().execute(user_lookup_text(base, name), Slot::Second);
    if (user.decided ? user.entry != nullptr : has_records(*session, Slot::Second)) {
        std::optional<std::string> directory_name =
            user.entry ? user.entry->name : single_text(read_field(*session, Slot::Second, "Name"));
        if (directory_name)
            name = std::move(*directory_name);
    } else if (member_dn) {
        // Neither lookup knows the first component's value: the object the member names may
        // still have an account name of its own.
        if (std::optional<std::string> account = account_name_of(base, *member_dn, open_session)) {
            if (session)
                session->close();
            resolve(resolution, *account, head_group, nullptr);
            return;
        }
    }
    enter_row(resolution, resolution.users, *user_index_, kUserRow, name, head_group);
}

// The account name of the object a distinguished name names, when it is readable and has one:
// from its kept entry, else read from the directory.
std::optional<std::string> GroupResolver::account_name_of(
    const std::string& base, const std::string& dn,
    const std::function<QuerySession&()>& open_session) {
    std::optional<std::string> account;
    if (const DirectoryEntry* entry = entries_serve(base) ? entries_->by_dn(dn) : nullptr) {
        if (!entry->account_names().empty())
            account = entry->account_names().front();
    } else if (QuerySession& session = open_session();
               session.execute(entry_read_text(dn), Slot::Extra, SearchScope::Base) &&
               has_records(session, Slot::Extra)) {
        account = single_text(read_field(session, Slot::Extra, "samAccountName"));
    }
    if (account && account->empty())
        return std::nullopt;
    return account;
}

// The base name of the domain the window names now. Asked for every trustee; the base is built
// again only when the domain changed.
const std::string& GroupResolver::current_base() {
    std::string domain = domain_name_ ? domain_name_() : std::string();
    if (domain != base_domain_ || base_.empty()) {
        base_ = base_name(domain);
        base_domain_ = std::move(domain);
    }
    return base_;
}

// Whether the kept entries answer for names under base: they are those of one base only.
bool GroupResolver::entries_serve(const std::string& base) const {
    return options_.keep_answers && base == entries_base_;
}

// Resolves the members of the open frames depth first, each with its group as head group, and
// closes a group's session when its last member is done.
void GroupResolver::expand_members(Resolution& resolution) {
    while (!resolution.frames.empty()) {
        Resolution::GroupFrame& group = resolution.frames.back();
        if (group.done()) {
            if (group.session)
                group.session->close();
            resolution.expanding.erase(group.key);
            resolution.frames.pop_back();
            continue;
        }
        // Resolving the member may open a frame of its own and move this one; the member value
        // stays where it is.
        const std::string& dn = group.take();
        const std::string head_group = group.name;
        std::string member_name = first_component_value(dn);
        resolve(resolution, member_name, head_group, &dn);
    }
}

// Where the kept entries answer the name's lookups: a group's members join next (once per read)
// and true; false where the name is left to the directory.
bool GroupResolver::follow_known(const std::string& base, const std::string& name,
                                 std::vector<const std::string*>& next) {
    const EntryIndex::Answers kept = entries_->lookup(name);
    const EntryIndex::Answer& group = kept.group;
    if (!group.decided)
        return false;
    if (!group.entry)
        return kept.user.decided;
    if (group.entry->dn.empty() || batched_groups_.insert(base + '\n' + group.entry->dn).second)
        for (const std::string& member : group.entry->members)
            next.push_back(&member);
    return true;
}

// Looks up the members' names many per search, and so on for the members of the groups among
// them, level by level, so that resolving the members one by one finds them among the kept
// entries. Once the read has met many names, it reads all groups and users instead; after that
// only the names outside the plain range are asked, for this group's own members (each group
// asks for its own when it is expanded).
void GroupResolver::look_up_members_in_batches(const std::string& base, const std::string& group_dn,
                                               std::vector<const std::string*> level) {
    if (!options_.batch_lookups || !entries_serve(base))
        return;
    // A group without a distinguished name is not remembered: its members are looked at again.
    if (!group_dn.empty() && !batched_groups_.insert(base + '\n' + group_dn).second)
        return;
    FlatStringMap<bool> met;  // names already looked at in this call
    while (!level.empty()) {
        const bool all_kept = entries_->has_all_entries();
        std::vector<std::string> names, odd_names;
        std::vector<const std::string*> next;
        for (const std::string* dn : level) {
            std::string name = first_component_value(*dn);
            if (plain_name(name) && all_kept)
                continue;  // answered by the entries, or (a case variant) asked on its own
            if (!met.try_emplace(name).second)
                continue;
            if (!plain_name(name)) {
                if (!entries_->lookup(name).group.decided)
                    odd_names.push_back(std::move(name));
            } else if (!follow_known(base, name, next)) {
                names.push_back(std::move(name));
            }
        }
        const std::size_t met_so_far = names_batched_ + names.size() + odd_names.size();
        if (!all_kept && options_.bulk_threshold > 0 &&
            met_so_far >= std::max(options_.bulk_threshold, next_bulk_read_)) {
            // A read that stopped (the directory held more than this read needed so far) is
            // tried again once the read has met twice as many names.
            next_bulk_read_ = 2 * met_so_far;
            if (read_all_entries(provider_, *entries_, base, met_so_far,
                                 {options_.bulk_threshold, options_.bulk_entries_per_name})) {
                std::vector<std::string> left;
                for (std::string& name : names)
                    if (!follow_known(base, name, next))
                        left.push_back(std::move(name));
                names = std::move(left);
            }
        }
        const auto split = category_splits_.try_emplace(base, CategorySplit::Untried).first;
        look_up_in_batches(provider_, *entries_, base, names, options_.batch_size, split->second);
        look_up_unmatched_in_batches(provider_, *entries_, base, odd_names, options_.batch_size);
        names_batched_ += names.size() + odd_names.size();
        for (const std::string& name : names)
            follow_known(base, name, next);
        level = std::move(next);
    }
}

// The rows of list whose text equals name exactly, ascending: through the index, or by walking
// every row.
std::span<const ResultList::Position> GroupResolver::rows_named(RowIndex& index,
                                                                const ResultList& list,
                                                                const std::string& name) {
    if (options_.row_index)
        return index.find(list, name);
    walked_rows_.clear();
    for (ResultList::Position position = 1; position <= list.count(); ++position)
        if (list.text(position) == name)
            walked_rows_.push_back(position);
    return walked_rows_;
}

// How a row of one list is entered: the marker of a trustee named directly, the separator of
// its head-group names, its created-entry suffix, and whether an empty head-group text is
// replaced (a group's) or extended (a user's).
struct GroupResolver::RowKind {
    const char* marker;
    const char* separator;
    const char* entry_suffix;
    bool empty_text_replaced;
};
const GroupResolver::RowKind GroupResolver::kUserRow{"no Group", "; ", "-User", false};
const GroupResolver::RowKind GroupResolver::kGroupRow{"is Head", ";", "-Group", true};

// Every row of the list with the name goes into the created entries. Without one a row is
// appended; with one the last such row gains the head group, unless it names it already.
void GroupResolver::enter_row(Resolution& resolution, ResultList& list, RowIndex& index,
                              const RowKind& kind, const std::string& name,
                              std::string head_group) {
    if (resolution.entered)
        (*resolution.entered)({&kind == &kGroupRow, name, head_group});
    ResultList::Position matched = 0;
    for (const ResultList::Position position : rows_named(index, list, name)) {
        matched = position;
        append_entry(resolution.created_entries, position, kind.entry_suffix);
    }
    if (matched == 0) {
        if (head_group.empty())
            head_group = kind.marker;
        const ResultList::Position added = list.append(name);
        list.append_sub_item(added, std::move(head_group));
        append_entry(resolution.created_entries, added, kind.entry_suffix);
        return;
    }
    try {
        const std::string& text = list.sub_item(matched, 1);
        if (name_list_contains(text, head_group))
            return;
        list.set_sub_item(matched, 1,
                          text.empty() && kind.empty_text_replaced
                              ? head_group
                              : text + kind.separator + head_group);
    } catch (const std::out_of_range&) {
        // A row without a head-group column stays as it is.
    }
}

}  // namespace permscope::directory

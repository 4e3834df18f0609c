#include "directory/group_resolver.h"

#include <stdexcept>
#include <unordered_set>
#include <utility>

#include "common/flat_string_map.h"
#include "common/text.h"
#include "directory/answer_store.h"
#include "directory/batch_lookup.h"
#include "directory/directory_provider.h"
#include "directory/member_name.h"
#include "directory/query_dialect.h"
#include "directory/query_session.h"

namespace permscope::directory {

// An index from row text to the positions of every row with exactly that text, kept beside one
// result list so that finding a name does not walk all rows. It follows the list by itself: rows
// appended since the last look are added, and a list that was cleared (or a different list) is
// indexed afresh.
class RowIndex {
  public:
    using Position = ResultList::Position;

    // The positions, ascending, of every row of list whose text equals name exactly (with its
    // case, no trimming): the same rows a walk from the first to the last row would meet.
    const std::vector<Position>& find(const ResultList& list, std::string_view name);

  private:
    void follow(const ResultList& list);

    FlatStringMap<std::vector<Position>> positions_;
    const ResultList* list_ = nullptr;
    std::uint64_t generation_ = 0;
    Position indexed_ = 0;   // rows 1..indexed_ are in the index
    std::string last_text_;  // the text of row indexed_, to notice a list replaced in place
};

using Slot = QuerySession::Slot;

// What one call of Group_check shares with the resolutions of all members it reaches. Groups
// nest as deep as the directory nests them, so the groups being expanded are kept here rather
// than on the call stack.
struct GroupResolver::Resolution {
    // A group whose members are being resolved. Its session stays open until its last member is
    // done, as the session of an enclosing call does while the calls for its members run.
    struct GroupFrame {
        std::unique_ptr<QuerySession> session;
        std::string name;                     // the group's row text: its members' head group
        std::string key;                      // who the group is, for the cycle guard
        std::vector<std::string> member_dns;  // member values, then primary-group members
        std::size_t next = 0;
    };

    ResultList& users;
    ResultList& groups;
    std::string& created_entries;
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

std::string current_dn(const QuerySession& session, Slot slot) {
    const Recordset* set = session.recordset(slot);
    if (!set)
        return {};
    try {
        return set->DistinguishedName();
    } catch (const DirectoryError&) {
        return {};
    }
}

std::string current_sid(const QuerySession& session, Slot slot) {
    const Recordset* set = session.recordset(slot);
    if (!set)
        return {};
    try {
        return set->SecurityIdentifier();
    } catch (const DirectoryError&) {
        return {};
    }
}

// The account name of the object a distinguished name names, when it is readable and has one.
std::optional<std::string> account_name_of(QuerySession& session, const std::string& dn) {
    if (!session.execute(entry_read_text(dn), Slot::Extra, SearchScope::Base) ||
        !has_records(session, Slot::Extra))
        return std::nullopt;
    std::optional<std::string> account =
        single_text(read_field(session, Slot::Extra, "samAccountName"));
    if (account && account->empty())
        return std::nullopt;
    return account;
}

// The accounts whose primary group is the group with this security identifier, in directory
// order. A group without one (any directory but Active Directory) costs no query.
std::vector<std::string> primary_group_members(QuerySession& session, const std::string& base,
                                               const std::string& sid) {
    const std::optional<std::uint32_t> rid = relative_id(sid);
    if (!rid || !session.execute(primary_group_members_text(base, *rid), Slot::Extra) ||
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
      answers_(std::make_unique<AnswerStore>()),
      user_index_(std::make_unique<RowIndex>()),
      group_index_(std::make_unique<RowIndex>()) {}

GroupResolver::~GroupResolver() = default;

std::string GroupResolver::Group_check(ResultList& users, ResultList& groups,
                                       std::string& strUserGroup, std::string MemberFrom,
                                       std::string& strCreatedListEntries) {
    Resolution resolution{users, groups, strCreatedListEntries, {}, {}};
    resolve(resolution, strUserGroup, MemberFrom, nullptr);
    expand_members(resolution);
    return strCreatedListEntries;
}

std::string GroupResolver::Group_check(ResultList& users, ResultList& groups,
                                       std::string& strUserGroup, std::string MemberFrom,
                                       std::string& strCreatedListEntries,
                                       const RowEntered& entered) {
    Resolution resolution{users, groups, strCreatedListEntries, {}, {}, &entered};
    resolve(resolution, strUserGroup, MemberFrom, nullptr);
    expand_members(resolution);
    return strCreatedListEntries;
}

std::string GroupResolver::enter_rows(ResultList& users, ResultList& groups,
                                      std::span<const EnteredRow> rows,
                                      std::string& strCreatedListEntries) {
    Resolution resolution{users, groups, strCreatedListEntries, {}, {}};
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
    answers_->clear();
    batched_groups_.clear();
    std::string problem = provider_.read_problem();
    provider_.forget_unreachable_servers();
    return problem;
}

// One name: a group gets its row and, unless an enclosing group is the same one, a frame for its
// members; anything else gets a user row. member_dn is the distinguished name the name was taken
// from, for a member.
void GroupResolver::resolve(Resolution& resolution, std::string& name,
                            const std::string& head_group, const std::string* member_dn) {
    const std::string base = current_base();
    if (resolve_kept_user(resolution, name, head_group, base))
        return;
    auto session =
        std::make_unique<QuerySession>(provider_, options_.keep_answers ? answers_.get() : nullptr);
    session->execute(group_lookup_text(base, name), Slot::First);
    if (has_records(*session, Slot::First)) {
        enter_row(resolution, resolution.groups, *group_index_, kGroupRow, name, head_group);
        const std::string dn = current_dn(*session, Slot::First);
        // A group is known by its distinguished name; by its name where the directory gave none.
        std::string key = dn.empty() ? "name:" + name : "dn:" + dn;
        if (resolution.expanding.count(key)) {
            session->close();
            return;
        }
        std::vector<std::string> members = text_list(read_field(*session, Slot::First, "Member"));
        std::vector<std::string> primary =
            primary_group_members(*session, base, current_sid(*session, Slot::First));
        members.insert(members.end(), std::make_move_iterator(primary.begin()),
                       std::make_move_iterator(primary.end()));
        look_up_members_in_batches(base, dn, members);
        resolution.expanding.insert(key);
        resolution.frames.push_back({std::move(session), name, std::move(key), std::move(members)});
        return;
    }
    session->execute(user_lookup_text(base, name), Slot::Second);
    if (has_records(*session, Slot::Second)) {
        if (std::optional<std::string> directory_name =
                single_text(read_field(*session, Slot::Second, "Name")))
            name = std::move(*directory_name);
    } else if (member_dn) {
        // Neither lookup knows the first component's value: the object the member names may
        // still have an account name of its own.
        if (std::optional<std::string> account = account_name_of(*session, *member_dn)) {
            session->close();
            resolve(resolution, *account, head_group, nullptr);
            return;
        }
    }
    enter_row(resolution, resolution.users, *user_index_, kUserRow, name, head_group);
    session->close();
}

// The base name of the domain the window names now. Asked for every name; the base is built
// again only when the domain changed.
const std::string& GroupResolver::current_base() {
    std::string domain = domain_name_ ? domain_name_() : std::string();
    if (domain != base_domain_ || base_.empty()) {
        base_ = base_name(domain);
        base_domain_ = std::move(domain);
    }
    return base_;
}

// A name whose kept answers say that it is no group and is a user is entered without a session:
// the session would only read the same answers from the store. False where a session is needed.
bool GroupResolver::resolve_kept_user(Resolution& resolution, std::string& name,
                                      const std::string& head_group, const std::string& base) {
    if (!options_.keep_answers)
        return false;
    assign_group_lookup_text(lookup_text_, base, name);
    const AnswerPart group = answers_->find(lookup_text_, SearchScope::Subtree);
    if (!group || group.count != 0)
        return false;
    assign_user_lookup_text(lookup_text_, base, name);
    const AnswerPart user = answers_->find(lookup_text_, SearchScope::Subtree);
    if (!user || user.count == 0)
        return false;
    const StoredRecordset set(user);
    FieldValue directory_name;
    try {
        directory_name = set.Fields("Name");
    } catch (const DirectoryError&) {
    }
    if (std::optional<std::string> text = single_text(directory_name))
        name = std::move(*text);
    enter_row(resolution, resolution.users, *user_index_, kUserRow, name, head_group);
    return true;
}

// Resolves the members of the open frames depth first, each with its group as head group, and
// closes a group's session when its last member is done.
void GroupResolver::expand_members(Resolution& resolution) {
    while (!resolution.frames.empty()) {
        Resolution::GroupFrame& group = resolution.frames.back();
        if (group.next == group.member_dns.size()) {
            group.session->close();
            resolution.expanding.erase(group.key);
            resolution.frames.pop_back();
            continue;
        }
        // Taken out: resolving the member may open a frame of its own and move this one.
        const std::string dn = std::move(group.member_dns[group.next++]);
        const std::string head_group = group.name;
        std::string member_name = first_component_value(dn);
        resolve(resolution, member_name, head_group, &dn);
    }
}

// Puts the group and user lookups of the members' names into the kept answers, many names per
// search, and so on for the members of the groups among them, level by level, so that resolving
// the members one by one finds them there.
void GroupResolver::look_up_members_in_batches(const std::string& base, const std::string& group_dn,
                                               const std::vector<std::string>& member_dns) {
    if (!options_.batch_lookups || !options_.keep_answers)
        return;
    // A group without a distinguished name is not remembered: its members are looked at again.
    if (!group_dn.empty() && !batched_groups_.insert(base + '\n' + group_dn).second)
        return;
    FlatStringMap<bool> met;  // names already looked at in this call
    std::vector<std::string> level = member_dns;
    while (!level.empty()) {
        std::vector<std::string> names;
        for (const std::string& dn : level) {
            std::string name = first_component_value(dn);
            if (!batchable_name(name) || !met.try_emplace(name).second)
                continue;
            assign_group_lookup_text(lookup_text_, base, name);
            if (!answers_->contains(lookup_text_, SearchScope::Subtree))
                names.push_back(std::move(name));
        }
        const auto split = category_splits_.try_emplace(base, CategorySplit::Untried).first;
        FoundGroups found = look_up_in_batches(provider_, *answers_, base, names,
                                               options_.batch_size, split->second);
        for (const std::string& dn : found.dns)
            batched_groups_.insert(base + '\n' + dn);
        level = std::move(found.member_values);
    }
}

// The rows of list whose text equals name exactly, ascending: through the index, or by walking
// every row.
std::vector<ResultList::Position> GroupResolver::rows_named(RowIndex& index, const ResultList& list,
                                                            const std::string& name) const {
    if (options_.row_index)
        return index.find(list, name);
    std::vector<ResultList::Position> positions;
    for (ResultList::Position position = 1; position <= list.count(); ++position)
        if (list.text(position) == name)
            positions.push_back(position);
    return positions;
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

void RowIndex::follow(const ResultList& list) {
    // A cleared list may have been refilled up to the old length, so the generation decides and
    // not the count alone.
    if (&list != list_ || list.generation() != generation_ || list.count() < indexed_ ||
        (indexed_ > 0 && list.text(indexed_) != last_text_)) {
        positions_.clear();
        list_ = &list;
        generation_ = list.generation();
        indexed_ = 0;
    }
    if (indexed_ == list.count())
        return;
    while (indexed_ < list.count()) {
        ++indexed_;
        positions_.try_emplace(list.text(indexed_)).first->push_back(indexed_);
    }
    last_text_ = list.text(indexed_);
}

const std::vector<RowIndex::Position>& RowIndex::find(const ResultList& list,
                                                      std::string_view name) {
    static const std::vector<Position> none;
    follow(list);
    const std::vector<Position>* found = positions_.find(name);
    return found ? *found : none;
}

}  // namespace permscope::directory

#include "directory/batch_lookup.h"

#include "common/text.h"

#include <algorithm>
#include <optional>
#include <span>

#include "directory/query_dialect.h"
#include "directory/query_session.h"

namespace permscope::directory {

namespace {

constexpr std::size_t kNoField = static_cast<std::size_t>(-1);

// The place of the account name among an answer's fields; kNoField when it was not selected.
std::size_t account_field(const StoredAnswer& answer) {
    for (std::size_t i = 0; i < answer.selected.size(); ++i)
        if (equals_ignoring_case(answer.selected[i], "samAccountName"))
            return i;
    return kNoField;
}

// Orders (folded account name, record) pairs by the name alone.
struct ByName {
    bool operator()(const std::pair<std::string, std::size_t>& a, const std::string& b) const {
        return a.first < b;
    }
    bool operator()(const std::string& a, const std::pair<std::string, std::size_t>& b) const {
        return a < b.first;
    }
};

// The texts of a field: one, several, or none when it holds no text.
std::span<const std::string> texts_of(const FieldValue& value) {
    if (const auto* text = std::get_if<std::string>(&value))
        return {text, 1};
    if (const auto* texts = std::get_if<std::vector<std::string>>(&value))
        return *texts;
    return {};
}

enum class LookupKind { Group, User };
using Names = std::vector<std::string>;

void assign_single_lookup_text(std::string& text, std::string_view base, LookupKind kind,
                               std::string_view name) {
    if (kind == LookupKind::Group)
        assign_group_lookup_text(text, base, name);
    else
        assign_user_lookup_text(text, base, name);
}

void add_group(const StoredRecord& record, FoundGroups& found) {
    found.dns.push_back(record.dn);
    const FieldValue& value = record.fields[2];  // "Member"
    if (const auto* texts = std::get_if<std::vector<std::string>>(&value))
        found.member_values.insert(found.member_values.end(), texts->begin(), texts->end());
    else if (const auto* text = std::get_if<std::string>(&value))
        found.member_values.push_back(*text);
}

// The answer of a batch, or nothing when it cannot be read.
std::shared_ptr<StoredAnswer> read_batch_answer(Recordset& set) {
    try {
        return read_answer(set);
    } catch (const DirectoryError&) {
        return nullptr;
    }
}

// Keeps what the answer of a batch of one kind decides for its names; adds the member values of
// the groups it found. The records go into one answer in the order of the names they answer, so
// that each name's answer is a run of it; a record that answers several names is in each run.
void keep_decided(AnswerStore& answers, std::string_view base, LookupKind kind, const Names& names,
                  StoredAnswer& answer, FoundGroups& found) {
    const std::vector<Attribution> attributed = attribute_batch_answer(answer, names);
    std::vector<int> uses(answer.records.size(), 0);
    for (const Attribution& a : attributed)
        if (a.record)
            ++uses[*a.record];
    auto runs = std::make_shared<StoredAnswer>();
    runs->selected = answer.selected;
    std::vector<std::size_t> starts(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        starts[i] = runs->records.size();
        if (!attributed[i].record)
            continue;
        StoredRecord& stored = answer.records[*attributed[i].record];
        if (kind == LookupKind::Group)
            add_group(stored, found);
        if (--uses[*attributed[i].record] == 0)
            runs->records.push_back(std::move(stored));
        else
            runs->records.push_back(stored);
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!attributed[i].decided)
            continue;
        assign_single_lookup_text(text, base, kind, names[i]);
        answers.keep(text, SearchScope::Subtree,
                     AnswerPart{runs, starts[i], attributed[i].record ? 1u : 0u});
    }
}

// Splits the answer of an account batch into the records of the group and of the user lookups;
// false when a record's category leaves that unknown.
bool split_by_category(StoredAnswer& accounts, StoredAnswer& groups, StoredAnswer& users) {
    groups.selected = users.selected = {"Name", "samAccountName", "Member"};
    for (StoredRecord& record : accounts.records) {
        const CategoryMatch match = category_match(record.fields[3]);
        if (!match.known)
            return false;
        record.fields.pop_back();
        if (match.group)
            groups.records.push_back(match.user ? record : std::move(record));
        if (match.user)
            users.records.push_back(std::move(record));
    }
    return true;
}

// What became of an account batch: its answer split by category (Split), or kept with no record
// to learn from (Empty), or left to the category searches (Unsplit), or failed.
enum class Outcome { Split, Empty, Unsplit, Failed };

// Asks for the accounts of each batch in one search and keeps what the answers decide.
std::vector<Outcome> ask_accounts(DirectoryProvider& provider, AnswerStore& answers,
                                  std::string_view base, const std::vector<const Names*>& batches,
                                  FoundGroups& found) {
    std::vector<std::string> texts;
    for (const Names* names : batches)
        texts.push_back(batch_account_lookup_text(base, *names));
    std::vector<Outcome> outcomes(batches.size(), Outcome::Failed);
    provider.execute_all(texts, [&](std::size_t b, std::unique_ptr<Recordset> set) {
        if (b >= batches.size() || !set)
            return;
        const std::shared_ptr<StoredAnswer> answer = read_batch_answer(*set);
        StoredAnswer groups, users;
        if (!answer) {
            return;
        } else if (!split_by_category(*answer, groups, users)) {
            outcomes[b] = Outcome::Unsplit;
            return;
        }
        outcomes[b] = answer->records.empty() ? Outcome::Empty : Outcome::Split;
        keep_decided(answers, base, LookupKind::Group, *batches[b], groups, found);
        keep_decided(answers, base, LookupKind::User, *batches[b], users, found);
    });
    return outcomes;
}

// Asks for the groups and for the users of each batch in a search each.
void ask_by_category(DirectoryProvider& provider, AnswerStore& answers, std::string_view base,
                     const std::vector<const Names*>& batches, FoundGroups& found) {
    std::vector<std::string> texts;
    std::vector<std::pair<LookupKind, const Names*>> searches;
    for (const Names* names : batches) {
        for (const LookupKind kind : {LookupKind::Group, LookupKind::User}) {
            texts.push_back(
                batch_lookup_text(base, kind == LookupKind::Group ? "Group" : "User", *names));
            searches.emplace_back(kind, names);
        }
    }
    provider.execute_all(texts, [&](std::size_t b, std::unique_ptr<Recordset> set) {
        if (b >= searches.size() || !set)
            return;
        if (const auto answer = read_batch_answer(*set))
            keep_decided(answers, base, searches[b].first, *searches[b].second, *answer, found);
    });
}

std::vector<Names> in_batches(const Names& names, std::size_t batch_size) {
    const std::size_t size = batch_size > 0 ? batch_size : 1;
    std::vector<Names> batches;
    for (std::size_t start = 0; start < names.size(); start += size)
        batches.emplace_back(
            names.begin() + static_cast<std::ptrdiff_t>(start),
            names.begin() + static_cast<std::ptrdiff_t>(std::min(names.size(), start + size)));
    return batches;
}

}  // namespace

bool batchable_name(std::string_view name) {
    if (name.empty())
        return false;
    for (const char c : name)
        if (c <= ' ' || c > '~')
            return false;
    return true;
}

std::vector<Attribution> attribute_batch_answer(const StoredAnswer& answer,
                                                const std::vector<std::string>& names) {
    std::vector<Attribution> attributed(names.size());
    const std::size_t field = account_field(answer);
    // Every account name the answer carries, case folded, with its record.
    std::vector<std::pair<std::string, std::size_t>> carried;
    for (std::size_t r = 0; r < answer.records.size(); ++r) {
        const std::span<const std::string> accounts =
            field == kNoField ? std::span<const std::string>()
                              : texts_of(answer.records[r].fields[field]);
        if (accounts.empty())
            return attributed;
        for (const std::string& account : accounts) {
            if (!batchable_name(account))
                return attributed;
            carried.emplace_back(ascii_lower(account), r);
        }
    }
    std::sort(carried.begin(), carried.end());
    carried.erase(std::unique(carried.begin(), carried.end()), carried.end());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string folded = ascii_lower(names[i]);
        const auto [first, last] =
            std::equal_range(carried.begin(), carried.end(), folded, ByName{});
        if (first == last) {
            attributed[i].decided = true;
            continue;
        }
        if (last - first != 1)
            continue;
        for (const std::string& account : texts_of(answer.records[first->second].fields[field]))
            if (account == names[i])
                attributed[i] = {true, first->second};
    }
    return attributed;
}

CategoryMatch category_match(const FieldValue& category) {
    const std::span<const std::string> values = texts_of(category);
    if (values.empty())
        return {};
    CategoryMatch match;
    for (const std::string& value : values) {
        if (!batchable_name(value) || value.find('=') != std::string::npos)
            return {};
        const bool group = value == "Group", user = value == "User";
        if ((!group && equals_ignoring_case(value, "Group")) ||
            (!user && equals_ignoring_case(value, "User")))
            return {};
        match.group = match.group || group;
        match.user = match.user || user;
    }
    match.known = true;
    return match;
}

FoundGroups look_up_in_batches(DirectoryProvider& provider, AnswerStore& answers,
                               std::string_view base, const std::vector<std::string>& names,
                               std::size_t batch_size, CategorySplit& split) {
    const std::vector<Names> batches = in_batches(names, batch_size);
    FoundGroups found;
    std::vector<const Names*> by_category;
    std::size_t next = 0;
    // Until an answer with records shows a directory's categories, batches are asked one at a
    // time.
    for (; split == CategorySplit::Untried && next < batches.size(); ++next) {
        const Outcome outcome = ask_accounts(provider, answers, base, {&batches[next]}, found)[0];
        if (outcome == Outcome::Split)
            split = CategorySplit::Here;
        if (outcome == Outcome::Unsplit) {
            split = CategorySplit::ByDirectory;
            by_category.push_back(&batches[next]);
        }
    }
    std::vector<const Names*> rest;
    for (; next < batches.size(); ++next)
        rest.push_back(&batches[next]);
    if (split == CategorySplit::Here) {
        const std::vector<Outcome> outcomes = ask_accounts(provider, answers, base, rest, found);
        for (std::size_t b = 0; b < rest.size(); ++b) {
            if (outcomes[b] == Outcome::Unsplit) {
                by_category.push_back(rest[b]);
                split = CategorySplit::ByDirectory;  // for the batches still to come
            }
        }
    } else {
        by_category.insert(by_category.end(), rest.begin(), rest.end());
    }
    ask_by_category(provider, answers, base, by_category, found);
    return found;
}

}  // namespace permscope::directory

#include "directory/batch_lookup.h"

#include <algorithm>
#include <span>

#include "common/text.h"
#include "directory/answer_store.h"
#include "directory/query_dialect.h"

namespace permscope::directory {

namespace {

using Names = std::vector<std::string>;

// The texts of a field: one, several, or none when it holds no text.
std::span<const std::string> texts_of(const FieldValue& value) {
    if (const auto* text = std::get_if<std::string>(&value))
        return {text, 1};
    if (const auto* texts = std::get_if<std::vector<std::string>>(&value))
        return *texts;
    return {};
}

// The answer of a batch, or nothing when it cannot be read.
std::shared_ptr<StoredAnswer> read_batch_answer(Recordset& set) {
    try {
        return read_answer(set);
    } catch (const DirectoryError&) {
        return nullptr;
    }
}

// True when every record carries account names (the second field), all of them plain.
bool plain_accounts_only(const StoredAnswer& answer) {
    for (const StoredRecord& record : answer.records) {
        const std::span<const std::string> accounts =
            record.fields.size() > 1 ? texts_of(record.fields[1]) : std::span<const std::string>();
        if (accounts.empty())
            return false;
        for (const std::string& account : accounts)
            if (!plain_name(account))
                return false;
    }
    return true;
}

// The group and user marks of each record of an account batch, by the category it carries
// (its fourth field); nothing when a record's category leaves that unknown.
std::optional<std::vector<CategoryMatch>> categories_of(const StoredAnswer& accounts) {
    std::vector<CategoryMatch> matches;
    for (const StoredRecord& record : accounts.records) {
        const CategoryMatch match =
            category_match(record.fields.size() > 3 ? record.fields[3] : FieldValue());
        if (!match.known)
            return std::nullopt;
        matches.push_back(match);
    }
    return matches;
}

// Keeps the records of an answer that the marks place among the lookups' answers.
void keep_entries(EntryIndex& index, StoredAnswer& answer,
                  const std::vector<CategoryMatch>& marks) {
    for (std::size_t r = 0; r < answer.records.size(); ++r) {
        if (!marks[r].group && !marks[r].user)
            continue;
        DirectoryEntry entry = entry_of_lookup_record(std::move(answer.records[r]));
        entry.group = marks[r].group;
        entry.user = marks[r].user;
        index.add(std::move(entry));
    }
}

// What became of an account batch: its answer split by category (Split), or kept with no record
// to learn from (Empty), or left to the category searches (Unsplit), or failed.
enum class Outcome { Split, Empty, Unsplit, Failed };

// Asks for the accounts of each batch in one search and keeps what the answers decide.
std::vector<Outcome> ask_accounts(DirectoryProvider& provider, EntryIndex& index,
                                  std::string_view base, const std::vector<const Names*>& batches) {
    std::vector<std::string> texts;
    for (const Names* names : batches)
        texts.push_back(batch_account_lookup_text(base, *names));
    std::vector<Outcome> outcomes(batches.size(), Outcome::Failed);
    provider.execute_all(texts, [&](std::size_t b, std::unique_ptr<Recordset> set) {
        if (b >= batches.size() || !set)
            return;
        const std::shared_ptr<StoredAnswer> answer = read_batch_answer(*set);
        if (!answer)
            return;
        const std::optional<std::vector<CategoryMatch>> marks = categories_of(*answer);
        if (!marks) {
            outcomes[b] = Outcome::Unsplit;
            return;
        }
        outcomes[b] = answer->records.empty() ? Outcome::Empty : Outcome::Split;
        if (!plain_accounts_only(*answer))
            return;
        keep_entries(index, *answer, *marks);
        index.lookups_complete(*batches[b], LookupKind::Group);
        index.lookups_complete(*batches[b], LookupKind::User);
    });
    return outcomes;
}

// Asks for the groups and for the users of each batch in a search each.
void ask_by_category(DirectoryProvider& provider, EntryIndex& index, std::string_view base,
                     const std::vector<const Names*>& batches) {
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
        const std::shared_ptr<StoredAnswer> answer = read_batch_answer(*set);
        if (!answer || !plain_accounts_only(*answer))
            return;
        const LookupKind kind = searches[b].first;
        const std::vector<CategoryMatch> marks(
            answer->records.size(),
            CategoryMatch{true, kind == LookupKind::Group, kind == LookupKind::User});
        keep_entries(index, *answer, marks);
        index.lookups_complete(*searches[b].second, kind);
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

CategoryMatch category_match(const FieldValue& category) {
    const std::span<const std::string> values = texts_of(category);
    if (values.empty())
        return {};
    CategoryMatch match;
    for (const std::string& value : values) {
        if (!plain_name(value) || value.find('=') != std::string::npos)
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

void look_up_in_batches(DirectoryProvider& provider, EntryIndex& index, std::string_view base,
                        const std::vector<std::string>& names, std::size_t batch_size,
                        CategorySplit& split) {
    const std::vector<Names> batches = in_batches(names, batch_size);
    std::vector<const Names*> by_category;
    std::size_t next = 0;
    // Until an answer with records shows a directory's categories, batches are asked one at a
    // time.
    for (; split == CategorySplit::Untried && next < batches.size(); ++next) {
        const Outcome outcome = ask_accounts(provider, index, base, {&batches[next]})[0];
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
        const std::vector<Outcome> outcomes = ask_accounts(provider, index, base, rest);
        for (std::size_t b = 0; b < rest.size(); ++b) {
            if (outcomes[b] == Outcome::Unsplit) {
                by_category.push_back(rest[b]);
                split = CategorySplit::ByDirectory;  // for the batches still to come
            }
        }
    } else {
        by_category.insert(by_category.end(), rest.begin(), rest.end());
    }
    ask_by_category(provider, index, base, by_category);
}

void look_up_unmatched_in_batches(DirectoryProvider& provider, EntryIndex& index,
                                  std::string_view base, const std::vector<std::string>& names,
                                  std::size_t batch_size) {
    const std::vector<Names> batches = in_batches(names, batch_size);
    std::vector<std::string> texts;
    for (const Names& batch : batches)
        texts.push_back(account_match_text(base, batch));
    provider.execute_all(texts, [&](std::size_t b, std::unique_ptr<Recordset> set) {
        try {
            if (b < batches.size() && set && set->RecordCount() == 0)
                index.no_match(batches[b]);
        } catch (const DirectoryError&) {
        }
    });
}

}  // namespace permscope::directory

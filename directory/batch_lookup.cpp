#include "directory/batch_lookup.h"

#include "common/ascii_case.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "directory/query_session.h"
#include "directory/query_text.h"

namespace permscope::directory {

namespace {

// The account names of a record, or nothing when the field cannot be read as texts.
std::optional<std::vector<std::string>> account_names(const StoredAnswer& answer,
                                                      const StoredRecord& record) {
    for (std::size_t i = 0; i < answer.selected.size(); ++i) {
        if (ascii_lower(answer.selected[i]) != "samaccountname")
            continue;
        const FieldValue& value = record.fields[i];
        if (const auto* text = std::get_if<std::string>(&value))
            return std::vector<std::string>{*text};
        if (const auto* texts = std::get_if<std::vector<std::string>>(&value))
            return *texts;
        return std::nullopt;
    }
    return std::nullopt;
}

enum class LookupKind { Group, User };

struct Batch {
    LookupKind kind;
    std::vector<std::string> names;
};

std::string single_lookup_text(std::string_view base, LookupKind kind, std::string_view name) {
    return kind == LookupKind::Group ? group_lookup_text(base, name) : user_lookup_text(base, name);
}

void add_group(const StoredRecord& record, FoundGroups& found) {
    found.dns.push_back(record.dn);
    const FieldValue& value = record.fields[2];  // "Member"
    if (const auto* texts = std::get_if<std::vector<std::string>>(&value))
        found.member_values.insert(found.member_values.end(), texts->begin(), texts->end());
    else if (const auto* text = std::get_if<std::string>(&value))
        found.member_values.push_back(*text);
}

// Keeps what one batch answer decides; adds the member values of the groups it found.
void keep_decided(AnswerStore& answers, std::string_view base, const Batch& batch, Recordset& set,
                  FoundGroups& found) {
    std::shared_ptr<StoredAnswer> answer;
    try {
        answer = read_answer(set, {"Name", "samAccountName", "Member"});
    } catch (const DirectoryError&) {
        return;
    }
    const std::vector<Attribution> attributed = attribute_batch_answer(*answer, batch.names);
    // Most names of a batch have no entry of the kind asked; they share one empty answer. A
    // record moves into the answer of the last name it answers.
    auto nothing = std::make_shared<StoredAnswer>();
    nothing->selected = answer->selected;
    std::vector<int> uses(answer->records.size(), 0);
    for (const Attribution& a : attributed)
        for (const std::size_t record : a.records)
            ++uses[record];
    for (std::size_t i = 0; i < batch.names.size(); ++i) {
        if (!attributed[i].decided)
            continue;
        std::shared_ptr<StoredAnswer> own = nothing;
        if (!attributed[i].records.empty()) {
            own = std::make_shared<StoredAnswer>();
            own->selected = answer->selected;
        }
        for (const std::size_t record : attributed[i].records) {
            StoredRecord& stored = answer->records[record];
            if (batch.kind == LookupKind::Group)
                add_group(stored, found);
            if (--uses[record] == 0)
                own->records.push_back(std::move(stored));
            else
                own->records.push_back(stored);
        }
        answers.keep(single_lookup_text(base, batch.kind, batch.names[i]), SearchScope::Subtree,
                     std::move(own));
    }
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
    std::unordered_map<std::string, std::vector<std::size_t>> records_by_folded_name;
    for (std::size_t r = 0; r < answer.records.size(); ++r) {
        const std::optional<std::vector<std::string>> accounts =
            account_names(answer, answer.records[r]);
        if (!accounts || accounts->empty())
            return attributed;
        for (const std::string& account : *accounts) {
            if (!batchable_name(account))
                return attributed;
            std::vector<std::size_t>& records = records_by_folded_name[ascii_lower(account)];
            if (records.empty() || records.back() != r)
                records.push_back(r);
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto found = records_by_folded_name.find(ascii_lower(names[i]));
        if (found == records_by_folded_name.end()) {
            attributed[i].decided = true;
            continue;
        }
        if (found->second.size() != 1)
            continue;
        const std::size_t record = found->second.front();
        const std::optional<std::vector<std::string>> accounts =
            account_names(answer, answer.records[record]);
        for (const std::string& account : *accounts)
            if (account == names[i])
                attributed[i] = {true, {record}};
    }
    return attributed;
}

FoundGroups look_up_in_batches(DirectoryProvider& provider, AnswerStore& answers,
                               std::string_view base, const std::vector<std::string>& names,
                               std::size_t batch_size) {
    const std::size_t size = batch_size > 0 ? batch_size : 1;
    std::vector<Batch> batches;
    std::vector<std::string> texts;
    for (std::size_t start = 0; start < names.size(); start += size) {
        const std::vector<std::string> chunk(
            names.begin() + static_cast<std::ptrdiff_t>(start),
            names.begin() + static_cast<std::ptrdiff_t>(std::min(names.size(), start + size)));
        // Both lookups of every name: which names are groups is known only from the answers.
        for (const LookupKind kind : {LookupKind::Group, LookupKind::User}) {
            texts.push_back(
                batch_lookup_text(base, kind == LookupKind::Group ? "Group" : "User", chunk));
            batches.push_back({kind, chunk});
        }
    }
    FoundGroups found;
    // Each answer is taken in while the directory works on the next batches.
    provider.execute_all(texts, [&](std::size_t b, std::unique_ptr<Recordset> set) {
        if (b < batches.size() && set)
            keep_decided(answers, base, batches[b], *set, found);
    });
    return found;
}

}  // namespace permscope::directory

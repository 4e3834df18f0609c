#include "directory/batch_lookup.h"

#include <optional>
#include <unordered_map>

#include "directory/query_session.h"
#include "directory/query_text.h"

namespace permscope::directory {

namespace {

std::string ascii_lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

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

std::string single_lookup_text(const BatchRequest& request, std::string_view name) {
    return request.kind == LookupKind::Group ? group_lookup_text(request.base, name)
                                             : user_lookup_text(request.base, name);
}

// Runs one batch and keeps what it decides; returns the names it found no entry for.
std::vector<std::string> run_batch(DirectoryProvider& provider, AnswerStore& answers,
                                   const BatchRequest& request,
                                   const std::vector<std::string>& names) {
    const std::string text = batch_lookup_text(
        request.base, request.kind == LookupKind::Group ? "Group" : "User", names);
    QuerySession session(provider);
    std::shared_ptr<const StoredAnswer> answer;
    try {
        if (!session.execute(text, QuerySession::Slot::First))
            return {};
        answer = read_answer(*session.recordset(QuerySession::Slot::First),
                             {"Name", "samAccountName", "Member"});
    } catch (const DirectoryError&) {
        return {};
    }
    session.close();

    const std::vector<Attribution> attributed = attribute_batch_answer(*answer, names);
    std::vector<std::string> absent;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!attributed[i].decided)
            continue;
        auto own = std::make_shared<StoredAnswer>();
        own->selected = answer->selected;
        for (const std::size_t record : attributed[i].records)
            own->records.push_back(answer->records[record]);
        if (own->records.empty())
            absent.push_back(names[i]);
        answers.keep(single_lookup_text(request, names[i]), SearchScope::Subtree, std::move(own));
    }
    return absent;
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

std::vector<std::string> look_up_in_batches(DirectoryProvider& provider, AnswerStore& answers,
                                            const BatchRequest& request,
                                            const std::vector<std::string>& names) {
    std::vector<std::string> absent;
    const std::size_t size = request.batch_size > 0 ? request.batch_size : 1;
    for (std::size_t start = 0; start < names.size(); start += size) {
        const std::vector<std::string> batch(
            names.begin() + static_cast<std::ptrdiff_t>(start),
            names.begin() + static_cast<std::ptrdiff_t>(std::min(names.size(), start + size)));
        std::vector<std::string> none = run_batch(provider, answers, request, batch);
        absent.insert(absent.end(), std::make_move_iterator(none.begin()),
                      std::make_move_iterator(none.end()));
    }
    return absent;
}

}  // namespace permscope::directory

#include "directory/answer_store.h"

#include "common/ascii_case.h"

namespace permscope::directory {

namespace {

template <typename Read>
auto read_or(Read read, decltype(read()) fallback) -> decltype(read()) {
    try {
        return read();
    } catch (const DirectoryError&) {
        return fallback;
    }
}

}  // namespace

FieldValue StoredRecordset::Fields(std::string_view name) const {
    const StoredRecord& record = current();
    for (std::size_t i = 0; i < answer_->selected.size(); ++i)
        if (equals_ignoring_case(answer_->selected[i], name))
            return record.fields[i];
    throw DirectoryError("no field " + std::string(name) + " in the record set");
}

std::shared_ptr<StoredAnswer> StoredRecordset::take_answer() {
    if (!fresh_ || position_ != 0)
        return nullptr;
    answer_ = std::make_shared<const StoredAnswer>();
    return std::move(fresh_);
}

void StoredRecordset::MoveNext() {
    if (Eof())
        throw DirectoryError("no current record");
    ++position_;
}

const StoredRecord& StoredRecordset::current() const {
    if (Eof())
        throw DirectoryError("no current record");
    return answer_->records[position_];
}

std::shared_ptr<StoredAnswer> read_answer(Recordset& set, std::vector<std::string> selected) {
    if (auto* stored = dynamic_cast<StoredRecordset*>(&set)) {
        if (std::shared_ptr<StoredAnswer> fresh = stored->take_answer())
            return fresh;
    }
    auto answer = std::make_shared<StoredAnswer>();
    answer->selected = std::move(selected);
    while (!set.Eof()) {
        StoredRecord record;
        record.dn = read_or([&] { return set.DistinguishedName(); }, {});
        record.sid = read_or([&] { return set.SecurityIdentifier(); }, {});
        record.fields.reserve(answer->selected.size());
        for (const std::string& field : answer->selected)
            record.fields.push_back(read_or([&] { return set.Fields(field); }, {}));
        answer->records.push_back(std::move(record));
        set.MoveNext();
    }
    return answer;
}

std::pair<std::string, std::string_view> AnswerStore::split(std::string_view text,
                                                            SearchScope scope) {
    const std::size_t quote = text.rfind("='");
    const std::size_t cut = quote == std::string_view::npos ? 0 : quote + 2;
    std::string head(1, static_cast<char>('0' + static_cast<int>(scope)));
    head += text.substr(0, cut);
    return {std::move(head), text.substr(cut)};
}

std::shared_ptr<const StoredAnswer> AnswerStore::find(std::string_view text,
                                                      SearchScope scope) const {
    const auto [head, tail] = split(text, scope);
    const auto tails = answers_.find(head);
    if (tails == answers_.end())
        return nullptr;
    const auto found = tails->second.find(tail);
    return found == tails->second.end() ? nullptr : found->second;
}

bool AnswerStore::contains(std::string_view text, SearchScope scope) const {
    return find(text, scope) != nullptr;
}

void AnswerStore::keep(std::string_view text, SearchScope scope,
                       std::shared_ptr<const StoredAnswer> answer) {
    auto [head, tail] = split(text, scope);
    Tails& tails = answers_[std::move(head)];
    const auto [place, added] = tails.try_emplace(std::string(tail), answer);
    if (added)
        ++size_;
    else
        place->second = std::move(answer);
}

void AnswerStore::clear() {
    answers_.clear();
    size_ = 0;
}

}  // namespace permscope::directory

#include "directory/answer_store.h"

#include "common/text.h"

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
    first_ = end_ = position_ = 0;
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

std::shared_ptr<StoredAnswer> read_answer(Recordset& set) {
    if (auto* stored = dynamic_cast<StoredRecordset*>(&set)) {
        if (std::shared_ptr<StoredAnswer> fresh = stored->take_answer())
            return fresh;
    }
    auto answer = std::make_shared<StoredAnswer>();
    answer->selected = set.FieldNames();
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

std::pair<std::string_view, std::string_view> AnswerStore::split(std::string_view text) {
    const std::size_t quote = text.rfind("='");
    const std::size_t cut = quote == std::string_view::npos ? 0 : quote + 2;
    return {text.substr(0, cut), text.substr(cut)};
}

std::size_t AnswerStore::head_index(std::string_view text, SearchScope scope) const {
    for (std::size_t i = 0; i < heads_.size(); ++i)
        if (heads_[i].scope == scope && heads_[i].text == text)
            return i;
    return heads_.size();
}

const AnswerStore::HeadAnswer* AnswerStore::TailAnswers::find(std::size_t head) const {
    for (std::size_t i = 0; i < count; ++i) {
        const HeadAnswer& kept = i < first.size() ? first[i] : more[i - first.size()];
        if (kept.head == head)
            return &kept;
    }
    return nullptr;
}

AnswerPart AnswerStore::find(std::string_view text, SearchScope scope) const {
    const auto [head_text, tail] = split(text);
    const std::size_t head = head_index(head_text, scope);
    if (head == heads_.size())
        return {};
    const TailAnswers* found = tails_.find(tail);
    if (!found)
        return {};
    const HeadAnswer* kept = found->find(head);
    return kept ? kept->answer : AnswerPart{};
}

bool AnswerStore::contains(std::string_view text, SearchScope scope) const {
    return static_cast<bool>(find(text, scope));
}

void AnswerStore::keep(std::string_view text, SearchScope scope, AnswerPart answer) {
    const auto [head_text, tail] = split(text);
    const std::size_t head = head_index(head_text, scope);
    if (head == heads_.size())
        heads_.push_back(Head{scope, std::string(head_text)});
    TailAnswers& answers = *tails_.try_emplace(tail).first;
    if (HeadAnswer* kept = answers.find(head)) {
        kept->answer = std::move(answer);
        return;
    }
    if (answers.count < answers.first.size())
        answers.first[answers.count] = {head, std::move(answer)};
    else
        answers.more.push_back({head, std::move(answer)});
    ++answers.count;
    ++size_;
}

void AnswerStore::clear() {
    heads_.clear();
    tails_.clear();
    size_ = 0;
}

}  // namespace permscope::directory

#pragma once
// The answers to the queries a folder read ran one at a time (reads of single objects,
// primary-group members, the lookups of names the kept entries cannot answer), kept until the
// read ends: a name that several groups share, or that several access entries reach, costs one
// search and not one per meeting. The group and user lookups of most names are answered from the
// kept entries instead (entry_index.h). An answer is stored whole (every record with every field
// its query selected), so a record set read back from the store is indistinguishable from the one
// the directory gave.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/flat_string_map.h"
#include "directory/directory_provider.h"

namespace permscope::directory {

struct StoredAnswer {
    std::vector<std::string> selected;  // the query's field names as written
    std::vector<StoredRecord> records;
};

// Consecutive records of a stored answer: a whole answer, or the part of a batch's answer that
// answers one name (the names of a batch share its answer rather than each holding a copy).
struct AnswerPart {
    std::shared_ptr<const StoredAnswer> answer;
    std::size_t first = 0;
    std::size_t count = 0;

    static AnswerPart whole(std::shared_ptr<const StoredAnswer> answer) {
        const std::size_t count = answer ? answer->records.size() : 0;
        return {std::move(answer), 0, count};
    }
    explicit operator bool() const { return answer != nullptr; }
};

// A record set over a stored answer, positioned on its first record.
class StoredRecordset : public Recordset {
  public:
    // An answer, or a part of one, that others hold too (a kept one).
    explicit StoredRecordset(AnswerPart part)
        : answer_(std::move(part.answer)),
          first_(part.first),
          end_(part.first + part.count),
          position_(first_) {}
    explicit StoredRecordset(std::shared_ptr<const StoredAnswer> answer)
        : StoredRecordset(AnswerPart::whole(std::move(answer))) {}
    // A fresh answer that nothing else holds: a reader may take it over whole.
    explicit StoredRecordset(std::shared_ptr<StoredAnswer> fresh)
        : StoredRecordset(AnswerPart::whole(fresh)) {
        fresh_ = std::move(fresh);
    }

    // The fresh answer, handed over while no record has been read yet; the record set is empty
    // afterwards. nullptr for a shared answer, or once taken.
    std::shared_ptr<StoredAnswer> take_answer();

    std::int64_t RecordCount() const override { return static_cast<std::int64_t>(end_ - first_); }
    std::vector<std::string> FieldNames() const override { return answer_->selected; }
    FieldValue Fields(std::string_view name) const override;
    std::string DistinguishedName() const override { return current().dn; }
    std::string SecurityIdentifier() const override { return current().sid; }
    bool Eof() const override { return position_ >= end_; }
    void MoveNext() override;

  private:
    const StoredRecord& current() const;

    std::shared_ptr<const StoredAnswer> answer_;
    std::shared_ptr<StoredAnswer> fresh_;
    std::size_t first_ = 0;
    std::size_t end_ = 0;
    std::size_t position_ = 0;
};

// Reads a fresh record set from its first record to its end into an answer. A field or name that
// cannot be read is stored as no value, as the resolution reads such a failure. A record set over
// a fresh answer hands that over without a copy.
std::shared_ptr<StoredAnswer> read_answer(Recordset& set);

class AnswerStore {
  public:
    // The stored answer of a query text run with scope; an empty part when there is none.
    AnswerPart find(std::string_view text, SearchScope scope) const;
    void keep(std::string_view text, SearchScope scope, AnswerPart answer);
    void keep(std::string_view text, SearchScope scope,
              std::shared_ptr<const StoredAnswer> answer) {
        keep(text, scope, AnswerPart::whole(std::move(answer)));
    }
    bool contains(std::string_view text, SearchScope scope) const;
    void clear();
    std::size_t size() const { return size_; }

  private:
    // The texts of one read differ mostly in the looked-up value at their end, so each text is
    // kept as its head (up to the last "='") and its tail: the few heads once, looked through in
    // turn, and each tail once with the answers of every head it came with (a name's group and
    // user lookups share one place). Equal texts and only equal texts have equal parts.
    struct Head {
        SearchScope scope;
        std::string text;
    };
    struct HeadAnswer {
        std::size_t head;
        AnswerPart answer;
    };
    // The answers of one tail; most tails come with one or two heads.
    struct TailAnswers {
        std::array<HeadAnswer, 2> first;
        std::size_t count = 0;
        std::vector<HeadAnswer> more;

        const HeadAnswer* find(std::size_t head) const;
        HeadAnswer* find(std::size_t head) {
            return const_cast<HeadAnswer*>(std::as_const(*this).find(head));
        }
    };

    static std::pair<std::string_view, std::string_view> split(std::string_view text);
    // The index of the head kept for text and scope; heads_.size() when there is none.
    std::size_t head_index(std::string_view text, SearchScope scope) const;

    std::vector<Head> heads_;
    FlatStringMap<TailAnswers> tails_;
    std::size_t size_ = 0;
};

}  // namespace permscope::directory

#pragma once
// One resolution's query session: a connection and a command created at its start, every query of
// the resolution run on that one command, and Close as the session's last directory step.
//
// Each step runs under "skip on failure": a step that fails is left out and the next one runs. A
// record-set reference that a failed execution should have set keeps what it held before, and a
// reference that holds nothing reads as a failure.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "directory/answer_store.h"
#include "directory/directory_provider.h"

namespace permscope::directory {

class QuerySession {
  public:
    // The record-set references of a resolution: the group lookup (and, where it runs, the member
    // lookup) in the first, the user lookup in the second, reads of single objects in the third.
    enum class Slot { First = 0, Second = 1, Extra = 2 };

    // Creates the connection and the command, opens the connection with
    // "Provider=ADsDSOObject;" and makes it the command's active connection. With answers, a
    // query text that ran before in the same read is answered from there without a search, and
    // every answer the directory gives is kept there.
    explicit QuerySession(DirectoryProvider& provider, AnswerStore* answers = nullptr);
    // Closes the session if close() has not run.
    ~QuerySession();
    QuerySession(const QuerySession&) = delete;
    QuerySession& operator=(const QuerySession&) = delete;

    // Sets the command text and executes it, the record set going into slot. Returns false when
    // the execution failed; the slot then keeps its previous record set.
    bool execute(std::string text, Slot slot, SearchScope scope = SearchScope::Subtree);

    // The slot's record set, or nullptr when it holds none.
    Recordset* recordset(Slot slot) const { return recordsets_[index(slot)].get(); }

    // The slot's record count; nothing when the slot holds no record set or the count cannot be
    // read.
    std::optional<std::int64_t> record_count(Slot slot) const;

    // Calls Close on the connection; skipped when the connection never opened. Runs once.
    void close();

  private:
    bool execute_on_directory(std::string text, Slot slot, SearchScope scope);
    static std::size_t index(Slot slot) { return static_cast<std::size_t>(slot); }

    std::unique_ptr<Connection> connection_;
    std::unique_ptr<Command> command_;
    AnswerStore* answers_ = nullptr;
    SearchScope scope_ = SearchScope::Subtree;
    std::array<std::unique_ptr<Recordset>, 3> recordsets_;
    bool closed_ = false;
};

// The field of the slot's current record, or nothing when there is no record set, no current
// record, or no such field.
FieldValue read_field(const QuerySession& session, QuerySession::Slot slot, std::string_view field);

}  // namespace permscope::directory

#pragma once
// The directory's query objects as the resolution uses them: a connection opened with a provider
// text, a command that runs query texts in the provider's SQL dialect on that connection, and the
// record set that an execution gives. Member names follow the automation objects they stand for.
//
// Every operation that fails throws DirectoryError; the query session decides per step whether
// the failure is skipped.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace permscope::directory {

class DirectoryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A field of one record: no value, a single text, or the texts of a multi-valued attribute in
// the directory's order. Binary values (objectSid) are carried as texts of raw bytes.
using FieldValue = std::variant<std::monostate, std::string, std::vector<std::string>>;

// One record of an answer: its object's distinguished name and binary objectSid (empty for an
// object without one), and its fields in the order of the query's SELECT list.
struct StoredRecord {
    std::string dn;
    std::string sid;
    std::vector<FieldValue> fields;
};

// How far below the FROM object a query looks. Subtree is the dialect's default.
enum class SearchScope { Base, Subtree };

class Recordset {
  public:
    virtual ~Recordset() = default;
    // Number of records; 0 exactly when nothing matched.
    virtual std::int64_t RecordCount() const = 0;
    // The names of the fields, as the query's SELECT list writes them, in its order.
    virtual std::vector<std::string> FieldNames() const = 0;
    // The value of a selected field on the current record, looked up without regard to case. A
    // field that the query did not select, or a read past the last record, throws.
    virtual FieldValue Fields(std::string_view name) const = 0;
    // The distinguished name of the current record's object (its ADsPath without the prefix).
    virtual std::string DistinguishedName() const = 0;
    // The binary objectSid of the current record's object, fetched with every record whatever
    // the query selects; empty for an object without one.
    virtual std::string SecurityIdentifier() const = 0;
    // True when no current record is left.
    virtual bool Eof() const = 0;
    virtual void MoveNext() = 0;
};

class Connection {
  public:
    virtual ~Connection() = default;
    // Opens with a connection text; only "Provider=ADsDSOObject;" is accepted.
    virtual void Open(std::string_view connection_text) = 0;
    // Throws when the connection is not open.
    virtual void Close() = 0;
    virtual bool is_open() const = 0;
};

class Command {
  public:
    virtual ~Command() = default;
    // The connection is not owned; it has to outlive the command's executions.
    virtual void SetActiveConnection(Connection& connection) = 0;
    virtual void SetCommandText(std::string text) = 0;
    // The "Searchscope" property; Subtree unless set.
    virtual void SetSearchScope(SearchScope scope) = 0;
    // Runs the command text on the active connection. A text outside the dialect, a connection
    // that is not open, or a directory that cannot be reached throws.
    virtual std::unique_ptr<Recordset> Execute() = 0;
};

class DirectoryProvider {
  public:
    virtual ~DirectoryProvider() = default;
    // Create the objects of the programmatic identifiers "ADODB.Connection" and "ADODB.Command";
    // any other identifier throws.
    virtual std::unique_ptr<Connection> CreateConnection(std::string_view prog_id) = 0;
    virtual std::unique_ptr<Command> CreateCommand(std::string_view prog_id) = 0;
    // A server that could not be reached is not tried again until this is called (once per
    // folder read), so an unreachable directory costs one time-out per read and not one per name.
    virtual void forget_unreachable_servers() = 0;
    // What kept the current folder read from the directory, as a message for the user (which
    // server, why, and that the lists are incomplete); empty when nothing did. Cleared by
    // forget_unreachable_servers().
    virtual std::string read_problem() const { return {}; }

    // Runs several query texts (subtree scope), each as a command on its own open connection
    // would, and hands each record set to answered with the text's index as soon as it is
    // complete, in any order; a text whose execution failed is not handed over. This one runs
    // them one after the other; a provider that can keeps several in flight, so that the
    // directory works on the next while answered reads the last.
    using Answered = std::function<void(std::size_t index, std::unique_ptr<Recordset> set)>;
    virtual void execute_all(const std::vector<std::string>& texts, const Answered& answered);

    // Runs one query text (subtree scope) as a command would, but hands its records to
    // each_record one at a time instead of keeping the answer whole: for answers too large to
    // hold twice. each_record returns false to stop the search there. Returns true when the
    // search ran to its end; false when it failed (the records handed over so far stand) or was
    // stopped. This one runs the text through execute_all and walks the record set; a provider
    // that can hands records over as they arrive.
    using EachRecord = std::function<bool(StoredRecord record)>;
    virtual bool execute_streamed(const std::string& text, const EachRecord& each_record);
};

}  // namespace permscope::directory

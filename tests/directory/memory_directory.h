#pragma once
// An in-memory directory behind the provider interface, for unit tests: it answers the dialect's
// query texts from a list of entries (account names and categories compared without regard to
// case, as Active Directory does), writes every step it is asked for into a log, and fails the
// steps a test asks it to fail.

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "directory/directory_provider.h"

namespace permscope::testing {

class MemoryDirectory : public directory::DirectoryProvider {
  public:
    struct Entry {
        std::string dn;
        // attribute name (any case) -> values
        std::vector<std::pair<std::string, std::vector<std::string>>> attributes;
    };

    // Entries of the organisation dc=example,dc=test unless a DN says otherwise.
    void add_user(const std::string& cn, const std::string& account, const std::string& ou = "");
    void add_group(const std::string& cn, const std::string& account,
                   std::vector<std::string> member_dns, const std::string& ou = "");
    static std::string dn_of(const std::string& cn, const std::string& ou = "");
    // Any entry, for categories and shapes the two above do not make.
    void add_entry(Entry entry) { entries_.push_back(std::move(entry)); }

    // Steps, one line each: "create ADODB.Connection", "Open Provider=ADsDSOObject;",
    // "ActiveConnection", "CommandText <text>", "Searchscope base", "Execute", "RecordCount",
    // "Fields <name>", "EOF", "movenext", "Close".
    std::vector<std::string> log;
    // Steps that throw: "create ADODB.Connection", "create ADODB.Command", "Open",
    // "ActiveConnection", "Close", "RecordCount".
    std::set<std::string> failing_steps;
    // An execution whose command text this returns true for throws.
    std::function<bool(const std::string&)> fails_execution;
    int forget_calls = 0;

    std::unique_ptr<directory::Connection> CreateConnection(std::string_view prog_id) override;
    std::unique_ptr<directory::Command> CreateCommand(std::string_view prog_id) override;
    void forget_unreachable_servers() override { ++forget_calls; }

    // The log lines that begin with prefix, in order.
    std::vector<std::string> lines_beginning(const std::string& prefix) const;

    const std::vector<Entry>& entries() const { return entries_; }
    void fail_if(const std::string& step) const;

  private:
    std::vector<Entry> entries_;
};

}  // namespace permscope::testing

#include "tests/directory/memory_directory.h"

#include <algorithm>
#include <cctype>

#include "directory/query_dialect.h"

namespace permscope::testing {

using namespace permscope::directory;

namespace {

std::string lower(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

bool same(std::string_view a, std::string_view b) {
    return lower(a) == lower(b);
}

const std::vector<std::string>* values_of(const MemoryDirectory::Entry& entry,
                                          std::string_view name) {
    for (const auto& [attribute, values] : entry.attributes)
        if (same(attribute, name))
            return &values;
    return nullptr;
}

bool matches(const MemoryDirectory::Entry& entry, const Condition& condition) {
    switch (condition.kind) {
        case Condition::Kind::Equals: {
            const auto* values = values_of(entry, condition.attribute);
            return values && std::any_of(values->begin(), values->end(),
                                         [&](const auto& v) { return same(v, condition.value); });
        }
        case Condition::Kind::And:
            return std::all_of(condition.operands.begin(), condition.operands.end(),
                               [&](const Condition& c) { return matches(entry, c); });
        case Condition::Kind::Or:
            return std::any_of(condition.operands.begin(), condition.operands.end(),
                               [&](const Condition& c) { return matches(entry, c); });
        case Condition::Kind::Not:
            return !matches(entry, condition.operands.front());
    }
    return false;
}

bool in_scope(const std::string& dn, const std::string& base, SearchScope scope) {
    if (scope == SearchScope::Base)
        return same(dn, base);
    if (base.empty())
        return true;
    return dn.size() >= base.size() &&
           same(std::string_view(dn).substr(dn.size() - base.size()), base);
}

class MemoryRecordset : public Recordset {
  public:
    MemoryRecordset(const MemoryDirectory& directory, std::vector<std::string> selected,
                    std::vector<MemoryDirectory::Entry> records)
        : directory_(directory), selected_(std::move(selected)), records_(std::move(records)) {}

    std::int64_t RecordCount() const override {
        log("RecordCount");
        directory_.fail_if("RecordCount");
        return static_cast<std::int64_t>(records_.size());
    }
    std::vector<std::string> FieldNames() const override { return selected_; }
    FieldValue Fields(std::string_view name) const override {
        log("Fields " + std::string(name));
        if (std::none_of(selected_.begin(), selected_.end(),
                         [&](const std::string& s) { return same(s, name); }))
            throw DirectoryError("field not selected");
        const auto* values = values_of(current(), name);
        if (!values || values->empty())
            return {};
        if (same(name, "member"))
            return *values;
        return values->front();
    }
    std::string DistinguishedName() const override { return current().dn; }
    std::string SecurityIdentifier() const override {
        const auto* values = values_of(current(), "objectSid");
        return values && !values->empty() ? values->front() : std::string();
    }
    bool Eof() const override {
        log("EOF");
        return position_ >= records_.size();
    }
    void MoveNext() override {
        log("movenext");
        if (position_ >= records_.size())
            throw DirectoryError("past the end");
        ++position_;
    }

  private:
    void log(std::string line) const {
        const_cast<MemoryDirectory&>(directory_).log.push_back(std::move(line));
    }
    const MemoryDirectory::Entry& current() const {
        if (position_ >= records_.size())
            throw DirectoryError("no current record");
        return records_[position_];
    }

    const MemoryDirectory& directory_;
    std::vector<std::string> selected_;
    std::vector<MemoryDirectory::Entry> records_;
    std::size_t position_ = 0;
};

class MemoryConnection : public Connection {
  public:
    explicit MemoryConnection(MemoryDirectory& directory) : directory_(directory) {}
    void Open(std::string_view text) override {
        directory_.log.push_back("Open " + std::string(text));
        directory_.fail_if("Open");
        if (text != "Provider=ADsDSOObject;")
            throw DirectoryError("bad provider");
        open_ = true;
    }
    void Close() override {
        directory_.log.push_back("Close");
        if (!open_)
            throw DirectoryError("not open");
        directory_.fail_if("Close");
        open_ = false;
    }
    bool is_open() const override { return open_; }

  private:
    MemoryDirectory& directory_;
    bool open_ = false;
};

class MemoryCommand : public Command {
  public:
    explicit MemoryCommand(MemoryDirectory& directory) : directory_(directory) {}
    void SetActiveConnection(Connection& connection) override {
        directory_.log.push_back("ActiveConnection");
        directory_.fail_if("ActiveConnection");
        connection_ = &connection;
    }
    void SetCommandText(std::string text) override {
        directory_.log.push_back("CommandText " + text);
        text_ = std::move(text);
    }
    void SetSearchScope(SearchScope scope) override {
        directory_.log.push_back(scope == SearchScope::Base      ? "Searchscope base"
                                 : scope == SearchScope::Subtree ? "Searchscope subtree"
                                                                 : "Searchscope onelevel");
        scope_ = scope;
    }
    std::unique_ptr<Recordset> Execute() override {
        directory_.log.push_back("Execute");
        if (!connection_ || !connection_->is_open())
            throw DirectoryError("no open connection");
        if (directory_.fails_execution && directory_.fails_execution(text_))
            throw DirectoryError("execution fails");
        const Query query = parse_query(text_);
        std::vector<MemoryDirectory::Entry> found;
        for (const MemoryDirectory::Entry& entry : directory_.entries())
            if (in_scope(entry.dn, query.base, scope_) &&
                (!query.where || matches(entry, *query.where)))
                found.push_back(entry);
        return std::make_unique<MemoryRecordset>(directory_, query.attributes, std::move(found));
    }

  private:
    MemoryDirectory& directory_;
    Connection* connection_ = nullptr;
    std::string text_;
    SearchScope scope_ = SearchScope::Subtree;
};

}  // namespace

void MemoryDirectory::fail_if(const std::string& step) const {
    if (failing_steps.count(step))
        throw DirectoryError(step + " fails");
}

std::string MemoryDirectory::dn_of(const std::string& cn, const std::string& ou) {
    return "CN=" + cn + "," + (ou.empty() ? "" : "OU=" + ou + ",") + "DC=example,DC=test";
}

void MemoryDirectory::add_user(const std::string& cn, const std::string& account,
                               const std::string& ou) {
    entries_.push_back(
        {dn_of(cn, ou),
         {{"name", {cn}}, {"sAMAccountName", {account}}, {"objectCategory", {"User"}}}});
}

void MemoryDirectory::add_group(const std::string& cn, const std::string& account,
                                std::vector<std::string> member_dns, const std::string& ou) {
    entries_.push_back({dn_of(cn, ou),
                        {{"name", {cn}},
                         {"sAMAccountName", {account}},
                         {"objectCategory", {"Group"}},
                         {"member", std::move(member_dns)}}});
}

std::unique_ptr<Connection> MemoryDirectory::CreateConnection(std::string_view prog_id) {
    log.push_back("create " + std::string(prog_id));
    fail_if("create " + std::string(prog_id));
    if (prog_id != "ADODB.Connection")
        throw DirectoryError("unknown object");
    return std::make_unique<MemoryConnection>(*this);
}

std::unique_ptr<Command> MemoryDirectory::CreateCommand(std::string_view prog_id) {
    log.push_back("create " + std::string(prog_id));
    fail_if("create " + std::string(prog_id));
    if (prog_id != "ADODB.Command")
        throw DirectoryError("unknown object");
    return std::make_unique<MemoryCommand>(*this);
}

std::vector<std::string> MemoryDirectory::lines_beginning(const std::string& prefix) const {
    std::vector<std::string> lines;
    for (const std::string& line : log)
        if (line.rfind(prefix, 0) == 0)
            lines.push_back(line);
    return lines;
}

}  // namespace permscope::testing

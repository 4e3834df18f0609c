#include "directory/ldap_provider.h"

#include <csignal>
#include <memory>
#include <utility>

#include "directory/ldap_search.h"
#include "directory/ldap_servers.h"
#include "directory/query_dialect.h"

namespace permscope::directory {

namespace {

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// Attributes that the directory's schema defines as multi-valued: always an array, even with one
// value, as the provider hands them out.
bool is_multi_valued(std::string_view attribute) {
    for (const std::string_view name : {"member", "memberOf", "objectClass"})
        if (equals_ignoring_case(attribute, name))
            return true;
    return false;
}

class LdapRecordset : public Recordset {
  public:
    LdapRecordset(std::vector<std::string> selected, std::vector<LdapRecord> records)
        : selected_(std::move(selected)), records_(std::move(records)) {}

    std::int64_t RecordCount() const override { return static_cast<std::int64_t>(records_.size()); }

    FieldValue Fields(std::string_view name) const override {
        bool selected = false;
        for (const std::string& field : selected_)
            selected = selected || equals_ignoring_case(field, name);
        if (!selected)
            throw DirectoryError("no field " + std::string(name) + " in the record set");
        for (const LdapRecord::Attribute& attribute : current().attributes) {
            if (!equals_ignoring_case(attribute.name, name))
                continue;
            if (attribute.values.empty())
                return {};
            if (attribute.values.size() == 1 && !is_multi_valued(name))
                return attribute.values[0];
            return attribute.values;
        }
        return {};
    }

    std::string DistinguishedName() const override { return current().dn; }
    std::string SecurityIdentifier() const override {
        for (const LdapRecord::Attribute& attribute : current().attributes)
            if (equals_ignoring_case(attribute.name, "objectSid") && !attribute.values.empty())
                return attribute.values.front();
        return {};
    }
    bool Eof() const override { return position_ >= records_.size(); }
    void MoveNext() override {
        if (Eof())
            throw DirectoryError("no current record");
        ++position_;
    }

  private:
    const LdapRecord& current() const {
        if (Eof())
            throw DirectoryError("no current record");
        return records_[position_];
    }

    std::vector<std::string> selected_;
    std::vector<LdapRecord> records_;
    std::size_t position_ = 0;
};

class LdapConnection : public Connection {
  public:
    explicit LdapConnection(std::shared_ptr<LdapServers> servers) : servers_(std::move(servers)) {}

    void Open(std::string_view connection_text) override {
        if (open_)
            throw DirectoryError("the connection is already open");
        if (connection_text != "Provider=ADsDSOObject;")
            throw DirectoryError("provider not supported: " + std::string(connection_text));
        open_ = true;
    }
    void Close() override {
        if (!open_)
            throw DirectoryError("the connection is not open");
        open_ = false;
        if (!servers_->options().reuse_handles)
            servers_->drop_all();
    }
    bool is_open() const override { return open_; }

  private:
    std::shared_ptr<LdapServers> servers_;
    bool open_ = false;
};

int ldap_scope(SearchScope scope) {
    switch (scope) {
        case SearchScope::Base:
            return LDAP_SCOPE_BASE;
        case SearchScope::OneLevel:
            return LDAP_SCOPE_ONELEVEL;
        case SearchScope::Subtree:
            break;
    }
    return LDAP_SCOPE_SUBTREE;
}

class LdapCommand : public Command {
  public:
    explicit LdapCommand(std::shared_ptr<LdapServers> servers) : servers_(std::move(servers)) {}

    void SetActiveConnection(Connection& connection) override {
        connection_ = dynamic_cast<LdapConnection*>(&connection);
        if (!connection_)
            throw DirectoryError("not a connection of this provider");
    }
    void SetCommandText(std::string text) override { text_ = std::move(text); }
    void SetSearchScope(SearchScope scope) override { scope_ = scope; }

    std::unique_ptr<Recordset> Execute() override {
        if (!connection_ || !connection_->is_open())
            throw DirectoryError("the command has no open connection");
        const Query query = parse_query(text_);
        LdapSearchRequest request;
        request.base = query.base;
        request.scope = ldap_scope(scope_);
        request.filter = ldap_filter(query.where);
        request.attributes = query.attributes;
        // Every record carries its security identifier, so that a group's primary-group
        // members can be asked for without reading the group again.
        request.attributes.push_back("objectSid");
        request.time_limit = servers_->options().search_time_limit;
        request.grace = servers_->options().network_timeout;
        request.page_size = servers_->options().page_size;
        const std::string uris = servers_->locate(query.host, query.base);
        return std::make_unique<LdapRecordset>(query.attributes, search(uris, request));
    }

  private:
    // A reused handle whose server broke off since its last use is opened once more; a server
    // that breaks off on a fresh handle, or stops answering, is kept out until the read ends.
    std::vector<LdapRecord> search(const std::string& uris, const LdapSearchRequest& request) {
        for (int attempt = 0;; ++attempt) {
            const LdapServers::Handle handle = servers_->handle(uris);
            try {
                return run_search(handle.ld, request);
            } catch (const ServerSilent&) {
                servers_->mark_unreachable(uris);
                throw;
            } catch (const ServerLost&) {
                if (handle.fresh || attempt > 0) {
                    servers_->mark_unreachable(uris);
                    throw;
                }
                servers_->drop(uris);
            }
        }
    }

    std::shared_ptr<LdapServers> servers_;
    LdapConnection* connection_ = nullptr;
    std::string text_;
    SearchScope scope_ = SearchScope::Subtree;
};

class LdapProvider : public DirectoryProvider {
  public:
    explicit LdapProvider(LdapProviderOptions options)
        : servers_(std::make_shared<LdapServers>(std::move(options))) {
        // A server that closes its end must not end the program through SIGPIPE on the next
        // write; a handler the program set itself is left alone.
        struct sigaction current {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            std::signal(SIGPIPE, SIG_IGN);
    }

    std::unique_ptr<Connection> CreateConnection(std::string_view prog_id) override {
        if (prog_id != "ADODB.Connection")
            throw DirectoryError("cannot create " + std::string(prog_id));
        return std::make_unique<LdapConnection>(servers_);
    }
    std::unique_ptr<Command> CreateCommand(std::string_view prog_id) override {
        if (prog_id != "ADODB.Command")
            throw DirectoryError("cannot create " + std::string(prog_id));
        return std::make_unique<LdapCommand>(servers_);
    }
    void forget_unreachable_servers() override { servers_->forget_unreachable(); }

  private:
    std::shared_ptr<LdapServers> servers_;
};

}  // namespace

std::unique_ptr<DirectoryProvider> make_ldap_directory_provider() {
    return make_ldap_directory_provider(LdapProviderOptions{});
}

std::unique_ptr<DirectoryProvider> make_ldap_directory_provider(LdapProviderOptions options) {
    return std::make_unique<LdapProvider>(std::move(options));
}

}  // namespace permscope::directory

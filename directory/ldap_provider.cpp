#include "directory/ldap_provider.h"

#include <csignal>
#include <map>
#include <memory>
#include <utility>

#include "directory/ldap_records.h"
#include "directory/ldap_search.h"
#include "directory/ldap_servers.h"
#include "directory/query_dialect.h"

namespace permscope::directory {

namespace {

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
        case SearchScope::Subtree:
            break;
    }
    return LDAP_SCOPE_SUBTREE;
}

// The LDAP search that a query text of the dialect stands for.
LdapSearchRequest search_request(const Query& query, SearchScope scope,
                                 const LdapProviderOptions& options) {
    LdapSearchRequest request;
    request.base = query.base;
    request.scope = ldap_scope(scope);
    request.filter = ldap_filter(query.where);
    request.attributes = query.attributes;
    // Every record carries its security identifier, so that a group's primary-group members can
    // be asked for without reading the group again.
    request.attributes.push_back("objectSid");
    request.time_limit = options.search_time_limit;
    request.grace = *options.response_timeout;
    request.silence = *options.response_timeout;
    request.page_size = options.page_size;
    return request;
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
        const LdapSearchRequest request = search_request(query, scope_, servers_->options());
        const std::string uris = servers_->locate(query.host, query.base);
        return RecordMaker(query.attributes).record_set(search(uris, request));
    }

  private:
    // A server that fails is tried once more on a fresh connection (a reused handle whose
    // server closed it since its last use, once more besides); after that it is out until the
    // read ends.
    std::vector<LdapRecord> search(const std::string& uris, const LdapSearchRequest& request) {
        while (true) {
            const LdapServers::Handle handle = servers_->handle(uris);
            try {
                return run_search(handle.ld, request);
            } catch (const ServerUnusable& failure) {
                servers_->failed(uris, handle, failure);
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
    std::string read_problem() const override { return servers_->read_problem(); }

    // The texts' searches side by side on each server's one handle. A server that fails its
    // texts here counts one failed try; the lookups that follow one by one then meet it the way
    // single searches do.
    void execute_all(const std::vector<std::string>& texts, const Answered& answered) override {
        std::map<std::string, std::vector<std::size_t>> texts_by_server;
        std::vector<Query> queries(texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i) {
            try {
                queries[i] = parse_query(texts[i]);
                texts_by_server[servers_->locate(queries[i].host, queries[i].base)].push_back(i);
            } catch (const DirectoryError&) {
            }
        }
        for (const auto& [uris, indices] : texts_by_server)
            run_on_server(uris, indices, queries, answered);
        if (!servers_->options().reuse_handles)
            servers_->drop_all();
    }

    // One search on the server's handle, its entries turned into records one by one. A server
    // that fails counts one failed try, and the search is not tried again.
    bool execute_streamed(const std::string& text, const EachRecord& each_record) override {
        bool complete = false;
        try {
            const Query query = parse_query(text);
            LdapSearchRequest request =
                search_request(query, SearchScope::Subtree, servers_->options());
            request.page_size = servers_->options().streamed_page_size;
            const std::string uris = servers_->locate(query.host, query.base);
            const RecordMaker maker(query.attributes);
            const LdapServers::Handle handle = servers_->handle(uris);
            try {
                complete = run_search_streamed(handle.ld, request, [&](LdapRecord entry) {
                    return each_record(maker.record(std::move(entry)));
                });
            } catch (const ServerUnusable& failure) {
                servers_->failed(uris, handle, failure);
            }
        } catch (const DirectoryError&) {
        }
        if (!servers_->options().reuse_handles)
            servers_->drop_all();
        return complete;
    }

  private:
    void run_on_server(const std::string& uris, const std::vector<std::size_t>& indices,
                       const std::vector<Query>& queries, const Answered& answered) {
        std::vector<LdapSearchRequest> requests;
        for (const std::size_t i : indices) {
            requests.push_back(
                search_request(queries[i], SearchScope::Subtree, servers_->options()));
            // A batch names few entries: one page. Should the server's size limit stop it, the
            // batch fails and its names are looked up one by one, paged.
            requests.back().page_size = 0;
        }
        try {
            const LdapServers::Handle handle = servers_->handle(uris);
            try {
                run_searches(handle.ld, requests,
                             [&](std::size_t k, std::vector<LdapRecord> records) {
                                 answered(indices[k], RecordMaker(queries[indices[k]].attributes)
                                                          .record_set(std::move(records)));
                             });
            } catch (const ServerUnusable& failure) {
                servers_->failed(uris, handle, failure);
            }
        } catch (const DirectoryError&) {
        }
    }

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

#include "directory/ldap_provider.h"

#include <lber.h>
#include <sasl/sasl.h>
#include <sys/socket.h>

#include <chrono>
#include <csignal>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <utility>

#include "common/text.h"
#include "directory/answer_store.h"
#include "directory/ldap_search.h"
#include "directory/query_dialect.h"
#include "platform/kerberos.h"

namespace permscope::directory {

namespace {

// The LDAP servers a provider talks to: where the server of a base name is found, one handle per
// server opened on first use and kept, and what went wrong with a server in the current folder
// read.
//
// A server that fails (cannot be reached, stops answering, drops the connection, refuses our
// searches) gets one more try in the read, on a fresh connection that starts with the next
// server of its list; when that fails too it is not asked again until the read ends, and the
// failure is what the read reports.
class LdapServers {
  public:
    // Unset time-outs are taken from libldap's configuration (ldap.conf's NETWORK_TIMEOUT and
    // TIMEOUT, or LDAPNETWORK_TIMEOUT and LDAPTIMEOUT), else from the defaults.
    explicit LdapServers(LdapProviderOptions options);
    ~LdapServers();
    LdapServers(const LdapServers&) = delete;
    LdapServers& operator=(const LdapServers&) = delete;

    // The options with every time-out set.
    const LdapProviderOptions& options() const { return options_; }

    // The URIs to try for a query: the host it names; else the provider's own URI; else libldap's
    // configured URI; else the DNS SRV records of the base's domain; else ldap://<domain>.
    // Throws DirectoryError when the base names no domain and nothing else names a server.
    std::string locate(const std::string& host, const std::string& base);

    struct Handle {
        LDAP* ld;
        bool fresh;  // opened by this call, not reused
    };
    // The open handle for the URIs, opened and bound now if there is none. Throws ServerUnusable
    // when the server cannot be reached twice, or is out for this read already.
    Handle handle(const std::string& uris);

    // Notes that the server failed on handle: the handle is closed. A reused handle whose
    // connection broke since its last use (servers close idle connections) costs no try.
    void failed(const std::string& uris, const Handle& handle, const ServerUnusable& failure);

    // Closes every open handle.
    void drop_all();

    // What made the first server of this read go out, as a message for the user; empty when
    // none did.
    const std::string& read_problem() const { return read_problem_; }
    // The read is over: failures are forgotten, and every server may be tried again.
    void forget_unreachable();

  private:
    // False once the server is out for this read.
    bool usable(const std::string& uris) const { return !out_.count(uris); }
    LDAP* open(const std::string& uris);
    LDAP* bind(const std::string& uris);
    void count_failure(const std::string& uris, std::string cause);
    void drop(const std::string& uris);

    LdapProviderOptions options_;
    ldap_conncb connect_callback_;
    std::map<std::string, LDAP*> handles_;
    // Per server of this read: the tries that failed, the list to connect to (rotated after a
    // failure), and why the Kerberos bind failed where it did.
    std::map<std::string, int> failures_;
    std::map<std::string, std::string> connect_order_;
    std::map<std::string, std::string> kerberos_failure_;
    std::set<std::string> out_;
    std::string read_problem_;
    // Domain -> URIs found through DNS; a domain whose lookup found nothing is asked again after
    // forget_unreachable().
    std::map<std::string, std::string> located_;
};

timeval to_timeval(std::chrono::milliseconds duration) {
    return timeval{static_cast<time_t>(duration.count() / 1000),
                   static_cast<suseconds_t>((duration.count() % 1000) * 1000)};
}

// The URI that ldap.conf or LDAPURI sets; empty where neither does. libldap answers with its
// built-in "ldap://localhost/" then, which names no configured directory: taken for one, it would
// hide the domain's own servers.
std::string configured_uri() {
    char* uri = nullptr;
    if (ldap_get_option(nullptr, LDAP_OPT_URI, &uri) != LDAP_OPT_SUCCESS || !uri)
        return {};
    const bool built_in = std::string_view(uri) == "ldap://localhost:389/??base";
    std::string result = built_in ? std::string() : std::string(uri);
    ldap_memfree(uri);
    return result;
}

std::string domain_of(const std::string& base) {
    char* domain = nullptr;
    if (base.empty() || ldap_dn2domain(base.c_str(), &domain) != 0 || !domain)
        return {};
    std::string result = domain;
    ldap_memfree(domain);
    return result;
}

// "host:port host2:port" from the DNS SRV records as "ldap://host:port ldap://host2:port".
std::string srv_uris(const std::string& domain) {
    char* hosts = nullptr;
    if (ldap_domain2hostlist(domain.c_str(), &hosts) != LDAP_SUCCESS || !hosts)
        return {};
    std::istringstream list(hosts);
    ldap_memfree(hosts);
    std::string uris;
    for (std::string host; list >> host;) {
        if (!uris.empty())
            uris += ' ';
        uris += "ldap://" + host;
    }
    return uris;
}

// The time-out libldap's configuration sets for option (ldap.conf, or its environment
// variables); nothing where it sets none.
std::optional<std::chrono::milliseconds> configured_timeout(int option) {
    timeval* value = nullptr;
    if (ldap_get_option(nullptr, option, &value) != LDAP_OPT_SUCCESS || !value)
        return std::nullopt;
    const std::chrono::milliseconds timeout(value->tv_sec * 1000 + value->tv_usec / 1000);
    ldap_memfree(value);
    if (timeout.count() <= 0)
        return std::nullopt;
    return timeout;
}

LdapProviderOptions with_timeouts(LdapProviderOptions options) {
    using namespace std::chrono_literals;
    if (!options.network_timeout)
        options.network_timeout = configured_timeout(LDAP_OPT_NETWORK_TIMEOUT).value_or(5000ms);
    if (!options.response_timeout)
        options.response_timeout = configured_timeout(LDAP_OPT_TIMEOUT).value_or(10000ms);
    return options;
}

// Each new connection: libldap reads a TCP connection one message part at a time, two reads and
// a poll for each record of an answer, so a read-ahead layer above the socket takes in whatever
// has arrived at once. It sits below TLS and SASL layers, which are added later at the same or
// higher levels. libldap bounds only the wait for a message's first byte; the rest it reads
// from a blocking socket, so the socket itself gives up a read or a write that stalls for the
// response time-out, and libldap then goes back to its own bounded wait.
int prepare_connection(LDAP*, Sockbuf* sb, LDAPURLDesc*, sockaddr*, ldap_conncb* callback) {
    ber_len_t buffer_size = 64 * 1024;
    ber_sockbuf_add_io(sb, &ber_sockbuf_io_readahead, LBER_SBIOD_LEVEL_TRANSPORT, &buffer_size);
    ber_socket_t fd = -1;
    if (ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &fd) == 1 && fd >= 0) {
        const auto* stall = static_cast<const std::chrono::milliseconds*>(callback->lc_arg);
        const timeval limit = to_timeval(*stall);
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    }
    return 0;
}

void connection_closed(LDAP*, Sockbuf*, ldap_conncb*) {}

void set_options(LDAP* ld, const LdapProviderOptions& options, ldap_conncb& callback) {
    const int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    const timeval network = to_timeval(*options.network_timeout);
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &network);
    // Bounds libldap's own synchronous waits (inside the SASL exchange) as well.
    const timeval response = to_timeval(*options.response_timeout);
    ldap_set_option(ld, LDAP_OPT_TIMEOUT, &response);
    ldap_set_option(ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
    ldap_set_option(ld, LDAP_OPT_CONNECT_CB, &callback);
}

int sasl_defaults(LDAP*, unsigned, void*, void* interactions) {
    // GSSAPI asks for nothing that a ticket does not answer; every prompt gets its default.
    for (auto* prompt = static_cast<sasl_interact_t*>(interactions);
         prompt && prompt->id != SASL_CB_LIST_END; ++prompt) {
        prompt->result = prompt->defresult ? prompt->defresult : "";
        prompt->len = static_cast<unsigned>(
            std::char_traits<char>::length(static_cast<const char*>(prompt->result)));
    }
    return LDAP_SUCCESS;
}

std::string result_text(LDAP* ld, int code) {
    std::string text = ldap_err2string(code);
    char* diagnostic = nullptr;
    if (ld && ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &diagnostic) == LDAP_OPT_SUCCESS &&
        diagnostic) {
        if (*diagnostic)
            text += std::string(": ") + diagnostic;
        ldap_memfree(diagnostic);
    }
    return text;
}

// An anonymous bind, answered within the response time-out: proves that the server answers.
// Returns why it did not, or nothing.
std::optional<std::string> bind_anonymously(LDAP* ld, std::chrono::milliseconds timeout) {
    berval no_password{0, nullptr};
    int msgid = 0;
    if (const int rc =
            ldap_sasl_bind(ld, "", LDAP_SASL_SIMPLE, &no_password, nullptr, nullptr, &msgid);
        rc != LDAP_SUCCESS)
        return "could not be reached (" + std::string(ldap_err2string(rc)) + ")";
    timeval wait = to_timeval(timeout);
    LDAPMessage* result = nullptr;
    const int rc = ldap_result(ld, msgid, LDAP_MSG_ALL, &wait, &result);
    if (rc == 0) {
        ldap_abandon_ext(ld, msgid, nullptr, nullptr);
        return "stopped answering (no answer to the bind within " + seconds_text(timeout) + ")";
    }
    if (rc < 0)
        return "dropped the connection (" + result_text(ld, LDAP_SERVER_DOWN) + ")";
    int code = LDAP_OTHER;
    ldap_parse_result(ld, result, &code, nullptr, nullptr, nullptr, nullptr, 1);
    // A server that refuses anonymous binds has still answered; searches then run unbound, and
    // a refusal shows there.
    return std::nullopt;
}

// "ldap://a ldap://b ldap://c" as "ldap://b ldap://c ldap://a": the next try starts with the
// next server.
std::string rotated(const std::string& uris) {
    const std::size_t blank = uris.find(' ');
    if (blank == std::string::npos)
        return uris;
    return uris.substr(blank + 1) + ' ' + uris.substr(0, blank);
}

// A SASL GSSAPI bind with the user's Kerberos ticket.
bool bind_with_kerberos(LDAP* ld) {
    return ldap_sasl_interactive_bind_s(ld, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET,
                                        sasl_defaults, nullptr) == LDAP_SUCCESS;
}

LdapServers::LdapServers(LdapProviderOptions options)
    : options_(with_timeouts(std::move(options))),
      connect_callback_{prepare_connection, connection_closed, &*options_.response_timeout} {}

LdapServers::~LdapServers() {
    drop_all();
}

std::string LdapServers::locate(const std::string& host, const std::string& base) {
    if (!host.empty())
        return "ldap://" + host;
    if (!options_.uri.empty())
        return options_.uri;
    if (std::string uri = configured_uri(); !uri.empty())
        return uri;
    const std::string domain = domain_of(base);
    if (domain.empty())
        throw DirectoryError("no server is known for the base '" + base + "'");
    auto known = located_.find(domain);
    if (known == located_.end()) {
        std::string uris = srv_uris(domain);
        if (uris.empty())
            uris = "ldap://" + domain;
        known = located_.emplace(domain, std::move(uris)).first;
    }
    return known->second;
}

LDAP* LdapServers::open(const std::string& uris) {
    const auto order = connect_order_.find(uris);
    LDAP* ld = nullptr;
    if (ldap_initialize(&ld,
                        order == connect_order_.end() ? uris.c_str() : order->second.c_str()) !=
            LDAP_SUCCESS ||
        !ld)
        return nullptr;
    set_options(ld, options_, connect_callback_);
    return ld;
}

// A new handle, bound with the user's Kerberos ticket where there is one and the server takes
// it, else anonymously; nullptr when the server does not answer, with the cause noted.
LDAP* LdapServers::bind(const std::string& uris) {
    if (platform::kerberos_ticket_user()) {
        if (LDAP* ld = open(uris)) {
            if (bind_with_kerberos(ld)) {
                kerberos_failure_.erase(uris);
                return ld;
            }
            kerberos_failure_[uris] = result_text(ld, LDAP_LOCAL_ERROR);
            ldap_unbind_ext(ld, nullptr, nullptr);
        }
    }
    // No ticket, or the server takes none: start over on a handle of its own, anonymously.
    LDAP* ld = open(uris);
    if (!ld) {
        count_failure(uris, "is not a server address");
        return nullptr;
    }
    if (std::optional<std::string> failure = bind_anonymously(ld, *options_.response_timeout)) {
        ldap_unbind_ext(ld, nullptr, nullptr);
        count_failure(uris, std::move(*failure));
        return nullptr;
    }
    return ld;
}

LdapServers::Handle LdapServers::handle(const std::string& uris) {
    if (const auto open_handle = handles_.find(uris); open_handle != handles_.end())
        return {open_handle->second, false};
    while (usable(uris)) {
        if (LDAP* ld = bind(uris)) {
            handles_.emplace(uris, ld);
            return {ld, true};
        }
    }
    throw ServerUnusable("the directory at " + uris + " is not asked again in this read");
}

void LdapServers::failed(const std::string& uris, const Handle& handle,
                         const ServerUnusable& failure) {
    const bool lost = dynamic_cast<const ServerLost*>(&failure) != nullptr;
    const bool silent = dynamic_cast<const ServerSilent*>(&failure) != nullptr;
    if (lost && !silent && !handle.fresh) {
        drop(uris);
        return;
    }
    std::string cause = failure.what();
    if (dynamic_cast<const ServerRefused*>(&failure)) {
        if (const auto kerberos = kerberos_failure_.find(uris); kerberos != kerberos_failure_.end())
            cause += ": it wants an authenticated bind, and the Kerberos bind failed (" +
                     kerberos->second + ")";
        else if (!platform::kerberos_ticket_user())
            cause +=
                ": it wants an authenticated bind, and there is no valid Kerberos ticket "
                "(kinit gets one)";
    }
    drop(uris);
    count_failure(uris, std::move(cause));
}

void LdapServers::count_failure(const std::string& uris, std::string cause) {
    if (++failures_[uris] < 2) {
        const auto order = connect_order_.find(uris);
        connect_order_[uris] = rotated(order == connect_order_.end() ? uris : order->second);
        return;
    }
    out_.insert(uris);
    if (read_problem_.empty())
        read_problem_ = "The directory at " + uris + " " + cause + ". The lists are incomplete.";
}

void LdapServers::drop(const std::string& uris) {
    if (const auto open_handle = handles_.find(uris); open_handle != handles_.end()) {
        ldap_unbind_ext(open_handle->second, nullptr, nullptr);
        handles_.erase(open_handle);
    }
    kerberos_failure_.erase(uris);
}

void LdapServers::drop_all() {
    for (auto& [uris, ld] : handles_)
        ldap_unbind_ext(ld, nullptr, nullptr);
    handles_.clear();
    kerberos_failure_.clear();
}

void LdapServers::forget_unreachable() {
    failures_.clear();
    connect_order_.clear();
    out_.clear();
    read_problem_.clear();
    // Domains that DNS knew nothing about may have records now.
    for (auto it = located_.begin(); it != located_.end();) {
        if (it->second == "ldap://" + it->first)
            it = located_.erase(it);
        else
            ++it;
    }
}

// Attributes that the directory's schema defines as multi-valued: always an array, even with one
// value, as the provider hands them out.
bool is_multi_valued(std::string_view attribute) {
    for (const std::string_view name : {"member", "memberOf", "objectClass"})
        if (equals_ignoring_case(attribute, name))
            return true;
    return false;
}

// The value of a selected field as the provider hands it out: no value, one text, or an array
// for a multi-valued attribute (always for those the schema defines as multi-valued).
// The values are moved out when no later field asks for them again.
FieldValue field_value(std::vector<LdapRecord::Attribute>& attributes, std::string_view field,
                       bool last_use) {
    for (LdapRecord::Attribute& attribute : attributes) {
        if (!equals_ignoring_case(attribute.name, field))
            continue;
        if (attribute.values.empty())
            return {};
        if (attribute.values.size() == 1 && !is_multi_valued(field))
            return last_use ? std::move(attribute.values[0]) : attribute.values[0];
        return last_use ? std::move(attribute.values) : attribute.values;
    }
    return {};
}

// The records of a search as a record set whose fields are those selected.
std::unique_ptr<Recordset> record_set(const std::vector<std::string>& selected,
                                      std::vector<LdapRecord> records) {
    auto answer = std::make_shared<StoredAnswer>();
    answer->selected = selected;
    answer->records.reserve(records.size());
    std::vector<bool> last_uses(selected.size(), true);
    for (std::size_t f = 0; f < selected.size(); ++f)
        for (std::size_t later = f + 1; later < selected.size(); ++later)
            if (equals_ignoring_case(selected[f], selected[later]))
                last_uses[f] = false;
    for (LdapRecord& record : records) {
        StoredRecord stored;
        stored.dn = std::move(record.dn);
        for (const LdapRecord::Attribute& attribute : record.attributes)
            if (equals_ignoring_case(attribute.name, "objectSid") && !attribute.values.empty()) {
                stored.sid = attribute.values.front();
                break;
            }
        stored.fields.reserve(selected.size());
        for (std::size_t f = 0; f < selected.size(); ++f)
            stored.fields.push_back(field_value(record.attributes, selected[f], last_uses[f]));
        answer->records.push_back(std::move(stored));
    }
    return std::make_unique<StoredRecordset>(std::move(answer));
}

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
        return record_set(query.attributes, search(uris, request));
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
                run_searches(
                    handle.ld, requests, [&](std::size_t k, std::vector<LdapRecord> records) {
                        answered(indices[k],
                                 record_set(queries[indices[k]].attributes, std::move(records)));
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

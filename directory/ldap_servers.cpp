#include "directory/ldap_servers.h"

#include <lber.h>
#include <sasl/sasl.h>
#include <sys/socket.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <utility>

#include "platform/kerberos.h"

namespace permscope::directory {

namespace {

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

}  // namespace

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

}  // namespace permscope::directory

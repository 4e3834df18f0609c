#include "directory/ldap_servers.h"

#include "platform/kerberos.h"

#include <lber.h>
#include <sasl/sasl.h>

#include <chrono>
#include <sstream>

namespace permscope::directory {

namespace {

timeval to_timeval(std::chrono::milliseconds duration) {
    return timeval{static_cast<time_t>(duration.count() / 1000),
                   static_cast<suseconds_t>((duration.count() % 1000) * 1000)};
}

std::string configured_uri() {
    char* uri = nullptr;
    if (ldap_get_option(nullptr, LDAP_OPT_URI, &uri) != LDAP_OPT_SUCCESS || !uri)
        return {};
    std::string result = uri;
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

// libldap reads a TCP connection one message part at a time, two reads and a poll for each
// record of an answer; a read-ahead layer above the socket takes in whatever has arrived at once.
// It sits below TLS and SASL layers, which are added later at the same or higher levels.
int add_read_ahead(LDAP*, Sockbuf* sb, LDAPURLDesc*, sockaddr*, ldap_conncb*) {
    ber_len_t buffer_size = 64 * 1024;
    ber_sockbuf_add_io(sb, &ber_sockbuf_io_readahead, LBER_SBIOD_LEVEL_TRANSPORT, &buffer_size);
    return 0;
}

void connection_closed(LDAP*, Sockbuf*, ldap_conncb*) {}

ldap_conncb read_ahead_callback{add_read_ahead, connection_closed, nullptr};

void set_options(LDAP* ld, const LdapProviderOptions& options) {
    const int version = LDAP_VERSION3;
    ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    const timeval network = to_timeval(options.network_timeout);
    ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &network);
    // Bounds libldap's own synchronous waits (inside the SASL exchange) as well.
    ldap_set_option(ld, LDAP_OPT_TIMEOUT, &network);
    ldap_set_option(ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
    ldap_set_option(ld, LDAP_OPT_CONNECT_CB, &read_ahead_callback);
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

// An anonymous bind, answered within the network time-out: proves that the server answers.
bool bind_anonymously(LDAP* ld, std::chrono::milliseconds timeout) {
    berval no_password{0, nullptr};
    int msgid = 0;
    if (ldap_sasl_bind(ld, "", LDAP_SASL_SIMPLE, &no_password, nullptr, nullptr, &msgid) !=
        LDAP_SUCCESS)
        return false;
    timeval wait = to_timeval(timeout);
    LDAPMessage* result = nullptr;
    const int rc = ldap_result(ld, msgid, LDAP_MSG_ALL, &wait, &result);
    if (rc <= 0) {
        if (rc == 0)
            ldap_abandon_ext(ld, msgid, nullptr, nullptr);
        return false;
    }
    int code = LDAP_OTHER;
    ldap_parse_result(ld, result, &code, nullptr, nullptr, nullptr, nullptr, 1);
    // A server that refuses anonymous binds has still answered; searches then run unbound.
    return true;
}

}  // namespace

bool bind_with_kerberos(LDAP* ld) {
    return ldap_sasl_interactive_bind_s(ld, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET,
                                        sasl_defaults, nullptr) == LDAP_SUCCESS;
}

LdapServers::LdapServers(LdapProviderOptions options) : options_(std::move(options)) {}

LdapServers::~LdapServers() {
    for (auto& [uris, ld] : handles_)
        ldap_unbind_ext(ld, nullptr, nullptr);
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
    LDAP* ld = nullptr;
    if (ldap_initialize(&ld, uris.c_str()) != LDAP_SUCCESS || !ld)
        throw DirectoryError("not a server address: " + uris);
    set_options(ld, options_);
    if (platform::kerberos_ticket_user() && bind_with_kerberos(ld))
        return ld;
    // No ticket, or the server takes none: start over on a handle of its own, anonymously.
    ldap_unbind_ext(ld, nullptr, nullptr);
    ld = nullptr;
    if (ldap_initialize(&ld, uris.c_str()) != LDAP_SUCCESS || !ld)
        throw DirectoryError("not a server address: " + uris);
    set_options(ld, options_);
    if (bind_anonymously(ld, options_.network_timeout))
        return ld;
    ldap_unbind_ext(ld, nullptr, nullptr);
    return nullptr;
}

LdapServers::Handle LdapServers::handle(const std::string& uris) {
    if (const auto open_handle = handles_.find(uris); open_handle != handles_.end())
        return {open_handle->second, false};
    if (unreachable_.count(uris))
        throw DirectoryError("the directory could not be reached");
    LDAP* ld = open(uris);
    if (!ld) {
        unreachable_.insert(uris);
        throw DirectoryError("the directory could not be reached: " + uris);
    }
    handles_.emplace(uris, ld);
    return {ld, true};
}

void LdapServers::drop(const std::string& uris) {
    if (const auto open_handle = handles_.find(uris); open_handle != handles_.end()) {
        ldap_unbind_ext(open_handle->second, nullptr, nullptr);
        handles_.erase(open_handle);
    }
}

void LdapServers::drop_all() {
    for (auto& [uris, ld] : handles_)
        ldap_unbind_ext(ld, nullptr, nullptr);
    handles_.clear();
}

void LdapServers::mark_unreachable(const std::string& uris) {
    drop(uris);
    unreachable_.insert(uris);
}

void LdapServers::forget_unreachable() {
    unreachable_.clear();
    // Domains that DNS knew nothing about may have records now.
    for (auto it = located_.begin(); it != located_.end();) {
        if (it->second == "ldap://" + it->first)
            it = located_.erase(it);
        else
            ++it;
    }
}

}  // namespace permscope::directory

#pragma once
// The LDAP servers a provider talks to: where the server of a base name is found, one handle per
// server opened (and bound) on first use and kept, and what went wrong with a server in the
// current folder read.

#include <ldap.h>

#include <map>
#include <set>
#include <string>

#include "directory/ldap_provider.h"
#include "directory/ldap_search.h"

namespace permscope::directory {

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

}  // namespace permscope::directory

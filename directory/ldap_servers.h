#pragma once
// The LDAP servers a provider talks to: where the server of a base name is found, one handle per
// server opened on first use and kept, and the servers that could not be reached lately.

#include <ldap.h>

#include <map>
#include <set>
#include <string>

#include "directory/ldap_provider.h"

namespace permscope::directory {

class LdapServers {
  public:
    explicit LdapServers(LdapProviderOptions options);
    ~LdapServers();
    LdapServers(const LdapServers&) = delete;
    LdapServers& operator=(const LdapServers&) = delete;

    const LdapProviderOptions& options() const { return options_; }

    // The URIs to try for a query: the host it names; else the provider's own URI; else libldap's
    // configured URI; else the DNS SRV records of the base's domain; else ldap://<domain>.
    // Throws DirectoryError when the base names no domain and nothing else names a server.
    std::string locate(const std::string& host, const std::string& base);

    struct Handle {
        LDAP* ld;
        bool fresh;  // opened by this call, not reused
    };
    // The open handle for the URIs, opened and bound now if there is none. Throws DirectoryError
    // when the server cannot be reached; it is then not tried again until forget_unreachable().
    Handle handle(const std::string& uris);

    // Closes the handle of a server that broke off; it is opened anew at its next use.
    void drop(const std::string& uris);
    // Closes every open handle.
    void drop_all();
    // Closes the handle and keeps the server out until forget_unreachable().
    void mark_unreachable(const std::string& uris);
    void forget_unreachable();

  private:
    LDAP* open(const std::string& uris);

    LdapProviderOptions options_;
    std::map<std::string, LDAP*> handles_;
    std::set<std::string> unreachable_;
    // Domain -> URIs found through DNS; a domain whose lookup found nothing is asked again after
    // forget_unreachable().
    std::map<std::string, std::string> located_;
};

// A SASL GSSAPI bind with the user's Kerberos ticket.
bool bind_with_kerberos(LDAP* ld);

}  // namespace permscope::directory

#pragma once
// The directory provider over OpenLDAP's libldap: query texts of the provider's SQL dialect run as
// LDAP searches against the directory that the base name (or an explicit host) names.

#include <chrono>
#include <memory>
#include <string>

#include "directory/directory_provider.h"

namespace permscope::directory {

struct LdapProviderOptions {
    // Servers to use instead of locating them ("ldap://host:port", several separated by blanks).
    // Empty: libldap's configured URI, else the DNS SRV records of the domain, else the domain.
    std::string uri;
    // Connecting, and waiting for the answer to the bind that opens a handle.
    std::chrono::milliseconds network_timeout{5000};
    // The server's time limit for one search; the client waits that long plus network_timeout.
    std::chrono::seconds search_time_limit{30};
    // Entries per page of a paged search.
    int page_size = 1000;
    // Keep each server's handle for the next connection. Off, closing a connection closes the
    // handles too, and every connection opens (and binds) its own.
    bool reuse_handles = true;
};

// Handles are opened on first use and kept for the provider's lifetime (the process, in the
// program).
std::unique_ptr<DirectoryProvider> make_ldap_directory_provider();
std::unique_ptr<DirectoryProvider> make_ldap_directory_provider(LdapProviderOptions options);

}  // namespace permscope::directory

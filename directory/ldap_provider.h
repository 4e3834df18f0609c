#pragma once
// The directory provider over OpenLDAP's libldap: query texts of the provider's SQL dialect run as
// LDAP searches against the directory that the base name (or an explicit host) names.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "directory/directory_provider.h"

namespace permscope::directory {

struct LdapProviderOptions {
    // Servers to use instead of locating them ("ldap://host:port", several separated by blanks).
    // Empty: libldap's configured URI, else the DNS SRV records of the domain, else the domain.
    std::string uri;
    // Connecting to a server. Unset: ldap.conf's NETWORK_TIMEOUT where it is set, else 5 s.
    std::optional<std::chrono::milliseconds> network_timeout{};
    // The longest silence within any answer, the bind's included. Unset: ldap.conf's TIMEOUT
    // where it is set, else 10 s. Two tries of a server that stops answering, and the message
    // that says so, fit into 30 s with the defaults.
    std::optional<std::chrono::milliseconds> response_timeout{};
    // The server's time limit for one search; the client waits that long plus response_timeout
    // for the whole answer.
    std::chrono::seconds search_time_limit{30};
    // Entries per page of a paged search.
    int page_size = 1000;
    // Entries per page of a search whose records are handed over as they arrive (a read of all
    // groups or users). Between pages the server waits for the next request and the client for
    // the next entry: 100,000 users from slapd come in 0.35 s as one page, 0.45 s in pages of
    // 5,000 and 0.59 s in pages of 1,000. A server with a smaller limit (Active Directory's
    // MaxPageSize, 1,000) sends pages of its own size; the records are not kept either way.
    int streamed_page_size = 1000000;
    // Keep each server's handle for the next connection. Off, closing a connection closes the
    // handles too, and every connection opens (and binds) its own.
    bool reuse_handles = true;
};

// Handles are opened on first use and kept for the provider's lifetime (the process, in the
// program).
std::unique_ptr<DirectoryProvider> make_ldap_directory_provider();
std::unique_ptr<DirectoryProvider> make_ldap_directory_provider(LdapProviderOptions options);

}  // namespace permscope::directory

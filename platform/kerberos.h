#pragma once
// What the Kerberos client library knows about this user and machine.

#include <optional>
#include <string>

namespace permscope::platform {

// libdefaults' default_realm of the Kerberos configuration (krb5.conf, or the files that
// KRB5_CONFIG names); nothing when none is configured.
std::optional<std::string> kerberos_default_realm();

// The user part of the principal in the default credential cache when that cache holds a ticket
// that has not yet expired; nothing otherwise.
std::optional<std::string> kerberos_ticket_user();

}  // namespace permscope::platform

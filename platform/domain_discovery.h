#pragma once
// Finds the DNS names of the Active Directory (or LDAP) domains this machine belongs to, the
// answer to the management layer's Win32_NTDomain class, from the configuration files start-up
// reads: SSSD's and Samba's (INI-style), Kerberos' and libldap's (read by those libraries).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"

namespace permscope::platform {

// The configuration files of SSSD and Samba; the defaults are the system's. Kerberos and libldap
// find their own.
struct DomainSources {
    std::string sssd_conf = "/etc/sssd/sssd.conf";
    std::string smb_conf = "/etc/samba/smb.conf";
};

// One name per source, in this order: each [domain/X] section of the SSSD configuration whose
// id_provider is "ad" (its ad_domain, else X); Samba's realm when its security is "ads"; the
// Kerberos default realm; the base of the LDAP client configuration as a DNS name. All in lower
// case. A source that is missing or names nothing adds nothing; equal names are all kept.
std::vector<std::string> discover_forest_names(const DomainSources& sources);

// The single sources, on the text of a configuration file.
std::vector<std::string> sssd_ad_domains(std::string_view sssd_conf);
std::optional<std::string> samba_ads_realm(std::string_view smb_conf);

// A reader for the INI-style configuration files of SSSD and Samba: "[section]" headers,
// "key = value" lines, comment lines starting with "#" or ";", and Samba's line continuation with a
// trailing backslash. Key names are compared the way both programs do: without regard to case,
// blanks or underscores ("ID_Provider" and "id provider" are the same key).

struct IniSection {
    std::string name;  // as written, without the brackets and surrounding blanks
    std::vector<std::pair<std::string, std::string>> entries;  // normalised key, trimmed value

    // The last value of the key in this section (later lines override earlier ones).
    std::optional<std::string> value(std::string_view key) const;
};

// The sections in file order. Lines before the first header belong to a section with an empty name.
std::vector<IniSection> parse_ini(std::string_view text);

// Reading the configuration files that start-up depends on.

// Configuration files are the administrator's, but a damaged one (a 50 MB line, 200,000
// sections) must not stall the start: of each, at most this much is read, cut after its last whole
// line, and stderr says so. A FIFO in a file's place is never waited on.
inline constexpr std::size_t kConfigFileLimit = std::size_t{1} << 20;

// libkrb5 and libldap read krb5.conf and ldap.conf themselves. Where one of those files (as
// KRB5_CONFIG and LDAPCONF name them, else the system's) is longer than kConfigFileLimit, the
// library is pointed at an in-memory copy of the lines within the limit. Runs before
// either library is first used; later calls do nothing.
void limit_library_configuration();

}  // namespace permscope::platform

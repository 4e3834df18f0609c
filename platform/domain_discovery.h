#pragma once
// Finds the DNS names of the Active Directory (or LDAP) domains this machine belongs to: the
// answer to the management layer's Win32_NTDomain class.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
// The default search base of libldap (ldap.conf, LDAPCONF, LDAPRC, LDAPBASE ...), as a DNS name.
std::optional<std::string> ldap_default_base_domain();

}  // namespace permscope::platform

#pragma once
// Finds the DNS names of the Active Directory (or LDAP) domains this machine belongs to: the
// answer to the management layer's Win32_NTDomain class.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux_management.h"

namespace permscope::platform {

// One name per source, in this order: each [domain/X] section of the SSSD configuration whose
// id_provider is "ad" (its ad_domain, else X); Samba's realm when its security is "ads"; the
// Kerberos default realm; the base of the LDAP client configuration as a DNS name. All in lower
// case. A source that is missing or names nothing adds nothing; equal names are all kept.
std::vector<std::string> discover_forest_names(const LinuxManagementConfig& config);

// The single sources, on the text of a configuration file.
std::vector<std::string> sssd_ad_domains(std::string_view sssd_conf);
std::optional<std::string> samba_ads_realm(std::string_view smb_conf);
// The DNS name of the dc= components of a distinguished name: "ou=x,dc=Example,dc=org" gives
// "Example.org"; nothing when it has no dc= component or does not parse.
std::optional<std::string> dns_name_of_base_dn(std::string_view base_dn);
// The default search base of libldap (ldap.conf, LDAPCONF, LDAPRC, LDAPBASE ...), as a DNS name.
std::optional<std::string> ldap_default_base_domain();

}  // namespace permscope::platform

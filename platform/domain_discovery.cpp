#include "platform/domain_discovery.h"

#include <ldap.h>

#include "platform/ini_file.h"
#include "platform/kerberos.h"
#include "platform/text_utils.h"

namespace permscope::platform {

namespace {

constexpr std::string_view kSssdDomainPrefix = "domain/";

void add_if_present(std::vector<std::string>& names, const std::optional<std::string>& name) {
    if (name && !name->empty()) {
        names.push_back(ascii_lower(*name));
    }
}

}  // namespace

std::vector<std::string> sssd_ad_domains(std::string_view sssd_conf) {
    std::vector<std::string> domains;
    for (const IniSection& section : parse_ini(sssd_conf)) {
        if (!section.name.starts_with(kSssdDomainPrefix)) {
            continue;
        }
        const auto provider = section.value("id_provider");
        if (!provider || !equals_ignoring_case(*provider, "ad")) {
            continue;
        }
        const auto ad_domain = section.value("ad_domain");
        std::string name = (ad_domain && !ad_domain->empty())
                               ? *ad_domain
                               : section.name.substr(kSssdDomainPrefix.size());
        if (!name.empty()) {
            domains.push_back(std::move(name));
        }
    }
    return domains;
}

std::optional<std::string> samba_ads_realm(std::string_view smb_conf) {
    std::optional<std::string> realm;
    for (const IniSection& section : parse_ini(smb_conf)) {
        if (!equals_ignoring_case(section.name, "global")) {
            continue;
        }
        const auto security = section.value("security");
        if (security && equals_ignoring_case(*security, "ads")) {
            realm = section.value("realm");
        } else if (security) {
            realm.reset();
        }
    }
    if (realm && realm->empty()) {
        realm.reset();
    }
    return realm;
}

std::optional<std::string> ldap_default_base_domain() {
    char* base = nullptr;
    if (ldap_get_option(nullptr, LDAP_OPT_DEFBASE, &base) != LDAP_OPT_SUCCESS || base == nullptr) {
        return std::nullopt;
    }
    // The trailing dc= components make the domain's name: "ou=x,dc=Example,dc=org" is in
    // "Example.org".
    char* domain = nullptr;
    const int result = ldap_dn2domain(base, &domain);
    ldap_memfree(base);
    std::optional<std::string> name;
    if (result == LDAP_SUCCESS && domain != nullptr && *domain != '\0') {
        name = domain;
    }
    ldap_memfree(domain);
    return name;
}

std::vector<std::string> discover_forest_names(const DomainSources& config) {
    std::vector<std::string> names;
    for (const std::string& domain : sssd_ad_domains(read_config_file(config.sssd_conf))) {
        add_if_present(names, domain);
    }
    add_if_present(names, samba_ads_realm(read_config_file(config.smb_conf)));
    add_if_present(names, kerberos_default_realm());
    add_if_present(names, ldap_default_base_domain());
    return names;
}

}  // namespace permscope::platform

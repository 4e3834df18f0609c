#include <gtest/gtest.h>

#include "platform/domain_discovery.h"

namespace permscope::platform {
namespace {

TEST(IniFileTest, SectionsKeysCommentsAndContinuations) {
    const auto sections = parse_ini(
        "top = 1\n"
        "[ global ]\r\n"
        "  # a comment = no\n"
        "  ; another = no\n"
        "  Server String = first \\\n"
        "     second\n"
        "security=ADS\n"
        "security = user\n"
        "[domain/Corp]\n"
        "id_provider = ad\n"
        "broken line without equals\n");
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[0].name, "");
    EXPECT_EQ(sections[0].value("top"), "1");
    EXPECT_EQ(sections[1].name, "global");
    EXPECT_EQ(sections[1].value("server_string"), "first      second");
    EXPECT_EQ(sections[1].value("SECURITY"), "user");  // the later line wins
    EXPECT_FALSE(sections[1].value("a comment"));
    EXPECT_EQ(sections[2].name, "domain/Corp");
    EXPECT_EQ(sections[2].value("id provider"), "ad");
}

TEST(DomainSourcesTest, SssdTakesAdDomainsInFileOrder) {
    const std::string conf =
        "[sssd]\n"
        "domains = Corp.Example, ldaponly, second\n"
        "[domain/Corp.Example]\n"
        "id_provider = ad\n"
        "[domain/ldaponly]\n"
        "id_provider = ldap\n"
        "ad_domain = not.this.one\n"
        "[domain/second]\n"
        "id_provider = AD\n"
        "ad_domain = Sub.Example.ORG\n"
        "[domain/]\n"
        "id_provider = ad\n";
    EXPECT_EQ(sssd_ad_domains(conf), (std::vector<std::string>{"Corp.Example", "Sub.Example.ORG"}));
    EXPECT_TRUE(sssd_ad_domains("").empty());
}

TEST(DomainSourcesTest, SambaRealmOnlyWithAdsSecurity) {
    EXPECT_EQ(samba_ads_realm("[global]\nsecurity = ADS\nrealm = CORP.EXAMPLE\n"), "CORP.EXAMPLE");
    EXPECT_FALSE(samba_ads_realm("[global]\nsecurity = user\nrealm = CORP.EXAMPLE\n"));
    EXPECT_FALSE(samba_ads_realm("[global]\nsecurity = ads\n"));
    EXPECT_FALSE(samba_ads_realm("[global]\nsecurity = ads\nrealm =\n"));
    // A share section's settings are not the server's.
    EXPECT_FALSE(samba_ads_realm("[global]\n[data]\nsecurity = ads\nrealm = X.Y\n"));
}

}  // namespace
}  // namespace permscope::platform

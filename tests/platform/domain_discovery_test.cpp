// Domain discovery against configuration files this test writes. libldap reads its configuration
// once per process, so the LDAP client's base is fixed for the whole program (LDAPCONF, set before
// any test runs); the Kerberos library reads KRB5_CONFIG at every query.
#include "platform/domain_discovery.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/linux_management.h"
#include "platform_test_support.h"

namespace permscope::platform {
namespace {

using test::TempFolder;

class LdapClientEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        const std::string conf =
            folder_.write("ldap.conf", "BASE ou=People,dc=Corp,dc=Example,dc=COM\n");
        setenv("LDAPCONF", conf.c_str(), 1);
        unsetenv("LDAPBASE");
        unsetenv("LDAPRC");
        unsetenv("LDAPNOINIT");
        setenv("KRB5_CONFIG", (folder_ / "no-krb5.conf").c_str(), 1);
    }

  private:
    TempFolder folder_;
};

[[maybe_unused]] auto* const ldap_environment =
    ::testing::AddGlobalTestEnvironment(new LdapClientEnvironment);

class DomainDiscoveryTest : public ::testing::Test {
  protected:
    DomainDiscoveryTest() {
        config_.sssd_conf = folder_ / "sssd.conf";
        config_.smb_conf = folder_ / "smb.conf";
    }
    ~DomainDiscoveryTest() override {
        setenv("KRB5_CONFIG", (folder_ / "no-krb5.conf").c_str(), 1);
    }

    void use_krb5_conf(const std::string& text) {
        setenv("KRB5_CONFIG", folder_.write("krb5.conf", text).c_str(), 1);
    }

    std::vector<std::string> forest_names_through_the_layer() {
        auto services = test::connect_local(*make_linux_management(config_));
        std::vector<std::string> names;
        for (const auto& domain : services->InstancesOf("Win32_NTDomain")) {
            const PropertyValue value = domain->property("DnsForestName");
            EXPECT_TRUE(std::holds_alternative<std::string>(value));
            names.push_back(std::get<std::string>(value));
        }
        return names;
    }

    TempFolder folder_;
    LinuxManagementConfig config_;
};

TEST_F(DomainDiscoveryTest, AllSourcesInOrderAndInLowerCase) {
    folder_.write("sssd.conf",
                  "[sssd]\ndomains = ONE.example, two\n"
                  "[domain/ONE.example]\nid_provider = ad\n"
                  "[domain/two]\nid_provider = ad\nad_domain = Two.Example.NET\n");
    folder_.write("smb.conf", "[global]\n   security = ADS\n   realm = SAMBA.EXAMPLE.ORG\n");
    use_krb5_conf("[libdefaults]\n  default_realm = KERBEROS.EXAMPLE\n");
    EXPECT_EQ(forest_names_through_the_layer(),
              (std::vector<std::string>{"one.example", "two.example.net", "samba.example.org",
                                        "kerberos.example", "corp.example.com"}));
}

TEST_F(DomainDiscoveryTest, EqualNamesAreAllKept) {
    folder_.write("smb.conf", "[global]\nsecurity = ads\nrealm = CORP.EXAMPLE.COM\n");
    use_krb5_conf("[libdefaults]\ndefault_realm = CORP.EXAMPLE.COM\n");
    EXPECT_EQ(
        forest_names_through_the_layer(),
        (std::vector<std::string>{"corp.example.com", "corp.example.com", "corp.example.com"}));
}

TEST_F(DomainDiscoveryTest, SourcesWithNothingAddNothing) {
    // Missing SSSD file, a Samba member of no domain, no Kerberos realm: only the LDAP base.
    folder_.write("smb.conf", "[global]\nsecurity = user\nrealm = IGNORED.EXAMPLE\n");
    use_krb5_conf("[libdefaults]\n  dns_lookup_realm = false\n");
    EXPECT_EQ(forest_names_through_the_layer(), (std::vector<std::string>{"corp.example.com"}));
}

TEST_F(DomainDiscoveryTest, KerberosDefaultRealmFollowsKrb5Config) {
    use_krb5_conf("[libdefaults]\n\tdefault_realm = Mixed.Case.Realm\n");
    EXPECT_EQ(discover_forest_names(config_),
              (std::vector<std::string>{"mixed.case.realm", "corp.example.com"}));
    EXPECT_EQ(ldap_default_base_domain(), "Corp.Example.COM");
}

}  // namespace
}  // namespace permscope::platform

// A machine outside any domain: no SSSD or Samba domain, no Kerberos realm, no LDAP base. The
// LDAP client's configuration is switched off for the whole program before any test runs.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/linux_management.h"
#include "platform_test_support.h"

namespace permscope::platform {
namespace {

using test::TempFolder;

class NoDirectoryEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        setenv("LDAPNOINIT", "1", 1);
        unsetenv("LDAPBASE");
        setenv("KRB5_CONFIG", folder_.write("krb5.conf", "[libdefaults]\n").c_str(), 1);
    }

  private:
    TempFolder folder_;
};

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new NoDirectoryEnvironment);

TEST(NoDomainTest, NoInstancesAtAll) {
    TempFolder folder;
    LinuxManagementConfig config;
    config.sssd_conf = folder / "missing-sssd.conf";
    config.smb_conf = folder.write("smb.conf", "[global]\nworkgroup = WORKGROUP\n");
    auto services = test::connect_local(*make_linux_management(config));
    EXPECT_TRUE(services->InstancesOf("Win32_NTDomain").empty());
    // An SSSD domain that is not Active Directory is no forest either.
    config.sssd_conf = folder.write("sssd.conf", "[domain/files]\nid_provider = files\n");
    services = test::connect_local(*make_linux_management(config));
    EXPECT_TRUE(services->InstancesOf("Win32_NTDomain").empty());
}

}  // namespace
}  // namespace permscope::platform

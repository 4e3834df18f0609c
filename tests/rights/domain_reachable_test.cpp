// permscope-domain-check decides whether the run command opens Permscope on the machine's domain
// or on the demo. It runs here with libldap and Kerberos pointed at files and servers of the
// test's own.

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/common/temp_folder.h"
#include "testbed/private_slapd.h"

namespace permscope::rights {
namespace {

using permscope::testing::OrganisationLdif;
using permscope::testing::PrivateSlapd;

// The program's exit code and what it printed.
std::pair<int, std::string> run_script(const std::string& environment,
                                       const std::string& args = "") {
    FILE* pipe = popen(("env -u LDAPCONF -u LDAPRC " + environment +
                        " " PERMSCOPE_DOMAIN_CHECK " " + args + " 2>/dev/null")
                           .c_str(),
                       "r");
    std::string output;
    char buffer[256];
    while (pipe && fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    const int status = pipe ? pclose(pipe) : -1;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(DomainReachable, ListsTheKerberosRealmThenTheLdapBaseInLowerCase) {
    const permscope::testing::TempFolder folder;
    const std::string conf = folder.write("krb5.conf",
                                          "[realms]\n  default_realm = NOT.THIS\n"
                                          "[libdefaults]\n  default_realm = EXAMPLE.ORG\n");
    // SSSD or Samba sources of this machine would come first; the end is ours.
    const auto [code, output] =
        run_script("KRB5_CONFIG=" + conf + " LDAPBASE=DC=Demo,dc=Test", "--list");
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(("\n" + output).ends_with("\nexample.org\ndemo.test\n")) << output;
}

TEST(DomainReachable, OnlyADomainWhoseDirectoryAnswersIsReachable) {
    OrganisationLdif ldif("reach.test");
    PrivateSlapd slapd(ldif.suffix(), ldif.text());
    const std::string closed =
        "ldap://127.0.0.1:" + std::to_string(permscope::testing::free_local_port());
    const std::string no_krb5 = "KRB5_CONFIG=/dev/null HOME=/nonexistent LDAPBASE=";
    EXPECT_EQ(run_script(no_krb5 + ldif.suffix() + " LDAPURI=" + slapd.uri()).first, 0);
    EXPECT_EQ(run_script(no_krb5 + ldif.suffix() + " LDAPURI=" + closed).first, 1);
    EXPECT_EQ(run_script(no_krb5 + " LDAPURI=" + slapd.uri()).first, 1);  // no domain at all
}

}  // namespace
}  // namespace permscope::rights

// permscope-domain-check decides whether the run command opens Permscope on the machine's domain
// or on the demo. These tests run it with libldap and Kerberos pointed at files and servers of
// their own.

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/fixtures/private_slapd.h"

namespace permscope::rights {
namespace {

namespace fs = std::filesystem;
using permscope::testing::free_local_port;
using permscope::testing::OrganisationLdif;
using permscope::testing::PrivateSlapd;

struct Outcome {
    int exit_code = -1;
    std::string output;
};

// Runs the script with the given environment assignments ("NAME=value ...").
Outcome run_script(const std::string& environment, const std::string& arguments = "") {
    const std::string command = "env -u LDAPCONF -u LDAPRC " + environment +
                                " " PERMSCOPE_DOMAIN_CHECK " " + arguments + " 2>/dev/null";
    Outcome outcome;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run " + command);
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe))
        outcome.output += buffer;
    const int status = pclose(pipe);
    outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

// The last lines of a text.
std::string tail(const std::string& text, int lines) {
    std::size_t at = text.size();
    if (at > 0 && text[at - 1] == '\n')
        --at;
    while (lines-- > 0 && at != std::string::npos && at > 0)
        at = text.rfind('\n', at - 1);
    return at == std::string::npos ? text : text.substr(at + 1);
}

class DomainReachableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("permscope-domain-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string write_krb5_conf(const std::string& realm) {
        const fs::path conf = folder_ / "krb5.conf";
        std::ofstream(conf) << "[realms]\n  default_realm = NOT.THIS\n[libdefaults]\n"
                            << "  dns_lookup_realm = false\n  default_realm = " << realm << "\n";
        return conf.string();
    }

    fs::path folder_;
};

TEST_F(DomainReachableTest, ListsKerberosRealmThenLdapBaseInLowerCase) {
    const Outcome outcome = run_script(
        "KRB5_CONFIG=" + write_krb5_conf("EXAMPLE.ORG") + " LDAPBASE=DC=Demo,dc=Test", "--list");
    EXPECT_EQ(outcome.exit_code, 0);
    // SSSD or Samba sources of this machine would come first; the tail is ours.
    EXPECT_EQ(tail(outcome.output, 2), "example.org\ndemo.test\n");
}

TEST_F(DomainReachableTest, ADirectoryThatAnswersIsReachable) {
    OrganisationLdif ldif("reach.test");
    PrivateSlapd slapd(ldif.suffix(), ldif.text());
    const Outcome outcome =
        run_script("KRB5_CONFIG=/dev/null LDAPBASE=" + ldif.suffix() + " LDAPURI=" + slapd.uri());
    EXPECT_EQ(outcome.exit_code, 0);
}

TEST_F(DomainReachableTest, NoServerIsNotReachable) {
    const std::string nobody = "ldap://127.0.0.1:" + std::to_string(free_local_port());
    EXPECT_EQ(
        run_script("KRB5_CONFIG=/dev/null LDAPBASE=dc=reach,dc=test LDAPURI=" + nobody).exit_code,
        1);
}

TEST_F(DomainReachableTest, NoDomainIsNotReachableEvenWithAServer) {
    OrganisationLdif ldif("reach.test");
    PrivateSlapd slapd(ldif.suffix(), ldif.text());
    EXPECT_EQ(run_script("KRB5_CONFIG=/dev/null LDAPBASE= LDAPURI=" + slapd.uri() +
                         " HOME=" + folder_.string())
                  .exit_code,
              1);
}

}  // namespace
}  // namespace permscope::rights

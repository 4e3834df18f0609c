// Without a server named anywhere else, the provider finds the directory through libldap's own
// configuration (here LDAPURI, as ldap.conf's URI would give it).
#include <gtest/gtest.h>

#include <cstdlib>

#include "directory/group_resolver.h"
#include "directory/ldap_provider.h"
#include "tests/directory/test_organisation.h"

namespace permscope::directory {
namespace {

TEST(ConfiguredUri, DefaultProviderUsesLibldapsConfiguredServer) {
    // libldap reads its configuration at its first use in the process, which is below.
    ::setenv("LDAPURI", testing::organisation_directory().uri().c_str(), 1);
    ::unsetenv("LDAPNOINIT");
    auto provider = make_ldap_directory_provider();
    GroupResolver resolver(*provider, [] { return std::string("example.test"); });
    ResultList users, groups;
    std::string name = "G";
    std::string created;
    EXPECT_EQ(resolver.Group_check(users, groups, name, "", created),
              ",1-Group,1-User,2-Group,2-User");
    EXPECT_EQ(testing::row_texts(users), (std::vector<std::string>{"U1|G", "U2|G2"}));
}

}  // namespace
}  // namespace permscope::directory

#include "common/text.h"

#include <gtest/gtest.h>

namespace permscope {
namespace {

TEST(AsciiCase, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(ascii_lower("sAMAccountName"), "samaccountname");
    EXPECT_EQ(ascii_lower("MÜLLER"), "mÜller");
    EXPECT_TRUE(equals_ignoring_case("Member", "member"));
    EXPECT_FALSE(equals_ignoring_case("Müller", "MÜLLER"));
    EXPECT_FALSE(equals_ignoring_case("member", "members"));
    EXPECT_TRUE(starts_with_ignoring_case("LDAP://dc=a", "ldap://"));
    EXPECT_FALSE(starts_with_ignoring_case("LDAP:", "ldap://"));
}

}  // namespace
}  // namespace permscope

#include <gtest/gtest.h>

#include "platform/posix_acl.h"

namespace permscope::platform {
namespace {

TEST(AccessMaskTest, AccountNamesLoseTheirDomain) {
    EXPECT_EQ(account_name_without_domain("CORP\\jdoe"), "jdoe");
    EXPECT_EQ(account_name_without_domain("jdoe@corp.example.com"), "jdoe");
    EXPECT_EQ(account_name_without_domain("CORP\\Domain Users@corp.example.com"), "Domain Users");
    EXPECT_EQ(account_name_without_domain("plain"), "plain");
    EXPECT_EQ(account_name_without_domain("@odd"), "@odd");  // nothing before the @: kept
    EXPECT_EQ(account_name_without_domain(""), "");
}

}  // namespace
}  // namespace permscope::platform

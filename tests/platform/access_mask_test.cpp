#include <gtest/gtest.h>

#include "platform/posix_acl.h"

namespace permscope::platform {
namespace {

TEST(AccessMaskTest, EveryPermissionTriple) {
    struct Case {
        bool r, w, x, owner;
        std::int32_t mask;
    };
    const Case cases[] = {
        {true, true, true, true, 0x1F01FF},    {true, true, true, false, 0x1301BF},
        {true, false, true, false, 0x1200A9},  {true, false, true, true, 0x1200A9},
        {true, false, false, false, 0x120089}, {false, true, false, false, 0x100116},
        {true, true, false, false, 0x12019F},  {true, true, false, true, 0x12019F},
        {false, true, true, false, 0x1201B6},  {false, false, true, false, 0x1200A0},
        {false, false, false, false, 0},       {false, false, false, true, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(access_mask_of_permissions(c.r, c.w, c.x, c.owner), c.mask)
            << c.r << c.w << c.x << " owner " << c.owner;
    }
}

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

// How the names of ranged attribute parts are read.
#include "directory/ldap_search.h"

#include <gtest/gtest.h>

namespace permscope::directory {
namespace {

TEST(AttributeRange, PartsWithAnEndAndTheLastPart) {
    const auto first = parse_attribute_range("member;range=0-1499");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->name, "member");
    EXPECT_EQ(first->low, 0);
    EXPECT_EQ(first->high, 1499);
    const auto last = parse_attribute_range("member;range=1500-*");
    ASSERT_TRUE(last);
    EXPECT_EQ(last->low, 1500);
    EXPECT_FALSE(last->high);
}

TEST(AttributeRange, OptionWithoutRegardToCaseAndAmongOtherOptions) {
    const auto range = parse_attribute_range("Member;Range=3000-4499;binary");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->name, "Member");
    EXPECT_EQ(range->low, 3000);
    EXPECT_EQ(range->high, 4499);
}

TEST(AttributeRange, NamesWithoutAWellFormedRange) {
    for (const char* name :
         {"member", "member;binary", "member;range=", "member;range=5", "member;range=-5",
          "member;range=a-b", "member;range=10-5", "member;range=1-2x"})
        EXPECT_FALSE(parse_attribute_range(name)) << name;
}

}  // namespace
}  // namespace permscope::directory

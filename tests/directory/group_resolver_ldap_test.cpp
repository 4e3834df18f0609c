// Group_check against the private slapd: the worked example, head-group texts, big and cyclic
// groups, and names that hold filter characters.
#include "directory/group_resolver.h"

#include <gtest/gtest.h>

#include "tests/directory/test_organisation.h"

namespace permscope::directory {
namespace {

using Texts = std::vector<std::string>;
using testing::row_texts;

class GroupResolverLdapTest : public testing::OrganisationResolverTest {};

TEST_F(GroupResolverLdapTest, WorkedExample) {
    std::string name = "G";
    std::string created;
    EXPECT_EQ(resolver.Group_check(users, groups, name, "", created),
              ",1-Group,1-User,2-Group,2-User");
    EXPECT_EQ(created, ",1-Group,1-User,2-Group,2-User");
    EXPECT_EQ(row_texts(groups), (Texts{"G|is Head", "G2|G"}));
    EXPECT_EQ(row_texts(users), (Texts{"U1|G", "U2|G2"}));
}

TEST_F(GroupResolverLdapTest, HeadGroupTextsOfRepeatedNames) {
    check("G");
    EXPECT_EQ(check("U1"), ",1-User");
    EXPECT_EQ(check("U1"), ",1-User");
    EXPECT_EQ(check("G2"), ",2-Group,2-User");
    EXPECT_EQ(row_texts(users), (Texts{"U1|G; ", "U2|G2"}));
    EXPECT_EQ(row_texts(groups), (Texts{"G|is Head", "G2|G;"}));
}

TEST_F(GroupResolverLdapTest, NamedDirectlyFirstThenReachedThroughAGroup) {
    check("U1");
    check("G2");
    EXPECT_EQ(check("G"), ",2-Group,1-User,1-Group,2-User");
    EXPECT_EQ(row_texts(users), (Texts{"U1|no Group; G", "U2|G2"}));
    EXPECT_EQ(row_texts(groups), (Texts{"G2|is Head;G", "G|is Head"}));
}

TEST_F(GroupResolverLdapTest, SharedMembersAreEnteredForEachGroup) {
    EXPECT_EQ(check("Shared1"), ",1-Group,1-User,2-User");
    EXPECT_EQ(check("Shared2"), ",2-Group,2-User");
    EXPECT_EQ(check("Shared1"), ",1-Group,1-User,2-User");
    EXPECT_EQ(row_texts(users), (Texts{"U1|Shared1", "U3|Shared1; Shared2"}));
}

TEST_F(GroupResolverLdapTest, EmptyGroupAddsOnlyItsRow) {
    EXPECT_EQ(check("Leer"), ",1-Group");
    EXPECT_TRUE(users.rows().empty());
}

TEST_F(GroupResolverLdapTest, CyclesEnd) {
    EXPECT_EQ(check("CycA"), ",1-Group,2-Group,1-Group,1-User");
    EXPECT_EQ(row_texts(groups), (Texts{"CycA|is Head;CycB", "CycB|CycA"}));
    EXPECT_EQ(row_texts(users), Texts{"U1|CycB"});
    EXPECT_EQ(check("Selbst"), ",3-Group,3-Group");
    EXPECT_EQ(groups.text(3), "Selbst");
    EXPECT_EQ(groups.sub_item(3, 1), "is Head;Selbst");
}

TEST_F(GroupResolverLdapTest, TwoThousandMembersExpandedCompletely) {
    const std::string created = check("Gross");
    ASSERT_EQ(users.count(), testing::big_group_size);
    EXPECT_EQ(users.text(1), "M0000");
    EXPECT_EQ(users.text(testing::big_group_size), "M1999");
    EXPECT_EQ(users.sub_item(testing::big_group_size, 1), "Gross");
    std::string expected = ",1-Group";
    for (int i = 1; i <= testing::big_group_size; ++i)
        expected += "," + std::to_string(i) + "-User";
    EXPECT_EQ(created, expected);
}

TEST_F(GroupResolverLdapTest, ThousandNestedGroups) {
    std::string expected;
    for (int i = 1; i <= testing::chain_length; ++i)
        expected += "," + std::to_string(i) + "-Group";
    EXPECT_EQ(check("Kette0000"), expected + ",1-User");
    ASSERT_EQ(groups.count(), testing::chain_length);
    EXPECT_EQ(groups.sub_item(1, 1), "is Head");
    EXPECT_EQ(groups.text(testing::chain_length), "Kette0999");
    EXPECT_EQ(groups.sub_item(testing::chain_length, 1), "Kette0998");
    EXPECT_EQ(row_texts(users), Texts{"U1|Kette0999"});
}

TEST_F(GroupResolverLdapTest, FilterCharactersInNames) {
    EXPECT_EQ(check("*"), ",1-User");
    EXPECT_EQ(check("U*"), ",2-User");
    EXPECT_EQ(check("Sonderzeichen"), ",1-Group,1-User,3-User");
    EXPECT_EQ(row_texts(users),
              (Texts{"*|no Group; Sonderzeichen", "U*|no Group", "(x)|Sonderzeichen"}));
}

TEST_F(GroupResolverLdapTest, ApostropheNamesAreFoundAndExpanded) {
    std::string name = "O'Neil Team";
    std::string created;
    EXPECT_EQ(resolver.Group_check(users, groups, name, "", created), ",1-Group,1-User");
    EXPECT_EQ(row_texts(groups), Texts{"O'Neil Team|is Head"});
    EXPECT_EQ(row_texts(users), Texts{"O'Brien|O'Neil Team"});
}

TEST_F(GroupResolverLdapTest, UmlautsAndTheDirectorysNameOfAUser) {
    EXPECT_EQ(check("Büro"), ",1-Group,1-User");
    EXPECT_EQ(row_texts(users), Texts{"Jürgen Größ|Büro"});
    std::string name = "hweber";
    std::string created;
    resolver.Group_check(users, groups, name, "", created);
    EXPECT_EQ(name, "Hans Weber");
    EXPECT_EQ(users.text(2), "Hans Weber");
}

TEST_F(GroupResolverLdapTest, KnownNamesDifferingInCase) {
    // The directory finds a group under either spelling; its rows keep the spelling asked for.
    EXPECT_EQ(check("G2"), ",1-Group,1-User");
    EXPECT_EQ(check("g2"), ",2-Group,1-User");
    EXPECT_EQ(row_texts(groups), (Texts{"G2|is Head", "g2|is Head"}));
    EXPECT_EQ(row_texts(users), Texts{"U2|G2; g2"});
    // A user takes the directory's Name, so both spellings meet in one row.
    EXPECT_EQ(check("u2"), ",1-User");
}

TEST_F(GroupResolverLdapTest, UnknownNamesDifferingInCaseGiveTwoRows) {
    EXPECT_EQ(check("Fremd"), ",1-User");
    EXPECT_EQ(check("fremd"), ",2-User");
    EXPECT_EQ(row_texts(users), (Texts{"Fremd|no Group", "fremd|no Group"}));
}

}  // namespace
}  // namespace permscope::directory

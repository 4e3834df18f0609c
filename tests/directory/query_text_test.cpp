// The base name and the three lookup texts, piece by piece.
#include "directory/query_dialect.h"

#include <gtest/gtest.h>

namespace permscope::directory {
namespace {

TEST(BaseName, OneDcComponentPerLabelInOrder) {
    EXPECT_EQ(base_name("A.B.C"), "dc=A,dc=B,dc=C");
    EXPECT_EQ(base_name("example"), "dc=example");
}

TEST(BaseName, EmptyLabelsAreKept) {
    EXPECT_EQ(base_name("A.B."), "dc=A,dc=B,dc=");
    EXPECT_EQ(base_name(".A"), "dc=,dc=A");
    EXPECT_EQ(base_name("A..B"), "dc=A,dc=,dc=B");
    EXPECT_EQ(base_name("."), "dc=,dc=");
}

TEST(BaseName, EmptyDomainGivesEmptyBase) {
    EXPECT_EQ(base_name(""), "");
}

TEST(BaseName, LabelsAreTakenAsTheyAre) {
    EXPECT_EQ(base_name("Firma.LOCAL"), "dc=Firma,dc=LOCAL");
    EXPECT_EQ(base_name(" a . b"), "dc= a ,dc= b");
}

TEST(LookupTexts, GroupLookup) {
    EXPECT_EQ(group_lookup_text("dc=A,dc=B,dc=C", "N"),
              "SELECT Name, samAccountName, Member FROM 'LDAP://dc=A,dc=B,dc=C' WHERE "
              "objectCategory='Group' and samAccountName='N'");
}

TEST(LookupTexts, UserLookup) {
    EXPECT_EQ(user_lookup_text("dc=A,dc=B,dc=C", "N"),
              "SELECT Name, samAccountName, Member FROM 'LDAP://dc=A,dc=B,dc=C' WHERE "
              "objectCategory='User' and samAccountName='N'");
}

TEST(LookupTexts, EmptyBaseClosesTheQuoteRightAfterTheSlashes) {
    EXPECT_EQ(group_lookup_text("", "N"),
              "SELECT Name, samAccountName, Member FROM 'LDAP://' WHERE "
              "objectCategory='Group' and samAccountName='N'");
}

TEST(LookupTexts, ApostropheInANameIsDoubled) {
    EXPECT_EQ(user_lookup_text("dc=x", "O'Brien"),
              "SELECT Name, samAccountName, Member FROM 'LDAP://dc=x' WHERE "
              "objectCategory='User' and samAccountName='O''Brien'");
}

TEST(LookupTexts, FilterCharactersAreLeftToTheTranslator) {
    EXPECT_EQ(group_lookup_text("dc=x", "a*(b)\\"),
              "SELECT Name, samAccountName, Member FROM 'LDAP://dc=x' WHERE "
              "objectCategory='Group' and samAccountName='a*(b)\\'");
}

TEST(ObjectReads, ReadTheObjectTheDistinguishedNameNames) {
    EXPECT_EQ(entry_read_text("CN=O'Brien,DC=x"),
              "SELECT samAccountName, objectCategory FROM 'LDAP://CN=O''Brien,DC=x'");
    EXPECT_EQ(primary_group_members_text("dc=x", 513),
              "SELECT Name, samAccountName FROM 'LDAP://dc=x' WHERE primaryGroupID='513'");
}

}  // namespace
}  // namespace permscope::directory

// Exact membership against the private slapd: members by distinguished name, members whose name
// is not their account name, groups named differently from their account, primary groups.
#include "directory/group_resolver.h"

#include <gtest/gtest.h>

#include "tests/directory/test_organisation.h"

namespace permscope::directory {
namespace {

using Texts = std::vector<std::string>;
using testing::row_texts;

class MembershipLdapTest : public testing::OrganisationResolverTest {};

TEST_F(MembershipLdapTest, LastFirstNamesStayApart) {
    // A name cut at the first comma would make both "Müller\".
    EXPECT_EQ(check("Kommagruppe"), ",1-Group,1-User,2-User");
    EXPECT_EQ(row_texts(users), (Texts{"Müller, Hans|Kommagruppe", "Müller, Eva|Kommagruppe"}));
}

TEST_F(MembershipLdapTest, MemberFoundThroughItsEntryShowsTheDirectorysName) {
    EXPECT_EQ(check("RDNGruppe"), ",1-Group,1-User");
    EXPECT_EQ(row_texts(users), Texts{"Hans Weber|RDNGruppe"});
    // The same account named directly lands in the same row.
    EXPECT_EQ(check("hweber"), ",1-User");
}

TEST_F(MembershipLdapTest, GroupNamedDifferentlyFromItsAccount) {
    EXPECT_EQ(check("GG_Vertrieb"), ",1-Group,1-User");
    EXPECT_EQ(row_texts(users), Texts{"U2|GG_Vertrieb"});
    EXPECT_EQ(check("Abteilung"), ",2-Group,1-Group,1-User");
    EXPECT_EQ(row_texts(groups), (Texts{"GG_Vertrieb|is Head;Abteilung", "Abteilung|is Head"}));
    EXPECT_EQ(row_texts(users), Texts{"U2|GG_Vertrieb"});
}

TEST_F(MembershipLdapTest, GroupsSharingANameKeepTheirOwnMembers) {
    EXPECT_EQ(check("Team_Nord"), ",1-Group,1-User");
    EXPECT_EQ(row_texts(users), Texts{"U1|Team_Nord"});
    EXPECT_EQ(check("Standorte"), ",2-Group,3-Group,2-User");
    EXPECT_EQ(row_texts(groups),
              (Texts{"Team_Nord|is Head", "Standorte|is Head", "Team_Sued|Standorte"}));
    EXPECT_EQ(row_texts(users), (Texts{"U1|Team_Nord", "U2|Team_Sued"}));
}

TEST_F(MembershipLdapTest, MembersWithoutAccountKeepTheirFirstComponent) {
    EXPECT_EQ(check("Fremde"), ",1-Group,1-User,2-User,3-User");
    EXPECT_EQ(row_texts(users), (Texts{"S-1-5-21-9-9-9-1234|Fremde", "U1|Fremde", "Gone|Fremde"}));
}

TEST_F(MembershipLdapTest, MultiValuedNameCountsItsFirstValue) {
    EXPECT_EQ(check("MultiGruppe"), ",1-Group,1-User");
    EXPECT_EQ(row_texts(users), Texts{"Multi|MultiGruppe"});
}

TEST_F(MembershipLdapTest, PrimaryGroupMembersAfterTheMemberValues) {
    EXPECT_EQ(check("Domain Users"), ",1-Group,1-User,2-User,3-User,4-User");
    EXPECT_EQ(row_texts(users),
              (Texts{"U3|Domain Users", "P1|Domain Users", "P2|Domain Users", "P3|Domain Users"}));
}

TEST_F(MembershipLdapTest, PrimaryGroupOfTwoThousandComesInPages) {
    EXPECT_EQ(check("Viele").substr(0, 8), ",1-Group");
    EXPECT_EQ(users.count(), testing::big_group_size);
    std::set<std::string> names;
    for (const ResultList::Row& row : users.rows()) {
        names.insert(row.text);
        EXPECT_EQ(row.sub_items, Texts{"Viele"});
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(testing::big_group_size));
}

TEST_F(MembershipLdapTest, GroupWithSidButNoPrimaryMembersKeepsItsMemberValues) {
    EXPECT_EQ(check("Ohne Primaer"), ",1-Group,1-User");
    EXPECT_EQ(row_texts(users), Texts{"U1|Ohne Primaer"});
}

}  // namespace
}  // namespace permscope::directory

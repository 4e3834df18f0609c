// Group_check against the private slapd: each case resolves a folder's trustees in turn into the
// same two lists and is judged by the created-entries lists and the rows it leaves.

#include <gtest/gtest.h>

#include "tests/directory/test_organisation.h"

namespace permscope::directory {
namespace {

using permscope::testing::fill;
using permscope::testing::row_texts;
using Rows = std::vector<std::string>;

struct Resolution {
    const char* name;
    Rows trustees, created, users, groups;
    friend void PrintTo(const Resolution& case_, std::ostream* out) { *out << case_.name; }
};

const Resolution kResolutions[] = {
    {"WorkedExample",
     {"G"},
     {",1-Group,1-User,2-Group,2-User"},
     {"U1|G", "U2|G2"},
     {"G|is Head", "G2|G"}},
    {"NamedAgainAddsAnEmptyHeadGroup",
     {"G", "U1", "U1", "G2"},
     {",1-Group,1-User,2-Group,2-User", ",1-User", ",1-User", ",2-Group,2-User"},
     {"U1|G; ", "U2|G2"},
     {"G|is Head", "G2|G;"}},
    {"NamedDirectlyThenReachedThroughAGroup",
     {"U1", "G2", "G"},
     {",1-User", ",1-Group,2-User", ",2-Group,1-User,1-Group,2-User"},
     {"U1|no Group; G", "U2|G2"},
     {"G2|is Head;G", "G|is Head"}},
    {"SharedMembers",
     {"Shared1", "Shared2", "Shared1"},
     {",1-Group,1-User,2-User", ",2-Group,2-User", ",1-Group,1-User,2-User"},
     {"U1|Shared1", "U3|Shared1; Shared2"},
     {"Shared1|is Head;", "Shared2|is Head"}},
    {"EmptyGroup", {"Leer"}, {",1-Group"}, {}, {"Leer|is Head"}},
    // A group met again inside its own expansion is entered and named, not expanded.
    {"CyclesEnd",
     {"CycA", "Selbst"},
     {",1-Group,2-Group,1-Group,1-User", ",3-Group,3-Group"},
     {"U1|CycB"},
     {"CycA|is Head;CycB", "CycB|CycA", "Selbst|is Head;Selbst"}},
    {"FilterCharactersMatchOnlyThemselves",
     {"*", "U*", "Sonderzeichen"},
     {",1-User", ",2-User", ",1-Group,1-User,3-User"},
     {"*|no Group; Sonderzeichen", "U*|no Group", "(x)|Sonderzeichen"},
     {"Sonderzeichen|is Head"}},
    {"Apostrophes",
     {"O'Neil Team"},
     {",1-Group,1-User"},
     {"O'Brien|O'Neil Team"},
     {"O'Neil Team|is Head"}},
    {"UmlautsAndTheDirectorysNameOfAUser",
     {"Büro", "hweber"},
     {",1-Group,1-User", ",2-User"},
     {"Jürgen Größ|Büro", "Hans Weber|no Group"},
     {"Büro|is Head"}},
    // Groups keep the spelling asked for; a user takes the directory's Name.
    {"KnownNamesDifferingInCase",
     {"G2", "g2", "u2"},
     {",1-Group,1-User", ",2-Group,1-User", ",1-User"},
     {"U2|G2; g2; "},
     {"G2|is Head", "g2|is Head"}},
    {"UnknownNamesDifferingInCase",
     {"Fremd", "fremd"},
     {",1-User", ",2-User"},
     {"Fremd|no Group", "fremd|no Group"},
     {}},
    // A name cut at the first comma would make both "Müller\".
    {"LastFirstNamesStayApart",
     {"Kommagruppe"},
     {",1-Group,1-User,2-User"},
     {"Müller, Hans|Kommagruppe", "Müller, Eva|Kommagruppe"},
     {"Kommagruppe|is Head"}},
    {"AMemberWhoseNameIsNoAccountIsFoundThroughItsEntry",
     {"RDNGruppe", "hweber"},
     {",1-Group,1-User", ",1-User"},
     {"Hans Weber|RDNGruppe; "},
     {"RDNGruppe|is Head"}},
    {"AGroupNamedOtherwiseThanItsAccount",
     {"GG_Vertrieb", "Abteilung"},
     {",1-Group,1-User", ",2-Group,1-Group,1-User"},
     {"U2|GG_Vertrieb"},
     {"GG_Vertrieb|is Head;Abteilung", "Abteilung|is Head"}},
    {"GroupsSharingANameKeepTheirOwnMembers",
     {"Team_Nord", "Standorte"},
     {",1-Group,1-User", ",2-Group,3-Group,2-User"},
     {"U1|Team_Nord", "U2|Team_Sued"},
     {"Team_Nord|is Head", "Standorte|is Head", "Team_Sued|Standorte"}},
    {"MembersWithoutAccountKeepTheirFirstComponent",
     {"Fremde"},
     {",1-Group,1-User,2-User,3-User"},
     {"S-1-5-21-9-9-9-1234|Fremde", "U1|Fremde", "Gone|Fremde"},
     {"Fremde|is Head"}},
    {"AMultiValuedNameCountsItsFirstValue",
     {"MultiGruppe"},
     {",1-Group,1-User"},
     {"Multi|MultiGruppe"},
     {"MultiGruppe|is Head"}},
    {"PrimaryGroupMembersFollowTheMemberValues",
     {"Domain Users", "Ohne Primaer"},
     {",1-Group,1-User,2-User,3-User,4-User", ",2-Group,5-User"},
     {"U3|Domain Users", "P1|Domain Users", "P2|Domain Users", "P3|Domain Users",
      "U1|Ohne Primaer"},
     {"Domain Users|is Head", "Ohne Primaer|is Head"}}};

class ResolutionTest : public permscope::testing::OrganisationResolverTest,
                       public ::testing::WithParamInterface<Resolution> {};

TEST_P(ResolutionTest, CreatedEntriesAndRows) {
    Rows created;
    for (const std::string& name : GetParam().trustees)
        created.push_back(check(name));
    EXPECT_EQ(created, GetParam().created);
    EXPECT_EQ(row_texts(users), GetParam().users);
    EXPECT_EQ(row_texts(groups), GetParam().groups);
}

INSTANTIATE_TEST_SUITE_P(Organisation, ResolutionTest, ::testing::ValuesIn(kResolutions),
                         [](const auto& info) { return std::string(info.param.name); });

using LargeResolution = permscope::testing::OrganisationResolverTest;

TEST_F(LargeResolution, TwoThousandMembersAndAThousandNestedGroupsComeComplete) {
    std::string expected = ",1-Group";
    for (int i = 1; i <= permscope::testing::big_group_size; ++i)
        expected += "," + std::to_string(i) + "-User";
    EXPECT_EQ(check("Gross"), expected);
    EXPECT_EQ(users.text(permscope::testing::big_group_size), "M1999");
    // Viele is the primary group of the same accounts: 2,000 records in pages of 500.
    check("Viele");
    ASSERT_EQ(users.count(), permscope::testing::big_group_size);
    for (const ResultList::Row& row : users.rows())
        ASSERT_EQ(row.sub_items, Rows{"Gross; Viele"}) << row.text;

    groups.clear();
    expected.clear();
    for (int i = 1; i <= permscope::testing::chain_length; ++i)
        expected += "," + std::to_string(i) + "-Group";
    EXPECT_EQ(check("Kette0000"), expected + ",2001-User");
    EXPECT_EQ(row_texts(groups).back(), "Kette0999|Kette0998");
    EXPECT_EQ(users.text(2001), "U1");
}

TEST_F(LargeResolution, EveryRowOfTheNameIsNamedAndTheLastUpdatedPast32767Rows) {
    for (int i = 1; i <= 40000; ++i)
        fill(users, {"N" + std::to_string(i) + "|X"});
    fill(users, {"U1|X", "U1", "U1|X"});
    EXPECT_EQ(check("U1", "G"), ",40001-User,40002-User,40003-User");
    EXPECT_EQ(check("N40000", "G"), ",40000-User");
    const Rows rows = row_texts(users);
    EXPECT_EQ(Rows(rows.end() - 4, rows.end()), (Rows{"N40000|X; G", "U1|X", "U1", "U1|X; G"}));
}

TEST(Resolution, WithoutADirectoryEveryTrusteeIsAUserUnderItsOwnText) {
    LdapProviderOptions options;
    options.uri = "ldap://127.0.0.1:" + std::to_string(permscope::testing::free_local_port());
    const auto provider = make_ldap_directory_provider(options);
    GroupResolver resolver(*provider, [] { return std::string("example.test"); });
    ResultList users, groups;
    for (std::string name : {"G", "anna", "Anna", "G"}) {
        std::string created;
        resolver.Group_check(users, groups, name, "", created);
    }
    EXPECT_EQ(row_texts(users), (Rows{"G|no Group; ", "anna|no Group", "Anna|no Group"}));
    EXPECT_EQ(groups.count(), 0);
}

// Without a server named anywhere else, the directory is found through libldap's configuration,
// which it reads once per process: this program's environment names the organisation's server
// (LDAPURI, as ldap.conf's URI would).
TEST(Resolution, TheDefaultProviderUsesLibldapsConfiguredServer) {
    const auto provider = make_ldap_directory_provider();
    GroupResolver resolver(*provider, [] { return std::string("example.test"); });
    ResultList users, groups;
    std::string name = "G", created;
    EXPECT_EQ(resolver.Group_check(users, groups, name, "", created),
              ",1-Group,1-User,2-Group,2-User");
    EXPECT_EQ(resolver.folder_read_finished(), "");
}

class ConfiguredServer : public ::testing::Environment {
    void SetUp() override {
        ::setenv("LDAPURI", permscope::testing::organisation_directory().uri().c_str(), 1);
        ::unsetenv("LDAPNOINIT");
    }
};
[[maybe_unused]] auto* const configured_server =
    ::testing::AddGlobalTestEnvironment(new ConfiguredServer);

}  // namespace
}  // namespace permscope::directory

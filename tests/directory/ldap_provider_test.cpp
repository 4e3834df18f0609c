// The LDAP provider against the private slapd: query texts in, records out.

#include <gtest/gtest.h>

#include <set>

#include "directory/query_dialect.h"
#include "tests/directory/test_organisation.h"

namespace permscope::directory {
namespace {

using Texts = std::vector<std::string>;
const std::string base = "dc=example,dc=test";

class LdapProviderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        connection->Open("Provider=ADsDSOObject;");
        command->SetActiveConnection(*connection);
    }
    std::unique_ptr<Recordset> run(std::string text, SearchScope scope = SearchScope::Subtree) {
        command->SetSearchScope(scope);
        command->SetCommandText(std::move(text));
        return command->Execute();
    }
    std::int64_t count(std::string text) { return run(std::move(text))->RecordCount(); }

    DirectoryProvider& provider = permscope::testing::shared_organisation_provider();
    std::unique_ptr<Connection> connection = provider.CreateConnection("ADODB.Connection");
    std::unique_ptr<Command> command = provider.CreateCommand("ADODB.Command");
};

TEST_F(LdapProviderTest, FieldsByNameWithoutRegardToCaseMembersAsAnArray) {
    auto set = run(group_lookup_text(base, "G"));
    ASSERT_EQ(set->RecordCount(), 1);
    EXPECT_EQ(std::get<std::string>(set->Fields("Name")), "G");
    EXPECT_EQ(std::get<std::string>(set->Fields("SAMACCOUNTNAME")), "G");
    EXPECT_EQ(std::get<Texts>(set->Fields("member")),
              (Texts{"cn=U1,ou=Staff,dc=example,dc=test", "cn=G2,ou=Groups,dc=example,dc=test"}));
    EXPECT_EQ(set->DistinguishedName(), "cn=G,ou=Groups,dc=example,dc=test");
    EXPECT_EQ(set->SecurityIdentifier(), "");
    EXPECT_THROW(set->Fields("objectCategory"), DirectoryError);  // not selected
    set->MoveNext();
    EXPECT_TRUE(set->Eof());
    EXPECT_THROW(set->Fields("Name"), DirectoryError);
    EXPECT_THROW(set->MoveNext(), DirectoryError);
    auto empty = run(group_lookup_text(base, "Leer"));
    ASSERT_EQ(empty->RecordCount(), 1);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(empty->Fields("Member")));
    EXPECT_EQ(run(group_lookup_text(base, "Domain Users"))->SecurityIdentifier(),
              permscope::testing::OrganisationLdif::domain_sid(513));
}

TEST_F(LdapProviderTest, AccountNamesMatchWithoutRegardToCaseAndFilterCharactersOnlyThemselves) {
    EXPECT_EQ(std::get<std::string>(run(user_lookup_text(base, "HWEBER"))->Fields("name")),
              "Hans Weber");
    EXPECT_EQ(count(user_lookup_text(base, "Jürgen Größ")), 1);
    EXPECT_EQ(count(group_lookup_text(base, "U1")), 0);  // a user, not a group
    EXPECT_EQ(count(user_lookup_text(base, "*")), 1);
    EXPECT_EQ(count(user_lookup_text(base, "U*")), 0);
    EXPECT_EQ(count(user_lookup_text(base, "(x)")), 1);
    EXPECT_EQ(count(user_lookup_text(base, "x)(samAccountName=*")), 0);
    EXPECT_EQ(count(user_lookup_text(base, "O'Brien")), 1);
    // Two groups named Team; the reference to another server under ou=Elsewhere is skipped.
    EXPECT_EQ(count("SELECT Name FROM 'LDAP://" + base + "' WHERE name='Team'"), 2);
}

TEST_F(LdapProviderTest, LargeAnswersComeWholeMembersAndPagesAlike) {
    auto group = run(group_lookup_text(base, "Gross"));
    const Texts members = std::get<Texts>(group->Fields("Member"));
    ASSERT_EQ(members.size(), 2000u);
    EXPECT_EQ(members.back(), "cn=M1999,ou=Staff,dc=example,dc=test");
    auto set = run(primary_group_members_text(base, 1100));  // 2,000 records in pages of 500
    std::set<std::string> dns;
    for (; !set->Eof(); set->MoveNext())
        dns.insert(set->DistinguishedName());
    EXPECT_EQ(dns.size(), 2000u);
}

TEST_F(LdapProviderTest, BaseScopeReadsOneObjectAndAHostMayBeNamed) {
    auto set =
        run(entry_read_text("cn=Müller\\, Hans,ou=Staff,dc=example,dc=test"), SearchScope::Base);
    ASSERT_EQ(set->RecordCount(), 1);
    EXPECT_EQ(std::get<std::string>(set->Fields("samAccountName")), "hmueller");
    EXPECT_EQ(std::get<std::string>(set->Fields("objectCategory")), "User");
    EXPECT_THROW(run(entry_read_text("cn=Gone,ou=Staff," + base), SearchScope::Base),
                 DirectoryError);
    const int port = permscope::testing::organisation_directory().port();
    EXPECT_EQ(count("SELECT Name FROM 'LDAP://127.0.0.1:" + std::to_string(port) + "/" + base +
                    "' WHERE samAccountName='U2'"),
              1);
}

TEST_F(LdapProviderTest, RefusedTextsBasesAndAClosedConnectionFailTheExecution) {
    EXPECT_THROW(run("SELECT Name FROM 'LDAP://" + base + "' WHERE name='O'Brien'"),
                 DirectoryError);
    EXPECT_THROW(run("SELECT Name FROM 'LDAP://dc=other,dc=test' WHERE name='x'"), DirectoryError);
    connection->Close();
    EXPECT_THROW(run(group_lookup_text(base, "G")), DirectoryError);
}

}  // namespace
}  // namespace permscope::directory

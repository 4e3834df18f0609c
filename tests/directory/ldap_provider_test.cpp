// The LDAP provider against the private slapd: query texts in, records out.
#include "directory/ldap_provider.h"

#include <gtest/gtest.h>

#include "directory/query_dialect.h"
#include "tests/directory/test_organisation.h"

namespace permscope::directory {
namespace {

using testing::organisation_directory;
using Texts = std::vector<std::string>;

const std::string base = "dc=example,dc=test";

class LdapProviderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        connection = provider->CreateConnection("ADODB.Connection");
        command = provider->CreateCommand("ADODB.Command");
        connection->Open("Provider=ADsDSOObject;");
        command->SetActiveConnection(*connection);
    }
    std::unique_ptr<Recordset> run(std::string text, SearchScope scope = SearchScope::Subtree) {
        command->SetSearchScope(scope);
        command->SetCommandText(std::move(text));
        return command->Execute();
    }
    // Every record's DN.
    static Texts dns(Recordset& set) {
        Texts out;
        for (; !set.Eof(); set.MoveNext())
            out.push_back(set.DistinguishedName());
        return out;
    }

    DirectoryProvider* provider = &testing::shared_organisation_provider();
    std::unique_ptr<Connection> connection;
    std::unique_ptr<Command> command;
};

TEST_F(LdapProviderTest, GroupLookupGivesNameAccountAndMembers) {
    auto set = run(group_lookup_text(base, "G"));
    ASSERT_EQ(set->RecordCount(), 1);
    EXPECT_EQ(std::get<std::string>(set->Fields("Name")), "G");
    EXPECT_EQ(std::get<std::string>(set->Fields("SAMACCOUNTNAME")), "G");
    EXPECT_EQ(std::get<Texts>(set->Fields("member")),
              (Texts{"cn=U1,ou=Staff,dc=example,dc=test", "cn=G2,ou=Groups,dc=example,dc=test"}));
    EXPECT_EQ(set->DistinguishedName(), "cn=G,ou=Groups,dc=example,dc=test");
    EXPECT_FALSE(set->Eof());
    set->MoveNext();
    EXPECT_TRUE(set->Eof());
    EXPECT_THROW(set->Fields("Name"), DirectoryError);
    EXPECT_THROW(set->MoveNext(), DirectoryError);
}

TEST_F(LdapProviderTest, FieldsThatWereNotSelectedOrAreEmpty) {
    auto user = run(user_lookup_text(base, "U1"));
    ASSERT_EQ(user->RecordCount(), 1);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(user->Fields("Member")));
    EXPECT_THROW(user->Fields("objectCategory"), DirectoryError);
    auto empty = run(group_lookup_text(base, "Leer"));
    ASSERT_EQ(empty->RecordCount(), 1);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(empty->Fields("member")));
}

TEST_F(LdapProviderTest, NothingMatchedCountsZero) {
    auto set = run(group_lookup_text(base, "U1"));  // a user, not a group
    EXPECT_EQ(set->RecordCount(), 0);
    EXPECT_TRUE(set->Eof());
    EXPECT_EQ(run(user_lookup_text(base, "niemand"))->RecordCount(), 0);
}

TEST_F(LdapProviderTest, AccountNamesWithoutRegardToCaseAndWithUmlauts) {
    auto set = run(user_lookup_text(base, "HWEBER"));
    ASSERT_EQ(set->RecordCount(), 1);
    EXPECT_EQ(std::get<std::string>(set->Fields("name")), "Hans Weber");
    auto umlaut = run(user_lookup_text(base, "Jürgen Größ"));
    ASSERT_EQ(umlaut->RecordCount(), 1);
    EXPECT_EQ(std::get<std::string>(umlaut->Fields("Name")), "Jürgen Größ");
}

TEST_F(LdapProviderTest, FilterCharactersMatchOnlyThemselves) {
    auto star = run(user_lookup_text(base, "*"));
    ASSERT_EQ(star->RecordCount(), 1);
    EXPECT_EQ(std::get<std::string>(star->Fields("Name")), "*");
    EXPECT_EQ(run(user_lookup_text(base, "U*"))->RecordCount(), 0);
    EXPECT_EQ(run(user_lookup_text(base, "(x)"))->RecordCount(), 1);
    EXPECT_EQ(run(user_lookup_text(base, "x)(samAccountName=*"))->RecordCount(), 0);
    EXPECT_EQ(run(user_lookup_text(base, "O'Brien"))->RecordCount(), 1);
}

TEST_F(LdapProviderTest, MemberLookupMatchesTheStoredName) {
    auto set =
        run("SELECT Name, samAccountName, member FROM 'LDAP://" + base + "' WHERE name='Team'");
    EXPECT_EQ(set->RecordCount(), 2);
}

TEST_F(LdapProviderTest, TwoThousandMembersComeComplete) {
    auto set = run(group_lookup_text(base, "Gross"));
    ASSERT_EQ(set->RecordCount(), 1);
    const Texts members = std::get<Texts>(set->Fields("Member"));
    ASSERT_EQ(members.size(), 2000u);
    EXPECT_EQ(members.front(), "cn=M0000,ou=Staff,dc=example,dc=test");
    EXPECT_EQ(members.back(), "cn=M1999,ou=Staff,dc=example,dc=test");
}

TEST_F(LdapProviderTest, PagedSearchDeliversEveryRecord) {
    auto set = run(primary_group_members_text(base, 1100));  // 2,000 records in pages of 500
    EXPECT_EQ(set->RecordCount(), 2000);
    const Texts all = dns(*set);
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), 2000u);
}

TEST_F(LdapProviderTest, BaseScopeReadsOneObject) {
    auto set =
        run(entry_read_text("cn=Müller\\, Hans,ou=Staff,dc=example,dc=test"), SearchScope::Base);
    ASSERT_EQ(set->RecordCount(), 1);
    EXPECT_EQ(std::get<std::string>(set->Fields("samAccountName")), "hmueller");
    EXPECT_EQ(std::get<std::string>(set->Fields("objectCategory")), "User");
    auto sid = run("SELECT objectSid FROM 'LDAP://cn=Domain Users,ou=Groups,dc=example,dc=test'",
                   SearchScope::Base);
    ASSERT_EQ(sid->RecordCount(), 1);
    EXPECT_EQ(std::get<std::string>(sid->Fields("objectSid")),
              testing::OrganisationLdif::domain_sid(513));
    EXPECT_THROW(run(entry_read_text("cn=Gone,ou=Staff,dc=example,dc=test"), SearchScope::Base),
                 DirectoryError);
}

TEST_F(LdapProviderTest, EveryRecordCarriesItsSecurityIdentifier) {
    auto group = run(group_lookup_text(base, "Domain Users"));
    ASSERT_EQ(group->RecordCount(), 1);
    EXPECT_EQ(group->SecurityIdentifier(), testing::OrganisationLdif::domain_sid(513));
    EXPECT_THROW(group->Fields("objectSid"), DirectoryError);  // not selected
    auto plain = run(group_lookup_text(base, "G"));
    ASSERT_EQ(plain->RecordCount(), 1);
    EXPECT_EQ(plain->SecurityIdentifier(), "");
}

TEST_F(LdapProviderTest, ContinuationReferencesAreSkipped) {
    // ou=Elsewhere refers to another server: the search meets a reference there and goes on.
    auto set =
        run("SELECT Name, samAccountName, member FROM 'LDAP://" + base + "' WHERE name='Team'");
    EXPECT_EQ(set->RecordCount(), 2);
    for (const std::string& dn : dns(*set))
        EXPECT_EQ(dn.find("Elsewhere"), std::string::npos);
}

TEST_F(LdapProviderTest, HostNamedInTheQueryText) {
    const std::string host = "127.0.0.1:" + std::to_string(organisation_directory().port());
    auto set = run("SELECT Name FROM 'LDAP://" + host + "/" + base + "' WHERE samAccountName='U2'");
    EXPECT_EQ(set->RecordCount(), 1);
}

TEST_F(LdapProviderTest, RefusedTextsAndBasesFailTheExecution) {
    EXPECT_THROW(run("SELECT Name FROM 'LDAP://dc=example,dc=test' WHERE name='O'Brien'"),
                 DirectoryError);
    EXPECT_THROW(run("SELECT Name FROM 'LDAP://dc=other,dc=test' WHERE name='x'"), DirectoryError);
    // An empty base names nothing this server holds: either the execution fails or it finds
    // nothing, and the name becomes a user either way.
    try {
        EXPECT_EQ(run(group_lookup_text("", "G"))->RecordCount(), 0);
    } catch (const DirectoryError&) {
    }
}

TEST_F(LdapProviderTest, ObjectsAndConnectionRules) {
    EXPECT_THROW(provider->CreateConnection("ADODB.Recordset"), DirectoryError);
    EXPECT_THROW(provider->CreateCommand("ADODB.Connection"), DirectoryError);
    auto other = provider->CreateConnection("ADODB.Connection");
    EXPECT_THROW(other->Open("Provider=SQLOLEDB;"), DirectoryError);
    EXPECT_FALSE(other->is_open());
    EXPECT_THROW(other->Close(), DirectoryError);
    auto lone = provider->CreateCommand("ADODB.Command");
    lone->SetCommandText(group_lookup_text(base, "G"));
    EXPECT_THROW(lone->Execute(), DirectoryError);  // no active connection
    lone->SetActiveConnection(*other);
    EXPECT_THROW(lone->Execute(), DirectoryError);  // connection not open
    connection->Close();
    EXPECT_THROW(run(group_lookup_text(base, "G")), DirectoryError);
}

}  // namespace
}  // namespace permscope::directory

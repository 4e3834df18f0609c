// What the directory side decides without a server: the query dialect and the LDAP filters it
// becomes, member names from distinguished names, and which batch answers a name may take.

#include <gtest/gtest.h>

#include "directory/batch_lookup.h"
#include "directory/entry_index.h"
#include "directory/member_name.h"
#include "directory/query_dialect.h"

namespace permscope::directory {
namespace {

TEST(QueryDialect, TextsOutsideTheDialectFail) {
    for (const char* text :
         {"", "SELECT FROM 'LDAP://dc=x'", "SELECT a, FROM 'LDAP://dc=x'",
          "SELECT a FROM LDAP://dc=x", "SELECT a FROM 'LDAP://dc=x", "SELECT a FROM 'GC://dc=x'",
          "SELECT a FROM 'LDAP:///dc=x'", "SELECT a FROM 'LDAP://dc=x' WHERE a='O'Brien'",
          "SELECT a FROM 'LDAP://dc=x' WHERE a=b", "SELECT a FROM 'LDAP://dc=x' WHERE a LIKE 'b'",
          "SELECT a FROM 'LDAP://dc=x' WHERE (a='b'", "SELECT a FROM 'LDAP://dc=x' WHERE a='b' and",
          "SELECT a FROM 'LDAP://dc=x'; DROP", "SELECT a FROM 'LDAP://dc=x' WHERE a='b' c='d'"})
        EXPECT_THROW(parse_query(text), DialectError) << text;
}

TEST(QueryDialect, ValuesBecomeFilterValuesThatMatchOnlyThemselves) {
    const std::string b = "SELECT a FROM 'LDAP://x=y' WHERE ";
    const std::pair<std::string, std::string> cases[] = {
        {group_lookup_text("dc=A,dc=B", "N"), "(&(objectCategory=Group)(samAccountName=N))"},
        {user_lookup_text("dc=x", "O'Brien"), "(&(objectCategory=User)(samAccountName=O'Brien))"},
        {user_lookup_text("dc=x", "a*(b)\\"),
         "(&(objectCategory=User)(samAccountName=a\\2A\\28b\\29\\5C))"},
        {batch_account_lookup_text("dc=x", {"x", "O'Brien"}),
         "(|(samAccountName=x)(samAccountName=O'Brien))"},
        {b + "a='n" + std::string(1, '\0') + "ul'", "(a=n\\00ul)"},
        {b + "a='Müller'", "(a=M\\C3\\BCller)"},
        {"select NAME from 'ldap://dc=x' where A='1' AnD b='2' oR nOt c='3'",
         "(|(&(A=1)(b=2))(!(c=3)))"},
        {b + "a='1' and (b='2' or c='3')", "(&(a=1)(|(b=2)(c=3)))"},
        {b + "not (a='1' and b='2')", "(!(&(a=1)(b=2)))"},
        {b + "((a = 'x y'))", "(a=x y)"},
        {"SELECT objectSid FROM 'LDAP://cn=G,dc=x'", "(objectClass=*)"}};
    for (const auto& [text, filter] : cases)
        EXPECT_EQ(ldap_filter(parse_query(text).where), filter) << text;
    EXPECT_EQ(parse_query(entry_read_text("CN=O'Brien,DC=x")).base, "CN=O'Brien,DC=x");
    EXPECT_EQ(parse_query(group_lookup_text("dc=A,dc=B", "N")).attributes,
              (std::vector<std::string>{"Name", "samAccountName", "Member"}));
}

TEST(QueryDialect, TheFromTextNamesAHostOnlyBeforeASlashWithoutEquals) {
    const Query host = parse_query("SELECT a FROM 'LDAP://127.0.0.1:3890/dc=x,dc=y'");
    EXPECT_EQ(host.host + " " + host.base, "127.0.0.1:3890 dc=x,dc=y");
    const Query slash = parse_query("SELECT a FROM 'LDAP://cn=A/B,dc=x'");
    EXPECT_EQ(slash.host + " " + slash.base, " cn=A/B,dc=x");
    EXPECT_EQ(parse_query(group_lookup_text(base_name("a.B."), "N")).base, "dc=a,dc=B,dc=");
}

TEST(MemberName, TheFirstComponentsValueAsLdapReadsIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"CN=U1,OU=Staff,DC=example,DC=test", "U1"},
        {"uid=jdoe,ou=People,dc=x", "jdoe"},
        {"CN=Müller\\, Hans,OU=Staff,DC=x", "Müller, Hans"},
        {"CN=a\\+b\\\\c\\\"d,DC=x", "a+b\\c\"d"},
        {"CN=M\\C3\\BCller,DC=x", "Müller"},
        {"CN=\\2a,DC=x", "*"},
        {"CN=Anna+UID=aberg,DC=x", "Anna"},
        {"CN=Solo", "Solo"},
        {"cn=O'Neil,dc=x", "O'Neil"},
        {"CN=  two  blanks ,dc=x", "two  blanks"},
        {"CN=#41,dc=x", "A"},
        // No distinguished name: the text before the first comma without its first three.
        {"CN=x,=bad", "x"},
        {"garbage text,more", "bage text"},
        {"ab", ""}};
    for (const auto& [dn, value] : cases)
        EXPECT_EQ(first_component_value(dn), value) << dn;
}

std::string sid(std::initializer_list<int> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

TEST(MemberName, TheRelativeIdEndsAWellFormedSecurityIdentifier) {
    EXPECT_EQ(
        relative_id(sid({1, 4, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 2, 0, 0})),
        513u);
    EXPECT_EQ(relative_id(sid({1, 1, 0, 0, 0, 0, 0, 5, 255, 255, 255, 255})), 0xffffffffu);
    EXPECT_FALSE(relative_id(""));
    EXPECT_FALSE(relative_id("S-1-5-21-1-2-3-513"));
    EXPECT_FALSE(relative_id(sid({1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0})));  // one part short
    EXPECT_FALSE(relative_id(sid({2, 1, 0, 0, 0, 0, 0, 5, 1, 0, 0, 0})));   // revision 2
}

TEST(BatchLookup, OnlyPlainExactCategoriesDecideWhichLookupARecordAnswers) {
    using Strings = std::vector<std::string>;
    const std::pair<FieldValue, std::string> cases[] = {
        {std::string("Group"), "group"},
        {std::string("User"), "user"},
        {std::string("Computer"), "neither"},
        {Strings{"User", "Group"}, "group user"},
        // A case variant matches or not by the directory's rule; Active Directory keeps a
        // distinguished name and maps the lookup's name to it.
        {std::string("user"), "unknown"},
        {Strings{"Computer", "GROUP"}, "unknown"},
        {std::string("CN=Person,CN=Schema,CN=Configuration,DC=x"), "unknown"},
        {std::string("Gr\xc3\xbcppe"), "unknown"},
        {FieldValue(), "unknown"}};
    for (const auto& [value, expected] : cases) {
        const CategoryMatch m = category_match(value);
        const std::string got = !m.known  ? "unknown"
                                : m.group ? (m.user ? "group user" : "group")
                                          : (m.user ? "user" : "neither");
        EXPECT_EQ(got, expected) << ::testing::PrintToString(value);
    }
}

// The kept entries' answer to the group lookup of each name: "alice#0" (entry 0), "-" (left to
// the directory), " none". Each entry is a group carrying the account names given.
std::string answered(const std::vector<std::vector<std::string>>& accounts,
                     const std::vector<std::string>& names, bool batch_asked, bool all_read) {
    EntryIndex index;
    for (std::size_t e = 0; e < accounts.size(); ++e) {
        DirectoryEntry entry;
        entry.dn = "cn=" + std::to_string(e);
        entry.accounts = accounts[e];
        entry.group = true;
        index.add(std::move(entry));
    }
    if (batch_asked)
        index.lookups_complete(names, LookupKind::Group);
    if (all_read)
        index.all_entries_added();
    std::string text;
    for (const std::string& name : names) {
        const EntryIndex::Answer answer = index.lookup(name, LookupKind::Group);
        text += " " + name +
                (!answer.decided ? "-"
                 : answer.entry  ? "#" + answer.entry->dn.substr(3)
                                 : " none");
    }
    return text;
}

TEST(EntryIndex, ANameIsAnsweredOnlyWhereItsOwnLookupWouldGiveTheSame) {
    using A = std::vector<std::vector<std::string>>;
    const A accounts = {{"alice"}, {"Bob"}, {"one", "two"}};
    const std::vector<std::string> names = {"alice", "bob", "dave", "two", "ALICE", "a b"};
    EXPECT_EQ(answered(accounts, names, true, false), " alice#0 bob- dave none two#2 ALICE- a b-");
    // A read of all entries answers for the names its entries carry; no other name is sure to
    // match no account name outside the plain range.
    EXPECT_EQ(answered(accounts, names, false, true), " alice#0 bob- dave- two#2 ALICE- a b-");
    EXPECT_EQ(answered(accounts, names, false, false), " alice- bob- dave- two- ALICE- a b-");
    EXPECT_EQ(answered({{"x"}, {"X"}}, {"x", "y"}, true, true), " x- y none");
    // The same entry met twice (by its distinguished name) counts once.
    EXPECT_EQ(answered({{"x"}, {"x"}}, {"x"}, true, false), " x-");
    EntryIndex index;
    index.add({"cn=a", "", "A", std::string("a"), {}, false, true});
    index.add({"cn=a", "", "A", std::string("a"), {}, true, false});
    index.all_entries_added();
    EXPECT_EQ(index.lookup("a", LookupKind::Group).entry, index.by_dn("cn=a"));
    EXPECT_EQ(index.lookup("a", LookupKind::User).entry, index.by_dn("cn=a"));
    // The directory matches "a" with an account name outside the plain range ("a " or "ａ").
    index.mark_doubtful("A");
    EXPECT_FALSE(index.lookup("a", LookupKind::User).decided);
    // Names outside the plain range: answered only where the directory matched no account name.
    index.no_match({"Hans Müller"});
    EXPECT_TRUE(index.lookup("Hans Müller", LookupKind::Group).decided);
    EXPECT_EQ(index.lookup("Hans Müller", LookupKind::User).entry, nullptr);
    EXPECT_FALSE(index.lookup("Eva Müller", LookupKind::User).decided);
}

}  // namespace
}  // namespace permscope::directory

// What the directory side decides without a server: the query dialect and the LDAP filters it
// becomes, member names from distinguished names, and which batch answers a name may take.

#include <gtest/gtest.h>

#include "directory/batch_lookup.h"
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

// "alice#0" is a name whose answer is record 0, "-" one the answer does not decide, "none" one
// that no entry carries.
std::string attributed(const std::vector<FieldValue>& accounts,
                       const std::vector<std::string>& names) {
    StoredAnswer answer;
    answer.selected = {"Name", "samAccountName", "Member"};
    for (const FieldValue& account : accounts)
        answer.records.push_back({"cn=x", "", {std::string("x"), account, {}}});
    std::string text;
    const std::vector<Attribution> got = attribute_batch_answer(answer, names);
    for (std::size_t i = 0; i < names.size(); ++i)
        text += " " + names[i] +
                (!got[i].decided ? "-"
                 : got[i].record ? "#" + std::to_string(*got[i].record)
                                 : " none");
    return text;
}

TEST(BatchLookup, ANameTakesABatchAnswerOnlyWhereItsOwnLookupWouldGiveTheSame) {
    using S = std::string;
    EXPECT_EQ(attributed({S("alice"), S("Bob"), std::vector<S>{"one", "two"}},
                         {"alice", "bob", "dave", "two", "ALICE"}),
              " alice#0 bob- dave none two#2 ALICE-");
    EXPECT_EQ(attributed({S("x"), S("X")}, {"x", "y"}), " x- y none");
    // An account name outside printable ASCII decides nothing: "K" (Kelvin sign) folds to "k".
    for (const FieldValue& odd :
         {FieldValue(S("\xe2\x84\xaa")), FieldValue(S("a  b")), FieldValue()})
        EXPECT_EQ(attributed({S("alice"), odd}, {"alice", "k"}), " alice- k-");
}

}  // namespace
}  // namespace permscope::directory

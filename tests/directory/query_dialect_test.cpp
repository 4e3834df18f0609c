// The provider's SQL dialect: what it accepts, the LDAP filter it becomes, and what it refuses.
#include "directory/query_dialect.h"

#include <gtest/gtest.h>

namespace permscope::directory {
namespace {

std::string filter_of(std::string_view text) {
    return ldap_filter(parse_query(text).where);
}

TEST(QueryDialect, TheLookupTextsBecomeFiltersOnTheBase) {
    const Query group = parse_query(group_lookup_text("dc=A,dc=B", "N"));
    EXPECT_EQ(group.attributes, (std::vector<std::string>{"Name", "samAccountName", "Member"}));
    EXPECT_EQ(group.host, "");
    EXPECT_EQ(group.base, "dc=A,dc=B");
    EXPECT_EQ(ldap_filter(group.where), "(&(objectCategory=Group)(samAccountName=N))");
    EXPECT_EQ(parse_query(group_lookup_text("", "N")).base, "");
}

TEST(QueryDialect, ValuesAreEscapedSoTheyMatchOnlyThemselves) {
    EXPECT_EQ(filter_of(user_lookup_text("dc=x", "*")),
              "(&(objectCategory=User)(samAccountName=\\2A))");
    EXPECT_EQ(filter_of(user_lookup_text("dc=x", "a(b)c\\d")),
              "(&(objectCategory=User)(samAccountName=a\\28b\\29c\\5Cd))");
    EXPECT_EQ(filter_of(std::string("SELECT a FROM 'LDAP://x=y' WHERE a='n") + '\0' + "ul'"),
              "(a=n\\00ul)");
    // Bytes outside ASCII are escaped too; the server reads them back as the same UTF-8.
    EXPECT_EQ(filter_of("SELECT a FROM 'LDAP://x=y' WHERE a='Müller'"), "(a=M\\C3\\BCller)");
}

TEST(QueryDialect, DoubledApostropheIsOneApostrophe) {
    const Query q = parse_query(user_lookup_text("dc=x", "O'Brien"));
    EXPECT_EQ(ldap_filter(q.where), "(&(objectCategory=User)(samAccountName=O'Brien))");
    EXPECT_EQ(parse_query("SELECT a FROM 'LDAP://cn=O''Neil,dc=x'").base, "cn=O'Neil,dc=x");
}

TEST(QueryDialect, KeywordsAndNamesWithoutRegardToCase) {
    const Query q =
        parse_query("select NAME from 'ldap://dc=x' where A='1' AnD b='2' oR nOt c='3'");
    EXPECT_EQ(q.attributes, std::vector<std::string>{"NAME"});
    EXPECT_EQ(q.base, "dc=x");
    EXPECT_EQ(ldap_filter(q.where), "(|(&(A=1)(b=2))(!(c=3)))");
}

TEST(QueryDialect, ParenthesesAndPrecedence) {
    EXPECT_EQ(filter_of("SELECT a FROM 'LDAP://x=y' WHERE a='1' and (b='2' or c='3')"),
              "(&(a=1)(|(b=2)(c=3)))");
    EXPECT_EQ(filter_of("SELECT a FROM 'LDAP://x=y' WHERE a='1' or b='2' or c='3'"),
              "(|(a=1)(b=2)(c=3))");
    EXPECT_EQ(filter_of("SELECT a FROM 'LDAP://x=y' WHERE not (a='1' and b='2')"),
              "(!(&(a=1)(b=2)))");
    EXPECT_EQ(filter_of("SELECT a FROM 'LDAP://x=y' WHERE ((a = 'x y'))"), "(a=x y)");
}

TEST(QueryDialect, ConditionsNestUpTo256Levels) {
    const auto nested = [](std::size_t levels) {
        return "SELECT a FROM 'LDAP://x=y' WHERE " + std::string(levels, '(') + "a='b'" +
               std::string(levels, ')');
    };
    EXPECT_EQ(filter_of(nested(256)), "(a=b)");
    EXPECT_THROW(parse_query(nested(257)), DialectError);
    EXPECT_THROW(parse_query(nested(100000)), DialectError);
}

TEST(QueryDialect, WithoutWhereEveryObjectMatches) {
    EXPECT_EQ(filter_of("SELECT objectSid FROM 'LDAP://cn=G,dc=x'"), "(objectClass=*)");
}

TEST(QueryDialect, HostOnlyWhereThePartBeforeTheSlashHasNoEquals) {
    const Query with_host =
        parse_query("SELECT a FROM 'LDAP://127.0.0.1:3890/dc=x,dc=y' WHERE a='b'");
    EXPECT_EQ(with_host.host, "127.0.0.1:3890");
    EXPECT_EQ(with_host.base, "dc=x,dc=y");
    const Query slash_in_dn = parse_query("SELECT a FROM 'LDAP://cn=A/B,dc=x'");
    EXPECT_EQ(slash_in_dn.host, "");
    EXPECT_EQ(slash_in_dn.base, "cn=A/B,dc=x");
    EXPECT_EQ(parse_query("SELECT a FROM 'LDAP://server/'").base, "");
}

TEST(QueryDialect, TextsOutsideTheDialectFail) {
    for (const char* text : {
             "",
             "SELECT",
             "SELECT FROM 'LDAP://dc=x'",
             "SELECT a, FROM 'LDAP://dc=x'",
             "SELECT a FROM LDAP://dc=x",
             "SELECT a FROM 'LDAP://dc=x",
             "SELECT a FROM 'GC://dc=x'",
             "SELECT a FROM 'LDAP:///dc=x'",
             "SELECT a FROM 'LDAP://dc=x' WHERE",
             "SELECT a FROM 'LDAP://dc=x' WHERE a='O'Brien'",
             "SELECT a FROM 'LDAP://dc=x' WHERE a=b",
             "SELECT a FROM 'LDAP://dc=x' WHERE a LIKE 'b'",
             "SELECT a FROM 'LDAP://dc=x' WHERE a>='b'",
             "SELECT a FROM 'LDAP://dc=x' WHERE (a='b'",
             "SELECT a FROM 'LDAP://dc=x' WHERE a='b')",
             "SELECT a FROM 'LDAP://dc=x' WHERE a='b' and",
             "SELECT a FROM 'LDAP://dc=x' WHERE a='b' ORDER BY a",
             "SELECT a FROM 'LDAP://dc=x'; DROP",
             "SELECT (a) FROM 'LDAP://dc=x'",
             "SELECT a FROM 'LDAP://dc=x' WHERE a='b' c='d'",
         }) {
        EXPECT_THROW(parse_query(text), DialectError) << text;
    }
}

}  // namespace
}  // namespace permscope::directory

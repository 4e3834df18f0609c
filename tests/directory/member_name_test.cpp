// Member names from distinguished names, and relative identifiers from security identifiers.
#include "directory/member_name.h"

#include <gtest/gtest.h>
#include <lber.h>
#include <ldap.h>

namespace permscope::directory {
namespace {

TEST(FirstComponentValue, PlainComponent) {
    EXPECT_EQ(first_component_value("CN=U1,OU=Staff,DC=example,DC=test"), "U1");
    EXPECT_EQ(first_component_value("cn=Anna Berg,dc=x"), "Anna Berg");
    EXPECT_EQ(first_component_value("uid=jdoe,ou=People,dc=x"), "jdoe");
}

TEST(FirstComponentValue, EscapedCommaBelongsToTheValue) {
    EXPECT_EQ(first_component_value("CN=Müller\\, Hans,OU=Staff,DC=x"), "Müller, Hans");
    EXPECT_EQ(first_component_value("CN=a\\+b\\\\c\\\"d,DC=x"), "a+b\\c\"d");
}

TEST(FirstComponentValue, HexEscapesGiveTheirBytes) {
    EXPECT_EQ(first_component_value("CN=M\\C3\\BCller,DC=x"), "Müller");
    EXPECT_EQ(first_component_value("CN=\\2a,DC=x"), "*");
}

TEST(FirstComponentValue, MultiValuedComponentGivesItsFirstValue) {
    EXPECT_EQ(first_component_value("CN=Anna+UID=aberg,DC=x"), "Anna");
}

TEST(FirstComponentValue, SingleComponent) {
    EXPECT_EQ(first_component_value("CN=Solo"), "Solo");
}

TEST(FirstComponentValue, NoDistinguishedNameFallsBackToTheCut) {
    EXPECT_EQ(first_component_value("CN=x,=bad"), "x");
    EXPECT_EQ(first_component_value("garbage text,more"), "bage text");
    EXPECT_EQ(first_component_value("ab"), "");
}

// The first value as libldap parses the whole name, or the cut where it is no name.
std::string parsed_first_value(const std::string& text) {
    LDAPDN dn = nullptr;
    if (ldap_str2dn(text.c_str(), &dn, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS || !dn || !dn[0] ||
        !dn[0][0]) {
        if (dn)
            ldap_dnfree(dn);
        const std::string first = text.substr(0, text.find(','));
        return first.size() > 3 ? first.substr(3) : std::string();
    }
    std::string value(dn[0][0]->la_value.bv_val, dn[0][0]->la_value.bv_len);
    ldap_dnfree(dn);
    return value;
}

TEST(FirstComponentValue, ShortcutForPlainValuesAgreesWithTheFullParse) {
    for (const std::string dn :
         {"CN=u000123,OU=People,DC=bench,DC=test", "cn=Hans Meier,ou=x", "CN=J\xc3\xb6rg,DC=x",
          "ou=a b c", "CN=x,garbage", "cn=O'Neil,dc=x", "CN=star*1,dc=x", "CN=a  b,dc=x",
          "CN= lead,dc=x", "CN=trail ,dc=x", "CN=#41,dc=x", "CN=a=b,dc=x", "CN=,dc=x",
          "CN=a;b,dc=x", "C1=x,dc=y", "CN=\xff\xfe,dc=x", "CN=tab\there,dc=x"})
        EXPECT_EQ(first_component_value(dn), parsed_first_value(dn)) << dn;
}

std::string sid(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes)
        s += static_cast<char>(b);
    return s;
}

TEST(RelativeId, LastSubAuthorityLittleEndian) {
    // S-1-5-21-1-2-513
    EXPECT_EQ(relative_id(sid(
                  {1, 4, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0x01, 0x02, 0, 0})),
              513u);
    // S-1-5-32-544 (BUILTIN\Administrators)
    EXPECT_EQ(relative_id(sid({1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0})), 544u);
    EXPECT_EQ(relative_id(sid({1, 1, 0, 0, 0, 0, 0, 5, 0xff, 0xff, 0xff, 0xff})), 0xffffffffu);
}

TEST(RelativeId, MalformedIdentifiersGiveNothing) {
    EXPECT_FALSE(relative_id(""));
    EXPECT_FALSE(relative_id("S-1-5-21-1-2-3-513"));
    EXPECT_FALSE(
        relative_id(sid({1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0})));  // one sub-authority short
    EXPECT_FALSE(relative_id(sid({2, 1, 0, 0, 0, 0, 0, 5, 1, 0, 0, 0})));  // revision 2
    EXPECT_FALSE(relative_id(sid({1, 0, 0, 0, 0, 0, 0, 5, 1, 0, 0, 0})));  // no sub-authority
}

}  // namespace
}  // namespace permscope::directory

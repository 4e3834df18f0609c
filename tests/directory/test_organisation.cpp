#include "tests/directory/test_organisation.h"

#include <cstdio>

namespace permscope::testing {

namespace {

std::string numbered(const char* prefix, int number) {
    char text[16];
    std::snprintf(text, sizeof text, "%s%04d", prefix, number);
    return text;
}

}  // namespace

std::string organisation_ldif() {
    OrganisationLdif o("example.test");
    const std::string staff = o.organisational_unit("Staff");
    const std::string groups = o.organisational_unit("Groups");
    const std::string nord = o.organisational_unit("Nord");
    const std::string sued = o.organisational_unit("Sued");
    const std::string foreign_ou = o.organisational_unit("ForeignSecurityPrincipals");

    // The worked example: G holds U1 and G2, G2 holds U2.
    const std::string u1 = o.user("U1", "U1", staff);
    const std::string u2 = o.user("U2", "U2", staff);
    const std::string u3 = o.user("U3", "U3", staff);
    const std::string g2 = o.group("G2", "G2", {u2}, groups);
    o.group("G", "G", {u1, g2}, groups);

    // Shared members, a cycle, a group that holds itself, an empty group.
    o.group("Shared1", "Shared1", {u1, u3}, groups);
    o.group("Shared2", "Shared2", {u3}, groups);
    const std::string cycle_a = "cn=CycA," + groups;
    const std::string cycle_b = o.group("CycB", "CycB", {cycle_a, u1}, groups);
    o.group("CycA", "CycA", {cycle_b}, groups);
    o.group("Selbst", "Selbst", {"cn=Selbst," + groups}, groups);
    o.group("Leer", "Leer", {}, groups);

    // A member whose name is not its account name; names with a comma, umlauts, an apostrophe
    // and filter characters.
    const std::string weber = o.user("Hans Weber", "hweber", staff);
    o.group("RDNGruppe", "RDNGruppe", {weber}, groups);
    const std::string hans = o.user("Müller, Hans", "hmueller", staff);
    const std::string eva = o.user("Müller, Eva", "emueller", staff);
    o.group("Kommagruppe", "Kommagruppe", {hans, eva}, groups);
    const std::string juergen = o.user("Jürgen Größ", "Jürgen Größ", staff);
    o.group("Büro", "Büro", {juergen}, groups);
    const std::string obrien = o.user("O'Brien", "O'Brien", staff);
    o.group("O'Neil Team", "O'Neil Team", {obrien}, groups);
    const std::string star = o.user("*", "*", staff);
    const std::string parens = o.user("(x)", "(x)", staff);
    o.group("Sonderzeichen", "Sonderzeichen", {star, parens}, groups);

    // Exact membership: a group named differently from its account, two groups of one name, a
    // member from another forest, a member with a multi-valued name.
    const std::string vertrieb = o.group("Vertrieb Team", "GG_Vertrieb", {u2}, groups);
    o.group("Abteilung", "Abteilung", {vertrieb}, groups);
    o.group("Team", "Team_Nord", {u1}, nord);
    const std::string team_sued = o.group("Team", "Team_Sued", {u2}, sued);
    o.group("Standorte", "Standorte", {team_sued}, groups);
    const std::string foreigner = o.foreign_principal("S-1-5-21-9-9-9-1234", foreign_ou);
    o.group("Fremde", "Fremde", {foreigner, u1, "cn=Gone," + staff}, groups);
    const std::string multi = "cn=Multi+uid=mv," + staff;
    o.raw_entry(multi,
                "objectClass: user\ncn: Multi\nuid: mv\nname: Multi\nsAMAccountName: mvalue\n"
                "objectCategory: User\n");
    o.group("MultiGruppe", "MultiGruppe", {multi}, groups);

    // Primary groups: Domain Users (RID 513) has one member value and three accounts whose
    // primary group it is; Viele (RID 1100) is the primary group of the big group's members.
    const std::string p1 = o.user("P1", "P1", staff, 513, 2001);
    o.user("P2", "P2", staff, 513, 2002);
    o.user("P3", "P3", staff, 513, 2003);
    (void)p1;
    o.group("Domain Users", "Domain Users", {u3}, groups, 513);
    std::vector<std::string> big;
    for (int i = 0; i < big_group_size; ++i)
        big.push_back(o.user(numbered("M", i), numbered("M", i), staff, 1100, 5000 + i));
    o.group("Gross", "Gross", big, groups);
    o.group("Viele", "Viele", {}, groups, 1100);
    o.group("Ohne Primaer", "Ohne Primaer", {u1}, groups, 1200);

    // A chain of nested groups: Kette0000 holds Kette0001 … and the last one holds U1.
    for (int i = 0; i < chain_length; ++i) {
        const std::string next =
            i + 1 < chain_length ? "cn=" + numbered("Kette", i + 1) + "," + groups : u1;
        o.group(numbered("Kette", i), numbered("Kette", i), {next}, groups);
    }
    // Members a batch of many names per search must hand out as their own lookups would: member
    // values that are another account's name in another case, accounts that differ only in case,
    // categories that are "User" only to a directory that ignores case or that are distinguished
    // names (as Active Directory keeps them), a computer, names with blanks, a name of nothing.
    std::vector<std::string> mixed = {o.user("konto0y", "KONTO0", staff),
                                      o.user("Konto0", "konto0x", staff),
                                      o.user("dup", "dup", staff),
                                      o.user("DUP2", "DUP", staff),
                                      hans,
                                      weber,
                                      u1,
                                      "cn=Geist," + staff,
                                      "cn=G2," + groups};
    for (const auto& [account, category] :
         {std::pair<std::string, std::string>{"klein", "user"},
          {"PC1$", "Computer"},
          {"person", "CN=Person,CN=Schema,CN=Configuration," + o.suffix()}}) {
        mixed.push_back("cn=" + account + "," + staff);
        o.raw_entry(mixed.back(), "objectClass: user\ncn: " + account + "\nname: Konto " + account +
                                      "\nsAMAccountName: " + account +
                                      "\nobjectCategory: " + category + "\n");
    }
    o.group("Gemischt", "Gemischt", mixed, groups);
    // A part of the tree held by another server: searches under the base meet a continuation
    // reference there.
    o.raw_entry("ou=Elsewhere," + o.suffix(),
                "objectClass: referral\nobjectClass: extensibleObject\nou: Elsewhere\n"
                "ref: ldap://other.invalid/ou=Elsewhere,dc=other,dc=invalid\n");
    return o.text();
}

PrivateSlapd& organisation_directory() {
    static PrivateSlapd slapd("dc=example,dc=test", organisation_ldif());
    return slapd;
}

std::unique_ptr<directory::DirectoryProvider> organisation_provider(int page_size) {
    directory::LdapProviderOptions options;
    options.uri = organisation_directory().uri();
    options.page_size = page_size;
    return directory::make_ldap_directory_provider(options);
}

directory::DirectoryProvider& shared_organisation_provider() {
    static std::unique_ptr<directory::DirectoryProvider> provider = organisation_provider();
    return *provider;
}

}  // namespace permscope::testing

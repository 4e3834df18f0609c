// The fast path (batches, kept answers, row index, reused handles) against one name at a time on
// random organisations in private slapds: nesting, cycles, shared members, account names that
// differ from their member values in case, umlauts, blanks, filter characters, accounts that
// differ only in case, accounts of other or unclear categories, and members that name nothing.
// Every visible column of both lists and every created-entries list must be the same.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "directory/group_resolver.h"
#include "directory/ldap_provider.h"
#include "rights/folder_read.h"
#include "tests/directory/test_organisation.h"
#include "tests/fixtures/private_slapd.h"

namespace permscope::directory {
namespace {

using Texts = std::vector<std::string>;
using testing::OrganisationLdif;
using testing::PrivateSlapd;
using testing::row_texts;

struct Account {
    std::string cn;
    std::string account;
    std::string dn;
};

// Account names of several shapes; the member value (cn) is sometimes a case variant of the
// account name or another name altogether.
Account make_account(OrganisationLdif& o, std::mt19937& random, int number, bool group,
                     const std::string& parent, const std::vector<std::string>& members) {
    static const char* const shapes[] = {"user",   "MiXed", "J\xc3\xbcrgen ", "Hans Meier ",
                                         "O'Neil", "star*", "Gro\xc3\x9f",    "a  b"};
    const std::string stem = group ? (number % 3 == 0 ? "Gruppe \xc3\x84" : "grp")
                                   : shapes[random() % (sizeof shapes / sizeof *shapes)];
    Account a;
    a.account = stem + std::to_string(number);
    a.cn = a.account;
    switch (random() % 8) {
        case 0:
            for (char& c : a.cn)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            break;
        case 1:
            a.cn = "Anzeige " + std::to_string(number);  // not an account name
            break;
        default:
            break;
    }
    a.dn = group ? o.group(a.cn, a.account, members, parent) : o.user(a.cn, a.account, parent);
    return a;
}

struct Organisation {
    std::string domain;
    std::unique_ptr<PrivateSlapd> slapd;
    Texts trustees;
};

Organisation make_organisation(unsigned seed) {
    std::mt19937 random(seed);
    Organisation org;
    org.domain = "org" + std::to_string(seed) + ".test";
    OrganisationLdif o(org.domain);
    const std::string people = o.organisational_unit("People");
    const std::string teams = o.organisational_unit("Teams");

    std::vector<Account> users;
    for (int i = 0; i < 80; ++i)
        users.push_back(make_account(o, random, i, false, people, {}));
    // Member values that are another entry's account name, in another case or the same: the
    // lookup of "Konto3" finds the entry whose account is "KONTO3", and that entry's name counts.
    for (int i = 0; i < 6; ++i) {
        const std::string n = std::to_string(i);
        users.push_back(
            {"konto" + n + "y", "KONTO" + n, o.user("konto" + n + "y", "KONTO" + n, people)});
        users.push_back(
            {"Konto" + n, "konto" + n + "x", o.user("Konto" + n, "konto" + n + "x", people)});
        users.push_back(
            {"quer" + n + "y", "quer" + n, o.user("quer" + n + "y", "quer" + n, people)});
        users.push_back(
            {"quer" + n, "quer" + n + "x", o.user("quer" + n, "quer" + n + "x", people)});
    }
    // Accounts whose category is not plainly "User" or "Group": a computer, and in every second
    // organisation a user whose category is "User" only to a directory that ignores case, and one
    // whose category is a distinguished name, as Active Directory keeps it.
    const auto add_odd = [&](const std::string& account, const std::string& category) {
        // The member value is the account name; the stored name differs, so that a record taken
        // for a user's shows.
        const std::string dn = "cn=" + account + "," + people;
        o.raw_entry(dn, "objectClass: user\ncn: " + account + "\nname: Konto " + account +
                            "\nsAMAccountName: " + account + "\nobjectCategory: " + category +
                            "\n");
        users.push_back({account, account, dn});
    };
    add_odd("PC" + std::to_string(seed) + "$", "Computer");
    if (seed % 2 == 0) {
        add_odd("klein", "user");
        add_odd("person", "CN=Person,CN=Schema,CN=Configuration," + o.suffix());
    }
    // Two accounts that differ only in case: one lookup finds both.
    users.push_back({"dup", "dup", o.user("dup", "dup", people)});
    users.push_back({"DUP2", "DUP", o.user("DUP2", "DUP", people)});

    // Groups nest downwards (group i may hold groups after it); the last holds the first, which
    // closes a cycle through the chain between them.
    const int group_count = 12;
    std::vector<std::string> group_dns(group_count);
    for (int i = 0; i < group_count; ++i)
        group_dns[i] = "cn=grp" + std::to_string(i) + "," + teams;
    std::vector<Account> groups;
    for (int i = group_count - 1; i >= 0; --i) {
        std::vector<std::string> members;
        for (int m = 0; m < 12; ++m)
            members.push_back(users[random() % users.size()].dn);
        for (int g = i + 1; g < group_count; ++g)
            if (random() % 5 == 0)
                members.push_back(groups[group_count - 1 - g].dn);
        if (i == group_count - 1)
            members.push_back(group_dns[0]);  // may name an entry that is not there yet
        if (random() % 3 == 0)
            members.push_back("cn=Geist " + std::to_string(i) + "," + people);  // names nothing
        Account g = {"grp" + std::to_string(i), "grp" + std::to_string(i), group_dns[i]};
        o.group(g.cn, g.account, members, teams);
        groups.push_back(g);
    }
    std::reverse(groups.begin(), groups.end());

    for (int t = 0; t < 8; ++t) {
        const int pick = static_cast<int>(random() % 4);
        std::string name = pick == 0   ? users[random() % users.size()].account
                           : pick == 3 ? "unbekannt" + std::to_string(t % 3)
                                       : groups[random() % groups.size()].account;
        if (random() % 5 == 0)
            for (char& c : name)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        org.trustees.push_back(name);
    }
    org.trustees.push_back(groups.front().account);
    org.trustees.push_back("dup");
    org.slapd = std::make_unique<PrivateSlapd>(o.suffix(), o.text());
    return org;
}

struct Read {
    Texts users, groups, created;
};

// One folder read's directory part as the folder read does it: Group_check per trustee, the
// entry's rights into every row it names, then the sub-group pass.
Read read(GroupResolver& resolver, const Texts& trustees) {
    static const char* const rights[] = {"Lesen", "\xc3\x84ndern", "Vollzugriff"};
    ResultList users, groups;
    Read result;
    for (std::size_t i = 0; i < trustees.size(); ++i) {
        std::string name = trustees[i];
        std::string created;
        const std::string list = resolver.Group_check(users, groups, name, "", created);
        rights::write_rights_to_created_entries(list, rights[i % 3], users, groups);
        result.created.push_back(list);
    }
    rights::fill_sub_groups(groups);
    resolver.folder_read_finished();
    result.users = row_texts(users);
    result.groups = row_texts(groups);
    return result;
}

class DifferentialTest : public ::testing::TestWithParam<unsigned> {};

TEST_P(DifferentialTest, FastPathGivesTheRowsOfOneNameAtATime) {
    const Organisation org = make_organisation(GetParam());
    const auto domain = [&] { return org.domain; };

    LdapProviderOptions literal_options{org.slapd->uri()};
    literal_options.reuse_handles = false;
    const auto literal_provider = make_ldap_directory_provider(literal_options);
    GroupResolver literal(*literal_provider, domain, ResolutionOptions::one_name_at_a_time());
    const Read expected = read(literal, org.trustees);

    const auto fast_provider = make_ldap_directory_provider(LdapProviderOptions{org.slapd->uri()});
    GroupResolver fast(*fast_provider, domain);
    const Read got = read(fast, org.trustees);
    // A second read on the same resolver starts from fresh answers and gives the same again.
    const Read again = read(fast, org.trustees);

    ASSERT_GT(expected.users.size(), 40u);
    ASSERT_GT(expected.groups.size(), 5u);
    EXPECT_EQ(got.created, expected.created);
    EXPECT_EQ(got.users, expected.users);
    EXPECT_EQ(got.groups, expected.groups);
    EXPECT_EQ(again.users, expected.users);
    EXPECT_EQ(again.groups, expected.groups);
}

INSTANTIATE_TEST_SUITE_P(RandomOrganisations, DifferentialTest, ::testing::Values(1u, 2u, 3u, 4u));

}  // namespace
}  // namespace permscope::directory

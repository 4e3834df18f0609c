// The fast paths (batches, kept entries, a read of all groups and users, row index, reused
// handles) against one name at a time, on the sample organisation and on generated ones: every
// visible column of both lists and every created-entries list of a folder read must be the same,
// and so on a second read with the same resolver.

#include <gtest/gtest.h>

#include <random>

#include "directory/query_dialect.h"
#include "rights/folder_read.h"
#include "rights/walk_reader.h"
#include "tests/directory/test_organisation.h"

namespace permscope::directory {
namespace {

using Texts = std::vector<std::string>;

// One folder read's directory part as the folder read does it: Group_check per trustee, the
// entry's rights into every row it names, then the sub-group pass.
Texts read(GroupResolver& resolver, const Texts& trustees) {
    ResultList users, groups;
    Texts rows;
    for (std::size_t i = 0; i < trustees.size(); ++i) {
        std::string name = trustees[i], created;
        rows.push_back(resolver.Group_check(users, groups, name, "", created));
        rights::write_rights_to_created_entries(rows.back(), i % 2 ? "Lesen" : "Ändern", users,
                                                groups);
    }
    rights::fill_sub_groups(groups);
    resolver.folder_read_finished();
    for (const ResultList* list : {&users, &groups})
        for (const std::string& row : permscope::testing::row_texts(*list))
            rows.push_back(row);
    return rows;
}

// Counts what the batch and bulk searches bring, and the commands of single queries.
class CountingProvider : public DirectoryProvider {
  public:
    explicit CountingProvider(DirectoryProvider& real) : real_(real) {}
    std::unique_ptr<Connection> CreateConnection(std::string_view id) override {
        return real_.CreateConnection(id);
    }
    std::unique_ptr<Command> CreateCommand(std::string_view id) override {
        ++commands;
        return real_.CreateCommand(id);
    }
    void forget_unreachable_servers() override { real_.forget_unreachable_servers(); }
    void execute_all(const std::vector<std::string>& texts, const Answered& answered) override {
        real_.execute_all(texts, [&](std::size_t i, std::unique_ptr<Recordset> set) {
            records += static_cast<std::size_t>(set->RecordCount());
            answered(i, std::move(set));
        });
    }
    bool execute_streamed(const std::string& text, const EachRecord& each_record) override {
        ++streamed_searches;
        return real_.execute_streamed(text, [&](StoredRecord record) {
            ++records;
            return each_record(std::move(record));
        });
    }

    std::size_t commands = 0, streamed_searches = 0, records = 0;

  private:
    DirectoryProvider& real_;
};

ResolutionOptions reading_everything(std::size_t entries_per_name) {
    ResolutionOptions options;
    options.bulk_threshold = 1;
    options.bulk_entries_per_name = entries_per_name;
    return options;
}

// Each resolver reads the trustees twice; each read must give what one name at a time gives.
void expect_same_reads(const permscope::testing::PrivateSlapd& directory, const char* domain,
                       const Texts& trustees) {
    const auto domain_name = [domain] { return std::string(domain); };
    LdapProviderOptions literal_options{directory.uri()};
    literal_options.reuse_handles = false;
    const auto literal_provider = make_ldap_directory_provider(literal_options);
    GroupResolver literal(*literal_provider, domain_name, ResolutionOptions::one_name_at_a_time());
    const Texts expected = read(literal, trustees);
    const auto provider = make_ldap_directory_provider({directory.uri()});
    const std::pair<const char*, ResolutionOptions> ways[] = {
        {"batches", {}},
        {"everything read", reading_everything(1000)},
        // The reads of all groups and users stop at once: the read goes on by batches.
        {"everything read, stopped", reading_everything(1)}};
    for (const auto& [way, options] : ways) {
        GroupResolver fast(*provider, domain_name, options);
        EXPECT_EQ(read(fast, trustees), expected) << way;
        EXPECT_EQ(read(fast, trustees), expected) << way << ", second read";
    }
}

TEST(FastPath, GivesTheRowsOfOneNameAtATime) {
    const Texts trustees = {"Gemischt", "G",         "U1",        "Shared1",   "CycB",
                            "Selbst",   "KONTO0",    "Fremde",    "Standorte", "Domain Users",
                            "dup",      "klein",     "unbekannt", "Gross",     "Kette0990",
                            "Gemischt", "Abteilung", "RDNGruppe", "g2"};
    expect_same_reads(permscope::testing::organisation_directory(), "example.test", trustees);
}

// A generated organisation: users and groups nested at random (cycles and groups that hold
// themselves included), some users in several groups, members named by distinguished names whose
// first component is not their account name, names with filter characters, apostrophes, commas
// and umlauts, accounts that differ only in case, primary groups, a member that does not exist.
struct Generated {
    std::string ldif;
    Texts trustees;
};

Generated generate(unsigned seed) {
    std::mt19937 random(seed);
    const auto below = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    permscope::testing::OrganisationLdif o("gen.test");
    const std::string people = o.organisational_unit("People");
    const std::string teams = o.organisational_unit("Teams");
    const char* const odd_names[] = {"a*b",  "(c)",   "O'Hara",  "Müller, Jo",
                                     "x\\y", "CaseX", "Case Two"};
    std::vector<std::string> users;
    for (int u = 0; u < 150; ++u) {
        std::string cn = u < 7 ? odd_names[u] : "user" + std::to_string(u);
        // Every tenth user is known by another account name than its first component; "Case
        // Two" by the account name of "CaseX" in lower case.
        const std::string account = u == 6 ? "casex" : u % 10 == 9 ? "acc" + std::to_string(u) : cn;
        const bool primary = u % 25 == 0;
        users.push_back(o.user(cn, account, people,
                               primary ? std::optional<std::uint32_t>(513) : std::nullopt));
    }
    // Groups hold one later group each, and every fifth one an earlier group too (a cycle where
    // that is one of its own holders, a second way into a group otherwise).
    constexpr std::size_t kGroups = 30;
    std::vector<std::string> groups;
    for (std::size_t g = 0; g < kGroups; ++g)
        groups.push_back("cn=grp" + std::to_string(g) + "," + teams);
    groups.push_back("cn=Team (x)," + teams);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        std::vector<std::string> members;
        for (std::size_t m = below(8); m > 0; --m)
            members.push_back(users[below(users.size())]);
        if (const std::size_t later = g + 1 + below(3); later < groups.size())
            members.push_back(groups[later]);
        if (g % 5 == 4)
            members.push_back(groups[below(g + 1)]);
        if (g % 13 == 0)
            members.push_back("cn=Gone," + people);
        const std::string cn = g == kGroups ? "Team (x)" : "grp" + std::to_string(g);
        o.group(cn, g == 7 ? "G_seven" : cn, members, teams,
                g == 0 ? std::optional<std::uint32_t>(513) : std::nullopt);
    }
    Generated generated{o.text(), {"grp0", "Team (x)", "G_seven", "user10", "casex", "nobody"}};
    for (int t = 0; t < 6; ++t)
        generated.trustees.push_back("grp" + std::to_string(below(kGroups)));
    return generated;
}

TEST(FastPath, GivesTheRowsOfOneNameAtATimeInGeneratedOrganisations) {
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        const Generated generated = generate(seed);
        const permscope::testing::PrivateSlapd directory("dc=gen,dc=test", generated.ldif);
        expect_same_reads(directory, "gen.test", generated.trustees);
    }
}

// What the directory sends for a read: a folder that names a small group of a large directory
// gets that group's entries, not the directory; a read of everything that brings more than the
// read needs stops.
TEST(FastPath, ASmallGroupDoesNotPullTheDirectory) {
    const auto domain = [] { return std::string("example.test"); };
    CountingProvider counted(permscope::testing::shared_organisation_provider());
    {
        GroupResolver resolver(counted, domain);
        read(resolver, {"G", "Shared1"});
        EXPECT_EQ(counted.streamed_searches, 0u);
        EXPECT_LE(counted.records, 10u);  // G2, U1, U2, U3 and the trustees themselves
    }
    counted.records = 0;
    GroupResolver stopped(counted, domain, reading_everything(2));
    read(stopped, {"G"});
    EXPECT_EQ(counted.streamed_searches, 1u);  // the groups' search, stopped
    EXPECT_LE(counted.records, 10u);
}

// Members named by a display name that is no account name ("CN=Müller\, Hans", account
// hmueller), as Active Directory names them: once all groups and users are read, one search
// shows that no account name matches those names, and their entries give the accounts.
TEST(FastPath, MembersNamedByDisplayNamesNeedNoQueryOfTheirOwn) {
    CountingProvider counted(permscope::testing::shared_organisation_provider());
    GroupResolver resolver(
        counted, [] { return std::string("example.test"); }, reading_everything(1000));
    EXPECT_EQ(read(resolver, {"Kommagruppe"}),
              (Texts{",1-Group,1-User,2-User", "Müller, Hans|Kommagruppe|Ändern",
                     "Müller, Eva|Kommagruppe|Ändern", "Kommagruppe|is Head||Ändern"}));
    EXPECT_EQ(counted.commands, 1u);  // the trustee's own lookup, before anything was read
}

// A walk resolves each trustee once and enters its rows again into later folders' lists: each
// folder must still get the rows of a read of its own, one name at a time.
TEST(FastPath, AWalkGivesEveryFolderTheRowsOfItsOwnRead) {
    using Entries = std::vector<platform::AccessEntry>;
    // Trustees shared between lists, a list met again, a trustee twice in one list.
    const auto e = [](const char* name, std::int32_t mask) {
        platform::AccessEntry entry;
        entry.trustee_name = name;
        entry.access_mask = mask;
        return entry;
    };
    const std::vector<Entries> lists = {
        {e("Gemischt", 0x1200A9), e("G", 0x1301BF), e("U1", 0x120089)},
        {e("G", 0x120089), e("Shared1", 0x1F01FF), e("CycB", 0x1200A9), e("Gemischt", 0x100116)},
        {e("Gemischt", 0x1200A9), e("G", 0x1301BF), e("U1", 0x120089)},
        {e("Selbst", 1), e("KONTO0", 2), e("Fremde", 3), e("dup", 4), e("unbekannt", 5),
         e("Selbst", 6)},
        {e("Gross", 0x1200A9), e("Kette0990", 0x120089), e("CycB", 0x1301BF), e("G", 7)}};
    const auto domain = [] { return std::string("example.test"); };
    LdapProviderOptions options{permscope::testing::organisation_directory().uri()};
    options.reuse_handles = false;
    const auto literal_provider = make_ldap_directory_provider(options);
    GroupResolver literal(*literal_provider, domain, ResolutionOptions::one_name_at_a_time());
    rights::WalkReader walk(permscope::testing::shared_organisation_provider(), domain);
    for (const Entries& list : lists) {
        ResultList users, groups;
        rights::read_access_entries(
            list, users, groups, [&](std::string& name, std::string head, std::string& created) {
                return literal.Group_check(users, groups, name, std::move(head), created);
            });
        literal.folder_read_finished();
        const rights::WalkReader::Read read = walk.read(list);
        EXPECT_EQ(permscope::testing::row_texts(read.lists->users),
                  permscope::testing::row_texts(users));
        EXPECT_EQ(permscope::testing::row_texts(read.lists->groups),
                  permscope::testing::row_texts(groups));
        EXPECT_EQ(read.directory_problem, "");
    }
    EXPECT_EQ(walk.finish(), "");
}

}  // namespace
}  // namespace permscope::directory

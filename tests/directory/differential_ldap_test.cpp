// The fast path (batches, kept answers, row index, reused handles) against one name at a time on
// the sample organisation: every visible column of both lists and every created-entries list of
// a folder read must be the same, and so on a second read with the same resolver.

#include <gtest/gtest.h>

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

TEST(FastPath, GivesTheRowsOfOneNameAtATime) {
    const Texts trustees = {"Gemischt", "G",         "U1",        "Shared1",   "CycB",
                            "Selbst",   "KONTO0",    "Fremde",    "Standorte", "Domain Users",
                            "dup",      "klein",     "unbekannt", "Gross",     "Kette0990",
                            "Gemischt", "Abteilung", "RDNGruppe", "g2"};
    const auto domain = [] { return std::string("example.test"); };
    LdapProviderOptions options{permscope::testing::organisation_directory().uri()};
    options.reuse_handles = false;
    const auto literal_provider = make_ldap_directory_provider(options);
    GroupResolver literal(*literal_provider, domain, ResolutionOptions::one_name_at_a_time());
    const Texts expected = read(literal, trustees);
    ASSERT_GT(expected.size(), 2050u);
    GroupResolver fast(permscope::testing::shared_organisation_provider(), domain);
    EXPECT_EQ(read(fast, trustees), expected);
    EXPECT_EQ(read(fast, trustees), expected);  // the next read starts from fresh answers
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

// The fast path (batches, kept answers, row index, reused handles) against one name at a time on
// the sample organisation: every visible column of both lists and every created-entries list of
// a folder read must be the same, and so on a second read with the same resolver.

#include <gtest/gtest.h>

#include "rights/folder_read.h"
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
    // All groups and users read at the first member met, and kept for the next read.
    ResolutionOptions bulk;
    bulk.bulk_threshold = 1;
    bulk.bulk_entries_per_name = 1000;
    bulk.keep_entries_across_reads = true;
    GroupResolver whole(permscope::testing::shared_organisation_provider(), domain, bulk);
    EXPECT_EQ(read(whole, trustees), expected);
    EXPECT_EQ(read(whole, trustees), expected);
}

}  // namespace
}  // namespace permscope::directory

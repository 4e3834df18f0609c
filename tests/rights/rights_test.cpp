// The folder read's own rules: rights texts, texts merged into rows, and the SubGroups column.

#include <gtest/gtest.h>

#include <stdexcept>

#include "rights/folder_read.h"
#include "rights/rights_text.h"
#include "tests/common/row_texts.h"

namespace permscope::rights {
namespace {

using permscope::testing::fill;
using permscope::testing::row_texts;
using platform::AccessEntry;
using platform::AceType;
using Rows = std::vector<std::string>;

TEST(RightsText, SixMasksByNameOthersAsSignedDecimalsDenyEntriesPrefixed) {
    const struct {
        std::uint32_t mask;
        AceType type;
        const char* text;
    } cases[] = {{0x1F01FF, AceType::Allow, "Vollzugriff"},
                 {0x1301BF, AceType::Allow, "Ändern"},
                 {0x1201BF, AceType::Allow, "Lesen, Ausführen,Ordnerinhalt auflisten,schreiben"},
                 {0x1200A9, AceType::Allow, "Lesen, Ausführen"},
                 {0x120089, AceType::Allow, "Lesen"},
                 {0x100116, AceType::Allow, "Schreiben"},
                 {0x1F03FF, AceType::Allow, "2032639"},
                 {0x1200A8, AceType::Allow, "1179816"},
                 {0, AceType::Allow, "0"},
                 {0x80000000, AceType::Allow, "-2147483648"},
                 {0x80120089, AceType::Allow, "-2146303863"},
                 {0x100116, AceType::Deny, "Verweigert: Schreiben"},
                 {0xFFFFFFFF, AceType::Deny, "Verweigert: -1"}};
    for (const auto& c : cases)
        EXPECT_EQ(rights_text_for_entry({"u", static_cast<std::int32_t>(c.mask), c.type, {}}),
                  c.text)
            << std::hex << c.mask;
}

TEST(MergeUserRights, NewTextsAreJoinedAndWholeRepeatsIgnored) {
    // A user row, the texts merged into it in turn, the row afterwards.
    const struct {
        const char* row;
        Rows texts;
        const char* merged;
    } cases[] = {{"U|G", {"Lesen", "Schreiben", "Lesen", "Schreiben"}, "U|G|Lesen; Schreiben"},
                 {"U|G|Lesen, Ausführen", {"Lesen", "lesen"}, "U|G|Lesen, Ausführen; Lesen; lesen"},
                 {"U|G|Lesen",
                  {"Verweigert: Schreiben", "Verweigert: Schreiben", "Schreiben"},
                  "U|G|Lesen; Verweigert: Schreiben; Schreiben"},
                 {"bare", {"Lesen"}, "bare|Lesen"},
                 {"empty|G|", {"Lesen"}, "empty|G||Lesen"}};
    for (const auto& c : cases) {
        ResultList users;
        fill(users, {c.row});
        for (const std::string& text : c.texts)
            merge_user_rights(users, 1, text);
        EXPECT_EQ(row_texts(users), Rows{c.merged});
    }
}

TEST(WriteRightsToCreatedEntries, EveryNamedRowGetsTheTextAndBadPiecesAreSkipped) {
    ResultList users, groups;
    fill(users, {"U1|G", "U2|G"});
    fill(groups, {"G|is Head"});
    write_rights_to_created_entries("1-User,,1-Group,9-User,abc-User,0-User,+1-User,2-User,1-Group",
                                    "Lesen", users, groups);
    write_rights_to_created_entries("1-User", "Ändern", users, groups);  // no comma, no entry
    EXPECT_EQ(row_texts(users), (Rows{"U1|G", "U2|G|Lesen"}));
    // A group row gets a pair of sub-items each time, without merging.
    EXPECT_EQ(row_texts(groups), (Rows{"G|is Head||Lesen||Lesen"}));
    EXPECT_THROW(merge_user_rights(users, 3, "Lesen"), std::out_of_range);
}

TEST(FillSubGroups, EachRowListsTheRowsWhoseHeadGroupPiecesNameItExactly) {
    const struct {
        Rows before, after;
    } cases[] = {{{"A|is Head||Lesen", "B|A||Lesen", "C|A;B||Lesen"},
                  {"A|is Head|B;C|Lesen", "B|A|C|Lesen", "C|A;B||Lesen"}},
                 // Pieces are compared as they stand: no trimming, with case.
                 {{"A|is Head|", "B|is Head|", "C|A; B|", "a|B |"},
                  {"A|is Head|C", "B|is Head|", "C|A; B|", "a|B |"}},
                 // Repeats, a row that names itself, a group literally called "is Head".
                 {{"A|is Head|", "B|A;A|", "S|S|", "is Head|X|"},
                  {"A|is Head|B;B", "B|A;A|", "S|S|S", "is Head|X|A"}},
                 // A text already there is kept; rows without the columns are passed over.
                 {{"A|is Head|old", "B", "C|A", "D|A|"}, {"A|is Head|old;C;D", "B", "C|A", "D|A|"}},
                 // ";" holds two empty pieces, an empty HeadGroup none.
                 {{"|is Head|", "X|;|", "Y||"}, {"|is Head|X;X", "X|;|", "Y||"}}};
    for (const auto& c : cases) {
        ResultList groups;
        fill(groups, c.before);
        fill_sub_groups(groups);
        EXPECT_EQ(row_texts(groups), c.after);
    }
}

TEST(UnnamedAccounts, TheFirstFiveAreListedAndTheRestCounted) {
    EXPECT_EQ(unnamed_accounts_problem(
                  "X.", {"S-1-1", "S-1-2", "S-1-3", "S-1-4", "S-1-5", "S-1-6", "S-1-7"}),
              "X. 7 accounts are shown as their security identifiers: S-1-1, S-1-2, S-1-3, S-1-4, "
              "S-1-5 and 2 more. Groups among them are not expanded: the lists may be incomplete.");
}

}  // namespace
}  // namespace permscope::rights

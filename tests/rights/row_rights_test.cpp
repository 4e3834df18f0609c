#include "rights/folder_read.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/rights/list_rows.h"

namespace permscope::rights {
namespace {

using testing::fill;
using testing::Rows;
using testing::rows_of;

TEST(MergeUserRights, JoinsNewTextsAndIgnoresRepeatsAfterTheBlank) {
    ResultList users;
    fill(users, {{"U", "no Group"}});
    for (const char* text : {"Lesen", "Schreiben", "Lesen"})
        merge_user_rights(users, 1, text);
    EXPECT_EQ(users.sub_item(1, 2), "Lesen; Schreiben");
    // " Schreiben" after the separator matches once its leading blank is removed.
    merge_user_rights(users, 1, "Schreiben");
    EXPECT_EQ(rows_of(users), (Rows{{"U", "no Group", "Lesen; Schreiben"}}));
}

TEST(MergeUserRights, ComparesWholePiecesWithCase) {
    ResultList users;
    fill(users, {{"U", "G", "Lesen, Ausführen"}});
    merge_user_rights(users, 1, "Lesen");  // a piece's prefix is no match
    merge_user_rights(users, 1, "lesen");  // nor is another case
    EXPECT_EQ(users.sub_item(1, 2), "Lesen, Ausführen; Lesen; lesen");
}

TEST(MergeUserRights, RowWithoutRightsOrWithEmptyRightsGetsAnAppendedSubItem) {
    ResultList users;
    fill(users, {{"bare"}, {"empty", "G", ""}});
    merge_user_rights(users, 1, "Lesen");
    merge_user_rights(users, 2, "Lesen");
    EXPECT_EQ(rows_of(users), (Rows{{"bare", "Lesen"}, {"empty", "G", "", "Lesen"}}));
}

TEST(MergeUserRights, DenyTextsMergeLikeAnyOther) {
    ResultList users;
    fill(users, {{"U", "G", "Lesen"}});
    merge_user_rights(users, 1, "Verweigert: Schreiben");
    merge_user_rights(users, 1, "Verweigert: Schreiben");
    merge_user_rights(users, 1, "Schreiben");
    EXPECT_EQ(users.sub_item(1, 2), "Lesen; Verweigert: Schreiben; Schreiben");
}

TEST(AppendGroupRights, AppendsAPairEveryTimeWithoutMerging) {
    ResultList groups;
    fill(groups, {{"G", "is Head"}});
    append_group_rights(groups, 1, "Lesen");
    append_group_rights(groups, 1, "Ändern");
    append_group_rights(groups, 1, "Lesen");
    EXPECT_EQ(rows_of(groups), (Rows{{"G", "is Head", "", "Lesen", "", "Ändern", "", "Lesen"}}));
}

TEST(RowRights, PositionsThatNameNoRowThrowAndChangeNothing) {
    ResultList users;
    ResultList groups;
    fill(users, {{"U", "no Group"}});
    fill(groups, {{"G", "is Head"}});
    EXPECT_THROW(merge_user_rights(users, 0, "Lesen"), std::out_of_range);
    EXPECT_THROW(merge_user_rights(users, 2, "Lesen"), std::out_of_range);
    EXPECT_THROW(append_group_rights(groups, 2, "Lesen"), std::out_of_range);
    EXPECT_EQ(rows_of(users), (Rows{{"U", "no Group"}}));
    EXPECT_EQ(rows_of(groups), (Rows{{"G", "is Head"}}));
}

TEST(ParseCreatedEntry, ReadsKindAndPositionFromTheSuffix) {
    // Only the last four characters decide the kind, and the suffix's length is cut blindly;
    // positions go past 16 bits.
    const struct {
        const char* piece;
        RowKind kind;
        ResultList::Position position;
    } cases[] = {{"4-User", RowKind::User, 4},
                 {"40000-Group", RowKind::Group, 40000},
                 {"7xUser", RowKind::User, 7},
                 {"12Gruppe", RowKind::Group, 12}};
    for (const auto& c : cases) {
        const auto entry = parse_created_entry(c.piece);
        ASSERT_TRUE(entry) << c.piece;
        EXPECT_EQ(entry->kind, c.kind) << c.piece;
        EXPECT_EQ(entry->position, c.position) << c.piece;
    }
}

TEST(ParseCreatedEntry, RejectsPiecesWithoutAPlainNumber) {
    for (const char* piece :
         {"", "User", "-User", "x-User", "+3-User", " 3-User", "3 -User", "-3-User", "3-user",
          "3-Grp", "-Group", "a1-Group", "99999999999999999999-User"})
        EXPECT_FALSE(parse_created_entry(piece)) << '"' << piece << '"';
}

TEST(WriteRightsToCreatedEntries, SkipsTheFirstPieceAndBadPiecesAndGoesOn) {
    ResultList users;
    ResultList groups;
    fill(users, {{"U1", "G"}, {"U2", "G"}});
    fill(groups, {{"G", "is Head"}});
    write_rights_to_created_entries("1-User,,1-Group,9-User,abc-User,0-User,2-Group,2-User",
                                    "Lesen", users, groups);
    EXPECT_EQ(rows_of(users), (Rows{{"U1", "G"}, {"U2", "G", "Lesen"}}));
    EXPECT_EQ(rows_of(groups), (Rows{{"G", "is Head", "", "Lesen"}}));
}

TEST(WriteRightsToCreatedEntries, RowsNamedTwiceInOneListGetTheTextTwice) {
    ResultList users;
    ResultList groups;
    fill(users, {{"U", "G"}});
    fill(groups, {{"G", "is Head"}});
    write_rights_to_created_entries(",1-Group,1-User,1-Group,1-User", "Lesen", users, groups);
    EXPECT_EQ(rows_of(users), (Rows{{"U", "G", "Lesen"}}));  // merged: once
    EXPECT_EQ(rows_of(groups), (Rows{{"G", "is Head", "", "Lesen", "", "Lesen"}}));
}

TEST(WriteRightsToCreatedEntries, EmptyListsNameNothing) {
    ResultList users;
    ResultList groups;
    fill(users, {{"U", "G"}});
    write_rights_to_created_entries("", "Lesen", users, groups);
    write_rights_to_created_entries("1-User", "Lesen", users, groups);  // no comma: no entry
    EXPECT_EQ(rows_of(users), (Rows{{"U", "G"}}));
}

}  // namespace
}  // namespace permscope::rights

#include "rights/folder_read.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "common/text.h"
#include "tests/rights/list_rows.h"

namespace permscope::rights {
namespace {

using testing::fill;
using testing::Rows;
using testing::rows_of;

// The pass as its definition reads: every row i against every row k, piece by piece. A row k
// without a HeadGroup sub-item names nothing; a row i without a SubGroups sub-item cannot be
// written and stays as it is.
void fill_sub_groups_pairwise(ResultList& groups) {
    const ResultList::Position n = groups.count();
    for (ResultList::Position i = 1; i <= n; ++i) {
        if (groups.sub_item_count(i) < 2)
            continue;
        for (ResultList::Position k = 1; k <= n; ++k) {
            if (groups.sub_item_count(k) < 1)
                continue;
            const std::string head_group = groups.sub_item(k, 1);
            for (std::string_view piece : split_pieces(head_group)) {
                if (piece != groups.text(i))
                    continue;
                std::string sub_groups = groups.sub_item(i, 2);
                if (!sub_groups.empty())
                    sub_groups += ';';
                groups.set_sub_item(i, 2, sub_groups + groups.text(k));
            }
        }
    }
}

TEST(FillSubGroups, ListsEachGroupUnderTheGroupsItsHeadGroupNames) {
    ResultList groups;
    fill(groups,
         {{"A", "is Head", "", "Lesen"}, {"B", "A", "", "Lesen"}, {"C", "A;B", "", "Lesen"}});
    fill_sub_groups(groups);
    EXPECT_EQ(rows_of(groups), (Rows{{"A", "is Head", "B;C", "Lesen"},
                                     {"B", "A", "C", "Lesen"},
                                     {"C", "A;B", "", "Lesen"}}));
}

TEST(FillSubGroups, ComparesPiecesExactlyWithoutTrimming) {
    ResultList groups;
    fill(groups, {{"A", "is Head", ""}, {"B", "is Head", ""}, {"C", "A; B", ""}, {"a", "B ", ""}});
    fill_sub_groups(groups);
    EXPECT_EQ(
        rows_of(groups),
        (Rows{{"A", "is Head", "C"}, {"B", "is Head", ""}, {"C", "A; B", ""}, {"a", "B ", ""}}));
}

TEST(FillSubGroups, RepeatsSelfNamesAndIsHeadAreTakenLiterally) {
    ResultList groups;
    fill(groups, {{"A", "is Head", ""},
                  {"B", "A;A", ""},
                  {"S", "S", ""},
                  {"is Head", "X", ""},
                  {"D", "A", "", "Lesen", "", "Ändern"}});
    fill_sub_groups(groups);
    // A group literally named "is Head" collects every row marked as a head.
    EXPECT_EQ(rows_of(groups), (Rows{{"A", "is Head", "B;B;D"},
                                     {"B", "A;A", ""},
                                     {"S", "S", "S"},
                                     {"is Head", "X", "A"},
                                     {"D", "A", "", "Lesen", "", "Ändern"}}));
}

TEST(FillSubGroups, KeepsTextsAlreadyThereAndSkipsRowsItCannotReadOrWrite) {
    ResultList groups;
    fill(groups, {{"A", "is Head", "old"}, {"B"}, {"C", "A"}, {"D", "A", ""}});
    fill_sub_groups(groups);
    EXPECT_EQ(rows_of(groups),
              (Rows{{"A", "is Head", "old;C;D"}, {"B"}, {"C", "A"}, {"D", "A", ""}}));
}

TEST(FillSubGroups, EmptyNamesMatchEmptyPieces) {
    ResultList groups;
    fill(groups, {{"", "is Head", ""}, {"X", ";", ""}, {"Y", "", ""}});
    fill_sub_groups(groups);
    // ";" holds two empty pieces; an empty HeadGroup holds none.
    EXPECT_EQ(rows_of(groups), (Rows{{"", "is Head", "X;X"}, {"X", ";", ""}, {"Y", "", ""}}));
}

// Random lists over a small set of names, so that matches, repeats, blanks, duplicate row names,
// missing sub-items and empty pieces all occur often.
Rows random_group_rows(std::mt19937& random) {
    static const std::vector<std::string> names{"A", "B", "C", "D", "", " A", "A ", "is Head"};
    const auto pick = [&](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    Rows rows(pick(12));
    for (auto& row : rows) {
        row.push_back(names[pick(names.size())]);
        const std::size_t sub_items = pick(6);
        if (sub_items >= 1) {
            std::string head_group;
            const std::size_t pieces = pick(4);
            for (std::size_t p = 0; p < pieces; ++p)
                head_group += (p ? ";" : "") + names[pick(names.size())];
            row.push_back(head_group);
        }
        if (sub_items >= 2)
            row.push_back(pick(4) == 0 ? "x" : "");
        for (std::size_t s = 3; s <= sub_items; ++s)
            row.push_back("r" + std::to_string(s));
    }
    return rows;
}

TEST(FillSubGroups, GivesTheSameListsAsComparingEveryPair) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 3000; ++round) {
        const Rows rows = random_group_rows(random);
        ResultList indexed;
        ResultList pairwise;
        fill(indexed, rows);
        fill(pairwise, rows);
        fill_sub_groups(indexed);
        fill_sub_groups_pairwise(pairwise);
        ASSERT_EQ(rows_of(indexed), rows_of(pairwise)) << "round " << round;
    }
}

// 100,000 rows: comparing every pair would take billions of piece comparisons and run into the
// test's time-out; the indexed pass finishes at once.
TEST(FillSubGroups, HandlesAHundredThousandRows) {
    constexpr int kRows = 100000;
    ResultList groups;
    for (int k = 1; k <= kRows; ++k) {
        const auto position = groups.append("G" + std::to_string(k));
        std::string head_group = k == 1 ? "is Head" : "G" + std::to_string(k - 1);
        if (k % 1000 == 0)
            head_group += ";G1";
        groups.append_sub_item(position, head_group);
        groups.append_sub_item(position, "");
        groups.append_sub_item(position, "Lesen");
    }
    fill_sub_groups(groups);
    std::string expected_g1 = "G2";
    for (int k = 1000; k <= kRows; k += 1000)
        expected_g1 += ";G" + std::to_string(k);
    EXPECT_EQ(groups.sub_item(1, 2), expected_g1);
    EXPECT_EQ(groups.sub_item(500, 2), "G501");
    EXPECT_EQ(groups.sub_item(kRows, 2), "");
    EXPECT_EQ(groups.sub_item(kRows, 3), "Lesen");
}

}  // namespace
}  // namespace permscope::rights

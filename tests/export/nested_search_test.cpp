// The nested-group search: its answers on hand-made lists, on cycles, and against a literal
// unbounded recursive search (and a literal piece-by-piece export) on random acyclic lists.

#include <gtest/gtest.h>

#include <random>

#include "common/text.h"
#include "export/excel_export.h"
#include "export_lists.h"
#include "recording_application.h"

namespace permscope::spreadsheet {
namespace {

using testing::add_group;
using testing::add_user;
using Position = ResultList::Position;

// Asks the search with the flag cleared first, as the export does.
bool found(const ResultList& groups, const std::string& name, Position row) {
    SubGroupFound = false;
    return SubGroup_check(groups, name, row);
}

TEST(SubGroupCheck, FindsDirectAndNestedSubGroupNames) {
    ResultList groups;
    add_group(groups, "G1", "is Head", "G2;G4");
    add_group(groups, "G2", "G1", "G3");
    add_group(groups, "G3", "G2", "");
    add_group(groups, "G4", "G1", "G5");
    EXPECT_TRUE(found(groups, "G2", 1));
    EXPECT_TRUE(found(groups, "G3", 1));
    EXPECT_TRUE(found(groups, "G5", 1));  // G5 has no row of its own; its name is enough
    EXPECT_FALSE(found(groups, "G1", 1));
    EXPECT_FALSE(found(groups, "G9", 1));
    EXPECT_TRUE(found(groups, "G3", 2));
    EXPECT_FALSE(found(groups, "G5", 2));
    EXPECT_FALSE(found(groups, "G2", 3));  // a row without sub-groups finds nothing
}

TEST(SubGroupCheck, BlanksAndCase) {
    ResultList groups;
    add_group(groups, "G1", "is Head", "G2; G3;G4 ");
    EXPECT_TRUE(found(groups, "  G2", 1));  // the name's leading blanks go
    EXPECT_TRUE(found(groups, "G3", 1));    // and those of the piece
    EXPECT_FALSE(found(groups, "G4", 1));   // a trailing blank stays
    EXPECT_FALSE(found(groups, "g2", 1));   // case counts
    EXPECT_FALSE(found(groups, "G2 ", 1));
}

TEST(SubGroupCheck, DescendsIntoEveryRowOfTheName) {
    ResultList groups;
    add_group(groups, "A", "is Head", "B");
    add_group(groups, "B", "A", "");   // first row of B: nothing below
    add_group(groups, "B", "A", "C");  // second row of B
    EXPECT_TRUE(found(groups, "C", 1));
}

TEST(SubGroupCheck, TheFlagKeepsAnEarlierFindAndARowThatNamesNoGroupIsRefused) {
    ResultList groups;
    add_group(groups, "A", "is Head", "B");
    SubGroupFound = true;
    EXPECT_TRUE(SubGroup_check(groups, "nothing", 1));
    EXPECT_THROW(SubGroup_check(groups, "B", 0), std::out_of_range);
    EXPECT_THROW(SubGroup_check(groups, "B", 2), std::out_of_range);
    EXPECT_TRUE(SubGroupFound);
    SubGroupFound = false;
    EXPECT_TRUE(SubGroup_check(groups, "B", 1));
    EXPECT_TRUE(SubGroupFound);
}

TEST(SubGroupCheckCycles, EveryRowReachableThroughACycleIsSearchedAndTheSearchEnds) {
    ResultList groups;
    add_group(groups, "S", "is Head;S", "S");  // names itself
    EXPECT_TRUE(found(groups, "S", 1));
    EXPECT_FALSE(found(groups, "B", 1));
    add_group(groups, "A", "is Head;B", "B");
    add_group(groups, "B", "A", "A;C");
    add_group(groups, "C", "B", "D");
    add_group(groups, "D", "C", "E;B");
    EXPECT_TRUE(found(groups, "E", 2));
    EXPECT_TRUE(found(groups, "A", 2));
    EXPECT_TRUE(found(groups, "E", 3));
    EXPECT_FALSE(found(groups, "F", 4));
}

TEST(SubGroupCheckCycles, LongChainEndingInACycle) {
    // 100,000 levels would overflow the call stack of a recursive search.
    ResultList groups;
    constexpr int kDepth = 100'000;
    for (int level = 0; level < kDepth; ++level)
        add_group(groups, "L" + std::to_string(level), level == 0 ? "is Head" : "",
                  "L" + std::to_string((level + 1) % kDepth));
    add_group(groups, "Ende", "", "");
    groups.set_sub_item(kDepth, 2, "L0;last");
    EXPECT_TRUE(found(groups, "last", 1));
    EXPECT_FALSE(found(groups, "Ende", 1));
}

// --- Differential: the bounded search against the literal unbounded one ----------------------

bool literal_found = false;

const std::string& sub_groups(const ResultList& groups, Position row) {
    return groups.sub_item(row, 2);
}

// The search exactly as the original routine walks: no memory of visited rows, every piece at
// every level, descending into every row of a name. Ends only on acyclic lists.
void literal_sub_group_check(const ResultList& groups, const std::string& name, Position row) {
    for (std::string_view raw : split_pieces(sub_groups(groups, row))) {
        const std::string_view s = remove_leading_blanks(raw);
        for (Position b = 1; b <= groups.count(); ++b)
            if (s == groups.text(b) && !sub_groups(groups, b).empty())
                literal_sub_group_check(groups, name, b);
        if (remove_leading_blanks(name) == s)
            literal_found = true;
    }
}

// The export walk exactly as described, piece by piece, with the literal search.
std::vector<std::string> literal_export(const ResultList& groups, const ResultList& users,
                                        bool nested) {
    std::vector<std::string> cells;
    std::int64_t row = 0;
    for (Position g = 1; g <= groups.count(); ++g) {
        if (nested) {
            const auto pieces = split_pieces(groups.sub_item(g, 1));
            bool head = pieces.empty();
            for (std::string_view piece : pieces)
                if (remove_leading_blanks(piece) == "is Head")
                    head = true;
            if (!head)
                continue;
        }
        row += 2;
        cells.push_back("A" + std::to_string(row) + "=" + groups.text(g));
        for (Position u = 1; u <= users.count(); ++u) {
            bool member = false;
            for (std::string_view piece : split_pieces(users.sub_item(u, 1))) {
                if (member)
                    break;
                if (remove_leading_blanks(piece) == groups.text(g))
                    member = true;
                if (member)
                    break;
                literal_found = false;
                if (nested) {
                    literal_sub_group_check(groups, std::string(piece), g);
                    member = literal_found;
                }
            }
            if (!member)
                continue;
            ++row;
            cells.push_back("B" + std::to_string(row) + "=" + users.text(u));
            cells.push_back("C" + std::to_string(row) + "=" + users.sub_item(u, 2));
        }
    }
    return cells;
}

// Random lists without cycles: a piece only ever names groups of a higher level than the row
// it stands in, or names that no row bears. Names repeat, blanks lead and trail.
class RandomLists {
  public:
    explicit RandomLists(unsigned seed) : random_(seed) {}

    void fill(ResultList& groups, ResultList& users) {
        const int group_rows = pick(0, 14);
        for (int r = 0; r < group_rows; ++r) {
            const int level = pick(0, kLevels - 1);
            add_group(groups, group_name(level), head_group(), sub_groups_below(level));
        }
        const int user_rows = pick(0, 10);
        for (int u = 0; u < user_rows; ++u)
            add_user(users, "U" + std::to_string(u), user_groups(), "R" + std::to_string(u));
    }

    std::string any_name() {
        if (pick(0, 9) == 0)
            return "  G" + std::to_string(pick(0, kLevels - 1));
        return pick(0, 5) == 0 ? stray_name() : group_name(pick(0, kLevels - 1));
    }

  private:
    static constexpr int kLevels = 7;

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    // " G3" is a name of its own: a row may bear it.
    std::string group_name(int level) {
        return (pick(0, 9) == 0 ? " G" : "G") + std::to_string(level);
    }
    // Names that lead to no row, not even with their leading blanks removed.
    std::string stray_name() {
        static const char* const kStray[] = {"", " ", "X", "G3 ", "g2"};
        return kStray[pick(0, 4)];
    }
    std::string head_group() {
        static const char* const kHeads[] = {"is Head", "", "G0", "X; is Head", "Is Head", "G1;"};
        return kHeads[pick(0, 5)];
    }
    std::string joined(int count, const std::string& separator,
                       const std::function<std::string()>& piece) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += (i ? separator : "") + piece();
        return text;
    }
    std::string sub_groups_below(int level) {
        if (level == kLevels - 1)
            return joined(pick(0, 1), ";", [&] { return stray_name(); });
        return joined(pick(0, 3), ";", [&] {
            return pick(0, 4) == 0 ? stray_name() : group_name(pick(level + 1, kLevels - 1));
        });
    }
    std::string user_groups() {
        return joined(pick(0, 3), pick(0, 1) ? "; " : ";", [&] { return any_name(); });
    }

    std::mt19937 random_;
};

TEST(SubGroupCheckDifferential, SameAnswerAsTheUnboundedSearchOnAcyclicLists) {
    int finds = 0;
    for (unsigned seed = 1; seed <= 400; ++seed) {
        RandomLists random(seed);
        ResultList groups, users;
        random.fill(groups, users);
        for (Position row = 1; row <= groups.count(); ++row) {
            for (int probe = 0; probe < 6; ++probe) {
                const std::string name = random.any_name();
                literal_found = false;
                literal_sub_group_check(groups, name, row);
                ASSERT_EQ(found(groups, name, row), literal_found)
                    << "seed " << seed << ", row " << row << ", name '" << name << "'";
                finds += literal_found;
            }
        }
    }
    EXPECT_GT(finds, 100);  // the lists do nest
}

TEST(ExportDifferential, SameCellsAndFlagAsThePieceByPieceWalk) {
    int nested_members = 0;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        RandomLists random(seed);
        ResultList groups, users;
        random.fill(groups, users);
        for (bool nested : {true, false}) {
            testing::RecordingFactory excel;
            literal_found = !nested;  // both start from the same, arbitrary flag
            SubGroupFound = literal_found;
            const auto expected = literal_export(groups, users, nested);
            Excel_export(groups, users, nested, excel);
            ASSERT_EQ(excel.cells(), expected) << "seed " << seed << ", nested " << nested;
            ASSERT_EQ(SubGroupFound, literal_found) << "seed " << seed << ", nested " << nested;
            if (nested)
                nested_members += static_cast<int>(expected.size());
        }
    }
    EXPECT_GT(nested_members, 300);
}

}  // namespace
}  // namespace permscope::spreadsheet

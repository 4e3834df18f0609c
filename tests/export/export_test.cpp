// The export walk: which groups it writes, which users under each, in which cells, and which
// automation calls it makes on the way, through an application that records them; and the
// in-memory workbook it fills, with texts mended for the file.

#include <gtest/gtest.h>

#include "export/desktop_spreadsheet.h"
#include "export/excel_export.h"
#include "export/workbook.h"
#include "recording_application.h"
#include "tests/common/row_texts.h"

namespace permscope::spreadsheet {
namespace {

using permscope::testing::fill;
using Lines = std::vector<std::string>;

// Group rows "Name|HeadGroup|SubGroups|Rights", user rows "Name|Group|Rights", and the cells.
struct Walk {
    const char* name;
    Lines groups, users, cells;
    bool nested = true;
    friend void PrintTo(const Walk& walk, std::ostream* out) { *out << walk.name; }
};

const Walk kWalks[] = {
    {"GroupsInColumnAMembersBelowAndOneEmptyRowBetween",
     {"G1|is Head||Lesen", "Leer|is Head||Lesen", "G2|is Head||Lesen"},
     {"Anna|G1|Lesen", "Bernd|G2|Ändern", "Cora|G2|Schreiben"},
     {"A2=G1", "B3=Anna", "C3=Lesen", "A5=Leer", "A7=G2", "B8=Bernd", "C8=Ändern", "B9=Cora",
      "C9=Schreiben"}},
    {"AHeadGroupIsMarkedInAnyPieceOrHasNoPieces",
     {"alone|is Head", "first|is Head;X", "last|X;is Head", "after blank|X; is Head", "empty|",
      "bare", "others only|X;Y", "upper case|Is Head", "trailing blank|is Head ", "empty piece|X;"},
     {},
     {"A2=alone", "A4=first", "A6=last", "A8=after blank", "A10=empty", "A12=bare"}},
    {"UserGroupPiecesLoseLeadingBlanksOnlyAndNamesKeepTheirs",
     {"G1|is Head", " G2|is Head"},
     {"after blank|X; G1|Lesen", "no blank|X;G1|Lesen", "trailing blank|G1 ;X|Lesen",
      "other case|g1|Lesen", "no groups||Lesen", "no rights|G1", "blank| G2|Lesen"},
     {"A2=G1", "B3=after blank", "C3=Lesen", "B4=no blank", "C4=Lesen", "B5=no rights",
      "C5=", "A7= G2"}},
    {"MembersOfNestedGroupsCountForTheHeadGroupInUserListOrder",
     {"G1|is Head|G2", "G2|G1|G3", "G3|G2|", "H|is Head|"},
     {"deep|G3|Lesen", "middle|G2|Ändern", "direct|G1|Vollzugriff", "elsewhere|G9|Lesen"},
     {"A2=G1", "B3=deep", "C3=Lesen", "B4=middle", "C4=Ändern", "B5=direct", "C5=Vollzugriff",
      "A7=H"}},
    {"AUserOfTwoHeadGroupsAndGroupRowsSharingANameAreListedUnderEach",
     {"G1|is Head", "G|is Head", "G|is Head"},
     {"Anna|G1; G|Lesen"},
     {"A2=G1", "B3=Anna", "C3=Lesen", "A5=G", "B6=Anna", "C6=Lesen", "A8=G", "B9=Anna",
      "C9=Lesen"}},
    {"TheSearchDescendsIntoEveryRowOfAName",
     {"A|is Head|B", "B|A|", "B|A|C"},
     {"Cara|C|Lesen"},
     {"A2=A", "B3=Cara", "C3=Lesen"}},
    {"ACycleOfSubGroupsEnds",
     {"A|is Head;B|B;A", "B|A|A;C", "C|B|"},
     {"Anna|C|Lesen", "Bernd|Z|Lesen"},
     {"A2=A", "B3=Anna", "C3=Lesen"}},
    {"WithoutNestingEveryGroupRowWithItsDirectMembers",
     {"G1|is Head|G2", "G2|G1|"},
     {"deep|G2|Lesen", "direct|G1|Ändern"},
     {"A2=G1", "B3=direct", "C3=Ändern", "A5=G2", "B6=deep", "C6=Lesen"},
     false}};

class ExportWalk : public ::testing::TestWithParam<Walk> {};

TEST_P(ExportWalk, Cells) {
    ResultList groups, users;
    fill(groups, GetParam().groups);
    fill(users, GetParam().users);
    testing::RecordingFactory excel;
    Excel_export(groups, users, GetParam().nested, excel);
    EXPECT_EQ(excel.cells(), GetParam().cells);
}

INSTANTIATE_TEST_SUITE_P(Lists, ExportWalk, ::testing::ValuesIn(kWalks),
                         [](const auto& info) { return std::string(info.param.name); });

// Every call of a run, in order; a call that fails is skipped and the walk goes on.
TEST(ExportCalls, EachRunMakesAWorkbookWithTheSheetRechteAndShowsItWhateverCallsFail) {
    ResultList groups, users;
    fill(groups, {"G1|is Head||Lesen", "G2|is Head||Lesen"});
    fill(users, {"Anna|G1|Lesen", "Bernd|G2|Ändern"});
    const Lines run = {"CreateObject(Excel.Application)",
                       "Workbooks.Add",
                       "Sheets(Tabelle1).Select",
                       "Sheets(Tabelle1).Name=Rechte",
                       "Range(A2)=G1",
                       "Range(B3)=Anna",
                       "Range(C3)=Lesen",
                       "Range(A5)=G2",
                       "Range(B6)=Bernd",
                       "Range(C6)=Ändern",
                       "Visible=True",
                       "Release"};
    testing::RecordingFactory excel;
    for (const char* failing : {"Workbooks.Add", "Sheets(", "Range(A2)", "Range(B3)", "Visible"})
        excel.fail_calls_starting_with(failing);
    Excel_export(groups, users, true, excel);
    Excel_export(groups, users, true, excel);
    Lines both = run;
    both.insert(both.end(), run.begin(), run.end());
    EXPECT_EQ(excel.calls(), both);
    testing::RecordingFactory no_application;
    no_application.fail_calls_starting_with("CreateObject");
    Excel_export(groups, users, true, no_application);
    EXPECT_EQ(no_application.calls(), Lines{"CreateObject(Excel.Application)"});
}

// SubGroupFound is the module's shared flag: each run leaves it as its last search left it.
TEST(SubGroupFound, IsLeftByTheLastPieceTestedAndOnlyResetWithoutNesting) {
    ResultList groups, users, direct, missing;
    fill(groups, {"G1|is Head|G2", "G2|G1|"});
    fill(users, {"Anna|X;G2|Lesen"});    // its last piece is found through nesting
    fill(direct, {"Bernd|G1;X|Lesen"});  // direct: no piece is searched at all
    fill(missing, {"Cora|Y|Lesen"});     // searched and not found
    testing::RecordingFactory excel;
    const auto flag_after = [&](const ResultList& list, bool nested, bool before) {
        SubGroupFound = before;
        Excel_export(groups, list, nested, excel);
        return SubGroupFound;
    };
    EXPECT_TRUE(flag_after(users, true, false));
    EXPECT_TRUE(flag_after(direct, true, true));
    EXPECT_FALSE(flag_after(missing, true, true));
    EXPECT_FALSE(flag_after(users, false, true));
}

TEST(SubGroupCheck, FindsNamesThroughEveryReachableRowWithoutCallDepthAndEndsOnCycles) {
    ResultList groups;
    fill(groups, {"G1|is Head|G2; G3;G4 ", "G2|G1|G5", "S|S|S", "A|B|B", "B|A|A;C", "C|B|E;B"});
    const auto found = [&](const std::string& name, ResultList::Position row) {
        SubGroupFound = false;
        return SubGroup_check(groups, name, row);
    };
    EXPECT_TRUE(found("  G5", 1));
    EXPECT_TRUE(found("G3", 1));
    EXPECT_FALSE(found("G4", 1));  // a trailing blank stays
    EXPECT_FALSE(found("g2", 1));
    EXPECT_FALSE(found("G1", 1));
    EXPECT_TRUE(found("S", 3));
    EXPECT_TRUE(found("E", 4));
    EXPECT_FALSE(found("F", 4));
    EXPECT_THROW(SubGroup_check(groups, "B", 7), std::out_of_range);
    // 100,000 levels would overflow the call stack of a recursive search.
    ResultList chain;
    for (int level = 0; level < 100'000; ++level)
        fill(chain, {"L" + std::to_string(level) + "||L" + std::to_string((level + 1) % 100'000)});
    chain.set_sub_item(100'000, 2, "L0;last");
    EXPECT_TRUE(SubGroup_check(chain, "last", 1));
}

TEST(WellFormedUtf8, KeepsGoodTextAndReplacesEveryBadByteAndNul) {
    const std::pair<std::string, std::string> cases[] = {
        {"Müller, Jürgen; Ändern ß €𝄞", "Müller, Jürgen; Ändern ß €𝄞"},
        {"M\xFCller", "M\uFFFDller"},                      // Latin-1
        {"\xC0\xAF", "\uFFFD\uFFFD"},                      // overlong
        {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},            // a surrogate
        {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
        {"ab\xC3", "ab\uFFFD"},                            // cut off
        {"\xEF\xBF\xBF", "\uFFFD"},                        // U+FFFF
        {std::string("a\0b", 3), "a\uFFFDb"}};
    for (const auto& [text, mended] : cases)
        EXPECT_EQ(well_formed_utf8(text), mended) << text;
}

// A cell holds 32,767 characters: a longer text is left out, the rest of the sheet written.
// A text longer than a cell holds keeps what the cell can hold; an umlaut is never split.
TEST(ExportIntoWorkbook, ACellTooLongIsCutAtTheLimitBeforeACharacterAndTheRestWritten) {
    class Factory : public ApplicationFactory {
      public:
        std::vector<Workbook> shown;
        std::unique_ptr<Application> CreateObject(const std::string&) override {
            return std::make_unique<WorkbookApplication>(
                [this](const Workbook& book) { shown.push_back(book); });
        }
    } factory;
    std::string umlauts;
    for (int i = 0; i < 32'767; ++i)
        umlauts += "ä";
    ResultList groups, users;
    permscope::testing::fill(groups, {"G1|is Head||Lesen"});
    permscope::testing::fill(users, {std::string(32'768, 'n') + "|G1|Lesen", umlauts + "ä|G1|x"});
    Excel_export(groups, users, true, factory);
    ASSERT_EQ(factory.shown.size(), 1u);
    EXPECT_EQ(factory.shown[0].sheets()[0].cells,
              (std::map<CellRef, std::string>{{{2, 1}, "G1"},
                                              {{3, 2}, std::string(32'767, 'n')},
                                              {{3, 3}, "Lesen"},
                                              {{4, 2}, umlauts},
                                              {{4, 3}, "x"}}));
}

}  // namespace
}  // namespace permscope::spreadsheet

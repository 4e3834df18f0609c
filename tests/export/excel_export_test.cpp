// The export walk: which automation calls it makes, in which order, with which cell addresses.

#include <gtest/gtest.h>

#include "export/excel_export.h"
#include "export_lists.h"
#include "recording_application.h"

namespace permscope::spreadsheet {
namespace {

using testing::add_group;
using testing::add_user;
using testing::RecordingFactory;
using Lines = std::vector<std::string>;

class ExcelExportTest : public ::testing::Test {
  protected:
    Lines export_cells(bool nested = true) {
        Excel_export(groups, users, nested, excel);
        return excel.cells();
    }

    ResultList groups;
    ResultList users;
    RecordingFactory excel;
};

TEST_F(ExcelExportTest, EmptyGroupListMakesAnEmptySheetRechteAndShowsIt) {
    add_user(users, "Anna", "no Group", "Lesen");
    Excel_export(groups, users, true, excel);
    EXPECT_EQ(excel.calls(),
              (Lines{"CreateObject(Excel.Application)", "Workbooks.Add", "Sheets(Tabelle1).Select",
                     "Sheets(Tabelle1).Name=Rechte", "Visible=True", "Release"}));
}

TEST_F(ExcelExportTest, GroupsInColumnAWithMembersBelowAndOneEmptyRowBetween) {
    add_group(groups, "G1", "is Head");
    add_group(groups, "G2", "is Head");
    add_user(users, "Anna", "G1", "Lesen");
    add_user(users, "Bernd", "G2", "Ändern");
    Excel_export(groups, users, true, excel);
    EXPECT_EQ(
        excel.calls(),
        (Lines{"CreateObject(Excel.Application)", "Workbooks.Add", "Sheets(Tabelle1).Select",
               "Sheets(Tabelle1).Name=Rechte", "Range(A2)=G1", "Range(B3)=Anna", "Range(C3)=Lesen",
               "Range(A5)=G2", "Range(B6)=Bernd", "Range(C6)=Ändern", "Visible=True", "Release"}));
}

TEST_F(ExcelExportTest, GroupWithoutMembersIsFollowedByOneEmptyRow) {
    add_group(groups, "Leer", "is Head");
    add_group(groups, "G2", "is Head");
    add_group(groups, "Auch leer", "is Head");
    add_user(users, "Anna", "G2", "Lesen");
    add_user(users, "Bernd", "G2", "Schreiben");
    EXPECT_EQ(export_cells(), (Lines{"A2=Leer", "A4=G2", "B5=Anna", "C5=Lesen", "B6=Bernd",
                                     "C6=Schreiben", "A8=Auch leer"}));
}

TEST_F(ExcelExportTest, HeadGroupMarkerInAnyPlaceExportsTheGroup) {
    add_group(groups, "alone", "is Head");
    add_group(groups, "first", "is Head;X");
    add_group(groups, "last", "X;is Head");
    add_group(groups, "after blank", "X; is Head");
    add_group(groups, "empty", "");
    add_group(groups, "others only", "X;Y");
    add_group(groups, "upper case", "Is Head");
    add_group(groups, "all upper", "IS HEAD");
    add_group(groups, "trailing blank", "is Head ");
    add_group(groups, "empty piece", "X;");
    EXPECT_EQ(export_cells(),
              (Lines{"A2=alone", "A4=first", "A6=last", "A8=after blank", "A10=empty"}));
}

TEST_F(ExcelExportTest, UserGroupPiecesLoseLeadingBlanksOnly) {
    add_group(groups, "G1", "is Head");
    add_user(users, "second after blank", "X; G1", "Lesen");
    add_user(users, "no blank", "X;G1", "Lesen");
    add_user(users, "trailing blank", "G1 ;X", "Lesen");
    add_user(users, "other case", "g1", "Lesen");
    add_user(users, "no groups", "", "Lesen");
    add_user(users, "only", "G1", "Lesen; Schreiben");
    EXPECT_EQ(export_cells(), (Lines{"A2=G1", "B3=second after blank", "C3=Lesen", "B4=no blank",
                                     "C4=Lesen", "B5=only", "C5=Lesen; Schreiben"}));
}

TEST_F(ExcelExportTest, GroupNameIsComparedUntrimmed) {
    add_group(groups, " G1", "is Head");
    add_user(users, "Anna", " G1", "Lesen");
    EXPECT_EQ(export_cells(), (Lines{"A2= G1"}));
}

TEST_F(ExcelExportTest, MembersOfNestedGroupsCountForTheHeadGroupInUserListOrder) {
    // G1 > G2 > G3, each with exactly one sub-group on the way; nested members come before a
    // direct one when the user list has them first.
    add_group(groups, "G1", "is Head", "G2");
    add_group(groups, "G2", "G1", "G3");
    add_group(groups, "G3", "G2", "");
    add_user(users, "deep", "G3", "Lesen");
    add_user(users, "middle", "G2", "Ändern");
    add_user(users, "direct", "G1", "Vollzugriff");
    add_user(users, "elsewhere", "G9", "Lesen");
    EXPECT_EQ(export_cells(), (Lines{"A2=G1", "B3=deep", "C3=Lesen", "B4=middle", "C4=Ändern",
                                     "B5=direct", "C5=Vollzugriff"}));
}

TEST_F(ExcelExportTest, SubGroupReachedThroughAnotherHeadGroupDoesNotLeak) {
    add_group(groups, "G1", "is Head", "G2");
    add_group(groups, "G2", "G1", "");
    add_group(groups, "H", "is Head", "");
    add_user(users, "Anna", "G2", "Lesen");
    EXPECT_EQ(export_cells(), (Lines{"A2=G1", "B3=Anna", "C3=Lesen", "A5=H"}));
}

TEST_F(ExcelExportTest, UserOfTwoHeadGroupsIsListedUnderBoth) {
    add_group(groups, "G1", "is Head");
    add_group(groups, "G2", "is Head");
    add_user(users, "Anna", "G1; G2", "Lesen");
    EXPECT_EQ(export_cells(),
              (Lines{"A2=G1", "B3=Anna", "C3=Lesen", "A5=G2", "B6=Anna", "C6=Lesen"}));
}

TEST_F(ExcelExportTest, GroupRowsSharingANameAreExportedEach) {
    add_group(groups, "G", "is Head");
    add_group(groups, "G", "is Head");
    add_user(users, "Anna", "G", "Lesen");
    EXPECT_EQ(export_cells(),
              (Lines{"A2=G", "B3=Anna", "C3=Lesen", "A5=G", "B6=Anna", "C6=Lesen"}));
}

TEST_F(ExcelExportTest, WithoutNestingEveryGroupRowIsExportedWithItsDirectMembers) {
    add_group(groups, "G1", "is Head", "G2");
    add_group(groups, "G2", "G1", "");
    add_user(users, "deep", "G2", "Lesen");
    add_user(users, "direct", "G1", "Ändern");
    EXPECT_EQ(export_cells(false),
              (Lines{"A2=G1", "B3=direct", "C3=Ändern", "A5=G2", "B6=deep", "C6=Lesen"}));
}

TEST_F(ExcelExportTest, MissingColumnsReadAsEmptyTexts) {
    groups.append("bare group");  // no HeadGroup: an empty text, so a head group
    const auto user = users.append("bare user");
    users.append_sub_item(user, "bare group");  // no Rights column
    EXPECT_EQ(export_cells(), (Lines{"A2=bare group", "B3=bare user", "C3="}));
}

TEST_F(ExcelExportTest, ACycleOfSubGroupsEnds) {
    add_group(groups, "A", "is Head;B", "B;A");  // names itself, too
    add_group(groups, "B", "A", "A;C");
    add_group(groups, "C", "B", "");
    add_user(users, "Anna", "C", "Lesen");
    add_user(users, "Bernd", "Z", "Lesen");
    EXPECT_EQ(export_cells(), (Lines{"A2=A", "B3=Anna", "C3=Lesen"}));
}

TEST_F(ExcelExportTest, TwoRunsCreateTwoApplications) {
    add_group(groups, "G1", "is Head");
    Excel_export(groups, users, true, excel);
    Excel_export(groups, users, true, excel);
    const Lines one_run{"CreateObject(Excel.Application)",
                        "Workbooks.Add",
                        "Sheets(Tabelle1).Select",
                        "Sheets(Tabelle1).Name=Rechte",
                        "Range(A2)=G1",
                        "Visible=True",
                        "Release"};
    Lines both = one_run;
    both.insert(both.end(), one_run.begin(), one_run.end());
    EXPECT_EQ(excel.calls(), both);
}

// Failures: a failing call is skipped, the walk goes on, and nothing escapes.

class FailingCallsTest : public ExcelExportTest {
  protected:
    void SetUp() override {
        add_group(groups, "G1", "is Head");
        add_group(groups, "G2", "is Head");
        add_user(users, "Anna", "G1", "Lesen");
        add_user(users, "Bernd", "G2", "Ändern");
    }
};

TEST_F(FailingCallsTest, NoApplicationMeansNoFurtherCalls) {
    excel.fail_calls_starting_with("CreateObject");
    EXPECT_NO_THROW(Excel_export(groups, users, true, excel));
    EXPECT_EQ(excel.calls(), (Lines{"CreateObject(Excel.Application)"}));
}

TEST_F(FailingCallsTest, MissingSheetTabelle1LeavesTheCellsGoing) {
    excel.fail_calls_starting_with("Sheets(");
    excel.fail_calls_starting_with("Workbooks.Add");
    EXPECT_NO_THROW(Excel_export(groups, users, true, excel));
    EXPECT_EQ(
        excel.calls(),
        (Lines{"CreateObject(Excel.Application)", "Workbooks.Add", "Sheets(Tabelle1).Select",
               "Sheets(Tabelle1).Name=Rechte", "Range(A2)=G1", "Range(B3)=Anna", "Range(C3)=Lesen",
               "Range(A5)=G2", "Range(B6)=Bernd", "Range(C6)=Ändern", "Visible=True", "Release"}));
}

TEST_F(FailingCallsTest, AFailedCellLeavesTheRowCounterMoved) {
    excel.fail_calls_starting_with("Range(A2)");
    excel.fail_calls_starting_with("Range(B3)");
    excel.fail_calls_starting_with("Visible");
    EXPECT_NO_THROW(Excel_export(groups, users, true, excel));
    EXPECT_EQ(excel.cells(),
              (Lines{"A2=G1", "B3=Anna", "C3=Lesen", "A5=G2", "B6=Bernd", "C6=Ändern"}));
    EXPECT_EQ(excel.calls().back(), "Release");
}

// SubGroupFound is the module's shared flag: each run leaves it as its last search left it.

TEST_F(ExcelExportTest, SubGroupFoundIsLeftByTheLastPieceTested) {
    add_group(groups, "G1", "is Head", "G2");
    add_group(groups, "G2", "G1", "");
    add_user(users, "Anna", "X;G2", "Lesen");  // last piece found through nesting
    SubGroupFound = false;
    Excel_export(groups, users, true, excel);
    EXPECT_TRUE(SubGroupFound);

    ResultList other_users;
    add_user(other_users, "Bernd", "G1;X", "Lesen");  // direct: no piece is searched at all
    Excel_export(groups, other_users, true, excel);
    EXPECT_TRUE(SubGroupFound);

    add_user(other_users, "Cora", "Y", "Lesen");  // searched and not found
    Excel_export(groups, other_users, true, excel);
    EXPECT_FALSE(SubGroupFound);
}

TEST_F(ExcelExportTest, WithoutNestingSubGroupFoundIsOnlyReset) {
    add_group(groups, "G1", "is Head");
    add_user(users, "Anna", "X", "Lesen");
    SubGroupFound = true;
    Excel_export(groups, users, false, excel);
    EXPECT_FALSE(SubGroupFound);
}

}  // namespace
}  // namespace permscope::spreadsheet

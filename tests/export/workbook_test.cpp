// The in-memory spreadsheet application: addresses, sheets, cells and when a workbook is shown.

#include <gtest/gtest.h>

#include "export/desktop_spreadsheet.h"
#include "export/excel_export.h"
#include "export/workbook.h"
#include "export_lists.h"

namespace permscope::spreadsheet {
namespace {

TEST(CellAddress, ReadsColumnLettersAndRow) {
    EXPECT_EQ(parse_cell_address("A2"), (CellRef{2, 1}));
    EXPECT_EQ(parse_cell_address("C3"), (CellRef{3, 3}));
    EXPECT_EQ(parse_cell_address("Z1"), (CellRef{1, 26}));
    EXPECT_EQ(parse_cell_address("AA10"), (CellRef{10, 27}));
    EXPECT_EQ(parse_cell_address("AZ7"), (CellRef{7, 52}));
    EXPECT_EQ(parse_cell_address("b40000"), (CellRef{40000, 2}));
    EXPECT_EQ(parse_cell_address("XFD1048576"), (CellRef{1048576, 16384}));
}

TEST(CellAddress, RefusesWhatNamesNoCell) {
    for (const char* bad :
         {"", "A", "2", "2A", "A0", "A02", "A 2", " A2", "A2 ", "$A$2", "A-2", "A+2", "Ä2", "A2B",
          "XFE1", "AAAA1", "A1048577", "A99999999999999999999"})
        EXPECT_THROW(parse_cell_address(bad), AutomationError) << '"' << bad << '"';
}

TEST(WellFormedUtf8, KeepsGoodTextAndMendsBadBytes) {
    EXPECT_EQ(well_formed_utf8("Müller, Jürgen; Ändern ß €𝄞"), "Müller, Jürgen; Ändern ß €𝄞");
    EXPECT_EQ(well_formed_utf8(""), "");
    EXPECT_EQ(well_formed_utf8("a\xFF"
                               "b"),
              "a\uFFFDb");
    EXPECT_EQ(well_formed_utf8("M\xFCller"), "M\uFFFDller");                      // Latin-1 ü
    EXPECT_EQ(well_formed_utf8("\xC0\xAF"), "\uFFFD\uFFFD");                      // overlong '/'
    EXPECT_EQ(well_formed_utf8("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");            // a surrogate
    EXPECT_EQ(well_formed_utf8("\xF4\x90\x80\x80"), "\uFFFD\uFFFD\uFFFD\uFFFD");  // > U+10FFFF
    EXPECT_EQ(well_formed_utf8("ab\xC3"), "ab\uFFFD");                            // cut off
    EXPECT_EQ(well_formed_utf8("\xEF\xBF\xBF"), "\uFFFD");                        // U+FFFF
}

TEST(Workbook, ANewWorkbookHasOneEmptySheetTabelle1FoundByItsExactName) {
    Workbook book;
    ASSERT_EQ(book.sheets().size(), 1u);
    EXPECT_EQ(book.active_sheet().name, "Tabelle1");
    EXPECT_TRUE(book.active_sheet().cells.empty());
    EXPECT_NO_THROW(book.select("Tabelle1"));
    EXPECT_THROW(book.select("Sheet1"), AutomationError);
    EXPECT_THROW(book.select("tabelle1"), AutomationError);
    book.rename("Tabelle1", "Rechte");
    EXPECT_THROW(book.select("Tabelle1"), AutomationError);
    EXPECT_THROW(book.rename("Tabelle1", "Other"), AutomationError);
    EXPECT_EQ(book.active_sheet().name, "Rechte");
}

TEST(Workbook, RefusesSheetNamesAnXlsxCannotHold) {
    Workbook book;
    for (const char* bad : {"", "a:b", "a\\b", "a/b", "a?b", "a*b", "a[b", "a]b", "'quoted",
                            "quoted'", "1234567890123456789012345678901x"})
        EXPECT_THROW(book.rename("Tabelle1", bad), AutomationError) << '"' << bad << '"';
    EXPECT_EQ(book.active_sheet().name, "Tabelle1");
    const std::string umlauts31 = "ÄÖÜäöüßÄÖÜäöüßÄÖÜäöüßÄÖÜäöüßÄÖÜ";  // counted in characters
    EXPECT_THROW(book.rename("Tabelle1", umlauts31 + "x"), AutomationError);
    EXPECT_NO_THROW(book.rename("Tabelle1", umlauts31));
    EXPECT_NO_THROW(book.rename(book.active_sheet().name, "Tabelle1"));  // its own name again
}

TEST(Workbook, CellsGoToTheActiveSheetInRowOrder) {
    Workbook book;
    book.set_cell("B3", "Anna");
    book.set_cell("A2", "G1");
    book.set_cell("C3", "Lesen");
    book.set_cell("B3", "Anna Maria");  // a second write replaces the value
    std::vector<std::pair<CellRef, std::string>> cells(book.active_sheet().cells.begin(),
                                                       book.active_sheet().cells.end());
    EXPECT_EQ(cells, (std::vector<std::pair<CellRef, std::string>>{
                         {{2, 1}, "G1"}, {{3, 2}, "Anna Maria"}, {{3, 3}, "Lesen"}}));
}

TEST(Workbook, TextLongerThanACellIsCutBeforeACharacter) {
    Workbook book;
    const std::string full = std::string(32'766, 'x') + "\xC3\xA4\xC3\xA4";  // "ää" at the end
    book.set_cell("A1", full);
    book.set_cell("A2", std::string(32'767, 'y'));
    const auto& cells = book.active_sheet().cells;
    EXPECT_EQ(cells.at({1, 1}),
              full.substr(0, 32'766 + 2));  // the first "ä" whole, not a byte of it
    EXPECT_EQ(cells.at({2, 1}), std::string(32'767, 'y'));
}

class WorkbookApplicationTest : public ::testing::Test {
  protected:
    std::vector<std::string> shown;  // the first sheet's name of each workbook shown
    bool fail_to_show = false;
    WorkbookApplication app{[this](const Workbook& book) {
        if (fail_to_show)
            throw AutomationError("cannot show");
        shown.push_back(book.sheets().front().name);
    }};
};

TEST_F(WorkbookApplicationTest, NothingWorksBeforeAWorkbookIsAdded) {
    EXPECT_THROW(app.Sheets_Select("Tabelle1"), AutomationError);
    EXPECT_THROW(app.Sheets_SetName("Tabelle1", "Rechte"), AutomationError);
    EXPECT_THROW(app.Range_Set("A2", "x"), AutomationError);
    EXPECT_NO_THROW(app.set_Visible(true));
    EXPECT_TRUE(shown.empty());
}

TEST_F(WorkbookApplicationTest, ShowsEachWorkbookOnceWhenMadeVisible) {
    app.Workbooks_Add();
    app.Sheets_SetName("Tabelle1", "Rechte");
    app.Range_Set("A2", "G1");
    app.set_Visible(false);
    EXPECT_TRUE(shown.empty());
    app.set_Visible(true);
    app.set_Visible(true);
    EXPECT_EQ(shown, std::vector<std::string>{"Rechte"});
}

TEST_F(WorkbookApplicationTest, AWorkbookThatCouldNotBeShownIsTriedAgain) {
    app.Workbooks_Add();
    fail_to_show = true;
    EXPECT_THROW(app.set_Visible(true), AutomationError);
    fail_to_show = false;
    app.set_Visible(true);
    EXPECT_EQ(shown, std::vector<std::string>{"Tabelle1"});
}

}  // namespace
}  // namespace permscope::spreadsheet

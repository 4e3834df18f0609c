#include "report/workbook_format.h"

#include <array>
#include <string>
#include <string_view>

namespace permscope::report {

namespace {

std::string address(std::size_t column, std::size_t row) {
    return static_cast<char>('A' + column) + std::to_string(row);
}

// The captions in row 1, then one row per list row, each column as the window shows it.
template <std::size_t N>
void add_list_sheet(spreadsheet::Workbook& workbook, const std::string& name,
                    const ResultList& list, const std::array<std::string_view, N>& captions) {
    workbook.add_sheet(name);
    workbook.select(name);
    for (std::size_t column = 0; column < N; ++column)
        workbook.set_cell(address(column, 1), captions[column]);
    std::size_t sheet_row = 1;
    for (const ResultList::Row& row : list.rows()) {
        ++sheet_row;
        for (std::size_t column = 0; column < N; ++column)
            workbook.set_cell(address(column, sheet_row), column_text(row, column));
    }
}

}  // namespace

spreadsheet::Workbook folder_workbook(const FolderReport& report, spreadsheet::Workbook exported) {
    add_list_sheet(exported, "Benutzer", report.users(), kUserListColumns);
    add_list_sheet(exported, "Gruppen", report.groups(), kGroupListColumns);
    exported.select("Rechte");
    return exported;
}

}  // namespace permscope::report

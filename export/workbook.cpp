#include "export/workbook.h"

#include <xlsxwriter.h>

#include "common/owned.h"
#include "export/application.h"
#include "export/utf8_text.h"

namespace permscope::spreadsheet {

namespace {

using LxwWorkbook = Owned<lxw_workbook, lxw_workbook_free>;

// The rules the file is written by are libxlsxwriter's: at most 31 characters, none of
// : \ / ? * [ ], no apostrophe at either end, and no other sheet of that name in any letter case.
// They are asked of a scratch workbook that holds the other sheets; nothing is written.
void check_sheet_name(const std::vector<Sheet>& sheets, const Sheet& renamed,
                      const std::string& name) {
    // The library reads the last character of the name, and a C string would end at a NUL.
    if (name.empty() || name.find('\0') != std::string::npos)
        throw AutomationError("sheet name \"" + name + "\": empty or holding a NUL byte");
    const LxwWorkbook scratch(workbook_new("unwritten.xlsx"));
    if (!scratch)
        throw AutomationError("cannot check the sheet name \"" + name + "\"");
    for (const Sheet& other : sheets)
        if (&other != &renamed)
            workbook_add_worksheet(scratch.get(), other.name.c_str());
    const lxw_error error = workbook_validate_sheet_name(scratch.get(), name.c_str());
    if (error != LXW_NO_ERROR)
        throw AutomationError("sheet name \"" + name + "\": " + lxw_strerror(error));
}

}  // namespace

Workbook::Workbook() : sheets_{Sheet{"Tabelle1", {}}} {}

Sheet& Workbook::sheet(std::string_view name) {
    for (Sheet& s : sheets_)
        if (s.name == name)
            return s;
    throw AutomationError("no sheet \"" + std::string(name) + "\"");
}

void Workbook::select(std::string_view name) {
    const Sheet& chosen = sheet(name);
    active_ = static_cast<std::size_t>(&chosen - sheets_.data());
}

void Workbook::rename(std::string_view name, std::string new_name) {
    Sheet& renamed = sheet(name);
    check_sheet_name(sheets_, renamed, new_name);
    renamed.name = std::move(new_name);
}

void Workbook::set_cell(std::string_view address, std::string_view value) {
    const CellRef ref = parse_cell_address(address);
    std::string text = well_formed_utf8(value);
    text.resize(first_characters(text, kMaxCellCharacters).size());
    sheets_[active_].cells[ref] = std::move(text);
}

}  // namespace permscope::spreadsheet

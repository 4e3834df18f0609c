#include "export/workbook_application.h"

namespace permscope::spreadsheet {

WorkbookApplication::WorkbookApplication(ShowWorkbook show) : show_(std::move(show)) {}

Workbook& WorkbookApplication::active_workbook() {
    if (workbooks_.empty())
        throw AutomationError("no workbook is open");
    return workbooks_.back();
}

void WorkbookApplication::Workbooks_Add() {
    workbooks_.emplace_back();
    shown_.push_back(false);
}

void WorkbookApplication::Sheets_Select(const std::string& sheet) {
    active_workbook().select(sheet);
}

void WorkbookApplication::Sheets_SetName(const std::string& sheet, const std::string& new_name) {
    active_workbook().rename(sheet, new_name);
}

void WorkbookApplication::Range_Set(const std::string& address, const std::string& value) {
    active_workbook().set_cell(address, value);
}

void WorkbookApplication::set_Visible(bool visible) {
    if (!visible)
        return;
    for (std::size_t i = 0; i < workbooks_.size(); ++i) {
        if (shown_[i])
            continue;
        show_(workbooks_[i]);
        shown_[i] = true;
    }
}

}  // namespace permscope::spreadsheet

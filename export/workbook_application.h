#pragma once
// The spreadsheet application over in-memory workbooks. What "showing" a workbook means is
// handed in: the desktop backend writes it to a file and opens it, tests may just look at it.

#include <functional>
#include <vector>

#include "export/application.h"
#include "export/workbook.h"

namespace permscope::spreadsheet {

class WorkbookApplication : public Application {
  public:
    // Called once for each workbook when the application becomes visible; throws when the
    // workbook cannot be shown, and the workbook is then tried again at the next Visible = True.
    using ShowWorkbook = std::function<void(const Workbook&)>;

    explicit WorkbookApplication(ShowWorkbook show);

    void Workbooks_Add() override;
    // Sheet calls and Range act on the active (the last added) workbook; without one they throw.
    void Sheets_Select(const std::string& sheet) override;
    void Sheets_SetName(const std::string& sheet, const std::string& new_name) override;
    void Range_Set(const std::string& address, const std::string& value) override;
    void set_Visible(bool visible) override;

  private:
    Workbook& active_workbook();

    ShowWorkbook show_;
    std::vector<Workbook> workbooks_;
    std::vector<bool> shown_;
};

}  // namespace permscope::spreadsheet

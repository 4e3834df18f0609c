#pragma once
// The report as a workbook: sheet "Rechte" exactly as the window's export writes it, then sheets
// "Benutzer" and "Gruppen" with the users and groups lists under the window's column captions.

#include "export/workbook.h"
#include "report/folder_report.h"

namespace permscope::report {

// exported: the export's workbook of the same lists (exported_workbook), which gets the two sheets.
spreadsheet::Workbook folder_workbook(const FolderReport& report, spreadsheet::Workbook exported);

}  // namespace permscope::report

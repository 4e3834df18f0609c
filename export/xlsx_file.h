#pragma once
// Writing an in-memory workbook as an .xlsx file that only the user can read.

#include <string>

#include "export/workbook.h"

namespace permscope::spreadsheet {

// Where the export's files go: $XDG_RUNTIME_DIR when it names an absolute folder (private to the
// user and emptied at log-out), else $TMPDIR when it names one, else /tmp.
std::string private_output_folder();

// Writes the workbook to a new file "Permscope-XXXXXX.xlsx" in folder, with a name no earlier
// run used and mode 0600, and returns its path. Texts that are not well-formed UTF-8 are mended
// (well_formed_utf8). Throws AutomationError when the file cannot be made or written; no partial
// file is left behind then.
std::string write_private_xlsx(const Workbook& workbook, const std::string& folder);

}  // namespace permscope::spreadsheet

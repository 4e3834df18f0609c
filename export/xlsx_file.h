#pragma once
// Writing an in-memory workbook as an .xlsx file that only the user can read.

#include <string>
#include <vector>

#include "export/application.h"
#include "export/workbook.h"

namespace permscope::spreadsheet {

// Where the export's files may go, in the order they are tried: $XDG_RUNTIME_DIR when it names
// an absolute folder (private to the user and emptied at log-out), $TMPDIR when it names one,
// and /tmp.
std::vector<std::string> private_output_folders();

// Writes the workbook to a new file "Permscope-XXXXXX.xlsx" with a name no earlier run used and
// mode 0600, in the first of folders that takes it (a runtime folder that exists but cannot be
// written must not lose the export), and returns its path. Texts that are not well-formed UTF-8
// are mended (well_formed_utf8). Throws ExportNotWritten, naming each folder and why, when none
// does; no partial file is left behind.
std::string write_private_xlsx(const Workbook& workbook, const std::vector<std::string>& folders);

}  // namespace permscope::spreadsheet

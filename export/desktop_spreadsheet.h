#pragma once
// The desktop's spreadsheet application: workbooks built in memory and, on Visible = True, each
// written to a private .xlsx file and opened in the desktop's spreadsheet program, which is
// started on its own and never waited for.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "export/application.h"
#include "export/workbook.h"

namespace permscope::spreadsheet {

// The spreadsheet application over in-memory workbooks. What "showing" a workbook means is
// handed in: the desktop backend writes it to a file and opens it, tests may just look at it.

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

// Writing an in-memory workbook as an .xlsx file that only the user can read.

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

// Handing a finished file to the desktop: the program that opens it is started on its own, in a
// session of its own, and is never waited for.

// The executable file called name in one of the folders of search_path (":"-separated, as PATH;
// empty entries are skipped, so the current folder is never searched), or an empty text.
std::string find_program(const std::string& name, const std::string& search_path);

// Starts the program at path (absolute) with arguments (arguments[0] is its own name) detached:
// it becomes a child of the system, not of this process, with standard input from /dev/null and
// no other open file of ours. Returns whether the program could be executed.
bool start_detached(const std::string& path, const std::vector<std::string>& arguments);

// The real backend: builds the workbook in memory and, on Visible = True, writes a private .xlsx
// and opens it in the desktop's spreadsheet program. The file goes into the first of folders that
// takes it; without folders, into the first of private_output_folders() at that moment.
std::unique_ptr<ApplicationFactory> make_desktop_spreadsheet_factory(
    std::optional<std::vector<std::string>> folders = std::nullopt);

}  // namespace permscope::spreadsheet

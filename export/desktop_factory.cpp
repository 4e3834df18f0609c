// The desktop backend of make_desktop_spreadsheet_factory: "Excel.Application" is a workbook
// application whose Visible = True writes each workbook to a private .xlsx file and opens it in
// the desktop's spreadsheet program.

#include <cstdlib>

#include "export/document_opener.h"
#include "export/excel_export.h"
#include "export/workbook_application.h"
#include "export/xlsx_file.h"

namespace permscope::spreadsheet {

namespace {

void write_and_open(const Workbook& workbook,
                    const std::optional<std::vector<std::string>>& folders) {
    const std::string file =
        write_private_xlsx(workbook, folders ? *folders : private_output_folders());
    const char* search_path = std::getenv("PATH");
    // The file stays where it is when nothing can open it; it is the user's result.
    if (!open_as_untitled_spreadsheet(file, search_path ? search_path : ""))
        throw AutomationError("no spreadsheet program could open " + file);
}

class DesktopSpreadsheetFactory : public ApplicationFactory {
  public:
    explicit DesktopSpreadsheetFactory(std::optional<std::vector<std::string>> folders)
        : folders_(std::move(folders)) {}

    std::unique_ptr<Application> CreateObject(const std::string& prog_id) override {
        if (prog_id != "Excel.Application")
            throw AutomationError("no application \"" + prog_id + "\"");
        return std::make_unique<WorkbookApplication>(
            [folders = folders_](const Workbook& workbook) { write_and_open(workbook, folders); });
    }

  private:
    std::optional<std::vector<std::string>> folders_;
};

}  // namespace

std::unique_ptr<ApplicationFactory> make_desktop_spreadsheet_factory(
    std::optional<std::vector<std::string>> folders) {
    return std::make_unique<DesktopSpreadsheetFactory>(std::move(folders));
}

}  // namespace permscope::spreadsheet

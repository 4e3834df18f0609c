#pragma once
// A workbook written row by row straight into its .xlsx file, for sheets too large to hold: each
// sheet's rows go in order, and a row is written out when the next one begins, so memory holds
// one row whatever the sheets hold. Texts are mended and cut as Workbook::set_cell mends and cuts
// them.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;

namespace permscope::spreadsheet {

// A cell's value: a text or a whole number.
using CellValue = std::variant<std::string_view, std::int64_t>;

// Where rows go, sheet by sheet.
class RowSink {
  public:
    virtual ~RowSink() = default;
    // A new sheet after the last one; the rows that follow go there.
    virtual void add_sheet(const std::string& name) = 0;
    // The next row of the last sheet, its cells from column A on.
    virtual void add_row(const std::vector<CellValue>& cells) = 0;
};

class StreamedWorkbook : public RowSink {
  public:
    // Starts the workbook at path; libxlsxwriter's own temporary files go into temporary_folder.
    // Throws AutomationError when it cannot.
    StreamedWorkbook(const std::string& path, std::string temporary_folder);
    // An unclosed workbook is abandoned; its file is the caller's to remove.
    ~StreamedWorkbook();
    StreamedWorkbook(const StreamedWorkbook&) = delete;
    StreamedWorkbook& operator=(const StreamedWorkbook&) = delete;

    // A sheet past the largest an .xlsx file holds, or before any sheet was added, throws
    // AutomationError.
    void add_sheet(const std::string& name) override;
    void add_row(const std::vector<CellValue>& cells) override;
    // Writes the file; throws AutomationError when it cannot.
    void close();

  private:
    std::string path_;
    std::string temporary_folder_;
    lxw_workbook* book_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    std::uint32_t next_row_ = 0;  // 0-based, on the current sheet
};

}  // namespace permscope::spreadsheet

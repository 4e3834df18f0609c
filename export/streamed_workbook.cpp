#include "export/streamed_workbook.h"

#include <xlsxwriter.h>

#include "export/application.h"
#include "export/workbook.h"

namespace permscope::spreadsheet {

namespace {

void check(lxw_error error, const char* what) {
    if (error != LXW_NO_ERROR)
        throw AutomationError(std::string(what) + ": " + lxw_strerror(error));
}

}  // namespace

StreamedWorkbook::StreamedWorkbook(const std::string& path, std::string temporary_folder)
    : path_(path), temporary_folder_(std::move(temporary_folder)) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = temporary_folder_.data();
    // A sheet of a million rows can pass the 4 GB a plain zip member holds.
    options.use_zip64 = LXW_TRUE;
    book_ = workbook_new_opt(path_.c_str(), &options);
    if (!book_)
        throw AutomationError("cannot start the workbook " + path_);
}

StreamedWorkbook::~StreamedWorkbook() {
    if (book_)
        workbook_close(book_);
}

void StreamedWorkbook::add_sheet(const std::string& name) {
    const std::string mended = well_formed_utf8(name);
    sheet_ = workbook_add_worksheet(book_, mended.c_str());
    if (!sheet_)
        throw AutomationError("the sheet name \"" + mended + "\" cannot be written");
    next_row_ = 0;
}

void StreamedWorkbook::add_row(const std::vector<CellValue>& cells) {
    if (!sheet_)
        throw AutomationError("a row before the first sheet");
    if (next_row_ >= kMaxRows)
        throw AutomationError("a sheet holds at most " + std::to_string(kMaxRows) + " rows");
    for (std::size_t column = 0; column < cells.size(); ++column) {
        const auto col = static_cast<lxw_col_t>(column);
        if (const auto* number = std::get_if<std::int64_t>(&cells[column])) {
            check(worksheet_write_number(sheet_, next_row_, col, static_cast<double>(*number),
                                         nullptr),
                  "a cell cannot be written");
            continue;
        }
        const std::string text = well_formed_utf8(std::get<std::string_view>(cells[column]));
        if (text.empty())
            continue;
        const std::string cell(first_characters(text, kMaxCellCharacters));
        check(worksheet_write_string(sheet_, next_row_, col, cell.c_str(), nullptr),
              "a cell cannot be written");
    }
    ++next_row_;
}

void StreamedWorkbook::close() {
    lxw_workbook* book = book_;
    book_ = nullptr;
    check(workbook_close(book), ("cannot write " + path_).c_str());
}

}  // namespace permscope::spreadsheet

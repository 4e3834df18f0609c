#pragma once
// A walk's report, written folder by folder as the walk goes, in the format asked for:
//   json  {"root", "depth", "folders": [...], "complete"}, one folder a line: in full with the
//         one-folder report's keys, {"folder", "same_as_parent": true} or {"folder",
//         "unreadable": cause}; a folder whose sub-folders could not be listed also carries
//         "sub_folders_unreadable";
//   csv   Folder,Name,Group,Rights: the users of every folder reported in full;
//   xlsx  sheet "Ordner": every folder (Folder, Users, Problem) with "wie übergeordneter Ordner",
//         its number of users, or "nicht lesbar"; then the users of every folder reported in full
//         (Folder, Name, Group, Rights); what passes a sheet's last row goes on on "Ordner 2" …

#include <cstdint>
#include <memory>
#include <string>

#include "export/streamed_workbook.h"
#include "export/workbook.h"
#include "report/command_line.h"
#include "report/tree_walk.h"

namespace permscope::report {

class TreeWriter {
  public:
    virtual ~TreeWriter() = default;
    virtual void folder(const WalkedFolder& folder) = 0;
    // After the last folder. complete: no folder's lists are incomplete. A writer that is not
    // finished leaves nothing where the report was to go (standard output may hold a beginning).
    virtual void finish(bool complete) = 0;
};

// output: a file, or empty for standard output (not for xlsx).
std::unique_ptr<TreeWriter> make_tree_writer(Format format, const std::string& output,
                                             const std::string& root, int depth);

// The xlsx writer alone (make_tree_writer's for Format::Xlsx).
std::unique_ptr<TreeWriter> make_tree_workbook_writer(const std::string& output);

// The rows of sheet "Ordner" and the sheets it spills onto, for a sheet of max_rows rows.
class OrdnerSheets {
  public:
    explicit OrdnerSheets(spreadsheet::RowSink& sink,
                          std::uint32_t max_rows = spreadsheet::kMaxRows);
    // A part under a header row of its own, after an empty row where the sheet holds rows.
    void begin_part(const std::vector<std::string>& header);
    void add_row(const std::vector<spreadsheet::CellValue>& cells);

  private:
    void next_sheet();
    void add_header();
    void put(const std::vector<spreadsheet::CellValue>& cells);

    spreadsheet::RowSink& sink_;
    std::uint32_t max_rows_;
    std::uint32_t rows_ = 0;  // on the current sheet
    int sheets_ = 0;
    std::vector<std::string> header_;
};

}  // namespace permscope::report

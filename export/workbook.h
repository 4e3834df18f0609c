#pragma once
// A workbook held in memory: named sheets of text cells, one of them active.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "export/cell_address.h"

namespace permscope::spreadsheet {

// A cell holds at most this many characters, as in the .xlsx format.
inline constexpr std::size_t kMaxCellCharacters = 32'767;

struct Sheet {
    std::string name;
    std::map<CellRef, std::string> cells;  // in row order, then column order
};

class Workbook {
  public:
    // A new workbook: one empty sheet "Tabelle1", which is active.
    Workbook();

    // The sheet of that exact name; throws AutomationError when there is none.
    Sheet& sheet(std::string_view name);
    void select(std::string_view name);
    // Renames a sheet. Refuses (AutomationError) a name the .xlsx format does not allow: empty,
    // longer than 31 characters, holding one of : \ / ? * [ ] or a NUL byte, beginning or ending
    // with an apostrophe, or the name of another sheet in any letter case.
    void rename(std::string_view name, std::string new_name);
    // Writes value into a cell of the active sheet; refuses a bad address. A value longer than a
    // cell holds (a user in some thousand groups has such a group text) is cut at the limit,
    // before a character: the cell keeps as much as the format allows rather than nothing. Bytes
    // that are no well-formed UTF-8 are mended first (well_formed_utf8), so the cut counts the
    // characters the file will hold.
    void set_cell(std::string_view address, std::string_view value);

    const std::vector<Sheet>& sheets() const { return sheets_; }
    const Sheet& active_sheet() const { return sheets_[active_]; }

  private:
    std::vector<Sheet> sheets_;
    std::size_t active_ = 0;
};

}  // namespace permscope::spreadsheet

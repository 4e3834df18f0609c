#pragma once
// A workbook held in memory: named sheets of text cells, one of them active, addressed as a
// spreadsheet addresses them, with the texts mended into what the .xlsx format can hold.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace permscope::spreadsheet {

// Cell addresses of a sheet: column letters followed by the row number ("A2", "AB17").

// The largest sheet an .xlsx file can hold.
inline constexpr std::uint32_t kMaxRows = 1'048'576;
inline constexpr std::uint32_t kMaxColumns = 16'384;  // column XFD

struct CellRef {
    std::uint32_t row = 0;     // 1-based
    std::uint32_t column = 0;  // 1-based: A is 1, Z 26, AA 27
    friend auto operator<=>(const CellRef&, const CellRef&) = default;
};

// Reads one cell address: one to three letters (either case), then a decimal row number without
// blanks, sign or leading zeros. Throws AutomationError for anything else, and for a cell beyond
// the largest sheet.
CellRef parse_cell_address(std::string_view address);

// Texts from the system (account names from the directory, file systems, SMB servers) are
// expected to be UTF-8 but are not checked anywhere before they reach a file format that demands
// it. One bad byte must not spoil a whole workbook.

// The text with every byte that does not belong to a well-formed UTF-8 character (overlong
// forms, surrogates, code points past U+10FFFF, stray continuation bytes, cut-off sequences)
// the non-characters U+FFFE and U+FFFF, and NUL (which would end the text for the C library it
// goes to, and so cut a directory value that holds one) replaced by U+FFFD. Well-formed text
// without NUL comes back unchanged.
std::string well_formed_utf8(std::string_view text);

// The first max_characters characters of a well-formed text: it is cut before a character, never
// inside one. A shorter text comes back whole.
std::string_view first_characters(std::string_view text, std::size_t max_characters);

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
    // Adds an empty sheet after the last one; the active sheet stays active. Refuses the names
    // that rename refuses.
    void add_sheet(std::string name);
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

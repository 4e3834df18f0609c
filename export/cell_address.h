#pragma once
// Cell addresses of a sheet: column letters followed by the row number ("A2", "AB17").

#include <cstdint>
#include <string_view>

namespace permscope::spreadsheet {

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

}  // namespace permscope::spreadsheet

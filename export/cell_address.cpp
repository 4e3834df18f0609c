#include "export/cell_address.h"

#include <string>

#include "export/application.h"

namespace permscope::spreadsheet {

namespace {

bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

[[noreturn]] void refuse(std::string_view address, std::string_view why) {
    throw AutomationError("cell address \"" + std::string(address) + "\": " + std::string(why));
}

}  // namespace

CellRef parse_cell_address(std::string_view address) {
    std::size_t at = 0;
    std::uint64_t column = 0;
    while (at < address.size() && is_letter(address[at])) {
        if (at == 3)
            refuse(address, "column beyond XFD");
        const char upper = static_cast<char>(address[at] & ~0x20);
        column = column * 26 + static_cast<std::uint64_t>(upper - 'A' + 1);
        ++at;
    }
    if (at == 0)
        refuse(address, "no column letters");
    if (column > kMaxColumns)
        refuse(address, "column beyond XFD");

    const std::string_view digits = address.substr(at);
    if (digits.empty())
        refuse(address, "no row number");
    if (digits.front() == '0')
        refuse(address, "row number 0 or with leading zeros");
    std::uint64_t row = 0;
    for (char c : digits) {
        if (!is_digit(c))
            refuse(address, "not a cell address");
        row = row * 10 + static_cast<std::uint64_t>(c - '0');
        if (row > kMaxRows)
            refuse(address, "row beyond the last sheet row");
    }
    return CellRef{static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(column)};
}

}  // namespace permscope::spreadsheet

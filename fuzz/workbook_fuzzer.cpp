// Cell addresses and sheet names. The input's first line is the address or name, the rest the
// cell's value; whatever the workbook takes lies within the largest sheet or names the sheet.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "export/application.h"
#include "export/workbook.h"

using namespace permscope::spreadsheet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string head = text.substr(0, text.find('\n'));
    Workbook book;
    try {
        const CellRef cell = parse_cell_address(head);
        if (cell.row < 1 || cell.row > kMaxRows || cell.column < 1 || cell.column > kMaxColumns)
            std::abort();
        book.set_cell(head, text.substr(std::min(head.size() + 1, text.size())));
    } catch (const AutomationError&) {
    }
    try {
        book.rename("Tabelle1", head);
        book.select(head);
    } catch (const AutomationError&) {
    }
    return 0;
}

#include "export/list_cells.h"

namespace permscope::spreadsheet {

const std::string& sub_item_or_empty(const ResultList& list, ResultList::Position position,
                                     std::size_t index) {
    static const std::string empty;
    const ResultList::Row& row = list.row(position);
    return index >= 1 && index <= row.sub_items.size() ? row.sub_items[index - 1] : empty;
}

}  // namespace permscope::spreadsheet

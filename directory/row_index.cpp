#include "directory/row_index.h"

namespace permscope::directory {

void RowIndex::follow(const ResultList& list) {
    // A cleared list may have been refilled up to the old length, so the generation decides and
    // not the count alone.
    if (&list != list_ || list.generation() != generation_ || list.count() < indexed_ ||
        (indexed_ > 0 && list.text(indexed_) != last_text_)) {
        positions_.clear();
        list_ = &list;
        generation_ = list.generation();
        indexed_ = 0;
    }
    if (indexed_ == list.count())
        return;
    while (indexed_ < list.count()) {
        ++indexed_;
        Positions& positions = *positions_.try_emplace(list.text(indexed_)).first;
        if (positions.first == 0) {
            positions.first = indexed_;
        } else {
            if (positions.all.empty())
                positions.all.push_back(positions.first);
            positions.all.push_back(indexed_);
        }
    }
    last_text_ = list.text(indexed_);
}

std::span<const RowIndex::Position> RowIndex::find(const ResultList& list, std::string_view name) {
    follow(list);
    const Positions* found = positions_.find(name);
    return found ? found->view() : std::span<const Position>();
}

}  // namespace permscope::directory

#pragma once
// An index from row text to the positions of every row with exactly that text, kept beside one
// result list so that finding a name does not walk all rows. It follows the list by itself: rows
// appended since the last look are added, and a list that was cleared (or a different list) is
// indexed afresh.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/flat_string_map.h"
#include "common/result_list.h"

namespace permscope::directory {

class RowIndex {
  public:
    using Position = ResultList::Position;

    // The positions, ascending, of every row of list whose text equals name exactly (with its
    // case, no trimming): the same rows a walk from the first to the last row would meet.
    std::span<const Position> find(const ResultList& list, std::string_view name);

  private:
    // Most texts have one row: its position is kept in place, the rest in a list.
    struct Positions {
        Position first = 0;
        std::vector<Position> all;  // every position, once a second one came

        std::span<const Position> view() const {
            return all.empty() ? std::span<const Position>(&first, first ? 1 : 0) : all;
        }
    };

    void follow(const ResultList& list);

    FlatStringMap<Positions> positions_;
    const ResultList* list_ = nullptr;
    std::uint64_t generation_ = 0;
    Position indexed_ = 0;   // rows 1..indexed_ are in the index
    std::string last_text_;  // the text of row indexed_, to notice a list replaced in place
};

}  // namespace permscope::directory

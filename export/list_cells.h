#pragma once
// Reading the result lists the way the export sees them: a sub-item that a row does not carry
// reads as an empty text, as an unset column of a list view does.

#include <string>

#include "common/result_list.h"

namespace permscope::spreadsheet {

// Sub-item columns of LvGroups and LvUser that the export reads (1-based, as ResultList counts).
inline constexpr std::size_t kHeadGroupColumn = 1;  // LvGroups: HeadGroup
inline constexpr std::size_t kSubGroupsColumn = 2;  // LvGroups: SubGroups
inline constexpr std::size_t kGroupColumn = 1;      // LvUser: Group
inline constexpr std::size_t kRightsColumn = 2;     // LvUser: Rights

// The sub-item's text, or an empty text when the row has fewer sub-items. Throws
// std::out_of_range when position names no row.
const std::string& sub_item_or_empty(const ResultList& list, ResultList::Position position,
                                     std::size_t index);

}  // namespace permscope::spreadsheet

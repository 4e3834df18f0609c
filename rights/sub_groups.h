#pragma once
// The sub-group pass at the end of a folder read.

#include "common/result_list.h"

namespace permscope::rights {

// Fills each group row's SubGroups column (sub-item 2) with the names of the group rows whose
// HeadGroup text (sub-item 1, cut at ";") has a piece equal to the row's name, exactly, without
// trimming. For every match the name is added behind the SubGroups text, after a ";" when that
// text is not empty. Matches come in list order of the naming rows, and within one row in the
// order of its pieces: a row that names another twice is listed twice; a row that names itself
// lists itself. "is Head" matches no group name, and " B" (a blank after the separator of "A; B")
// does not match B.
//
// The result is that of comparing every pair of rows piece by piece, but the work is linear in
// the number of HeadGroup pieces and matches: rows are found by name through a hash index. A row
// without a HeadGroup sub-item names nothing; a row without a SubGroups sub-item is left as it is.
void fill_sub_groups(ResultList& groups);

}  // namespace permscope::rights

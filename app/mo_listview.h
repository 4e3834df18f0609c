#pragma once
// MoListview: flat column headers for the result lists.

class QTreeView;

namespace permscope::app {

// The list's column headers stop acting as push buttons: a click shows no pressed state and
// starts nothing (no sorting). A list without a header is left as it is.
void Header_flat(QTreeView& list_view);

}  // namespace permscope::app

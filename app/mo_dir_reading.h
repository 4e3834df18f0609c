#pragma once
// MoDirReading: the hidden drive tree. One root node per local fixed disk, in the order the
// management layer reports the disks, with one child per folder that stands directly in the
// disk's root (names beginning with "." are hidden and left out).

class QTreeWidget;

namespace permscope::platform {
class ManagementLayer;
}

namespace permscope::app {

// Fills tree through the management layer. There is no error handling of its own: the first
// failure (locator, connection, enumeration, a property read, the listing or a directory test)
// throws out of the fill, and the nodes added so far stay in the tree.
void fill_drive_tree(QTreeWidget& tree, platform::ManagementLayer& management);

}  // namespace permscope::app

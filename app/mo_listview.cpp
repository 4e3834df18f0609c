#include "app/mo_listview.h"

#include <QHeaderView>
#include <QTreeView>

namespace permscope::app {

void Header_flat(QTreeView& list_view) {
    QHeaderView* header = list_view.header();
    if (header == nullptr)
        return;
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
}

}  // namespace permscope::app

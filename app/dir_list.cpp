#include "app/dir_list.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyledItemDelegate>

namespace permscope::app {

namespace {

constexpr int kFullPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;
constexpr int kIndentPixels = 10;

// Indents each entry by its depth, so the ancestors read as a path and the sub-folders sit under
// the open folder.
class IndentDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented = option;
        indented.rect.setLeft(option.rect.left() + indent(index));
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.rwidth() += indent(index);
        return size;
    }

  private:
    static int indent(const QModelIndex& index) {
        return index.data(kDepthRole).toInt() * kIndentPixels;
    }
};

QString join_path(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

}  // namespace

DirList::DirList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    path_ = QStringLiteral("/");
    if (const auto start = existing_folder(QDir::currentPath()))
        path_ = *start;
    fill();
}

std::optional<QString> DirList::existing_folder(const QString& text) {
    if (text.isEmpty())
        return std::nullopt;
    const QFileInfo info(text);
    if (!info.isDir())
        return std::nullopt;
    return QDir::cleanPath(info.absoluteFilePath());
}

bool DirList::setPath(const QString& folder) {
    const std::optional<QString> cleaned = existing_folder(folder);
    if (!cleaned)
        return false;
    if (*cleaned == path_)
        return true;
    path_ = *cleaned;
    fill();
    emit Change();
    return true;
}

QString DirList::selected_path() const {
    const QListWidgetItem* item = currentItem();
    return item ? item->data(kFullPathRole).toString() : path_;
}

void DirList::fill() {
    const QSignalBlocker quiet(this);
    clear();
    // Ancestors: "/", then each folder on the way down to the open one.
    const QStringList parts = path_.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString ancestor = QStringLiteral("/");
    const auto kind_of = [&](qsizetype depth) {
        return depth == parts.size() ? EntryKind::OpenFolder : EntryKind::Ancestor;
    };
    add_entry(ancestor, ancestor, 0, kind_of(0));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        ancestor = join_path(ancestor, parts.at(i));
        add_entry(parts.at(i), ancestor, static_cast<int>(i + 1), kind_of(i + 1));
    }
    const QStringList sub_folders =
        QDir(path_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : sub_folders)
        add_entry(name, join_path(path_, name), static_cast<int>(parts.size()) + 1,
                  EntryKind::SubFolder);
}

void DirList::add_entry(const QString& name, const QString& full_path, int depth, EntryKind kind) {
    const bool on_the_way = kind != EntryKind::SubFolder;
    auto* item = new QListWidgetItem(
        style()->standardIcon(on_the_way ? QStyle::SP_DirOpenIcon : QStyle::SP_DirIcon), name,
        this);
    item->setData(kFullPathRole, full_path);
    item->setData(kDepthRole, depth);
    if (kind == EntryKind::OpenFolder)
        setCurrentItem(item);
}

void DirList::open_entry(QListWidgetItem* item) {
    if (item == nullptr)
        return;
    const QString target = item->data(kFullPathRole).toString();
    setPath(target);
}

void DirList::mousePressEvent(QMouseEvent* event) {
    // The second press of a double click arrives as the double-click event alone, so a double
    // click selects once (at its first release) and opens once (below).
    if (!gesture_) {
        gesture_ = MouseGesture{currentItem(), event->button() == Qt::LeftButton &&
                                                   itemAt(event->position().toPoint()) != nullptr};
    }
    QListWidget::mousePressEvent(event);
}

void DirList::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    if (!gesture_ || event->buttons() != Qt::NoButton)
        return;
    const MouseGesture gesture = *gesture_;
    gesture_.reset();
    // Once, for the entry the press (and any drag over other entries) ended on.
    if (currentItem() != nullptr && (gesture.clicks_entry || currentItem() != gesture.before))
        emit Click();
}

QItemSelectionModel::SelectionFlags DirList::selectionCommand(const QModelIndex& index,
                                                              const QEvent* event) const {
    // Neither Ctrl nor a press beside the entries takes the highlight away: it only moves.
    if (!index.isValid())
        return QItemSelectionModel::NoUpdate;
    const QItemSelectionModel::SelectionFlags command = QListWidget::selectionCommand(index, event);
    if (command == QItemSelectionModel::NoUpdate)
        return command;
    return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
}

void DirList::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    open_entry(itemAt(event->position().toPoint()));
}

void DirList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        open_entry(currentItem());
        return;
    }
    const QListWidgetItem* before = currentItem();
    QListWidget::keyPressEvent(event);
    if (currentItem() != before && currentItem() != nullptr)
        emit Click();
}

}  // namespace permscope::app

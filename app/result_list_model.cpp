#include "app/result_list_model.h"

#include <limits>

namespace permscope::app {

ResultListModel::ResultListModel(ResultList& list, QStringList column_titles, QObject* parent)
    : QAbstractTableModel(parent), list_(list), column_titles_(std::move(column_titles)) {
    list_.set_observer(this);
}

ResultListModel::~ResultListModel() {
    list_.set_observer(nullptr);
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    // A view addresses rows with int; a list beyond that shows its first INT_MAX rows.
    const ResultList::Position count = list_.count();
    return count > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                   : static_cast<int>(count);
}

int ResultListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(column_titles_.size());
}

namespace {

// A directory value may hold a NUL, which would end the text where it is drawn: it is shown as
// U+FFFD, and the rest of the value after it.
QString shown_text(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QChar(u'\0'), QChar(0xFFFD));
    return shown;
}

}  // namespace

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    if (!index.isValid() || index.column() >= columnCount())
        return {};
    // While a batch runs the view may still hold the old row count; rows gone since show empty.
    const ResultList::Position position = index.row() + 1;
    if (position > list_.count())
        return {};
    return shown_text(column_text(list_.row(position), static_cast<std::size_t>(index.column())));
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section < 0 || section >= column_titles_.size())
        return {};
    return column_titles_.at(section);
}

void ResultListModel::begin_batch() {
    if (batch_depth_++ == 0)
        beginResetModel();
}

void ResultListModel::end_batch() {
    if (batch_depth_ == 0)
        return;
    if (--batch_depth_ == 0)
        endResetModel();
}

void ResultListModel::list_cleared() {
    if (in_batch())
        return;
    beginResetModel();
    endResetModel();
}

void ResultListModel::row_appended(ResultList::Position position) {
    if (in_batch() || position > std::numeric_limits<int>::max())
        return;
    const int row = static_cast<int>(position - 1);
    // The list has grown already; the view learns of the row at endInsertRows.
    beginInsertRows(QModelIndex(), row, row);
    endInsertRows();
}

void ResultListModel::row_changed(ResultList::Position position) {
    if (in_batch() || position > std::numeric_limits<int>::max())
        return;
    const int row = static_cast<int>(position - 1);
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

}  // namespace permscope::app

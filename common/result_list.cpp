#include "common/result_list.h"

#include <stdexcept>
#include <string>

namespace permscope {

ResultList::Position ResultList::append(std::string text) {
    rows_.push_back(Row{std::move(text), {}});
    const Position position = count();
    if (observer_) observer_->row_appended(position);
    return position;
}

void ResultList::clear() {
    rows_.clear();
    ++generation_;
    if (observer_) observer_->list_cleared();
}

const ResultList::Row& ResultList::row(Position position) const {
    if (position < 1 || position > count())
        throw std::out_of_range("no row at position " + std::to_string(position));
    return rows_[static_cast<std::size_t>(position - 1)];
}

ResultList::Row& ResultList::row_at(Position position) {
    return const_cast<Row&>(static_cast<const ResultList*>(this)->row(position));
}

const std::string& ResultList::text(Position position) const { return row(position).text; }

std::size_t ResultList::sub_item_count(Position position) const {
    return row(position).sub_items.size();
}

const std::string& ResultList::sub_item(Position position, std::size_t index) const {
    const Row& r = row(position);
    if (index < 1 || index > r.sub_items.size())
        throw std::out_of_range("no sub-item " + std::to_string(index));
    return r.sub_items[index - 1];
}

void ResultList::set_sub_item(Position position, std::size_t index, std::string value) {
    Row& r = row_at(position);
    if (index < 1 || index > r.sub_items.size())
        throw std::out_of_range("no sub-item " + std::to_string(index));
    r.sub_items[index - 1] = std::move(value);
    if (observer_) observer_->row_changed(position);
}

void ResultList::append_sub_item(Position position, std::string value) {
    row_at(position).sub_items.push_back(std::move(value));
    if (observer_) observer_->row_changed(position);
}

const std::string& column_text(const ResultList::Row& row, std::size_t column) {
    static const std::string empty;
    if (column == 0)
        return row.text;
    return column <= row.sub_items.size() ? row.sub_items[column - 1] : empty;
}

}  // namespace permscope

#pragma once
// One result list of the main window (users or groups): rows of a text plus an ordered sequence
// of sub-item texts, addressed by 1-based position, only appended and cleared whole.
//
// Access through a position or sub-item index that names nothing throws std::out_of_range; the
// callers run each statement under "skip on failure" handling and catch it there.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace permscope {

class ResultList {
public:
    using Position = std::int64_t;  // 1-based; 0 means "no row"

    struct Row {
        std::string text;
        std::vector<std::string> sub_items;  // sub-item 1 is sub_items[0]
    };

    // Told about every change, so that a view can follow without polling. Calls arrive after the
    // change has been made.
    class Observer {
    public:
        virtual ~Observer() = default;
        virtual void list_cleared() = 0;
        virtual void row_appended(Position position) = 0;
        virtual void row_changed(Position position) = 0;
    };

    ResultList() = default;
    ResultList(const ResultList&) = delete;
    ResultList& operator=(const ResultList&) = delete;

    Position append(std::string text);  // returns the new row's position
    void clear();
    Position count() const { return static_cast<Position>(rows_.size()); }
    // Grows by one at every clear(), so that an index kept beside the list knows when to start
    // over.
    std::uint64_t generation() const { return generation_; }

    const std::string& text(Position position) const;
    std::size_t sub_item_count(Position position) const;
    // index is 1-based: sub-item 1 is the second column.
    const std::string& sub_item(Position position, std::size_t index) const;
    // Sets an existing sub-item; an index past the last one throws.
    void set_sub_item(Position position, std::size_t index, std::string value);
    void append_sub_item(Position position, std::string value);

    const Row& row(Position position) const;
    const std::vector<Row>& rows() const { return rows_; }

    // The observer is not owned; pass nullptr to detach.
    void set_observer(Observer* observer) { observer_ = observer; }

private:
    Row& row_at(Position position);

    std::vector<Row> rows_;
    Observer* observer_ = nullptr;
    std::uint64_t generation_ = 0;
};

// The columns of the two lists as the window captions them, left to right: column 0 is a row's
// text, column n its sub-item n. Sub-items past the last column are not shown.
inline constexpr std::array<std::string_view, 3> kUserListColumns{"Name", "Group", "Rights"};
inline constexpr std::array<std::string_view, 4> kGroupListColumns{"Name", "HeadGroup", "SubGroups",
                                                                   "Rights"};

// The text that column shows for row: empty where the row has no such sub-item, as an unset column
// of a list view reads.
const std::string& column_text(const ResultList::Row& row, std::size_t column);

}  // namespace permscope

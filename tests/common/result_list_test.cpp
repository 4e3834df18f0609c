#include "common/result_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace permscope {
namespace {

struct RecordingObserver : ResultList::Observer {
    std::vector<std::string> events;
    void list_cleared() override { events.push_back("cleared"); }
    void row_appended(ResultList::Position p) override {
        events.push_back("appended " + std::to_string(p));
    }
    void row_changed(ResultList::Position p) override {
        events.push_back("changed " + std::to_string(p));
    }
};

TEST(ResultList, RowsAreAddressedFromOneInOrderOfAppending) {
    ResultList list;
    EXPECT_EQ(list.append("G"), 1);
    EXPECT_EQ(list.append("G2"), 2);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list.text(1), "G");
    EXPECT_EQ(list.text(2), "G2");
    EXPECT_THROW(list.text(0), std::out_of_range);
    EXPECT_THROW(list.text(3), std::out_of_range);
}

TEST(ResultList, SubItemsAreAppendedAfterTheLastAndReadFromOne) {
    ResultList list;
    const auto row = list.append("U1");
    EXPECT_EQ(list.sub_item_count(row), 0u);
    list.append_sub_item(row, "G");
    list.append_sub_item(row, "Lesen");
    EXPECT_EQ(list.sub_item(row, 1), "G");
    EXPECT_EQ(list.sub_item(row, 2), "Lesen");
    list.set_sub_item(row, 2, "Lesen; Schreiben");
    EXPECT_EQ(list.sub_item(row, 2), "Lesen; Schreiben");
    EXPECT_THROW(list.sub_item(row, 3), std::out_of_range);
    EXPECT_THROW(list.sub_item(row, 0), std::out_of_range);
    EXPECT_THROW(list.set_sub_item(row, 3, "x"), std::out_of_range);
    EXPECT_THROW(list.append_sub_item(2, "x"), std::out_of_range);
}

TEST(ResultList, ClearEmptiesTheListAndStartsANewGeneration) {
    ResultList list;
    list.append("a");
    const auto before = list.generation();
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.generation(), before + 1);
    EXPECT_EQ(list.append("b"), 1);
}

TEST(ResultList, PositionsGoPastSixteenBits) {
    ResultList list;
    for (int i = 0; i < 40000; ++i) list.append("row" + std::to_string(i));
    EXPECT_EQ(list.count(), 40000);
    list.append_sub_item(40000, "last");
    EXPECT_EQ(list.text(32768), "row32767");
    EXPECT_EQ(list.sub_item(40000, 1), "last");
}

TEST(ResultList, ObserverHearsEveryChangeInOrder) {
    ResultList list;
    RecordingObserver observer;
    list.set_observer(&observer);
    list.append("a");
    list.append_sub_item(1, "x");
    list.set_sub_item(1, 1, "y");
    list.clear();
    EXPECT_EQ(observer.events,
              (std::vector<std::string>{"appended 1", "changed 1", "changed 1", "cleared"}));
}

}  // namespace
}  // namespace permscope

// The result lists and the flat map behind the read's large indexes.

#include <gtest/gtest.h>

#include "common/flat_string_map.h"
#include "common/result_list.h"

namespace permscope {
namespace {

struct Recorder : ResultList::Observer {
    std::vector<std::string> events;
    void list_cleared() override { events.push_back("cleared"); }
    void row_appended(ResultList::Position p) override {
        events.push_back("+" + std::to_string(p));
    }
    void row_changed(ResultList::Position p) override { events.push_back("~" + std::to_string(p)); }
};

TEST(ResultList, RowsCountFromOnePastSixteenBitsAndAViewHearsEveryChange) {
    ResultList list;
    Recorder view;
    list.set_observer(&view);
    for (int i = 1; i <= 40000; ++i)
        ASSERT_EQ(list.append("row" + std::to_string(i)), i);
    list.append_sub_item(40000, "G");
    list.set_sub_item(40000, 1, "H");
    EXPECT_EQ(list.text(32768), "row32768");
    EXPECT_EQ(list.sub_item(40000, 1), "H");
    EXPECT_THROW(list.text(0), std::out_of_range);
    EXPECT_THROW(list.text(40001), std::out_of_range);
    EXPECT_THROW(list.sub_item(40000, 2), std::out_of_range);
    EXPECT_THROW(list.set_sub_item(1, 1, "x"), std::out_of_range);
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(view.events[32767], "+32768");
    EXPECT_EQ(std::vector<std::string>(view.events.end() - 3, view.events.end()),
              (std::vector<std::string>{"~40000", "~40000", "cleared"}));
    list.set_observer(nullptr);
}

TEST(FlatStringMap, KeysThatDifferAnywhereKeepTheirOwnValuesThroughGrowth) {
    std::vector<std::string> keys = {"", "a", "A", "a ", " a", std::string("a\0b", 3), "ä", "a'"};
    for (int i = 0; i < 20000; ++i)
        keys.push_back("u" + std::to_string(i));
    FlatStringMap<std::string> map;
    for (const std::string& key : keys) {
        const auto [value, added] = map.try_emplace(key);
        ASSERT_TRUE(added) << key;
        *value = "=" + key;
    }
    for (const std::string& key : keys) {
        const std::string* value = map.find(key);
        ASSERT_NE(value, nullptr) << key;
        EXPECT_EQ(*value, "=" + key);
    }
    EXPECT_FALSE(map.try_emplace("u7").second);
    EXPECT_EQ(map.size(), keys.size());
    EXPECT_EQ(map.find(std::string_view("a\0", 2)), nullptr);
    map.clear();
    EXPECT_EQ(map.find("a"), nullptr);
}

}  // namespace
}  // namespace permscope

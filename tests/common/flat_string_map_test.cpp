// The flat map behind the read's large indexes: every key keeps its own value through the
// table's growth, texts that differ anywhere are kept apart, and a cleared map starts afresh.
#include "common/flat_string_map.h"

#include <gtest/gtest.h>

#include <string>

namespace permscope {
namespace {

TEST(FlatStringMap, EveryKeyKeepsItsValueThroughGrowth) {
    FlatStringMap<int> map;
    EXPECT_EQ(map.find("u0"), nullptr);
    for (int i = 0; i < 20000; ++i) {
        const auto [value, added] = map.try_emplace("u" + std::to_string(i));
        ASSERT_TRUE(added) << i;
        *value = i;
    }
    EXPECT_EQ(map.size(), 20000u);
    for (int i = 0; i < 20000; ++i) {
        const int* value = map.find("u" + std::to_string(i));
        ASSERT_NE(value, nullptr) << i;
        EXPECT_EQ(*value, i);
    }
    EXPECT_EQ(map.find("u20000"), nullptr);
    // A key added again keeps its value.
    const auto [again, added] = map.try_emplace("u7");
    EXPECT_FALSE(added);
    EXPECT_EQ(*again, 7);
    EXPECT_EQ(map.size(), 20000u);
}

TEST(FlatStringMap, TextsThatDifferAnywhereAreKeptApart) {
    FlatStringMap<std::string> map;
    const std::string keys[] = {
        "", "a", "A", "a ", " a", "ab", "ba", std::string("a\0b", 3), "\xc3\xa4", "a'", "a''"};
    for (const std::string& key : keys)
        *map.try_emplace(key).first = "=" + key;
    EXPECT_EQ(map.size(), std::size(keys));
    for (const std::string& key : keys) {
        const std::string* value = map.find(key);
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(*value, "=" + key);
    }
    EXPECT_EQ(map.find(std::string_view("a\0", 2)), nullptr);
}

TEST(FlatStringMap, AClearedMapStartsAfresh) {
    FlatStringMap<int> map;
    for (int i = 0; i < 100; ++i)
        *map.try_emplace(std::to_string(i)).first = i;
    map.clear();
    EXPECT_EQ(map.size(), 0u);
    EXPECT_EQ(map.find("5"), nullptr);
    const auto [value, added] = map.try_emplace("5");
    EXPECT_TRUE(added);
    EXPECT_EQ(*value, 0);
}

}  // namespace
}  // namespace permscope

// The name index finds exactly the rows a walk over the list would find.
#include "directory/group_resolver.h"

#include <gtest/gtest.h>

#include <random>

namespace permscope::directory {
namespace {

std::vector<ResultList::Position> walk(const ResultList& list, const std::string& name) {
    std::vector<ResultList::Position> found;
    for (ResultList::Position p = 1; p <= list.count(); ++p)
        if (list.text(p) == name)
            found.push_back(p);
    return found;
}

TEST(RowIndex, EveryMatchInListOrderWithCaseAndBlanks) {
    ResultList list;
    for (const char* text : {"Anna", "anna", "Anna ", "Bob", "Anna", ""})
        list.append(text);
    RowIndex index;
    EXPECT_EQ(index.find(list, "Anna"), (std::vector<ResultList::Position>{1, 5}));
    EXPECT_EQ(index.find(list, "anna"), (std::vector<ResultList::Position>{2}));
    EXPECT_EQ(index.find(list, "Anna "), (std::vector<ResultList::Position>{3}));
    EXPECT_EQ(index.find(list, ""), (std::vector<ResultList::Position>{6}));
    EXPECT_TRUE(index.find(list, "Carl").empty());
}

TEST(RowIndex, FollowsRowsAppendedByOthersAndClears) {
    ResultList list;
    RowIndex index;
    list.append("A");
    EXPECT_EQ(index.find(list, "A").size(), 1u);
    list.append("A");
    list.append("B");
    EXPECT_EQ(index.find(list, "A"), (std::vector<ResultList::Position>{1, 2}));
    list.clear();
    list.append("B");
    list.append("C");
    list.append("A");
    EXPECT_EQ(index.find(list, "A"), (std::vector<ResultList::Position>{3}));
    EXPECT_EQ(index.find(list, "B"), (std::vector<ResultList::Position>{1}));
}

TEST(RowIndex, AnotherListIsIndexedAfresh) {
    ResultList users;
    ResultList groups;
    users.append("X");
    groups.append("Y");
    groups.append("X");
    RowIndex index;
    EXPECT_EQ(index.find(users, "X"), (std::vector<ResultList::Position>{1}));
    EXPECT_EQ(index.find(groups, "X"), (std::vector<ResultList::Position>{2}));
    EXPECT_TRUE(index.find(groups, "Z").empty());
}

TEST(RowIndex, AgreesWithTheWalkOnRandomAppendsAndClears) {
    std::mt19937 random(7);
    ResultList list;
    RowIndex index;
    for (int step = 0; step < 3000; ++step) {
        const std::string name = "n" + std::to_string(random() % 40);
        if (random() % 500 == 0)
            list.clear();
        if (random() % 2)
            list.append(name);
        ASSERT_EQ(index.find(list, name), walk(list, name)) << "step " << step;
    }
}

}  // namespace
}  // namespace permscope::directory

#include "app/result_list_model.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace permscope::app {
namespace {

QStringList group_columns() {
    return {QStringLiteral("Name"), QStringLiteral("HeadGroup"), QStringLiteral("SubGroups"),
            QStringLiteral("Rights")};
}

QString cell(const ResultListModel& model, int row, int column) {
    return model.data(model.index(row, column)).toString();
}

TEST(ResultListModel, ShowsTextAndSubItemsInListOrder) {
    ResultList groups;
    ResultListModel model(groups, group_columns());
    groups.append("Verwaltung");
    groups.append_sub_item(1, "is Head");
    groups.append_sub_item(1, "Team");
    groups.append_sub_item(1, "Ändern");
    groups.append_sub_item(1, "beyond the columns");
    groups.append("Team");
    groups.append_sub_item(2, "Verwaltung");

    ASSERT_EQ(model.rowCount(), 2);
    ASSERT_EQ(model.columnCount(), 4);
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), "SubGroups");
    EXPECT_EQ(cell(model, 0, 0), "Verwaltung");
    EXPECT_EQ(cell(model, 0, 1), "is Head");
    EXPECT_EQ(cell(model, 0, 2), "Team");
    EXPECT_EQ(cell(model, 0, 3), QString::fromUtf8("Ändern"));
    EXPECT_EQ(cell(model, 1, 0), "Team");
    EXPECT_EQ(cell(model, 1, 1), "Verwaltung");
    EXPECT_EQ(cell(model, 1, 3), "");  // no such sub-item yet: an empty cell
    EXPECT_FALSE(model.data(model.index(0, 4)).isValid());
}

TEST(ResultListModel, FollowsEachChangeOutsideARead) {
    ResultList users;
    ResultListModel model(users, {"Name", "Group", "Rights"});
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    users.append("anna");
    users.append("bert");
    users.append_sub_item(2, "no Group");
    EXPECT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted.at(1).at(1).toInt(), 1);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>().row(), 1);
    users.clear();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(ResultListModel, ABatchTellsTheViewOnceAtItsOutermostEnd) {
    ResultList users;
    ResultListModel model(users, {"Name", "Group", "Rights"});
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    {
        const ModelBatch outer(model);
        users.clear();
        {
            const ModelBatch nested(model);  // a read inside a read
            for (int i = 0; i < 100000; ++i)
                users.append("user" + std::to_string(i));
        }
        EXPECT_EQ(reset.count(), 0);
        users.append_sub_item(100000, "no Group");
    }
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(model.rowCount(), 100000);
    EXPECT_EQ(cell(model, 99999, 0), "user99999");
    EXPECT_EQ(cell(model, 99999, 1), "no Group");
}

TEST(ResultListModel, RowsGoneDuringABatchShowEmpty) {
    ResultList users;
    ResultListModel model(users, {"Name", "Group", "Rights"});
    users.append("anna");
    const QModelIndex stale = model.index(0, 0);
    const ModelBatch batch(model);
    users.clear();
    EXPECT_FALSE(model.data(stale).isValid());
}

TEST(ResultListModel, StopsObservingTheListWhenDestroyed) {
    ResultList users;
    { ResultListModel model(users, {"Name"}); }
    users.append("anna");  // would reach a destroyed observer otherwise (ASan)
    EXPECT_EQ(users.count(), 1);
}

}  // namespace
}  // namespace permscope::app

// The window's list model and directory list on their own.

#include <gtest/gtest.h>

#include <QPainter>
#include <QSignalSpy>

#include "app/dir_list.h"
#include "app/mtrans.h"
#include "app/result_list_model.h"
#include "tests/app/stand_in_services.h"
#include "tests/common/row_texts.h"

namespace permscope::app {
namespace {

using permscope::testing::TempFolder;

TEST(ResultListModel, ShowsTheRowsFollowsEachChangeAndABatchTellsTheViewOnceAtItsEnd) {
    ResultList users;
    ResultListModel model(users, {"Name", "Group", "Rights"});
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    permscope::testing::fill(users, {"anna|no Group|Ändern|beyond the columns", "bert"});
    const auto cell = [&](int row, int column) {
        return model.data(model.index(row, column)).toString().toStdString();
    };
    EXPECT_EQ(
        cell(0, 0) + "|" + cell(0, 1) + "|" + cell(0, 2) + "|" + cell(1, 0) + "|" + cell(1, 2),
        "anna|no Group|Ändern|bert|");
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString().toStdString(), "Rights");
    EXPECT_EQ(inserted.count(), 2);
    EXPECT_EQ(changed.count(), 3);
    const QModelIndex stale = model.index(1, 0);
    {
        const ModelBatch outer(model);
        users.clear();
        EXPECT_FALSE(model.data(stale).isValid());  // gone during the batch: shown empty
        const ModelBatch nested(model);             // a read inside a read
        for (int i = 0; i < 100000; ++i)
            users.append("user" + std::to_string(i));
    }
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(inserted.count(), 2);
    EXPECT_EQ(model.rowCount(), 100000);
    EXPECT_EQ(cell(99999, 0), "user99999");
}

TEST(DirList, AncestorsThenVisibleSubFoldersByNameCleanedPathsChangeOnlyWhenTheFolderDoes) {
    TempFolder temp;
    const QString root = QString::fromStdString(temp.make_folder("tree"));
    for (const char* sub : {"tree/beta", "tree/Alpha", "tree/gamma/inner", "tree/.cache"})
        temp.make_folder(sub);
    temp.write("tree/notes.txt", "x");
    const testing::CurrentFolder inside(root.toStdString());
    DirList list;
    EXPECT_EQ(list.path(), root);
    QSignalSpy changes(&list, &DirList::Change);
    QStringList entries;
    for (int i = 0; i < list.count(); ++i)
        entries << list.item(i)->text();
    EXPECT_EQ(entries.join('/'), "/" + root + "/Alpha/beta/gamma");
    EXPECT_EQ(list.currentItem()->text().toStdString(), "tree");
    ASSERT_TRUE(list.setPath("gamma/./inner/"));  // relative to the current folder, cleaned
    EXPECT_EQ(list.path(), root + "/gamma/inner");
    ASSERT_TRUE(list.setPath(root + "//gamma/inner"));
    EXPECT_EQ(changes.count(), 1);
    for (const QString& refused : {root + "/missing", root + "/notes.txt", QString(),
                                   QString("/ [vda1]/"), QString("//no-such-server/share")})
        EXPECT_FALSE(list.setPath(refused)) << refused.toStdString();
    EXPECT_EQ(list.path(), root + "/gamma/inner");
    EXPECT_EQ(changes.count(), 1);
    ASSERT_TRUE(list.setPath("/"));
    EXPECT_EQ(list.item(0)->text().toStdString(), "/");
    EXPECT_EQ(list.currentRow(), 0);
}

// A window of 4 x 2 pixels whose second column shows the key colour.
// A window of 4 x 2 pixels whose second column shows the key colour.
TEST(KeyColourMap, KeyPixelsLoseTheirAlphaWhereThereIsOneAndLeaveTheMaskUntilTheyChange) {
    const QRgb key = qRgb(255, 0, 255), other = qRgb(10, 20, 30);
    const auto painted = [&](QImage::Format format, int scale) {
        QImage image(QSize(4, 2) * scale, format);
        image.fill(other);
        QPainter(&image).fillRect(scale, 0, scale, 2 * scale, QColor(key));
        return image;
    };
    const auto opaque_is = [](const KeyColourMap& map, const QRegion& pixels) {
        return map.opaque_region().xored(pixels).isEmpty();  // the same pixels, any rectangles
    };
    const QRegion opaque = QRegion(0, 0, 4, 2) - QRegion(1, 0, 1, 2);
    KeyColourMap map(QSize(4, 2), key);
    QImage argb = painted(QImage::Format_ARGB32_Premultiplied, 1);
    EXPECT_TRUE(map.take(argb, QRect(0, 0, 4, 2), QPoint(), 1.0));
    EXPECT_TRUE(opaque_is(map, opaque));
    EXPECT_EQ(argb.pixel(1, 1), 0u);
    EXPECT_FALSE(map.take(argb, QRect(0, 0, 4, 2), QPoint(), 1.0));  // see-through stays so
    // Without alpha the pixels stay; a pixel that is no longer key goes back into the mask.
    QImage rgb = painted(QImage::Format_RGB32, 1);
    rgb.setPixel(1, 0, other);
    EXPECT_TRUE(map.take(rgb, QRect(1, 0, 1, 1), QPoint(), 1.0));
    EXPECT_TRUE(opaque_is(map, opaque + QRegion(1, 0, 1, 1)));
    EXPECT_EQ(rgb.pixel(1, 1), key);
    // Twice the pixels, at an offset in a larger buffer.
    QImage large(10, 5, QImage::Format_ARGB32);
    large.fill(Qt::white);
    QPainter(&large).drawImage(2, 1, painted(QImage::Format_ARGB32, 2));
    EXPECT_TRUE(map.take(large, QRect(0, 0, 4, 2), QPoint(2, 1), 2.0));
    EXPECT_TRUE(opaque_is(map, opaque));
    EXPECT_EQ(qAlpha(large.pixel(5, 4)), 0);
    // Nothing but key pixels: one pixel stays, since an empty mask is no mask.
    KeyColourMap whole(QSize(4, 2), key);
    rgb.fill(key);
    EXPECT_TRUE(whole.take(rgb, QRect(-5, -5, 20, 20), QPoint(), 1.0));
    EXPECT_EQ(whole.opaque_region(), QRegion(0, 0, 1, 1));
}

}  // namespace
}  // namespace permscope::app

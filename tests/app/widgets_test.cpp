// The window's list model and directory list on their own.

#include <gtest/gtest.h>

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
// Regions compared as sets of pixels, whatever rectangles they are made of.
bool same_pixels(const QRegion& a, const QRegion& b) {
    return a.xored(b).isEmpty();
}

TEST(KeyColourMap, KeyPixelsLoseTheirAlphaWhereThereIsOneAndLeaveTheMaskUntilTheyChange) {
    const QRgb key = qRgb(255, 0, 255);
    const auto painted = [&](QImage::Format format, QSize size) {
        QImage image(size, format);
        image.fill(QColor(10, 20, 30));
        for (int y = 0; y < size.height(); ++y)
            for (int x = size.width() / 4; x < size.width() / 2; ++x)
                image.setPixel(x, y, key);
        return image;
    };
    const QRegion opaque = QRegion(0, 0, 4, 2) - QRegion(1, 0, 1, 2);
    KeyColourMap map(QSize(4, 2), key);
    QImage argb = painted(QImage::Format_ARGB32_Premultiplied, QSize(4, 2));
    EXPECT_TRUE(map.take(argb, QRect(0, 0, 4, 2), QPoint(), 1.0));
    EXPECT_TRUE(same_pixels(map.opaque_region(), opaque));
    EXPECT_EQ(argb.pixel(1, 1), 0u);
    EXPECT_EQ(argb.pixel(2, 1), qRgb(10, 20, 30));
    // The same pixels again (the see-through ones now transparent): nothing changed.
    EXPECT_FALSE(map.take(argb, QRect(0, 0, 4, 2), QPoint(), 1.0));
    // A buffer without alpha keeps its pixels; one twice the size, at an offset, is sampled.
    QImage rgb = painted(QImage::Format_RGB32, QSize(4, 2));
    rgb.setPixel(1, 0, qRgb(0, 0, 0));
    EXPECT_TRUE(map.take(rgb, QRect(1, 0, 1, 1), QPoint(), 1.0));
    EXPECT_TRUE(same_pixels(map.opaque_region(), opaque + QRegion(1, 0, 1, 1)));
    EXPECT_EQ(rgb.pixel(1, 1), key);
    QImage large(QSize(10, 5), QImage::Format_ARGB32);
    large.fill(Qt::white);
    QImage inner = painted(QImage::Format_ARGB32, QSize(8, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            large.setPixel(x + 2, y + 1, inner.pixel(x, y));
    EXPECT_TRUE(map.take(large, QRect(0, 0, 4, 2), QPoint(2, 1), 2.0));
    EXPECT_TRUE(same_pixels(map.opaque_region(), opaque));
    EXPECT_EQ(qAlpha(large.pixel(5, 4)), 0);
    EXPECT_EQ(large.pixel(6, 4), qRgb(10, 20, 30));
    // Nothing left but key pixels: one pixel stays, since an empty mask is no mask.
    QImage all_key(QSize(4, 2), QImage::Format_RGB32);
    all_key.fill(key);
    KeyColourMap whole(QSize(4, 2), key);
    EXPECT_TRUE(whole.take(all_key, QRect(-5, -5, 20, 20), QPoint(), 1.0));
    EXPECT_EQ(whole.opaque_region(), QRegion(0, 0, 1, 1));
}

}  // namespace
}  // namespace permscope::app

#include "app/dir_list.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "tests/app/qt_printing.h"
#include "tests/app/stand_in_services.h"

namespace permscope::app {
namespace {

using testing::CurrentFolder;
using testing::TempFolder;

QStringList entry_texts(const DirList& list) {
    QStringList texts;
    for (int i = 0; i < list.count(); ++i)
        texts << list.item(i)->text();
    return texts;
}

QStringList ancestors_of(const QString& path) {
    QStringList texts{"/"};
    texts << path.split('/', Qt::SkipEmptyParts);
    return texts;
}

// tree/ with sub-folders "beta", "Alpha", "gamma" (gamma holds "inner"), a hidden ".cache", and a
// file that is no folder.
struct FolderTree {
    TempFolder temp;
    QString root = QString::fromStdString(temp.make_folder("tree"));
    FolderTree() {
        temp.make_folder("tree/beta");
        temp.make_folder("tree/Alpha");
        temp.make_folder("tree/gamma/inner");
        temp.make_folder("tree/.cache");
        temp.make_file("tree/notes.txt");
    }
};

TEST(DirList, OpensTheProcesssCurrentFolderAndTakesRelativePathsFromIt) {
    FolderTree tree;
    const CurrentFolder inside(tree.root.toStdString());
    DirList list;
    EXPECT_EQ(list.path(), tree.root);
    ASSERT_TRUE(list.setPath("gamma"));
    EXPECT_EQ(list.path(), tree.root + "/gamma");
}

TEST(DirList, ListsAncestorsThenVisibleSubFoldersByName) {
    FolderTree tree;
    DirList list;
    ASSERT_TRUE(list.setPath(tree.root));
    QStringList expected = ancestors_of(tree.root);
    expected << "Alpha"
             << "beta"
             << "gamma";
    EXPECT_EQ(entry_texts(list), expected);
    EXPECT_EQ(list.currentItem()->text(), "tree");  // the open folder is selected
    EXPECT_EQ(list.selected_path(), tree.root);
}

TEST(DirList, TheRootFolderIsItsOwnOnlyAncestor) {
    DirList list;
    ASSERT_TRUE(list.setPath("/"));
    EXPECT_EQ(list.path(), "/");
    EXPECT_EQ(list.item(0)->text(), "/");
    EXPECT_EQ(list.currentRow(), 0);
    for (int i = 1; i < list.count(); ++i)
        EXPECT_FALSE(list.item(i)->text().startsWith('.'));
}

TEST(DirList, CleansThePathAndEmitsChangeOnlyWhenTheFolderChanges) {
    FolderTree tree;
    DirList list;
    QSignalSpy changes(&list, &DirList::Change);
    ASSERT_TRUE(list.setPath(tree.root + "//gamma/./inner/"));
    EXPECT_EQ(list.path(), tree.root + "/gamma/inner");
    EXPECT_EQ(changes.count(), 1);
    ASSERT_TRUE(list.setPath(tree.root + "/gamma/inner"));
    EXPECT_EQ(changes.count(), 1);
    ASSERT_TRUE(list.setPath(tree.root + "/gamma/inner/.."));
    EXPECT_EQ(list.path(), tree.root + "/gamma");
    EXPECT_EQ(changes.count(), 2);
}

TEST(DirList, RefusesWhatIsNoExistingFolderAndKeepsItsList) {
    FolderTree tree;
    DirList list;
    ASSERT_TRUE(list.setPath(tree.root));
    const QStringList before = entry_texts(list);
    QSignalSpy changes(&list, &DirList::Change);
    for (const QString& refused :
         {tree.root + "/missing", tree.root + "/notes.txt", QString(), QString("/ [vda1]/"),
          QString("\\\\server\\share"), QString("//no-such-server/share")}) {
        EXPECT_FALSE(list.setPath(refused)) << refused.toStdString();
    }
    EXPECT_EQ(list.path(), tree.root);
    EXPECT_EQ(entry_texts(list), before);
    EXPECT_EQ(changes.count(), 0);
}

class DirListMouseAndKeys : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(list.setPath(tree.root));
        list.resize(300, 400);
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    }
    QPoint centre_of(const QString& text) {
        const auto found = list.findItems(text, Qt::MatchExactly);
        EXPECT_EQ(found.size(), 1);
        return list.visualItemRect(found.front()).center();
    }

    FolderTree tree;
    DirList list;
};

TEST_F(DirListMouseAndKeys, ASingleClickSelectsWithoutOpening) {
    QSignalSpy clicks(&list, &DirList::Click);
    QSignalSpy changes(&list, &DirList::Change);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centre_of("beta"));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(list.selected_path(), tree.root + "/beta");
    EXPECT_EQ(list.path(), tree.root);
}

TEST_F(DirListMouseAndKeys, ADoubleClickSelectsThenOpens) {
    QStringList order;
    QObject::connect(&list, &DirList::Click, [&] { order << "Click " + list.path(); });
    QObject::connect(&list, &DirList::Change, [&] { order << "Change " + list.path(); });
    // Through the window, as the window system delivers it: press, release, press (with the
    // double click), release.
    QTest::mouseDClick(list.windowHandle(), Qt::LeftButton, {},
                       list.viewport()->mapTo(&list, centre_of("gamma")));
    EXPECT_EQ(order, QStringList({"Click " + tree.root, "Change " + tree.root + "/gamma"}));
    EXPECT_EQ(list.path(), tree.root + "/gamma");
    EXPECT_EQ(list.currentItem()->text(), "gamma");
}

TEST_F(DirListMouseAndKeys, ArrowKeysSelectAndEnterOpens) {
    QSignalSpy clicks(&list, &DirList::Click);
    QSignalSpy changes(&list, &DirList::Change);
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Down);  // from the open folder to "Alpha"
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(list.selected_path(), tree.root + "/Alpha");
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(list.path(), tree.root + "/Alpha");
    // Enter on an ancestor opens it.
    list.setCurrentRow(0);
    QTest::keyClick(&list, Qt::Key_Enter);
    EXPECT_EQ(list.path(), "/");
}

}  // namespace
}  // namespace permscope::app

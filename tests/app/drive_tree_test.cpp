#include "app/mo_dir_reading.h"

#include <gtest/gtest.h>

#include <QTreeWidget>
#include <algorithm>
#include <filesystem>

#include "platform/linux_management.h"
#include "platform/volumes.h"
#include "tests/app/qt_printing.h"
#include "tests/app/stand_in_services.h"

namespace permscope::app {
namespace {

using testing::StandInDisk;
using testing::StandInManagement;
using testing::StandInManagementSetup;
using testing::TempFolder;

QStringList root_texts(const QTreeWidget& tree) {
    QStringList texts;
    for (int i = 0; i < tree.topLevelItemCount(); ++i)
        texts << tree.topLevelItem(i)->text(0);
    return texts;
}

QStringList sorted_children(const QTreeWidgetItem* node) {
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i) {
        texts << node->child(i)->text(0);
        EXPECT_EQ(node->child(i)->childCount(), 0);  // one folder level only
    }
    texts.sort();
    return texts;
}

// A disk root with folders, a hidden folder, a file and a link to a folder.
struct DiskRoot {
    TempFolder temp;
    DiskRoot() {
        temp.make_folder("projects");
        temp.make_folder("archive");
        temp.make_folder(".snapshots");
        temp.make_file("readme.txt");
        std::filesystem::create_directory_symlink(temp.path() + "/projects",
                                                  temp.path() + "/latest");
    }
};

StandInDisk disk(std::int64_t drivetype, const std::string& caption) {
    return StandInDisk{drivetype, caption, false};
}

TEST(FillDriveTree, OneRootPerLocalFixedDiskWithItsVisibleFolders) {
    DiskRoot data;
    TempFolder hidden_only;
    hidden_only.make_folder(".Trash-0");
    TempFolder empty;
    StandInManagementSetup setup;
    setup.disks = {disk(3, data.temp.path()), disk(2, "/media/stick"),     disk(4, "/mnt/share"),
                   disk(5, "/media/cdrom"),   disk(3, hidden_only.path()), disk(3, empty.path())};
    StandInManagement management(setup);
    QTreeWidget tree;
    fill_drive_tree(tree, management);

    EXPECT_EQ(root_texts(tree),
              QStringList({data.temp.qpath(), hidden_only.qpath(), empty.qpath()}));
    EXPECT_EQ(sorted_children(tree.topLevelItem(0)),
              QStringList({"archive", "latest", "projects"}));
    EXPECT_EQ(tree.topLevelItem(1)->childCount(), 0);
    EXPECT_EQ(tree.topLevelItem(2)->childCount(), 0);
    EXPECT_EQ(tree.indentation(), 17);  // 250 twips
    EXPECT_TRUE(tree.rootIsDecorated());
    EXPECT_EQ(tree.toolTip(), "");
    EXPECT_EQ(management.connections(),
              std::vector<std::string>{"|root\\cimv2|||(none)|(none)|128"});
}

TEST(FillDriveTree, TheFirstFailureEndsTheFillAndKeepsTheNodesSoFar) {
    DiskRoot data;
    TempFolder later;
    StandInManagementSetup setup;
    StandInDisk broken = disk(3, "/");
    broken.caption_fails = true;
    setup.disks = {disk(3, data.temp.path()), broken, disk(3, later.path())};
    StandInManagement management(setup);
    QTreeWidget tree;
    EXPECT_ANY_THROW(fill_drive_tree(tree, management));
    EXPECT_EQ(root_texts(tree), QStringList({data.temp.qpath()}));
    EXPECT_EQ(tree.topLevelItem(0)->childCount(), 3);
}

TEST(FillDriveTree, ARootThatCannotBeListedKeepsItsNodeAndEndsTheFill) {
    TempFolder later;
    StandInManagementSetup setup;
    setup.disks = {disk(3, later.path() + "/gone"), disk(3, later.path())};
    StandInManagement management(setup);
    QTreeWidget tree;
    EXPECT_ANY_THROW(fill_drive_tree(tree, management));
    EXPECT_EQ(root_texts(tree), QStringList({later.qpath() + "/gone"}));
}

TEST(FillDriveTree, NoLocatorOrNoConnectionLeavesTheTreeEmpty) {
    for (const bool locator_fails : {true, false}) {
        StandInManagementSetup setup;
        setup.locator_fails = locator_fails;
        setup.connection_fails = !locator_fails;
        setup.disks = {disk(3, "/")};
        StandInManagement management(setup);
        QTreeWidget tree;
        EXPECT_ANY_THROW(fill_drive_tree(tree, management));
        EXPECT_EQ(tree.topLevelItemCount(), 0);
    }
}

TEST(FillDriveTree, OnTheRealMountsListsTheLocalDisksAndTheirRootFolders) {
    const auto management = platform::make_linux_management();
    QTreeWidget tree;
    fill_drive_tree(tree, *management);

    QStringList local_disks;
    for (const platform::Volume& volume : platform::list_volumes())
        if (volume.drive_type == platform::kDriveLocalDisk)
            local_disks << QString::fromStdString(volume.mount_point);
    ASSERT_FALSE(local_disks.isEmpty()) << "this machine should have a local disk";
    EXPECT_EQ(root_texts(tree), local_disks);

    const QTreeWidgetItem* first = tree.topLevelItem(0);
    QStringList expected;
    for (const auto& entry : std::filesystem::directory_iterator(first->text(0).toStdString())) {
        const std::string name = entry.path().filename().string();
        if (name.front() != '.' && entry.is_directory())
            expected << QString::fromStdString(name);
    }
    expected.sort();
    EXPECT_EQ(sorted_children(first), expected);
}

}  // namespace
}  // namespace permscope::app

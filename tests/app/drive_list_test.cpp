#include "app/drive_list.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace permscope::app {
namespace {

std::vector<DriveEntry> volumes() {
    return {{"/ [vda1]", "/"},
            {"/media/stick [DATA]", "/media/stick"},
            {"/media/stick2 [sdc1]", "/media/stick2"},
            {"/mnt/share [//server/share]", "/mnt/share"}};
}

TEST(DriveList, FindsTheVolumeWithTheLongestMountPointThatHoldsAFolder) {
    EXPECT_EQ(DriveList::volume_index_of(volumes(), "/home/anna"), 0);
    EXPECT_EQ(DriveList::volume_index_of(volumes(), "/"), 0);
    EXPECT_EQ(DriveList::volume_index_of(volumes(), "/media/stick"), 1);
    EXPECT_EQ(DriveList::volume_index_of(volumes(), "/media/stick/photos"), 1);
    EXPECT_EQ(DriveList::volume_index_of(volumes(), "/media/stick2/x"), 2);
    EXPECT_EQ(DriveList::volume_index_of(volumes(), "/media/stickers"), 0);
    EXPECT_EQ(DriveList::volume_index_of({{"/data [sdb1]", "/data"}}, "/home"), -1);
    EXPECT_EQ(DriveList::volume_index_of({}, "/home"), -1);
}

TEST(DriveList, ShowsTheEntriesAndSelectsTheStartVolumeWithoutAnnouncingIt) {
    DriveList list;
    EXPECT_EQ(list.mount_point(), "");  // no entries yet
    QSignalSpy changes(&list, &DriveList::Change);
    list.set_entries(volumes());
    list.select_volume_of("/media/stick/photos");
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(list.itemText(3), "/mnt/share [//server/share]");
    EXPECT_EQ(list.currentText(), "/media/stick [DATA]");
    EXPECT_EQ(list.mount_point(), "/media/stick");
    EXPECT_EQ(changes.count(), 0);
}

TEST(DriveList, ChoosingAnotherEntryAnnouncesAChangeOfDrive) {
    DriveList list;
    list.set_entries(volumes());
    QSignalSpy changes(&list, &DriveList::Change);
    list.setCurrentIndex(3);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(list.mount_point(), "/mnt/share");
    list.setCurrentIndex(3);
    EXPECT_EQ(changes.count(), 1);
}

}  // namespace
}  // namespace permscope::app

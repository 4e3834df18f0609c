#include "platform/volumes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/linux_management.h"
#include "platform_test_support.h"

namespace permscope::platform {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

TEST(VolumeTextTest, LabelElseDeviceName) {
    EXPECT_EQ(drive_list_entry_text({"/", "/dev/vda1", "", "ext4", kDriveLocalDisk}), "/ [vda1]");
    EXPECT_EQ(drive_list_entry_text({"/media/stick", "/dev/sdb1", "DATA", "vfat", kDriveRemovable}),
              "/media/stick [DATA]");
    EXPECT_EQ(drive_list_entry_text({"/", "/dev/mapper/vg-root", "", "ext4", kDriveLocalDisk}),
              "/ [vg-root]");
    EXPECT_EQ(drive_list_entry_text({"/mnt/s", "//srv/share", "", "cifs", kDriveNetwork}),
              "/mnt/s [//srv/share]");
}

// A machine of our own making: a mount table, the kernel's block devices and udev's label links.
class CraftedVolumesTest : public ::testing::Test {
  protected:
    CraftedVolumesTest() {
        config_.mountinfo = folder_ / "mountinfo";
        config_.sys_class_block = folder_ / "block";
        config_.disk_by_label = folder_ / "by-label";
        add_disk("vda", "254:0", "0");
        add_partition("vda", "vda1", "254:1");
        add_disk("sdb", "8:16", "1");
        add_partition("sdb", "sdb1", "8:17");
        add_disk("sr0", "11:0", "1");
        add_disk("loop0", "7:0", "0");
        fs::create_directories(config_.disk_by_label);
        fs::create_symlink("../../sdb1", config_.disk_by_label + "/DATA\\x20STICK");
        fs::create_symlink("../../sr0", config_.disk_by_label + "/CD_2024");
        fs::create_directories(folder_ / "bound-folder");
        folder_.write("bound-file", "x");
    }

    void add_disk(const std::string& name, const std::string& number,
                  const std::string& removable) {
        folder_.write("devices/" + name + "/dev", number + "\n");
        folder_.write("devices/" + name + "/removable", removable + "\n");
        fs::create_directories(config_.sys_class_block);
        fs::create_directory_symlink("../devices/" + name, config_.sys_class_block + "/" + name);
    }

    // Partitions sit inside their disk's folder, as in sysfs.
    void add_partition(const std::string& disk, const std::string& name,
                       const std::string& number) {
        folder_.write("devices/" + disk + "/" + name + "/dev", number + "\n");
        folder_.write("devices/" + disk + "/" + name + "/partition", "1\n");
        fs::create_directory_symlink("../devices/" + disk + "/" + name,
                                     config_.sys_class_block + "/" + name);
    }

    std::string mountinfo() const {
        const std::string bound_folder = folder_ / "bound-folder";
        const std::string bound_file = folder_ / "bound-file";
        return "22 27 0:21 / /proc rw - proc proc rw\n"
               "27 1 254:1 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n"
               "28 27 0:25 / /run rw - tmpfs tmpfs rw\n"
               "29 27 8:17 / /media/my\\040stick rw - vfat /dev/sdb1 rw\n"
               "30 27 0:44 / /mnt/share rw - cifs //srv/public rw\n"
               "31 27 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
               "32 27 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
               "33 27 0:45 / /home/nfs rw - nfs4 server:/export rw\n"
               "34 27 0:46 / /var/lib/docker/x rw - overlay overlay rw\n"
               "35 27 254:1 /srv/data " +
               bound_folder +
               " rw - ext4 /dev/vda1 rw\n"
               "36 27 254:1 /etc/hostname " +
               bound_file +
               " rw - ext4 /dev/vda1 rw\n"
               "37 27 0:47 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
               "38 27 0:48 / /mnt/sshfs rw - fuse.sshfs me@host:/home rw\n";
    }

    TempFolder folder_;
    LinuxManagementConfig config_;
};

TEST_F(CraftedVolumesTest, RealVolumesWithTypesAndLabelsInTableOrder) {
    folder_.write("mountinfo", mountinfo());
    const auto volumes = list_volumes(config_);
    std::vector<std::string> texts;
    std::vector<int> types;
    for (const Volume& volume : volumes) {
        texts.push_back(drive_list_entry_text(volume));
        types.push_back(volume.drive_type);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "/ [vda1]",
                         "/media/my stick [DATA STICK]",
                         "/mnt/share [//srv/public]",
                         "/media/cdrom [CD_2024]",
                         "/home/nfs [server:/export]",
                         folder_ / "bound-folder" + " [vda1]",
                         "/mnt/sshfs [me@host:/home]",
                     }));
    EXPECT_EQ(types, (std::vector<int>{3, 2, 4, 5, 4, 3, 4}));
    ASSERT_FALSE(volumes.empty());
    EXPECT_EQ(volumes[0].device, "/dev/vda1");
    EXPECT_EQ(volumes[0].file_system, "ext4");
    EXPECT_EQ(volumes[1].label, "DATA STICK");
}

TEST_F(CraftedVolumesTest, LogicalDiskInstancesCarryTheSameVolumes) {
    folder_.write("mountinfo", mountinfo());
    auto services = test::connect_local(*make_linux_management(config_));
    const auto disks = services->InstancesOf("Win32_LogicalDisk");
    ASSERT_EQ(disks.size(), 7u);
    EXPECT_EQ(disks[0]->property("drivetype"), PropertyValue(std::int64_t{3}));
    EXPECT_EQ(disks[0]->property("Caption"), PropertyValue(std::string("/")));
    EXPECT_EQ(disks[0]->property("DeviceID"), PropertyValue(std::string("/dev/vda1")));
    EXPECT_EQ(disks[0]->property("VolumeName"), PropertyValue(std::string("")));
    EXPECT_EQ(disks[0]->property("FileSystem"), PropertyValue(std::string("ext4")));
    EXPECT_EQ(disks[1]->property("DriveType"), PropertyValue(std::int64_t{2}));
    EXPECT_EQ(disks[1]->property("caption"), PropertyValue(std::string("/media/my stick")));
    EXPECT_EQ(disks[1]->property("VolumeName"), PropertyValue(std::string("DATA STICK")));
    EXPECT_THROW(disks[0]->property("Size"), ManagementError);
}

TEST_F(CraftedVolumesTest, UnreadableMountTableFailsTheEnumeration) {
    EXPECT_THROW(list_volumes(config_), ManagementError);  // no mountinfo written
    auto services = test::connect_local(*make_linux_management(config_));
    EXPECT_THROW(services->InstancesOf("Win32_LogicalDisk"), ManagementError);
}

TEST(RealVolumesTest, RootVolumeOfThisMachineIsListed) {
    const auto volumes = list_volumes();
    const auto root = std::find_if(volumes.begin(), volumes.end(),
                                   [](const Volume& v) { return v.mount_point == "/"; });
    ASSERT_NE(root, volumes.end()) << "no volume at /";
    EXPECT_TRUE(root->drive_type == kDriveLocalDisk || root->drive_type == kDriveRemovable);
    EXPECT_FALSE(root->device.empty());
    EXPECT_TRUE(drive_list_entry_text(*root).starts_with("/ ["));
    for (const Volume& volume : volumes) {
        EXPECT_NE(volume.mount_point, "/proc");
        EXPECT_NE(volume.mount_point, "/sys");
        EXPECT_NE(volume.file_system, "tmpfs") << volume.mount_point;
    }
}

}  // namespace
}  // namespace permscope::platform

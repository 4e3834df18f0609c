#pragma once
// The mounted volumes of this machine: what the drive list offers and what the management layer
// reports as Win32_LogicalDisk.

#include <string>
#include <vector>

namespace permscope::platform {

// The Win32_LogicalDisk drive types that a Linux volume can have.
enum DriveType : int {
    kDriveRemovable = 2,
    kDriveLocalDisk = 3,
    kDriveNetwork = 4,
    kDriveOptical = 5,
};

// Where the volumes are read from: the mount table, the kernel's block devices and udev's label
// links. The defaults are the real system locations.
struct VolumeSources {
    std::string mountinfo = "/proc/self/mountinfo";
    std::string sys_class_block = "/sys/class/block";
    std::string disk_by_label = "/dev/disk/by-label";
};

struct Volume {
    std::string mount_point;
    std::string device;  // the mount source: "/dev/vda1", "//server/share", "server:/export"
    std::string label;   // the file system's label, empty when it has none
    std::string file_system;
    int drive_type = kDriveLocalDisk;
};

// Every mounted real volume in mount-table order: file systems on a block device (local, removable
// or optical) and network file systems. File systems without a backing device (proc, sysfs, tmpfs,
// cgroup, overlay ...), read-only package images (squashfs) and single files mounted over a file
// are not volumes. Throws ManagementError when the mount table cannot be read.
std::vector<Volume> list_volumes(const VolumeSources& sources = {});

// The drive list's text for a volume: the mount point, a blank and in brackets the label, else the
// device's name ("/ [vda1]", "/media/stick [DATA]", "/mnt/share [//server/share]").
std::string drive_list_entry_text(const Volume& volume);

}  // namespace permscope::platform

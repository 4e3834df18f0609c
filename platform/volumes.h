#pragma once
// The mounted volumes of this machine: what the drive list offers and what the management layer
// reports as Win32_LogicalDisk.

#include <string>
#include <vector>

#include "platform/linux_management.h"

namespace permscope::platform {

// The Win32_LogicalDisk drive types that a Linux volume can have.
enum DriveType : int {
    kDriveRemovable = 2,
    kDriveLocalDisk = 3,
    kDriveNetwork = 4,
    kDriveOptical = 5,
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
std::vector<Volume> list_volumes(const LinuxManagementConfig& config = {});

// The drive list's text for a volume: the mount point, a blank and in brackets the label, else the
// device's name ("/ [vda1]", "/media/stick [DATA]", "/mnt/share [//server/share]").
std::string drive_list_entry_text(const Volume& volume);

// The short name of a mount source: the last component of a /dev path, otherwise the source.
std::string device_display_name(const std::string& device);

// A udev link name decoded: "\x20" and the like become the bytes they stand for.
std::string decode_udev_escapes(const std::string& text);

}  // namespace permscope::platform

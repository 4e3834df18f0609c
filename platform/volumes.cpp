#include "platform/volumes.h"

#include <libmount/libmount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <system_error>

#include "common/owned.h"
#include "platform/domain_discovery.h"
#include "platform/management.h"

namespace permscope::platform {

namespace fs = std::filesystem;

namespace {

// One line of the mount table.
struct MountEntry {
    std::string device_number;  // "major:minor", as /sys/class/block/<name>/dev has it
    std::string root;           // the folder of the file system that is mounted, "/" for all of it
    std::string mount_point;
    std::string file_system;
    std::string source;  // "/dev/vda1", "//server/share", "server:/export", "tmpfs" ...
};

std::string text_or_empty(const char* text) {
    return text ? text : "";
}

// The mount table in table order, its escapes decoded, read by libmount.
std::vector<MountEntry> mount_table(const std::string& mountinfo) {
    const Owned<libmnt_table, mnt_unref_table> table(mnt_new_table_from_file(mountinfo.c_str()));
    const Owned<libmnt_iter, mnt_free_iter> iterator(mnt_new_iter(MNT_ITER_FORWARD));
    if (!table || !iterator) {
        throw ManagementError("cannot read the mount table " + mountinfo);
    }
    std::vector<MountEntry> entries;
    libmnt_fs* fs = nullptr;
    while (mnt_table_next_fs(table.get(), iterator.get(), &fs) == 0) {
        const dev_t device = mnt_fs_get_devno(fs);
        entries.push_back(
            MountEntry{std::to_string(major(device)) + ":" + std::to_string(minor(device)),
                       text_or_empty(mnt_fs_get_root(fs)), text_or_empty(mnt_fs_get_target(fs)),
                       text_or_empty(mnt_fs_get_fstype(fs)), text_or_empty(mnt_fs_get_source(fs))});
    }
    return entries;
}

const std::set<std::string, std::less<>> kNetworkFileSystems = {
    "nfs",        "nfs4",           "cifs",        "smb3",        "smbfs",     "ncpfs",
    "afs",        "ceph",           "glusterfs",   "lustre",      "davfs",     "sshfs",
    "fuse.sshfs", "fuse.glusterfs", "fuse.davfs2", "fuse.rclone", "fuse.s3fs", "fuse.cephfs"};

const std::set<std::string, std::less<>> kOpticalFileSystems = {"iso9660", "udf"};

// Read-only images that packaging mounts from loop devices; not volumes anyone browses.
const std::set<std::string, std::less<>> kImageFileSystems = {"squashfs", "erofs"};

// The whole content of a file; nothing when it cannot be read.
bool read_text_file(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        return false;
    }
    content = buffer.str();
    return true;
}

std::string first_line_of(const fs::path& file) {
    std::string content;
    if (!read_text_file(file.string(), content)) {
        return {};
    }
    return std::string(trim(content.substr(0, content.find('\n'))));
}

// The block devices the kernel knows, by "major:minor".
std::map<std::string, std::string> block_devices_by_number(const std::string& sys_class_block) {
    std::map<std::string, std::string> devices;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(sys_class_block, error)) {
        const std::string number = first_line_of(entry.path() / "dev");
        if (!number.empty()) {
            devices.emplace(number, entry.path().filename().string());
        }
    }
    return devices;
}

// The kernel's name of the device that holds a mount, or empty when there is none. File systems
// like btrfs report an anonymous device number, so the mount source is tried as well.
std::string kernel_device_name(const MountEntry& mount,
                               const std::map<std::string, std::string>& devices,
                               const std::string& sys_class_block) {
    if (const auto found = devices.find(mount.device_number); found != devices.end()) {
        return found->second;
    }
    if (!mount.source.starts_with("/dev/")) {
        return {};
    }
    std::error_code error;
    const fs::path resolved = fs::canonical(mount.source, error);
    if (error) {
        return {};
    }
    const std::string name = resolved.filename().string();
    return fs::exists(fs::path(sys_class_block) / name, error) ? name : std::string();
}

// A partition has no "removable" attribute of its own; its disk, one folder up, has.
bool is_removable(const std::string& sys_class_block, const std::string& name) {
    const fs::path device = fs::path(sys_class_block) / name;
    std::string value = first_line_of(device / "removable");
    if (value.empty()) {
        value = first_line_of(device / ".." / "removable");
    }
    return value == "1";
}

// A udev link name decoded: "\x20" and the like become the bytes they stand for. No library we
// link decodes these names, and asking libblkid for the label instead would read the device,
// which only root may.
std::string decode_udev_escapes(std::string_view text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char byte = 0;
        if (text.substr(i, 2) == "\\x" && i + 4 <= text.size() &&
            std::from_chars(text.data() + i + 2, text.data() + i + 4, byte, 16).ptr ==
                text.data() + i + 4) {
            result.push_back(static_cast<char>(byte));
            i += 3;
        } else {
            result.push_back(text[i]);
        }
    }
    return result;
}

std::map<std::string, std::string> labels_by_device(const std::string& disk_by_label) {
    std::map<std::string, std::string> labels;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(disk_by_label, error)) {
        const fs::path target = fs::read_symlink(entry.path(), error);
        if (error) {
            error.clear();
            continue;
        }
        labels.emplace(target.filename().string(),
                       decode_udev_escapes(entry.path().filename().string()));
    }
    return labels;
}

// Bind mounts can put a single file over another; such a mount is no volume. Network mounts are
// not examined: a server that does not answer would stall the walk.
bool mounts_a_folder(const MountEntry& mount) {
    if (mount.root == "/" || kNetworkFileSystems.contains(mount.file_system)) {
        return true;
    }
    struct stat info {};
    return ::stat(mount.mount_point.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The short name of a mount source: the last component of a /dev path, otherwise the source.
std::string device_display_name(const std::string& device) {
    if (device.starts_with("/dev/")) {
        return fs::path(device).filename().string();
    }
    return device;
}

}  // namespace

std::vector<Volume> list_volumes(const VolumeSources& config) {
    const std::vector<MountEntry> mounts = mount_table(config.mountinfo);
    const auto devices = block_devices_by_number(config.sys_class_block);
    const auto labels = labels_by_device(config.disk_by_label);
    std::vector<Volume> volumes;
    for (const MountEntry& mount : mounts) {
        Volume volume{mount.mount_point, mount.source, {}, mount.file_system, kDriveNetwork};
        if (!kNetworkFileSystems.contains(mount.file_system)) {
            if (kImageFileSystems.contains(mount.file_system)) {
                continue;
            }
            const std::string name = kernel_device_name(mount, devices, config.sys_class_block);
            if (name.empty()) {
                continue;
            }
            if (kOpticalFileSystems.contains(mount.file_system)) {
                volume.drive_type = kDriveOptical;
            } else {
                volume.drive_type =
                    is_removable(config.sys_class_block, name) ? kDriveRemovable : kDriveLocalDisk;
            }
            if (const auto label = labels.find(name); label != labels.end()) {
                volume.label = label->second;
            }
        }
        if (mounts_a_folder(mount)) {
            volumes.push_back(std::move(volume));
        }
    }
    return volumes;
}

std::string drive_list_entry_text(const Volume& volume) {
    const std::string& name =
        volume.label.empty() ? device_display_name(volume.device) : volume.label;
    return volume.mount_point + " [" + name + "]";
}

}  // namespace permscope::platform

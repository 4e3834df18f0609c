#include "platform/sub_folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/management.h"
#include "platform/moniker.h"
#include "platform/share_paths.h"

namespace permscope::platform {

namespace {

[[noreturn]] void cannot_list(const std::string& folder, int error) {
    throw ManagementError("cannot list the sub-folders of " + folder + ": " + std::strerror(error));
}

// The mount a file is on: the mount's id where the kernel tells it (a bind mount of a folder of the
// same file system has an id of its own), else the device.
struct MountOf {
    std::uint64_t id = 0;
    bool by_id = false;
    friend bool operator==(const MountOf&, const MountOf&) = default;
};

MountOf mount_of(const struct statx& info) {
    if (info.stx_mask & STATX_MNT_ID)
        return {info.stx_mnt_id, true};
    return {makedev(info.stx_dev_major, info.stx_dev_minor), false};
}

// Whether the entry of the listed folder fd is a folder to walk into. The entry is examined
// without following a link or triggering an automount. An entry that cannot be examined (the
// folder lets its names be read but not its entries be reached) counts as a folder where the
// listing says it is one: it is then reported as a folder that cannot be read.
bool is_sub_folder(int fd, const dirent& entry, const MountOf& mount, bool cross_mounts) {
    if (entry.d_type != DT_DIR && entry.d_type != DT_UNKNOWN)
        return false;
    struct statx info {};
    if (::statx(fd, entry.d_name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MNT_ID,
                &info) != 0)
        return entry.d_type == DT_DIR;
    if (!S_ISDIR(info.stx_mode))
        return false;
    return cross_mounts || mount_of(info) == mount;
}

std::vector<std::string> local_sub_folders(const std::string& folder, bool cross_mounts) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        cannot_list(folder, errno);
    struct statx own {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &own) != 0) {
        const int error = errno;
        ::close(fd);
        cannot_list(folder, error);
    }
    DIR* listing = ::fdopendir(fd);
    if (!listing) {
        const int error = errno;
        ::close(fd);
        cannot_list(folder, error);
    }
    std::vector<std::string> names;
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(listing);
        if (!entry) {
            error = errno;
            break;
        }
        const std::string_view name = entry->d_name;
        if (name != "." && name != ".." && is_sub_folder(fd, *entry, mount_of(own), cross_mounts))
            names.emplace_back(name);
    }
    ::closedir(listing);
    if (error != 0)
        cannot_list(folder, error);
    return names;
}

}  // namespace

std::vector<std::string> list_sub_folders(const std::string& folder, bool cross_mounts,
                                          const SmbOptions& smb) {
    // A share is listed over SMB whichever way it is named, as its access lists are read.
    const auto moniker = parse_moniker(moniker_for_path(folder));
    std::optional<std::string> share;
    if (moniker && moniker->object_class == MonikerClass::ShareSecuritySetting)
        share = folder;
    else
        share = desktop_share_path(folder);
    std::vector<std::string> names =
        share ? share_sub_folder_names(*share, smb) : local_sub_folders(folder, cross_mounts);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace permscope::platform

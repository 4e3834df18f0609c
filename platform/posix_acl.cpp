#include "platform/posix_acl.h"

#include <acl/libacl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/acl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <type_traits>

#include <vector>
#include "common/owned.h"

namespace permscope::platform {

namespace {

constexpr std::int32_t kFullControl = 0x1F01FF;
constexpr std::int32_t kChange = 0x1301BF;
constexpr std::int32_t kReadExecute = 0x1200A9;
constexpr std::int32_t kRead = 0x120089;
constexpr std::int32_t kWrite = 0x100116;
constexpr std::int32_t kReadWrite = 0x12019F;
constexpr std::int32_t kWriteExecute = 0x1201B6;
constexpr std::int32_t kExecute = 0x1200A0;

struct Permissions {
    bool read = false;
    bool write = false;
    bool execute = false;
};

using AclHandle = Owned<std::remove_pointer_t<acl_t>, acl_free>;

Permissions permissions_of(acl_entry_t entry) {
    acl_permset_t permset = nullptr;
    if (acl_get_permset(entry, &permset) != 0) {
        return {};
    }
    return {acl_get_perm(permset, ACL_READ) == 1, acl_get_perm(permset, ACL_WRITE) == 1,
            acl_get_perm(permset, ACL_EXECUTE) == 1};
}

Permissions limited_by(Permissions permissions, const Permissions& mask) {
    permissions.read = permissions.read && mask.read;
    permissions.write = permissions.write && mask.write;
    permissions.execute = permissions.execute && mask.execute;
    return permissions;
}

unsigned qualifier_of(acl_entry_t entry) {
    void* qualifier = acl_get_qualifier(entry);
    if (qualifier == nullptr) {
        return 0;
    }
    const unsigned id = *static_cast<const id_t*>(qualifier);
    acl_free(qualifier);
    return id;
}

// One ACL entry as read, before the mask is applied.
struct RawEntry {
    acl_tag_t tag = ACL_UNDEFINED_TAG;
    unsigned id = 0;
    Permissions permissions;
};

std::vector<RawEntry> raw_entries_of(acl_t acl) {
    std::vector<RawEntry> entries;
    acl_entry_t entry = nullptr;
    for (int which = ACL_FIRST_ENTRY; acl_get_entry(acl, which, &entry) == 1;
         which = ACL_NEXT_ENTRY) {
        RawEntry raw;
        if (acl_get_tag_type(entry, &raw.tag) != 0) {
            continue;
        }
        if (raw.tag == ACL_USER || raw.tag == ACL_GROUP) {
            raw.id = qualifier_of(entry);
        }
        raw.permissions = permissions_of(entry);
        entries.push_back(raw);
    }
    return entries;
}

// getpwuid_r and getgrgid_r want a buffer of a size the caller guesses; grow it on ERANGE.
template <typename Record, typename Lookup>
std::string name_by_lookup(unsigned id, Lookup lookup) {
    std::vector<char> buffer(1024);
    for (;;) {
        Record record{};
        Record* result = nullptr;
        const int error =
            lookup(static_cast<id_t>(id), &record, buffer.data(), buffer.size(), &result);
        if (error == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 4);
            continue;
        }
        if (error != 0 || result == nullptr) {
            return std::to_string(id);
        }
        if constexpr (std::is_same_v<Record, struct passwd>) {
            return account_name_without_domain(result->pw_name);
        } else {
            return account_name_without_domain(result->gr_name);
        }
    }
}

std::string trustee_of(const RawEntry& entry, const struct stat& info) {
    switch (entry.tag) {
        case ACL_USER_OBJ:
            return user_name_of(info.st_uid);
        case ACL_USER:
            return user_name_of(entry.id);
        case ACL_GROUP_OBJ:
            return group_name_of(info.st_gid);
        case ACL_GROUP:
            return group_name_of(entry.id);
        default:
            return "Everyone";
    }
}

bool is_limited_by_mask(acl_tag_t tag) {
    return tag == ACL_USER || tag == ACL_GROUP || tag == ACL_GROUP_OBJ;
}

// File systems without ACL support (vfat, proc, some FUSE file systems) still have permission
// bits; their access list is the one those bits stand for.
acl_t access_acl_of(const std::string& path, const struct stat& info) {
    acl_t acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
    if (acl == nullptr && (errno == ENOTSUP || errno == ENOSYS)) {
        acl = acl_from_mode(info.st_mode);
    }
    return acl;
}

// The access mask that stands for a POSIX permission triple. Read, write and execute on the owner
// entry (the one account that may change the permissions) is full control; on any other entry it is
// "change". The other combinations map to the nearest Windows file rights.
std::int32_t access_mask_of_permissions(bool read, bool write, bool execute, bool owner_entry) {
    if (read && write && execute) {
        return owner_entry ? kFullControl : kChange;
    }
    if (read && write) {
        return kReadWrite;
    }
    if (read && execute) {
        return kReadExecute;
    }
    if (write && execute) {
        return kWriteExecute;
    }
    if (read) {
        return kRead;
    }
    if (write) {
        return kWrite;
    }
    if (execute) {
        return kExecute;
    }
    return 0;
}

}  // namespace

std::string user_name_of(unsigned id) {
    return name_by_lookup<struct passwd>(id, getpwuid_r);
}

std::string group_name_of(unsigned id) {
    return name_by_lookup<struct group>(id, getgrgid_r);
}

std::string account_name_without_domain(std::string_view name) {
    if (const auto backslash = name.rfind('\\'); backslash != std::string_view::npos) {
        name.remove_prefix(backslash + 1);
    }
    if (const auto at = name.find('@'); at != std::string_view::npos && at > 0) {
        name = name.substr(0, at);
    }
    return std::string(name);
}

std::vector<AccessEntry> read_posix_access_acl(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw ManagementError("cannot examine " + path + ": " + std::strerror(errno));
    }
    const AclHandle acl(access_acl_of(path, info));
    if (acl.get() == nullptr) {
        throw ManagementError("cannot read the access list of " + path + ": " +
                              std::strerror(errno));
    }
    const std::vector<RawEntry> raw = raw_entries_of(acl.get());
    Permissions mask{true, true, true};
    for (const RawEntry& entry : raw) {
        if (entry.tag == ACL_MASK) {
            mask = entry.permissions;
        }
    }
    std::vector<AccessEntry> entries;
    for (const RawEntry& entry : raw) {
        if (entry.tag == ACL_MASK) {
            continue;
        }
        const Permissions effective =
            is_limited_by_mask(entry.tag) ? limited_by(entry.permissions, mask) : entry.permissions;
        entries.push_back(
            AccessEntry{trustee_of(entry, info),
                        access_mask_of_permissions(effective.read, effective.write,
                                                   effective.execute, entry.tag == ACL_USER_OBJ),
                        AceType::Allow,
                        {}});
    }
    return entries;
}

}  // namespace permscope::platform

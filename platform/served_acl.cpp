#include "platform/served_acl.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/nfs4_acl.h"
#include "platform/nt_descriptor.h"

namespace permscope::platform {

namespace {

enum class Format { NtDescriptor, Nfs4 };

struct ServedAttribute {
    const char* name;
    Format format;
};

constexpr ServedAttribute kServedAttributes[] = {
    {"system.cifs_ntsd", Format::NtDescriptor},
    {"system.smb3_ntsd", Format::NtDescriptor},
    {"system.nfs4_acl", Format::Nfs4},
};

// An NT access list holds at most 64 KiB; an NFSv4 one is bounded by the server's reply size.
constexpr std::size_t kLargestAttribute = 4u << 20;

bool is_not_served(int error) {
    return error == ENODATA || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

// The caller cannot read it, as for a local folder whose ACL it may not read: no message.
bool is_refused(int error) {
    return error == EACCES || error == EPERM;
}

[[noreturn]] void fail_reading(const std::string& path, const char* attribute, int error) {
    const std::string text =
        "cannot read " + std::string(attribute) + " of " + path + ": " + std::strerror(error);
    if (is_refused(error))
        throw ManagementError(text);
    throw ShareServerError("The file server behind " + path +
                           " did not give the folder's access list (" + std::strerror(error) +
                           "). The lists are empty.");
}

// The attribute's bytes; nothing when the file system does not serve it. The size is asked first;
// an attribute that grows in between is asked again.
std::optional<std::string> attribute_of(const std::string& path, const char* name) {
    for (;;) {
        const ssize_t size = ::getxattr(path.c_str(), name, nullptr, 0);
        if (size < 0) {
            if (is_not_served(errno))
                return std::nullopt;
            fail_reading(path, name, errno);
        }
        if (static_cast<std::size_t>(size) > kLargestAttribute)
            fail_reading(path, name, E2BIG);
        std::string bytes(static_cast<std::size_t>(size), '\0');
        const ssize_t got = ::getxattr(path.c_str(), name, bytes.data(), bytes.size());
        if (got >= 0) {
            bytes.resize(static_cast<std::size_t>(got));
            return bytes;
        }
        if (errno != ERANGE) {
            if (is_not_served(errno))
                return std::nullopt;
            fail_reading(path, name, errno);
        }
    }
}

}  // namespace

std::optional<SecurityDescriptor> read_served_access_list(const std::string& path,
                                                          const struct stat& info) {
    for (const ServedAttribute& attribute : kServedAttributes) {
        const std::optional<std::string> bytes = attribute_of(path, attribute.name);
        if (!bytes)
            continue;
        try {
            if (attribute.format == Format::NtDescriptor)
                return SecurityDescriptor{parse_self_relative_descriptor(*bytes), {}};
            return SecurityDescriptor{
                nfs4_access_entries(parse_nfs4_acl(*bytes), info.st_uid, info.st_gid), {}};
        } catch (const ManagementError& error) {
            throw ManagementError(std::string(attribute.name) + " of " + path + ": " +
                                  error.what());
        }
    }
    return std::nullopt;
}

}  // namespace permscope::platform

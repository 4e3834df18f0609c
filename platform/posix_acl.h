#pragma once
// A local folder's POSIX access ACL, presented as the entries of a Windows access list.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/management.h"

namespace permscope::platform {

// An account name without its domain: "DOMAIN\name" and "name@domain" both give "name".
std::string account_name_without_domain(std::string_view name);

// The name of a user or group id by the system's name service, without its domain; the id in
// decimal when the id has no name.
std::string user_name_of(unsigned id);
std::string group_name_of(unsigned id);

// The entries of the access ACL of path, in libacl's order (owner, named users, owning group, named
// groups, others): the owner under its user name, named users and groups under theirs, the owning
// group under its group name, others as "Everyone". The mask entry limits the named users, the
// named groups and the owning group and is not listed; the default ACL is not read. A file without
// an extended ACL, or on a file system without ACL support, gives its three permission classes.
// Throws ManagementError when the ACL cannot be read.
std::vector<AccessEntry> read_posix_access_acl(const std::string& path);

}  // namespace permscope::platform

#pragma once
// The access list that a folder's file system serves itself, beside the POSIX bits: the NT
// descriptor of a folder on a CIFS/SMB3 mount (system.cifs_ntsd, system.smb3_ntsd, with or
// without the cifsacl option; any FUSE or bind mount that serves the same attributes too) and the
// NFSv4 access list of a folder on an NFSv4 mount (system.nfs4_acl). Where a share server decides
// who may do what, that list is what it enforces; the owner, group and mode bits the client shows
// are made up from the mount options.

#include <sys/stat.h>

#include <optional>
#include <string>

#include "platform/management.h"

namespace permscope::platform {

// Asks the file system for those attributes, in that order, and reads the first it serves. Nothing
// when it serves none of them (no such attribute, not supported): a local folder costs three
// getxattr calls and no wait. info is the folder's stat, for the owner of NFSv4's OWNER@/GROUP@.
//
// Throws ManagementError when the attribute is there but cannot be read (a folder whose access
// list does not let us read it) or does not parse; ShareServerError when the file system could
// not get it from its server (the server is gone, timed out, the mount's daemon is not there).
std::optional<SecurityDescriptor> read_served_access_list(const std::string& path,
                                                          const struct stat& info);

}  // namespace permscope::platform

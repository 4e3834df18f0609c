#pragma once
// The sub-folders that a walk over a folder tree goes into, for local folders and share paths.

#include <string>
#include <vector>

#include "platform/smb_share.h"

namespace permscope::platform {

// The names of the folder's sub-folders, in byte order. A symbolic link is left out, whatever it
// points to; so is a mount point (a folder on another mount than the folder, a bind mount
// included) unless cross_mounts is set. A share path (two leading "\" or "/"), or a path that
// stands for one (desktop_share_path), is listed over SMB (a share has no mount points to leave
// out), any other path as a local folder. Throws ManagementError, naming the folder and the
// cause, when the folder cannot be listed.
std::vector<std::string> list_sub_folders(const std::string& folder, bool cross_mounts,
                                          const SmbOptions& smb = {});

}  // namespace permscope::platform

#pragma once
// Folder paths that reach a folder on an SMB share without being a share path: paths under the
// desktop's own SMB mounts and smb:// addresses. The management layer reads them over SMB, as the
// share path they stand for, so that the server's NT access list is shown instead of the access
// bits that the desktop's file system makes up.

#include <optional>
#include <string>
#include <string_view>

namespace permscope::platform {

// The share path ("\\server\share\dir") that folder_path stands for:
//   …/gvfs/smb-share:server=S,share=SH[,…]/dir    GNOME's gvfs (values percent-decoded; also
//                                                 under ~/.gvfs)
//   …/kio-fuse-XXXXXX/smb/[user@]S[:port]/SH/dir  KDE's kio-fuse
//   smb://[user@]S[:port]/SH/dir                  an SMB address (components percent-decoded)
// Nothing for any other path, and for one that names no server or no share.
std::optional<std::string> desktop_share_path(std::string_view folder_path);

}  // namespace permscope::platform

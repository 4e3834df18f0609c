#pragma once
// The management-service moniker that names a folder's security setting.

#include <string>

namespace permscope::rights {

// A path whose first two characters are both "\" or both "/" names a folder on a share:
//   winmgmts:Win32_LogicalShareSecuritySetting.name='<path>'
// any other path a local folder:
//   winmgmts:Win32_LogicalFileSecuritySetting.path='<path>'
// The path goes in unchanged: nothing is escaped, doubled or trimmed.
std::string moniker_for_path(const std::string& strpath);

// True for a path of the share form ("\\server\share…" or "//server/share…").
bool is_share_path(const std::string& strpath);

}  // namespace permscope::rights

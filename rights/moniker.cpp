#include "rights/moniker.h"

namespace permscope::rights {

namespace {
constexpr const char* kShareMonikerPrefix = "winmgmts:Win32_LogicalShareSecuritySetting.name='";
constexpr const char* kFileMonikerPrefix = "winmgmts:Win32_LogicalFileSecuritySetting.path='";
}  // namespace

bool is_share_path(const std::string& strpath) {
    if (strpath.size() < 2)
        return false;
    const char first = strpath[0];
    return (first == '\\' || first == '/') && strpath[1] == first;
}

std::string moniker_for_path(const std::string& strpath) {
    const char* prefix = is_share_path(strpath) ? kShareMonikerPrefix : kFileMonikerPrefix;
    return prefix + strpath + "'";
}

}  // namespace permscope::rights

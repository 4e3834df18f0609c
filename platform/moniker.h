#pragma once
// The object paths ("monikers") that name a folder's security setting: the folder read builds
// them, the management layer binds them.

#include <optional>
#include <string>
#include <string_view>

namespace permscope::platform {

enum class MonikerClass { FileSecuritySetting, ShareSecuritySetting };

struct Moniker {
    MonikerClass object_class;
    std::string key_value;  // the path or share name between the quotes
};

// A path whose first two characters are both "\" or both "/" names a folder on a share:
//   winmgmts:Win32_LogicalShareSecuritySetting.name='<path>'
// any other path a local folder:
//   winmgmts:Win32_LogicalFileSecuritySetting.path='<path>'
// The path goes in unchanged: nothing is escaped, doubled or trimmed.
std::string moniker_for_path(const std::string& strpath);

// Those two forms (prefix, class and key without regard to case). The value is everything
// between the first "='" and the final "'", so it may itself hold apostrophes. Any other text
// gives nothing.
std::optional<Moniker> parse_moniker(std::string_view moniker);

}  // namespace permscope::platform

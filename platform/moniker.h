#pragma once
// The object paths ("monikers") the management layer binds.

#include <optional>
#include <string>
#include <string_view>

namespace permscope::platform {

enum class MonikerClass { FileSecuritySetting, ShareSecuritySetting };

struct Moniker {
    MonikerClass object_class;
    std::string key_value;  // the path or share name between the quotes
};

// "winmgmts:Win32_LogicalFileSecuritySetting.path='P'" and
// "winmgmts:Win32_LogicalShareSecuritySetting.name='N'" (prefix, class and key without regard to
// case). The value is everything between the first "='" and the final "'", so it may itself hold
// apostrophes. Any other text gives nothing.
std::optional<Moniker> parse_moniker(std::string_view moniker);

}  // namespace permscope::platform

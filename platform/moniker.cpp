#include "platform/moniker.h"

#include "platform/domain_discovery.h"

namespace permscope::platform {

namespace {

constexpr std::string_view kScheme = "winmgmts:";

struct KnownClass {
    std::string_view name;
    std::string_view key;
    MonikerClass object_class;
};

constexpr KnownClass kKnownClasses[] = {
    {"Win32_LogicalFileSecuritySetting", "path", MonikerClass::FileSecuritySetting},
    {"Win32_LogicalShareSecuritySetting", "name", MonikerClass::ShareSecuritySetting},
};

bool is_share_path(const std::string& strpath) {
    return strpath.size() >= 2 && (strpath[0] == '\\' || strpath[0] == '/') &&
           strpath[1] == strpath[0];
}

}  // namespace

std::string moniker_for_path(const std::string& strpath) {
    const KnownClass& known = kKnownClasses[is_share_path(strpath) ? 1 : 0];
    return std::string(kScheme) + std::string(known.name) + "." + std::string(known.key) + "='" +
           strpath + "'";
}

std::optional<Moniker> parse_moniker(std::string_view moniker) {
    if (!starts_with_ignoring_case(moniker, kScheme)) {
        return std::nullopt;
    }
    const std::string_view object_path = moniker.substr(kScheme.size());
    const auto value_start = object_path.find("='");
    if (value_start == std::string_view::npos || object_path.size() < value_start + 3 ||
        object_path.back() != '\'') {
        return std::nullopt;
    }
    const std::string_view class_and_key = object_path.substr(0, value_start);
    const auto dot = class_and_key.find('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view class_name = class_and_key.substr(0, dot);
    const std::string_view key = class_and_key.substr(dot + 1);
    for (const KnownClass& known : kKnownClasses) {
        if (equals_ignoring_case(class_name, known.name) && equals_ignoring_case(key, known.key)) {
            const auto value = object_path.substr(value_start + 2);
            return Moniker{known.object_class, std::string(value.substr(0, value.size() - 1))};
        }
    }
    return std::nullopt;
}

}  // namespace permscope::platform

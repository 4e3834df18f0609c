#pragma once
// A reader for the INI-style configuration files of SSSD and Samba: "[section]" headers,
// "key = value" lines, comment lines starting with "#" or ";", and Samba's line continuation with a
// trailing backslash. Key names are compared the way both programs do: without regard to case,
// blanks or underscores ("ID_Provider" and "id provider" are the same key).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace permscope::platform {

struct IniSection {
    std::string name;  // as written, without the brackets and surrounding blanks
    std::vector<std::pair<std::string, std::string>> entries;  // normalised key, trimmed value

    // The last value of the key in this section (later lines override earlier ones).
    std::optional<std::string> value(std::string_view key) const;
};

// The sections in file order. Lines before the first header belong to a section with an empty name.
std::vector<IniSection> parse_ini(std::string_view text);

// Lower case with blanks and underscores removed.
std::string normalise_ini_key(std::string_view key);

}  // namespace permscope::platform

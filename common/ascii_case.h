#pragma once
// Comparisons without regard to case for the protocol words the program handles: attribute and
// field names, class names, keywords, configuration keys. ASCII only: these are never anything
// else, and folding other letters would need a locale the program does not want to depend on.

#include <string>
#include <string_view>

namespace permscope {

std::string ascii_lower(std::string_view text);
bool equals_ignoring_case(std::string_view a, std::string_view b);
bool starts_with_ignoring_case(std::string_view text, std::string_view prefix);

}  // namespace permscope

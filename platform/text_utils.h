#pragma once
// Small text helpers of the management layer (ASCII only: the names they compare are ASCII).

#include <string>
#include <string_view>

namespace permscope::platform {

std::string ascii_lower(std::string_view text);
bool equals_ignoring_case(std::string_view a, std::string_view b);
bool starts_with_ignoring_case(std::string_view text, std::string_view prefix);
// Removes blanks, tabs and line ends at both ends.
std::string_view trim(std::string_view text);
// The whole content of a file; nothing when it cannot be read.
bool read_text_file(const std::string& path, std::string& content);

}  // namespace permscope::platform

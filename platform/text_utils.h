#pragma once
// Small text helpers of the management layer.

#include <string>
#include <string_view>

#include "common/ascii_case.h"

namespace permscope::platform {

// Removes blanks, tabs and line ends at both ends.
std::string_view trim(std::string_view text);
// The whole content of a file; nothing when it cannot be read.
bool read_text_file(const std::string& path, std::string& content);

}  // namespace permscope::platform

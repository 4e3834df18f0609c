#pragma once
// Small text helpers of the management layer, and the reading of the configuration files that
// start-up depends on.

#include <cstddef>
#include <string>
#include <string_view>

#include "common/ascii_case.h"

namespace permscope::platform {

// Removes blanks, tabs and line ends at both ends.
std::string_view trim(std::string_view text);
// The whole content of a file; nothing when it cannot be read.
bool read_text_file(const std::string& path, std::string& content);

// Configuration files are the administrator's, but a damaged one (a 50 MB line, 200,000
// sections) must not stall the start: of each, at most this much is read.
inline constexpr std::size_t kConfigFileLimit = std::size_t{1} << 20;

// The content of a regular configuration file: all of it up to kConfigFileLimit bytes; of a
// longer one its lines up to the limit (a line the limit cuts is left out), and stderr says so.
// Empty when the file cannot be read or is no regular file (a FIFO is never waited on).
std::string read_config_file(const std::string& path);

// libkrb5 and libldap read krb5.conf and ldap.conf themselves. Where one of those files (as
// KRB5_CONFIG and LDAPCONF name them, else the system's) is longer than kConfigFileLimit, the
// library is pointed at an in-memory copy of what read_config_file reads of it. Runs before
// either library is first used; later calls do nothing.
void limit_library_configuration();

}  // namespace permscope::platform

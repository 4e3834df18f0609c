#pragma once
// Reads the kernel's mount table in the format of /proc/<pid>/mountinfo.

#include <string>
#include <string_view>
#include <vector>

namespace permscope::platform {

struct MountEntry {
    std::string device_number;  // "major:minor"
    std::string root;           // the folder of the file system that is mounted, "/" for all of it
    std::string mount_point;
    std::string file_system;
    std::string source;  // "/dev/vda1", "//server/share", "server:/export", "tmpfs" ...
};

// Entries in table order; lines that do not have the format are passed over. The octal escapes
// the kernel writes for blanks, tabs, line ends and backslashes ("\040") are decoded.
std::vector<MountEntry> parse_mountinfo(std::string_view text);

std::string decode_octal_escapes(std::string_view text);

}  // namespace permscope::platform

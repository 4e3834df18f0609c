#pragma once
// The binary NT security descriptor that a file system serves for a folder on a mounted share
// (the Linux CIFS client's system.cifs_ntsd / system.smb3_ntsd: the server's self-relative
// descriptor, exactly as it sent it).

#include <optional>
#include <string_view>
#include <vector>

#include "platform/management.h"

namespace permscope::platform {

// The access entries of a self-relative descriptor's DACL, in the descriptor's order: allow and
// deny entries of every kind (plain, object, callback), each with its mask as a signed 32-bit
// number. Audit, alarm and label entries grant nothing and are left out; inheritance flags are not
// read. A well-known trustee gets its name (well_known_sid_name); any other keeps its SID text as
// trustee name and as unnamed_sid. Nothing when the descriptor carries no DACL.
//
// Throws ManagementError for bytes that are not such a descriptor: a header, owner, group, access
// list or entry that runs past the end of the bytes (or of its own access list), an offset that
// points into the header, a revision other than 1, a descriptor that is not self-relative.
std::optional<std::vector<AccessEntry>> parse_self_relative_descriptor(std::string_view bytes);

}  // namespace permscope::platform

#pragma once
// The NFSv4 access list that the Linux NFS client serves for a folder in system.nfs4_acl: the
// server's ACL attribute in XDR (RFC 7530: a count, then per entry type, flags, access mask and
// the "who" text, each word big-endian, texts padded to four bytes).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/management.h"

namespace permscope::platform {

struct Nfs4Entry {
    std::uint32_t type = 0;  // 0 allow, 1 deny, 2 audit, 3 alarm
    std::uint32_t flags = 0;
    std::uint32_t mask = 0;
    std::string who;
};

// The entries in their order. Throws ManagementError for bytes that are not such a list: a count
// or a text length that runs past the end, or bytes left over after the last entry.
std::vector<Nfs4Entry> parse_nfs4_acl(std::string_view xdr);

// The access entries of a folder owned by owner_uid and owner_gid, in order. Audit and alarm
// entries grant nothing and are left out; the inheritance flags are not read. The mask goes over
// unchanged (NFSv4's bits are those of NT masks), as a signed 32-bit number. Trustees: OWNER@ the
// owning user's name, GROUP@ the owning group's, EVERYONE@ "Everyone", the other special
// principals their Windows names (AUTHENTICATED@ "Authenticated Users" …), "name@domain" the name;
// a decimal id the account's name (a group's where the entry's group flag is set); a who that
// names no account stays as written.
std::vector<AccessEntry> nfs4_access_entries(const std::vector<Nfs4Entry>& entries,
                                             unsigned owner_uid, unsigned owner_gid);

}  // namespace permscope::platform

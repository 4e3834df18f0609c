#pragma once
// NT security descriptors of folders on SMB shares, read with libsmbclient.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/management.h"

namespace permscope::platform {

// The smb:// address of a share path: "\\server\share\dir" or "//server/share/dir" (after the two
// leading characters "\" and "/" both separate) gives "smb://server/share/dir". Empty components
// are dropped and every byte outside the unreserved set is percent-encoded. Throws ManagementError
// when the path does not start with two separators, names no server or holds a NUL byte.
std::string smb_url_of_share_path(std::string_view share_path);

// The access entries of a descriptor in libsmbclient's text form
// ("REVISION:1,OWNER:…,GROUP:…,ACL:DOMAIN\name:type/flags/0xMASK,…"), in its order. The trustee is
// the name after the last "\" (an unresolved SID text stays as it is), the mask its 32 bits read as
// a signed number, type 0 allow and 1 deny. Throws ManagementError on an entry that does not parse.
std::vector<AccessEntry> parse_nt_security_descriptor(std::string_view text);

struct SmbOptions {
    std::uint16_t port = 445;
    std::chrono::milliseconds timeout{5000};
    // Room for the descriptor text at the first try; a longer text is read again with more.
    std::size_t first_read_size = 4096;
};

// One connection context to the server of one share path. Opening it checks that the path exists
// (the moniker binding); a server that does not answer fails within the time-out. Kerberos is used
// when the user holds a ticket; otherwise the session is anonymous (a guest on servers that map
// unknown users to the guest account).
class SmbShareFolder {
  public:
    SmbShareFolder(std::string_view share_path, const SmbOptions& options);
    ~SmbShareFolder();
    SmbShareFolder(const SmbShareFolder&) = delete;
    SmbShareFolder& operator=(const SmbShareFolder&) = delete;

    // The descriptor text of the folder, account names resolved where the server can.
    std::string security_descriptor_text();

  private:
    struct Context;
    std::unique_ptr<Context> context_;
    std::string url_;
    std::size_t first_read_size_;
};

}  // namespace permscope::platform

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
    // Upper bound of each wait on the share's connection.
    std::chrono::milliseconds timeout{5000};
    // Upper bound of the whole read, the account-name lookup's own connection included: past it
    // the read ends and the server is reported as stalled.
    std::chrono::milliseconds deadline{15000};
    // Room for the descriptor text at the first try; a longer text is read again with more.
    std::size_t first_read_size = 4096;
};

// One read of a folder on a share: the folder is looked up (the moniker binding) and its
// descriptor read with account names, in one connection context that lives in a child process,
// so that nothing the server does (or fails to do) can hold the read past the deadline, and the
// context's teardown costs no wait. Kerberos is used when the user holds a ticket; otherwise the
// session is anonymous (a guest on servers that map unknown users to the guest account).
//
// What fails is told apart: a path that names no folder, or a folder whose access list does not
// let us read it, throws ManagementError; a server that cannot be reached, stops answering, drops
// the connection or refuses the session throws ShareServerError, whose text names the server and
// the cause for the user.
class SmbShareFolder {
  public:
    // Throws when the folder cannot be looked up (see above).
    SmbShareFolder(std::string_view share_path, const SmbOptions& options);

    // The descriptor text of the folder, account names resolved where the server could. Throws
    // what reading it met.
    const std::string& security_descriptor_text() const;

    // Why the server named no account although it should have (its account-name lookup failed),
    // for the user; empty when the lookup ran, so that a SID in the text is one it does not know.
    const std::string& name_lookup_problem() const { return name_lookup_problem_; }

  private:
    std::string text_;
    std::string name_lookup_problem_;
    std::string descriptor_error_;  // set when the descriptor could not be read
    bool descriptor_error_for_user_ = false;
};

// The names of the sub-folders of a folder on a share, in the server's order, listed in a child
// process as the descriptor is read. Throws ShareServerError when the server fails the listing (its
// text names the server and the cause), ManagementError when the folder cannot be listed.
std::vector<std::string> share_sub_folder_names(std::string_view share_path,
                                                const SmbOptions& options);

}  // namespace permscope::platform

#pragma once
// The Linux provider of the management layer: domains from the system's SSSD, Samba, Kerberos and
// LDAP client configuration, disks from the mount table, folder access lists from POSIX ACLs
// (local folders), the NT or NFSv4 access lists that mounted shares serve, and NT security
// descriptors read over SMB (share paths, the desktop's SMB mounts, smb:// addresses).

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/domain_discovery.h"
#include "platform/management.h"
#include "platform/volumes.h"

namespace permscope::platform {

// Where the provider looks. The defaults are the real system locations; tests point them at
// files of their own.
struct LinuxManagementConfig : DomainSources, VolumeSources {
    // Port of the SMB connection that opens a share. libsmbclient makes the connection that looks
    // up account names on the standard port (445) whatever is set here.
    std::uint16_t smb_port = 445;
    // Upper bound for each wait on an SMB server, so that a silent server cannot stall a read.
    std::chrono::milliseconds smb_timeout{5000};
    // Upper bound of one share read as a whole, the server's account-name lookup included.
    std::chrono::milliseconds smb_deadline{15000};
};

std::unique_ptr<ManagementLayer> make_linux_management(LinuxManagementConfig config = {});

}  // namespace permscope::platform

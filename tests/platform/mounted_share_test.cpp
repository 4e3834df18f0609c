// Folders on mounted shares, against the real interfaces: a FUSE file system whose folders serve
// system.cifs_ntsd / system.smb3_ntsd with descriptors captured from a private smbd's folders and
// system.nfs4_acl with lists built to RFC 7530's layout; and the desktop's SMB mount paths and
// smb:// addresses, read over SMB from that smbd.

#include <gtest/gtest.h>

#include "platform/linux_management.h"
#include "tests/fixtures/attribute_folders.h"
#include "tests/fixtures/private_smbd.h"

namespace permscope::platform {
namespace {

using permscope::testing::AttributeFolders;
using permscope::testing::NtAce;
using Lines = std::vector<std::string>;

std::string moniker(const std::string& path, bool share) {
    return share ? "winmgmts:Win32_LogicalShareSecuritySetting.name='" + path + "'"
                 : "winmgmts:Win32_LogicalFileSecuritySetting.path='" + path + "'";
}

// "name:MASK" per entry, "!" before a deny entry, "?" after a trustee still to be named.
Lines entries_of(const std::string& path, bool share = false) {
    Lines lines;
    const auto descriptor =
        make_linux_management()->GetObject(moniker(path, share))->GetSecurityDescriptor();
    for (const AccessEntry& e : descriptor.dacl.value()) {
        char mask[16];
        std::snprintf(mask, sizeof mask, "%X", static_cast<unsigned>(e.access_mask));
        lines.push_back((e.type == AceType::Deny ? "!" : "") + e.trustee_name +
                        (e.unnamed_sid.empty() ? "" : "?") + ":" + mask);
    }
    return lines;
}

std::string word(std::uint32_t value) {
    std::string bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes += static_cast<char>((value >> shift) & 0xFF);
    return bytes;
}

// One NFSv4 entry in XDR: type, flags, mask, who padded to four bytes.
std::string nfs4_entry(std::uint32_t type, std::uint32_t flags, std::uint32_t mask,
                       const std::string& who) {
    return word(type) + word(flags) + word(mask) + word(static_cast<std::uint32_t>(who.size())) +
           who + std::string((4 - who.size() % 4) % 4, '\0');
}

TEST(MountedShare, ACapturedDescriptorReadsAsTheShareServerReadsTheSameFolder) {
    auto& server = permscope::testing::shared_private_smbd();
    server.make_folder("Erfasst");
    server.set_nt_acl("Erfasst", {{"S-1-1-0", true, 0, 0x100116},
                                  {"S-1-5-11", false, 0, 0x1200A9},
                                  {"S-1-1-0", false, 0, 0x120089},
                                  {"S-1-5-32-544", false, 0, 0x1F01FF},
                                  {"S-1-5-18", false, 3, 0x1F01FF},
                                  {"S-1-5-21-9-9-9-1234", false, 0, 0x120089},
                                  {"S-1-1-0", false, 11, 0x10000000}});
    const std::string bytes = server.security_descriptor_bytes("Erfasst");
    AttributeFolders mounted({{"cifs", {{"system.cifs_ntsd", bytes}}},
                              {"smb3", {{"system.smb3_ntsd", bytes}}},
                              {"cut", {{"system.cifs_ntsd", bytes.substr(0, bytes.size() - 3)}}}});
    const Lines over_smb = entries_of(server.unc_path("Erfasst"), true);
    // Canonical order (deny first, then by SID), as smbcacls stored it. The inherit-only entry's
    // generic right came back as the specific ones.
    EXPECT_EQ(over_smb, (Lines{"!Everyone:100116", "Everyone:120089", "Everyone:1F01FF",
                               "Authenticated Users:1200A9", "SYSTEM:1F01FF",
                               "Administrators:1F01FF", "S-1-5-21-9-9-9-1234:120089"}));
    // The same, but for the SID that is left to the caller to name.
    Lines expected = over_smb;
    expected[6] = "S-1-5-21-9-9-9-1234?:120089";
    EXPECT_EQ(entries_of(mounted.path("cifs")), expected);
    EXPECT_EQ(entries_of(mounted.path("smb3")), expected);
    EXPECT_THROW(entries_of(mounted.path("cut")), ManagementError);
}

TEST(MountedShare, NfsV4ListsNameOwnerGroupEveryoneAndAccountsAndOthersReadPosixBits) {
    const std::string xdr =
        word(8) + nfs4_entry(0, 0, 0x1F01FF, "OWNER@") + nfs4_entry(1, 0x40, 0x100116, "GROUP@") +
        nfs4_entry(0, 0, 0x1200A9, "EVERYONE@") + nfs4_entry(2, 0, 0x1F01FF, "EVERYONE@") +
        nfs4_entry(0, 0x0B, 0x1301BF, "bin@example.test") + nfs4_entry(0, 0x40, 0x120089, "4") +
        nfs4_entry(0, 0x40, 0x120089, "4242424") + nfs4_entry(0, 0, 0x120089, "AUTHENTICATED@");
    AttributeFolders mounted({{"nfs", {{"system.nfs4_acl", xdr}}, 2, 4},
                              {"lying", {{"system.nfs4_acl", word(9) + xdr.substr(4)}}},
                              {"plain", {}, 0, 0}});
    EXPECT_EQ(entries_of(mounted.path("nfs")),
              (Lines{"bin:1F01FF", "!adm:100116", "Everyone:1200A9", "bin:1301BF", "adm:120089",
                     "4242424:120089", "Authenticated Users:120089"}));
    EXPECT_THROW(entries_of(mounted.path("lying")), ManagementError);
    // A folder that serves no access list reads its POSIX bits.
    EXPECT_EQ(entries_of(mounted.path("plain")),
              (Lines{"root:1F01FF", "root:1200A9", "Everyone:1200A9"}));
}

TEST(MountedShare, DesktopMountPathsAndSmbAddressesReadTheShareOverSmb) {
    auto& server = permscope::testing::shared_private_smbd();
    server.make_folder("Desktop Ordner");
    server.set_nt_acl("Desktop Ordner",
                      {{"S-1-1-0", false, 0, 0x1200A9}, {"root", false, 0, 0x1F01FF}});
    const Lines expected = {"Everyone:1200A9", "root:1F01FF"};
    EXPECT_EQ(entries_of(server.unc_path("Desktop Ordner"), true), expected);
    for (const char* path :
         {"/run/user/0/gvfs/smb-share:server=127.0.0.1,share=data,user=root/Desktop Ordner",
          "/run/user/0/gvfs/smb-share:server=127.0.0.1,share=d%61ta/Desktop Ordner/",
          "/run/user/0/kio-fuse-XyZ123/smb/root@127.0.0.1/data/Desktop Ordner",
          "smb://127.0.0.1/data/Desktop%20Ordner", "SMB://guest@127.0.0.1:445/data/Desktop Ordner"})
        EXPECT_EQ(entries_of(path), expected) << path;
    // Not a folder there: the binding fails as for a share path.
    EXPECT_THROW(
        make_linux_management()->GetObject(moniker("smb://127.0.0.1/data/gibt es nicht", false)),
        ManagementError);
}

}  // namespace
}  // namespace permscope::platform

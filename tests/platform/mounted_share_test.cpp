// Folders on mounted shares, against the real interfaces: a FUSE file system whose folders serve
// system.cifs_ntsd / system.smb3_ntsd with descriptors captured from a private smbd's folders and
// system.nfs4_acl with lists built to RFC 7530's layout; and the desktop's SMB mount paths and
// smb:// addresses, read over SMB from that smbd.

#include <gtest/gtest.h>

#include "platform/linux_management.h"
#include "testbed/server_process.h"
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

// The same folder read over SMB (as a share path, a desktop's mount path, an smb:// address) and
// from its descriptor served by a mounted share gives the same entries.
TEST(MountedShare, ACapturedDescriptorReadsAsTheShareServerReadsTheSameFolder) {
    auto& server = permscope::testing::shared_private_smbd();
    server.make_folder("Erfasst Ordner");
    server.set_nt_acl("Erfasst Ordner", {{"S-1-1-0", true, 0, 0x100116},
                                         {"S-1-5-11", false, 0, 0x1200A9},
                                         {"S-1-1-0", false, 0, 0x120089},
                                         {"S-1-5-32-544", false, 0, 0x1F01FF},
                                         {"S-1-5-18", false, 3, 0x1F01FF},
                                         {"S-1-5-21-9-9-9-1234", false, 0, 0x120089},
                                         {"S-1-1-0", false, 11, 0x10000000}});
    const std::string bytes = server.security_descriptor_bytes("Erfasst Ordner");
    AttributeFolders mounted({{"cifs", {{"system.cifs_ntsd", bytes}}},
                              {"smb3", {{"system.smb3_ntsd", bytes}}},
                              {"cut", {{"system.cifs_ntsd", bytes.substr(0, bytes.size() - 3)}}}});
    const Lines over_smb = entries_of(server.unc_path("Erfasst Ordner"), true);
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
    for (const char* path :
         {"/run/user/0/gvfs/smb-share:server=127.0.0.1,share=d%61ta,user=root/Erfasst Ordner/",
          "/run/user/0/kio-fuse-XyZ123/smb/root@127.0.0.1/data/Erfasst Ordner",
          "smb://127.0.0.1/data/Erfasst%20Ordner"})
        EXPECT_EQ(entries_of(path), over_smb) << path;
    // Not a folder there: the binding fails as for a share path.
    EXPECT_THROW(
        make_linux_management()->GetObject(moniker("smb://127.0.0.1/data/nicht da", false)),
        ManagementError);
}

// The list is built to RFC 7530's layout (the fuzz target's seed); the naming of each "who" is
// pinned by the unit cases.
TEST(MountedShare, NfsV4ListsAreReadAndFoldersServingNoListReadTheirPosixBits) {
    const std::string xdr = permscope::testing::read_file(
        PERMSCOPE_SOURCE_DIR "/fuzz/corpus/nfs4_acl_fuzzer/owner_group_everyone");
    AttributeFolders mounted({{"nfs", {{"system.nfs4_acl", xdr}}, 2, 4}, {"plain", {}, 0, 0}});
    EXPECT_EQ(entries_of(mounted.path("nfs")),
              (Lines{"bin:1F01FF", "!adm:100116", "Everyone:1200A9"}));
    EXPECT_EQ(entries_of(mounted.path("plain")),
              (Lines{"root:1F01FF", "root:1200A9", "Everyone:1200A9"}));
}

}  // namespace
}  // namespace permscope::platform

// The texts the management layer reads: NT access lists as libsmbclient writes them, share paths
// as SMB URLs, and account names with their domain.

#include <gtest/gtest.h>

#include "platform/nfs4_acl.h"
#include "platform/nt_descriptor.h"
#include "platform/posix_acl.h"
#include "platform/security_identifiers.h"
#include "platform/share_paths.h"
#include "platform/smb_share.h"
#include "platform/system_sid_naming.h"

namespace permscope::platform {
namespace {

std::string entries_text(const std::vector<AccessEntry>& entries) {
    std::string text;
    for (const AccessEntry& e : entries)
        text += e.trustee_name + (e.type == AceType::Deny ? " deny " : " allow ") +
                std::to_string(e.access_mask) + "\n";
    return text;
}

TEST(NtDescriptor, EntriesInOrderWithNamesWithoutDomainTypesAndSignedMasks) {
    EXPECT_EQ(
        entries_text(parse_nt_security_descriptor(
            "REVISION:1,OWNER:CORP\\admin,GROUP:Unix Group\\root,"
            "ACL:\\Everyone:1/0/0x00100116,ACL:CORP\\Domain Users:0/3/0x001301bf,"
            "ACL:S-1-5-21-1-2-3-4711:0/0/0x001F01FF,ACL:Unix Group\\1234567:0/11/0x80000000,"
            "ACL:NT AUTHORITY\\SYSTEM:0/0/0xffffffff,ACL:X\\odd:name, with comma:0/0/0x0")),
        "Everyone deny 1048854\nDomain Users allow 1245631\nS-1-5-21-1-2-3-4711 allow "
        "2032127\n1234567 allow -2147483648\nSYSTEM allow -1\nodd:name, with comma allow 0\n");
    EXPECT_TRUE(parse_nt_security_descriptor("REVISION:1,OWNER:x\\a,GROUP:x\\b").empty());
    for (const char* text :
         {"ACL:\\Everyone:0/0", "ACL:\\Everyone:2/0/0x1", "ACL:\\Everyone:0/0/zz",
          "ACL:\\Everyone:0/0/0x123456789", "ACL:x:a/0/0x1"})
        EXPECT_THROW(parse_nt_security_descriptor(text), ManagementError) << text;
}

TEST(NtDescriptor, SharePathsBecomeSmbUrlsWithEveryOtherByteEncoded) {
    EXPECT_EQ(smb_url_of_share_path("\\/srv/share\\a\\\\b/"), "smb://srv/share/a/b");
    EXPECT_EQ(smb_url_of_share_path("\\\\srv\\Bob's 100% Ordner\\ä#?;@:"),
              "smb://srv/Bob%27s%20100%25%20Ordner/%C3%A4%23%3F%3B%40%3A");
    for (const char* text : {"", "\\\\", "\\srv\\share", "srv\\share", "\\\\\\srv\\share"})
        EXPECT_THROW(smb_url_of_share_path(text), ManagementError) << text;
}

TEST(SecurityIdentifier, TextsThatAreNoSidsAndWellKnownNames) {
    for (const char* text : {"S-1-5-", "S-1-5-21-4294967296", "S-2-5", "S-1--5", "s-1-1-0",
                             "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16"})
        EXPECT_FALSE(binary_sid(text)) << text;
    EXPECT_EQ(parse_binary_sid(*binary_sid("S-1-0x123456789ABC-7"))->text, "S-1-0x123456789ABC-7");
    // The machine runs no identity service here: its routes name nothing, and fail nothing.
    const SidNames system = make_system_sid_naming()->name_sids({"S-1-1-0", "S-1-5-21-1-2-3-500"});
    EXPECT_TRUE(system.names.empty() && system.not_looked_up.empty());
    EXPECT_EQ(well_known_sid_name("S-1-3-0"), "CREATOR OWNER");
    EXPECT_EQ(well_known_sid_name("S-1-5-32-544"), "Administrators");
    EXPECT_FALSE(well_known_sid_name("S-1-5-21-1-2-3-500"));
}

std::string le16(unsigned value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}
std::string le32(std::uint32_t value) {
    return le16(value & 0xFFFF) + le16(value >> 16);
}
std::string ace(unsigned type, std::uint32_t mask, const std::string& body) {
    return std::string{static_cast<char>(type), 0} + le16(8 + body.size()) + le32(mask) + body;
}
// A self-relative descriptor: header, owner SID at 20, then the DACL of the entries.
std::string descriptor(const std::vector<std::string>& aces, unsigned control = 0x8004) {
    const std::string owner = *binary_sid("S-1-5-32-544");
    std::string acl;
    for (const std::string& entry : aces)
        acl += entry;
    return std::string{1, 0} + le16(control) + le32(20) + le32(0) + le32(0) +
           le32(20 + owner.size()) + owner + std::string{2, 0} + le16(8 + acl.size()) +
           le16(aces.size()) + le16(0) + acl;
}

TEST(NtDescriptor, RawDescriptorsGiveAllowAndDenyEntriesAndRefuseWhatLies) {
    const std::string domain_user = *binary_sid("S-1-5-21-1-2-3-1105");
    const std::string guid(16, 'g');
    const std::string raw =
        descriptor({ace(1, 0x100116, *binary_sid("S-1-1-0")), ace(0, 0x1301BF, domain_user),
                    ace(2, 0x1F01FF, domain_user),  // audit: no access entry
                    ace(5, 0x80000000, le32(1) + guid + *binary_sid("S-1-5-11")),
                    ace(10, 0x120089, *binary_sid("S-1-3-0") + "app data")});
    EXPECT_EQ(entries_text(*parse_self_relative_descriptor(raw)),
              "Everyone deny 1048854\nS-1-5-21-1-2-3-1105 allow 1245631\n"
              "Authenticated Users allow -2147483648\nCREATOR OWNER deny 1179785\n");
    EXPECT_EQ(parse_self_relative_descriptor(raw)->at(1).unnamed_sid, "S-1-5-21-1-2-3-1105");
    EXPECT_EQ(parse_self_relative_descriptor(raw)->at(0).unnamed_sid, "");
    EXPECT_FALSE(parse_self_relative_descriptor(descriptor({}, 0x8000)));  // no DACL
    EXPECT_TRUE(parse_self_relative_descriptor(descriptor({}))->empty());
    const std::size_t dacl = 20 + 16;
    const auto changed = [&](std::size_t at, const std::string& bytes) {
        return std::string(raw).replace(at, bytes.size(), bytes);
    };
    for (const std::string& lying :
         {raw.substr(0, raw.size() - 1), raw.substr(0, 19), changed(0, "\2"),
          changed(2, le16(0x0004)), changed(16, le32(8)), changed(16, le32(raw.size())),
          changed(4, le32(raw.size() - 4)), changed(dacl + 2, le16(0xFFFF)),
          changed(dacl + 4, le16(6)), changed(dacl + 8 + 2, le16(400)),
          changed(dacl + 8 + 2, le16(3)), changed(dacl + 8 + 9, "\x0F")})
        EXPECT_THROW(parse_self_relative_descriptor(lying), ManagementError);
}

TEST(Nfs4AccessList, WhosAreNamedAndCountsAndLengthsThatLieRefused) {
    const std::vector<Nfs4Entry> entries = {
        {0, 0, 0x1F01FF, "OWNER@"},       {1, 0x40, 0x100116, "GROUP@"},
        {2, 0, 0x1F01FF, "EVERYONE@"},    {0, 0x0B, 0x1301BF, "bin@example.test"},
        {0, 0x40, 0x120089, "4"},         {0, 0, 0x120089, "04"},
        {0, 0x40, 0x80000000, "4242424"}, {0, 0, 0x120089, "AUTHENTICATED@"}};
    EXPECT_EQ(entries_text(nfs4_access_entries(entries, 2, 4)),
              "bin allow 2032127\nadm deny 1048854\nbin allow 1245631\nadm allow 1179785\n04 "
              "allow 1179785\n4242424 allow -2147483648\nAuthenticated Users allow 1179785\n");
    const auto word = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    };
    const std::string entry =
        word(0) + word(0) + word(0x1F01FF) + word(6) + "OWNER@" + std::string(2, '\0');
    EXPECT_EQ(parse_nfs4_acl(word(1) + entry).at(0).who, "OWNER@");
    EXPECT_TRUE(parse_nfs4_acl(word(0)).empty());
    for (const std::string& lying :
         {word(2) + entry, word(0x40000000) + entry, word(1) + entry + "x",
          word(1) + entry.substr(0, 20), std::string(2, '\0')})
        EXPECT_THROW(parse_nfs4_acl(lying), ManagementError);
}

TEST(DesktopSharePath, GvfsKioFuseAndSmbAddressesNameTheirShare) {
    EXPECT_EQ(
        desktop_share_path("/home/a/.gvfs/smb-share:domain=C,server=fs1,share=D%20A,user=a/x"),
        "\\\\fs1\\D A\\x");
    EXPECT_EQ(desktop_share_path("/run/user/1/kio-fuse-QeR/smb/a@fs1:445/D/x%20y"),
              "\\\\fs1\\D\\x%20y");
    EXPECT_EQ(desktop_share_path("SMB://C;a@fs1/D/Bob%27s"), "\\\\fs1\\D\\Bob's");
    for (const char* path : {"/run/user/1/gvfs/sftp:host=fs1/x", "/gvfs/smb-share:server=fs1",
                             "/run/user/1/kio-fuse-1/smb/fs1", "smb://fs1", "smb:///d/x",
                             "relative/gvfs/smb-share:server=a,share=b"})
        EXPECT_EQ(desktop_share_path(path), std::nullopt) << path;
}

TEST(AccountName, LosesItsDomainBeforeABackslashOrAfterAnAt) {
    EXPECT_EQ(account_name_without_domain("CORP\\jdoe"), "jdoe");
    EXPECT_EQ(account_name_without_domain("jdoe@corp.example.com"), "jdoe");
    EXPECT_EQ(account_name_without_domain("CORP\\Domain Users@corp.example"), "Domain Users");
    EXPECT_EQ(account_name_without_domain("@odd"), "@odd");
}

}  // namespace
}  // namespace permscope::platform

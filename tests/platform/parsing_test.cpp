// The texts the management layer reads: NT access lists as libsmbclient writes them, share paths
// as SMB URLs, and account names with their domain.

#include <gtest/gtest.h>

#include "platform/posix_acl.h"
#include "platform/smb_share.h"

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

TEST(AccountName, LosesItsDomainBeforeABackslashOrAfterAnAt) {
    EXPECT_EQ(account_name_without_domain("CORP\\jdoe"), "jdoe");
    EXPECT_EQ(account_name_without_domain("jdoe@corp.example.com"), "jdoe");
    EXPECT_EQ(account_name_without_domain("CORP\\Domain Users@corp.example"), "Domain Users");
    EXPECT_EQ(account_name_without_domain("@odd"), "@odd");
}

}  // namespace
}  // namespace permscope::platform

#include <gtest/gtest.h>

#include "platform/smb_share.h"

namespace permscope::platform {
namespace {

void expect_entry(const AccessEntry& entry, const std::string& name, std::int32_t mask,
                  AceType type) {
    EXPECT_EQ(entry.trustee_name, name);
    EXPECT_EQ(entry.access_mask, mask) << name;
    EXPECT_EQ(entry.type, type) << name;
}

TEST(NtDescriptorTest, EntriesInOrderWithNamesMasksAndTypes) {
    const auto entries = parse_nt_security_descriptor(
        "REVISION:1,OWNER:CORP\\admin,GROUP:Unix Group\\root,"
        "ACL:\\Everyone:1/0/0x00100116,"
        "ACL:CORP\\Domain Users:0/3/0x001301bf,"
        "ACL:S-1-5-21-1-2-3-4711:0/0/0x001F01FF,"
        "ACL:Unix Group\\1234567:0/11/0x80000000,"
        "ACL:NT AUTHORITY\\SYSTEM:0/0/0xffffffff,"
        "ACL:\\Creator Owner:0/11/0x00000000");
    ASSERT_EQ(entries.size(), 6u);
    expect_entry(entries[0], "Everyone", 0x100116, AceType::Deny);
    expect_entry(entries[1], "Domain Users", 0x1301BF, AceType::Allow);
    expect_entry(entries[2], "S-1-5-21-1-2-3-4711", 0x1F01FF, AceType::Allow);
    expect_entry(entries[3], "1234567", INT32_MIN, AceType::Allow);
    expect_entry(entries[4], "SYSTEM", -1, AceType::Allow);
    expect_entry(entries[5], "Creator Owner", 0, AceType::Allow);
}

TEST(NtDescriptorTest, NoEntriesAndOddNames) {
    EXPECT_TRUE(parse_nt_security_descriptor("REVISION:1,OWNER:x\\a,GROUP:x\\b").empty());
    EXPECT_TRUE(parse_nt_security_descriptor("").empty());
    // A name holding a colon or a comma still parses: the fields are read from the end.
    const auto entries =
        parse_nt_security_descriptor("REVISION:1,ACL:X\\odd:name, with comma:0/0/0x00120089");
    ASSERT_EQ(entries.size(), 1u);
    expect_entry(entries[0], "odd:name, with comma", 0x120089, AceType::Allow);
}

TEST(NtDescriptorTest, MalformedEntriesThrow) {
    for (const char* text :
         {"ACL:\\Everyone:0/0", "ACL:\\Everyone:2/0/0x1", "ACL:\\Everyone:0/0/zz",
          "ACL:\\Everyone:0/0/0x123456789", "ACL:\\Everyone", "ACL:x:a/0/0x1"}) {
        EXPECT_THROW(parse_nt_security_descriptor(text), ManagementError) << text;
    }
}

TEST(NtDescriptorTest, ShareUrls) {
    EXPECT_EQ(smb_url_of_share_path("\\\\srv\\share\\dir"), "smb://srv/share/dir");
    EXPECT_EQ(smb_url_of_share_path("//srv/share/dir"), "smb://srv/share/dir");
    EXPECT_EQ(smb_url_of_share_path("\\/srv/share\\a\\\\b/"), "smb://srv/share/a/b");
    EXPECT_EQ(smb_url_of_share_path("\\\\srv"), "smb://srv");
    EXPECT_EQ(smb_url_of_share_path("\\\\srv\\Bob's 100% Ordner\\ä#?;@:"),
              "smb://srv/Bob%27s%20100%25%20Ordner/%C3%A4%23%3F%3B%40%3A");
    for (const char* text : {"", "\\", "\\\\", "\\srv\\share", "srv\\share", "\\\\\\srv\\share"}) {
        EXPECT_THROW(smb_url_of_share_path(text), ManagementError) << text;
    }
}

}  // namespace
}  // namespace permscope::platform

#include "platform/moniker.h"

#include <gtest/gtest.h>

namespace permscope::platform {
namespace {

TEST(MonikerTest, FileFormKeepsThePathUnchanged) {
    const auto moniker =
        parse_moniker("winmgmts:Win32_LogicalFileSecuritySetting.path='/srv/Daten'");
    ASSERT_TRUE(moniker);
    EXPECT_EQ(moniker->object_class, MonikerClass::FileSecuritySetting);
    EXPECT_EQ(moniker->key_value, "/srv/Daten");

    const auto drive_root = parse_moniker("winmgmts:Win32_LogicalFileSecuritySetting.path='C:\\'");
    ASSERT_TRUE(drive_root);
    EXPECT_EQ(drive_root->key_value, "C:\\");
}

TEST(MonikerTest, ValueRunsFromFirstQuoteToTheFinalOne) {
    const auto moniker =
        parse_moniker("winmgmts:Win32_LogicalFileSecuritySetting.path='/srv/Bob's files='x''");
    ASSERT_TRUE(moniker);
    EXPECT_EQ(moniker->key_value, "/srv/Bob's files='x'");

    const auto empty = parse_moniker("winmgmts:Win32_LogicalFileSecuritySetting.path=''");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->key_value, "");
}

TEST(MonikerTest, ShareFormAndCaseOfPrefixClassAndKey) {
    const auto share =
        parse_moniker("winmgmts:Win32_LogicalShareSecuritySetting.name='\\\\srv\\share\\dir'");
    ASSERT_TRUE(share);
    EXPECT_EQ(share->object_class, MonikerClass::ShareSecuritySetting);
    EXPECT_EQ(share->key_value, "\\\\srv\\share\\dir");

    const auto upper = parse_moniker("WINMGMTS:win32_logicalfilesecuritysetting.PATH='/x'");
    ASSERT_TRUE(upper);
    EXPECT_EQ(upper->object_class, MonikerClass::FileSecuritySetting);
    EXPECT_EQ(upper->key_value, "/x");
}

TEST(MonikerTest, RefusesEverythingElse) {
    for (const char* text : {
             "", "winmgmts:",
             "Win32_LogicalFileSecuritySetting.path='/x'",           // no scheme
             "winmgmts:Win32_LogicalFileSecuritySetting.path='/x",   // no closing quote
             "winmgmts:Win32_LogicalFileSecuritySetting.path='",     // nothing after the quote
             "winmgmts:Win32_LogicalFileSecuritySetting.path=/x",    // unquoted
             "winmgmts:Win32_LogicalFileSecuritySetting.name='/x'",  // wrong key for the class
             "winmgmts:Win32_LogicalShareSecuritySetting.path='/x'",
             "winmgmts:Win32_Process.handle='1'",
             "winmgmts:Win32_LogicalFileSecuritySetting='/x'",  // no key
         }) {
        EXPECT_FALSE(parse_moniker(text)) << text;
    }
}

}  // namespace
}  // namespace permscope::platform

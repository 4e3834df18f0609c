#include "rights/rights_text.h"

#include <gtest/gtest.h>

#include "platform/moniker.h"

namespace permscope::rights {
namespace {

using platform::AccessEntry;
using platform::AceType;

TEST(RightsTextForMask, NamesTheSixKnownMasksInGerman) {
    EXPECT_EQ(rights_text_for_mask(0x1F01FF), "Vollzugriff");
    EXPECT_EQ(rights_text_for_mask(0x1301BF), "Ändern");
    EXPECT_EQ(rights_text_for_mask(0x1201BF), "Lesen, Ausführen,Ordnerinhalt auflisten,schreiben");
    EXPECT_EQ(rights_text_for_mask(0x1200A9), "Lesen, Ausführen");
    EXPECT_EQ(rights_text_for_mask(0x120089), "Lesen");
    EXPECT_EQ(rights_text_for_mask(0x100116), "Schreiben");
}

TEST(RightsTextForMask, NeighboursOfKnownMasksAreDecimal) {
    EXPECT_EQ(rights_text_for_mask(0x1F01FF | 0x200), "2032639");     // one bit more
    EXPECT_EQ(rights_text_for_mask(0x1F01FF & ~0x100000), "983551");  // without synchronize
    EXPECT_EQ(rights_text_for_mask(0x1200A8), "1179816");             // read-execute minus one bit
    EXPECT_EQ(rights_text_for_mask(0x1301BE), "1245630");
    EXPECT_EQ(rights_text_for_mask(1), "1");
    EXPECT_EQ(rights_text_for_mask(0), "0");
}

TEST(RightsTextForMask, TopBitMasksAreNegative) {
    EXPECT_EQ(rights_text_for_mask(static_cast<std::int32_t>(0x80000000u)), "-2147483648");
    EXPECT_EQ(rights_text_for_mask(static_cast<std::int32_t>(0xFFFFFFFFu)), "-1");
    // Generic read beside the read rights: still no table text, and still negative.
    EXPECT_EQ(rights_text_for_mask(static_cast<std::int32_t>(0x80120089u)), "-2146303863");
}

TEST(RightsTextForEntry, DenyEntriesSayWhatTheyTakeAway) {
    EXPECT_EQ(rights_text_for_entry(AccessEntry{"u", 0x100116, AceType::Deny}),
              "Verweigert: Schreiben");
    EXPECT_EQ(rights_text_for_entry(AccessEntry{"u", 123, AceType::Deny}), "Verweigert: 123");
    EXPECT_EQ(rights_text_for_entry(AccessEntry{"u", -1, AceType::Deny}), "Verweigert: -1");
    EXPECT_EQ(rights_text_for_entry(AccessEntry{"u", 0x100116, AceType::Allow}), "Schreiben");
    EXPECT_EQ(rights_text_for_entry(AccessEntry{"u", 123, AceType::Allow}), "123");
}

// Nothing is escaped, doubled or trimmed; only two leading separators of one kind make a share.
TEST(MonikerForPath, TwoLeadingSlashesOfOneKindTakeTheShareFormAllElseTheFileForm) {
    const std::string file = "winmgmts:Win32_LogicalFileSecuritySetting.path='";
    const std::string share = "winmgmts:Win32_LogicalShareSecuritySetting.name='";
    for (const char* path : {"C:\\Daten", "C:\\", "/srv/daten", " /it's ", "\\server\\share",
                             "\\/server", "/\\server", "\\", "/", ""})
        EXPECT_EQ(platform::moniker_for_path(path), file + path + "'") << path;
    for (const char* path : {"\\\\server\\share", "//server/share/dir", "\\\\"})
        EXPECT_EQ(platform::moniker_for_path(path), share + path + "'") << path;
}

}  // namespace
}  // namespace permscope::rights

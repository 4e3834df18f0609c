// Share paths against a private smbd started by this program, and against servers that refuse
// or never answer.

#include <gtest/gtest.h>

#include <functional>

#include "platform/linux_management.h"
#include "platform/smb_share.h"
#include "tests/fixtures/private_smbd.h"

namespace permscope::platform {
namespace {

using permscope::testing::NtAce;
using permscope::testing::PrivateSmbd;
using Clock = std::chrono::steady_clock;

std::string share_moniker(const std::string& path) {
    return "winmgmts:Win32_LogicalShareSecuritySetting.name='" + path + "'";
}

class ShareSecurity : public ::testing::Test {
  protected:
    // One server for all cases, started by the first, so that a server that cannot start fails
    // that case; it stops when the program ends.
    void SetUp() override { server_ = &permscope::testing::shared_private_smbd(); }
    // "name:mask" per entry, "!" before a deny entry's name.
    std::vector<std::string> entries_of(const std::string& share_path) {
        std::vector<std::string> entries;
        const SecurityDescriptor descriptor =
            layer_->GetObject(share_moniker(share_path))->GetSecurityDescriptor();
        for (const AccessEntry& e : descriptor.dacl.value_or(std::vector<AccessEntry>{})) {
            char mask[16];
            std::snprintf(mask, sizeof mask, "%X", static_cast<unsigned>(e.access_mask));
            entries.push_back((e.type == AceType::Deny ? "!" : "") + e.trustee_name + ":" + mask);
        }
        return entries;
    }
    std::string folder(const std::string& name, const std::vector<NtAce>& acl) {
        server_->make_folder(name);
        server_->set_nt_acl(name, acl);
        return server_->unc_path(name);
    }

    PrivateSmbd* server_ = nullptr;
    std::unique_ptr<ManagementLayer> layer_ = make_linux_management();
};

TEST_F(ShareSecurity, EntriesInCanonicalOrderWithNamesTypesAndMasksUnderEverySpellingAndName) {
    const std::string path = folder("Projekte", {{"root", false, 0, 0x1F01FF},
                                                 {"S-1-1-0", true, 0, 0x100116},
                                                 {"S-1-1-0", false, 0, 0x1200A9},
                                                 {"S-1-22-2-100", false, 0, 0x1F01BF},
                                                 {"S-1-22-2-4012346", false, 0, 0x120089},
                                                 {"S-1-22-2-100", false, 11, 0x80000000}});
    // Deny entries first. The generic right of the inherit-only entry is stored as the specific
    // rights it stands for.
    const std::vector<std::string> expected = {"!Everyone:100116", "Everyone:1200A9",
                                               "users:1F01BF",     "users:120089",
                                               "4012346:120089",   "root:1F01FF"};
    EXPECT_EQ(entries_of(path), expected);
    EXPECT_EQ(entries_of("//127.0.0.1/data/Projekte"), expected);
    EXPECT_EQ(entries_of("\\\\127.0.0.1/data\\Projekte\\"), expected);
    EXPECT_FALSE(entries_of(server_->unc_path("")).empty());  // the share's root
    EXPECT_EQ(entries_of(folder("Bob's 100% Ordner #1", {{"S-1-1-0", false, 0, 0x1F01FF},
                                                         {"S-1-22-2-4", false, 0, 0x120089}})),
              (std::vector<std::string>{"Everyone:1F01FF", "adm:120089"}));
    EXPECT_EQ(entries_of(folder("a/b", {{"S-1-1-0", false, 0, 0x20000 | 0x100116}})),
              std::vector<std::string>{"Everyone:120116"});
}

TEST_F(ShareSecurity, LongAccessListsArriveWholeWhateverTheFirstReadsSize) {
    std::vector<NtAce> aces = {{"S-1-1-0", false, 0, 0x1200A9}};
    for (int gid = 4100000; gid < 4100112; ++gid)
        aces.push_back({"S-1-22-2-" + std::to_string(gid), false, 0, 0x1200A9});
    const std::string path = folder("long", aces);
    const std::vector<std::string> entries = entries_of(path);
    ASSERT_EQ(entries.size(), aces.size());
    EXPECT_EQ(entries.back(), "4100111:1200A9");
    const std::string text = SmbShareFolder(path, {}).security_descriptor_text();
    for (const std::size_t size : {text.size() - 1, text.size(), text.size() + 1, std::size_t{8}}) {
        SmbOptions options;
        options.first_read_size = size;
        EXPECT_EQ(SmbShareFolder(path, options).security_descriptor_text(), text) << size;
    }
}

// Fails without a word for the user: the server did its part, the folder is the matter.
bool fails_quietly(const std::function<void()>& read) {
    try {
        read();
    } catch (const ShareServerError&) {
        return false;
    } catch (const ManagementError&) {
        return true;
    }
    return false;
}

TEST_F(ShareSecurity, WhatCannotBeReadFailsQuietly) {
    server_->make_file("a file.txt");
    for (const std::string& path :
         {server_->unc_path("no such folder"), server_->unc_path("a file.txt"),
          std::string("\\\\127.0.0.1\\nosuchshare\\x"), std::string("\\\\")})
        EXPECT_TRUE(fails_quietly([&] { layer_->GetObject(share_moniker(path)); })) << path;
    // An access list that grants an anonymous session nothing cannot be read by one.
    const std::string closed = folder("closed", {{"root", false, 0, 0x1F01FF}});
    EXPECT_TRUE(
        fails_quietly([&] { layer_->GetObject(share_moniker(closed))->GetSecurityDescriptor(); }));
}

TEST(UnreachableShare, ASilentServerFailsWithinTheTimeOutAndAClosedPortAtOnce) {
    permscope::testing::SilentServer silent;
    int closed_port = 0;
    {
        permscope::testing::SilentServer closed_again;  // a port that was free a moment ago
        closed_port = closed_again.port();
    }
    for (const auto& [port, timeout] : {std::pair{int{silent.port()}, 1500}, {closed_port, 5000}}) {
        LinuxManagementConfig config;
        config.smb_port = static_cast<std::uint16_t>(port);
        config.smb_timeout = std::chrono::milliseconds(timeout);
        auto layer = make_linux_management(config);
        for (const char* path : {"\\\\127.0.0.1\\data\\x", "//127.0.0.1/data"}) {
            const auto start = Clock::now();
            EXPECT_THROW(layer->GetObject(share_moniker(path)), ManagementError);
            EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(4500)) << port << " " << path;
        }
    }
}

}  // namespace
}  // namespace permscope::platform

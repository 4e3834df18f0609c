// Share paths against a private smbd started by this program, and against servers that refuse
// or never answer.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "platform/linux_management.h"
#include "platform/smb_share.h"
#include "tests/fixtures/private_smbd.h"

namespace permscope::platform {
namespace {

using permscope::testing::NtAce;
using permscope::testing::PrivateSmbd;
using permscope::testing::SilentServer;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kReadControl = 0x20000;

std::string share_moniker(const std::string& path) {
    return "winmgmts:Win32_LogicalShareSecuritySetting.name='" + path + "'";
}

struct Entry {
    std::string name;
    std::int32_t mask;
    AceType type;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& e) {
    return out << e.name << ":" << e.mask << (e.type == AceType::Deny ? " deny" : " allow");
}

class ShareSecurityTest : public ::testing::Test {
  protected:
    // One server for all cases of the program; started by the first case, so that a server that
    // cannot start fails that case instead of skipping the suite.
    void SetUp() override {
        if (server_ == nullptr) {
            server_ = new PrivateSmbd();
        }
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    std::vector<Entry> entries_of(const std::string& share_path) {
        auto setting = layer_->GetObject(share_moniker(share_path));
        const SecurityDescriptor descriptor = setting->GetSecurityDescriptor();
        EXPECT_TRUE(descriptor.dacl.has_value());
        std::vector<Entry> entries;
        for (const AccessEntry& entry : descriptor.dacl.value_or(std::vector<AccessEntry>{})) {
            entries.push_back({entry.trustee_name, entry.access_mask, entry.type});
        }
        return entries;
    }

    static PrivateSmbd* server_;
    std::unique_ptr<ManagementLayer> layer_ = make_linux_management();
};

PrivateSmbd* ShareSecurityTest::server_ = nullptr;

TEST_F(ShareSecurityTest, EntriesWithNamesTypesAndMasks) {
    server_->make_folder("Projekte");
    server_->set_nt_acl("Projekte", {
                                        {"root", false, 0, 0x1F01FF},
                                        {"S-1-1-0", true, 0, 0x100116},
                                        {"S-1-1-0", false, 0, 0x1200A9},
                                        {"S-1-22-2-100", false, 0, 0x1F01BF},
                                        {"S-1-22-2-4012346", false, 0, 0x120089},
                                        {"S-1-22-2-100", false, 11, 0x80000000},
                                    });
    // Deny entries come first; the client library orders the rest canonically. A mask outside
    // the rights table stays as it is; the generic right of the inherit-only entry is stored as
    // the specific rights it stands for.
    const std::vector<Entry> expected = {
        {"Everyone", 0x100116, AceType::Deny}, {"Everyone", 0x1200A9, AceType::Allow},
        {"users", 0x1F01BF, AceType::Allow},   {"users", 0x120089, AceType::Allow},
        {"4012346", 0x120089, AceType::Allow}, {"root", 0x1F01FF, AceType::Allow},
    };
    EXPECT_EQ(entries_of(server_->unc_path("Projekte")), expected);
    // The same folder with forward slashes and with mixed separators.
    EXPECT_EQ(entries_of("//127.0.0.1/data/Projekte"), expected);
    EXPECT_EQ(entries_of("\\\\127.0.0.1/data\\Projekte\\"), expected);
}

TEST_F(ShareSecurityTest, FolderNamesThatNeedEncoding) {
    const std::string name = "Bob's 100% Ordner #1";
    server_->make_folder(name);
    server_->set_nt_acl(name,
                        {{"S-1-1-0", false, 0, 0x1F01FF}, {"S-1-22-2-4", false, 0, 0x120089}});
    EXPECT_EQ(entries_of(server_->unc_path(name)),
              (std::vector<Entry>{{"Everyone", 0x1F01FF, AceType::Allow},
                                  {"adm", 0x120089, AceType::Allow}}));
}

TEST_F(ShareSecurityTest, LongAccessListsArriveWhole) {
    // Far more text than the first read buffer holds.
    std::vector<NtAce> aces = {{"S-1-1-0", false, 0, 0x1200A9}};
    std::vector<Entry> expected = {{"Everyone", 0x1200A9, AceType::Allow}};
    for (int gid = 4100000; gid < 4100112; ++gid) {
        aces.push_back({"S-1-22-2-" + std::to_string(gid), false, 0, 0x1200A9});
        expected.push_back({std::to_string(gid), 0x1200A9, AceType::Allow});
    }
    server_->make_folder("long");
    server_->set_nt_acl("long", aces);
    EXPECT_EQ(entries_of(server_->unc_path("long")), expected);
}

TEST_F(ShareSecurityTest, TextThatFillsTheBufferExactlyIsReadAgain) {
    server_->make_folder("exact");
    server_->set_nt_acl("exact", {{"S-1-1-0", false, 0, 0x1F01FF}, {"root", false, 0, 0x1F01FF}});
    const std::string path = server_->unc_path("exact");
    const std::string text = SmbShareFolder(path, {}).security_descriptor_text();
    ASSERT_TRUE(text.ends_with(":0/0/0x001f01ff")) << text;
    for (const std::size_t size : {text.size() - 1, text.size(), text.size() + 1, std::size_t{8}}) {
        SmbOptions options;
        options.first_read_size = size;
        EXPECT_EQ(SmbShareFolder(path, options).security_descriptor_text(), text) << size;
    }
}

TEST_F(ShareSecurityTest, ShareRootAndNestedFolders) {
    server_->make_folder("a/b");
    server_->set_nt_acl("a/b", {{"S-1-1-0", false, 0, kReadControl | 0x100116}});
    EXPECT_EQ(entries_of(server_->unc_path("a/b")),
              (std::vector<Entry>{{"Everyone", 0x120116, AceType::Allow}}));
    EXPECT_FALSE(entries_of(server_->unc_path("")).empty());
}

TEST_F(ShareSecurityTest, WhatCannotBeReadFails) {
    EXPECT_THROW(layer_->GetObject(share_moniker(server_->unc_path("no such folder"))),
                 ManagementError);
    EXPECT_THROW(layer_->GetObject(share_moniker("\\\\127.0.0.1\\nosuchshare\\x")),
                 ManagementError);
    EXPECT_THROW(layer_->GetObject(share_moniker("\\\\")), ManagementError);
    // An access list that grants an anonymous session nothing cannot be read by one.
    server_->make_folder("closed");
    server_->set_nt_acl("closed", {{"root", false, 0, 0x1F01FF}});
    EXPECT_THROW(
        {
            auto setting = layer_->GetObject(share_moniker(server_->unc_path("closed")));
            setting->GetSecurityDescriptor();
        },
        ManagementError);
}

TEST(UnreachableShareTest, SilentServerFailsWithinTheBound) {
    SilentServer silent;
    LinuxManagementConfig config;
    config.smb_port = silent.port();
    config.smb_timeout = std::chrono::milliseconds(1500);
    auto layer = make_linux_management(config);
    const auto start = Clock::now();
    EXPECT_THROW(layer->GetObject(share_moniker("\\\\127.0.0.1\\data\\x")), ManagementError);
    const auto elapsed = Clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::milliseconds(1500) + std::chrono::seconds(3));
    // A second binding in the same process behaves the same (fresh client state each time).
    const auto again = Clock::now();
    EXPECT_THROW(layer->GetObject(share_moniker("//127.0.0.1/data")), ManagementError);
    EXPECT_LT(Clock::now() - again, std::chrono::milliseconds(1500) + std::chrono::seconds(3));
}

TEST(UnreachableShareTest, RefusedConnectionFailsAtOnce) {
    int port = 0;
    {
        SilentServer closed_again;  // a port that was free a moment ago
        port = closed_again.port();
    }
    LinuxManagementConfig config;
    config.smb_port = static_cast<std::uint16_t>(port);
    config.smb_timeout = std::chrono::milliseconds(5000);
    auto layer = make_linux_management(config);
    const auto start = Clock::now();
    EXPECT_THROW(layer->GetObject(share_moniker("\\\\127.0.0.1\\data")), ManagementError);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace permscope::platform

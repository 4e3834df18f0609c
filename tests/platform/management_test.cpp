#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/linux_management.h"
#include "platform_test_support.h"

namespace permscope::platform {
namespace {

using test::run_tool;
using test::TempFolder;

TEST(ManagementConnectTest, OnlyTheScriptingLocatorTheLocalNamespaceAndKnownNames) {
    auto layer = make_linux_management();
    EXPECT_NE(layer->CreateLocator("wbemscripting.swbemlocator"), nullptr);
    EXPECT_THROW(layer->CreateLocator("Excel.Application"), ManagementError);
    EXPECT_THROW(layer->CreateLocator(""), ManagementError);

    auto locator = layer->CreateLocator("WbemScripting.SWbemLocator");
    const auto connect_to = [&](std::string_view server, std::string_view name_space,
                                std::string_view user = "", std::string_view password = "") {
        return locator->ConnectServer(server, name_space, user, password, std::nullopt,
                                      std::nullopt, 128);
    };
    EXPECT_NE(connect_to(".", "ROOT\\CIMV2"), nullptr);
    EXPECT_NE(connect_to("", "root/cimv2"), nullptr);
    EXPECT_THROW(connect_to("", "root\\default"), ManagementError);
    EXPECT_THROW(connect_to("", ""), ManagementError);
    EXPECT_THROW(connect_to("", "root\\cimv2x"), ManagementError);
    EXPECT_THROW(connect_to("fileserver", "root\\cimv2"), ManagementError);
    EXPECT_THROW(connect_to("", "root\\cimv2", "admin", "secret"), ManagementError);

    auto services = connect_to("", "root\\cimv2");
    EXPECT_THROW(services->InstancesOf("Win32_Process"), ManagementError);
    EXPECT_THROW(services->InstancesOf(""), ManagementError);
    EXPECT_THROW(layer->GetObject("winmgmts:Win32_Process.Handle='1'"), ManagementError);
    EXPECT_THROW(layer->GetObject("/tmp"), ManagementError);
    EXPECT_THROW(layer->GetObject("winmgmts:Win32_LogicalFileSecuritySetting.path='/tmp"),
                 ManagementError);
}

// Access lists of real folders, set with setfacl.
class FileSecurityTest : public ::testing::Test {
  protected:
    std::vector<AccessEntry> entries_of(const std::string& path) {
        auto setting =
            layer_->GetObject("winmgmts:Win32_LogicalFileSecuritySetting.path='" + path + "'");
        const SecurityDescriptor descriptor = setting->GetSecurityDescriptor();
        EXPECT_TRUE(descriptor.dacl.has_value());
        return descriptor.dacl.value_or(std::vector<AccessEntry>{});
    }

    std::string make_folder(const std::string& name, mode_t mode) {
        const std::string path = folder_ / name;
        std::filesystem::create_directory(path);
        run_tool({"chown", "root:root", path});
        chmod(path.c_str(), mode);
        return path;
    }

    static std::vector<std::pair<std::string, std::int32_t>> simple(
        const std::vector<AccessEntry>& entries) {
        std::vector<std::pair<std::string, std::int32_t>> result;
        for (const AccessEntry& entry : entries) {
            EXPECT_EQ(entry.type, AceType::Allow);
            result.emplace_back(entry.trustee_name, entry.access_mask);
        }
        return result;
    }

    TempFolder folder_;
    std::unique_ptr<ManagementLayer> layer_ = make_linux_management();
};

using Entries = std::vector<std::pair<std::string, std::int32_t>>;

TEST_F(FileSecurityTest, PlainPermissionsGiveThreeEntries) {
    const std::string path = make_folder("plain", 0754);
    EXPECT_EQ(simple(entries_of(path)),
              (Entries{{"root", 0x1F01FF}, {"root", 0x1200A9}, {"Everyone", 0x120089}}));
    chmod(path.c_str(), 0536);  // r-x -wx rw-: the owner's mask is full control only with rwx
    EXPECT_EQ(simple(entries_of(path)),
              (Entries{{"root", 0x1200A9}, {"root", 0x1201B6}, {"Everyone", 0x12019F}}));
    chmod(path.c_str(), 0712);
    EXPECT_EQ(simple(entries_of(path)),
              (Entries{{"root", 0x1F01FF}, {"root", 0x1200A0}, {"Everyone", 0x100116}}));
    chmod(path.c_str(), 0077);  // an owner without rights keeps none
    EXPECT_EQ(simple(entries_of(path)),
              (Entries{{"root", 0}, {"root", 0x1301BF}, {"Everyone", 0x1301BF}}));
}

TEST_F(FileSecurityTest, NamedEntriesAreLimitedByTheMask) {
    const std::string path = make_folder("named", 0700);
    run_tool({"setfacl", "-m",
              "u::rwx,u:daemon:rwx,u:4012345:rw-,g::rwx,g:adm:r-x,g:4012346:rwx,m::r-x,o::--x",
              path});
    EXPECT_EQ(simple(entries_of(path)), (Entries{{"root", 0x1F01FF},
                                                 {"daemon", 0x1200A9},
                                                 {"4012345", 0x120089},
                                                 {"root", 0x1200A9},
                                                 {"adm", 0x1200A9},
                                                 {"4012346", 0x1200A9},
                                                 {"Everyone", 0x1200A0}}));
    // A full mask lets every entry through; rwx on a named entry is "change", not full control.
    run_tool({"setfacl", "-m", "m::rwx", path});
    EXPECT_EQ(simple(entries_of(path)), (Entries{{"root", 0x1F01FF},
                                                 {"daemon", 0x1301BF},
                                                 {"4012345", 0x12019F},
                                                 {"root", 0x1301BF},
                                                 {"adm", 0x1200A9},
                                                 {"4012346", 0x1301BF},
                                                 {"Everyone", 0x1200A0}}));
}

TEST_F(FileSecurityTest, DefaultAclIsNotListed) {
    const std::string path = make_folder("inheriting", 0750);
    run_tool({"setfacl", "-d", "-m", "u:daemon:rwx,g:adm:rwx", path});
    EXPECT_EQ(simple(entries_of(path)),
              (Entries{{"root", 0x1F01FF}, {"root", 0x1200A9}, {"Everyone", 0}}));
}

TEST_F(FileSecurityTest, UnknownOwnerAndGroupReadAsNumbers) {
    const std::string path = make_folder("orphan", 0750);
    run_tool({"chown", "4012345:4012346", path});
    EXPECT_EQ(simple(entries_of(path)),
              (Entries{{"4012345", 0x1F01FF}, {"4012346", 0x1200A9}, {"Everyone", 0}}));
}

TEST_F(FileSecurityTest, PathWithApostropheAndBlankBinds) {
    const std::string path = make_folder("Bob's Ordner ='x'", 0755);
    run_tool({"setfacl", "-m", "u:daemon:r-x", path});
    EXPECT_EQ(
        simple(entries_of(path)),
        (Entries{
            {"root", 0x1F01FF}, {"daemon", 0x1200A9}, {"root", 0x1200A9}, {"Everyone", 0x1200A9}}));
}

TEST_F(FileSecurityTest, FileSystemWithoutAclSupportGivesItsPermissionBits) {
    EXPECT_EQ(simple(entries_of("/proc")),
              (Entries{{"root", 0x1200A9}, {"root", 0x1200A9}, {"Everyone", 0x1200A9}}));
}

TEST_F(FileSecurityTest, MissingEmptyOrNoFolderPathFailsTheBinding) {
    for (const std::string& path : {folder_ / "none", folder_.write("file.txt", "x")})
        EXPECT_THROW(
            layer_->GetObject("winmgmts:Win32_LogicalFileSecuritySetting.path='" + path + "'"),
            ManagementError);
    EXPECT_THROW(layer_->GetObject("winmgmts:Win32_LogicalFileSecuritySetting.path=''"),
                 ManagementError);
    // A folder that vanishes between binding and reading fails the read.
    const std::string path = make_folder("vanishing", 0755);
    auto setting =
        layer_->GetObject("winmgmts:Win32_LogicalFileSecuritySetting.path='" + path + "'");
    std::filesystem::remove(path);
    EXPECT_THROW(setting->GetSecurityDescriptor(), ManagementError);
}

}  // namespace
}  // namespace permscope::platform

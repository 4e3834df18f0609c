// The management layer on this machine: the access lists of real folders set with chmod, chown
// and setfacl, the volumes of a mount table of the test's own making, and the domains from
// configuration files. libldap reads its configuration once per process, so the LDAP client's
// base is set for the whole program (LDAPCONF, before any test runs).

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <thread>

#include "platform/domain_discovery.h"
#include "platform/forked_call.h"
#include "platform/linux_management.h"
#include "platform/volumes.h"
#include "tests/common/temp_folder.h"

extern char** environ;

namespace permscope::platform {
namespace {

namespace fs = std::filesystem;
using permscope::testing::TempFolder;

std::unique_ptr<Services> connect_local(ManagementLayer& layer) {
    return layer.CreateLocator("WbemScripting.SWbemLocator")
        ->ConnectServer("", "root\\cimv2", "", "", std::nullopt, std::nullopt, 128);
}

// Runs a program found on PATH on arguments of any spelling (no shell).
void run_tool(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    int status = -1;
    ASSERT_EQ(posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    waitpid(pid, &status, 0);
    ASSERT_EQ(status, 0) << arguments[0];
}

class FolderSecurity : public ::testing::Test {
  protected:
    // "name:mask" per entry, in the list's order; every entry allows.
    std::string entries_of(const std::string& path) {
        const SecurityDescriptor descriptor =
            layer_->GetObject("winmgmts:Win32_LogicalFileSecuritySetting.path='" + path + "'")
                ->GetSecurityDescriptor();
        std::string text;
        for (const AccessEntry& entry : descriptor.dacl.value_or(std::vector<AccessEntry>{})) {
            EXPECT_EQ(entry.type, AceType::Allow);
            char mask[16];
            std::snprintf(mask, sizeof mask, "%X", static_cast<unsigned>(entry.access_mask));
            text += (text.empty() ? "" : " ") + entry.trustee_name + ":" + mask;
        }
        return text;
    }
    std::string make_folder(const std::string& name, mode_t mode) {
        const std::string path = folder_.make_folder(name);
        run_tool({"chown", "root:root", path});
        chmod(path.c_str(), mode);
        return path;
    }

    TempFolder folder_;
    std::unique_ptr<ManagementLayer> layer_ = make_linux_management();
};

TEST_F(FolderSecurity, PermissionBitsGiveOwnerGroupAndEveryoneWithTheMaskOfEachCombination) {
    const std::string path = make_folder("plain", 0754);
    const std::pair<mode_t, const char*> cases[] = {
        {0754, "root:1F01FF root:1200A9 Everyone:120089"},
        // The owner's rwx alone is full control; rwx of others is change.
        {0536, "root:1200A9 root:1201B6 Everyone:12019F"},
        {0712, "root:1F01FF root:1200A0 Everyone:100116"},
        {0077, "root:0 root:1301BF Everyone:1301BF"}};
    for (const auto& [mode, expected] : cases) {
        chmod(path.c_str(), mode);
        EXPECT_EQ(entries_of(path), expected) << std::oct << mode;
    }
    // /proc has no ACL support: its permission bits stand for its access list.
    EXPECT_EQ(entries_of("/proc"), "root:1200A9 root:1200A9 Everyone:1200A9");
}

TEST_F(FolderSecurity, NamedEntriesInLibaclsOrderLimitedByTheMaskUnknownIdsAsNumbers) {
    const std::string path = make_folder("Bob's Ordner ='x'", 0700);
    run_tool({"setfacl", "-m",
              "u::rwx,u:daemon:rwx,u:4012345:rw-,g::rwx,g:adm:r-x,g:4012346:rwx,m::r-x,o::--x",
              path});
    run_tool({"setfacl", "-d", "-m", "u:daemon:rwx,g:adm:rwx", path});  // not listed
    EXPECT_EQ(entries_of(path),
              "root:1F01FF daemon:1200A9 4012345:120089 root:1200A9 adm:1200A9 "
              "4012346:1200A9 Everyone:1200A0");
    run_tool({"setfacl", "-m", "m::rwx", path});
    run_tool({"chown", "4012345:4012346", path});
    EXPECT_EQ(entries_of(path),
              "4012345:1F01FF daemon:1301BF 4012345:12019F 4012346:1301BF "
              "adm:1200A9 4012346:1301BF Everyone:1200A0");
}

TEST_F(FolderSecurity, AFolderThatIsMissingNoFolderOrGoneFailsTheBindingOrTheRead) {
    for (const std::string& path : {folder_ / "none", std::string(), folder_.write("file", "x")})
        EXPECT_THROW(
            layer_->GetObject("winmgmts:Win32_LogicalFileSecuritySetting.path='" + path + "'"),
            ManagementError);
    const std::string path = make_folder("vanishing", 0755);
    auto setting =
        layer_->GetObject("winmgmts:Win32_LogicalFileSecuritySetting.path='" + path + "'");
    fs::remove(path);
    EXPECT_THROW(setting->GetSecurityDescriptor(), ManagementError);
}

class CraftedVolumes : public ::testing::Test {
  protected:
    CraftedVolumes() {
        config_.mountinfo = folder_ / "mountinfo";
        config_.sys_class_block = folder_ / "block";
        config_.disk_by_label = folder_ / "by-label";
        fs::create_directories(config_.sys_class_block);
        fs::create_directories(config_.disk_by_label);
        // Disks and, inside their disk's folder as in sysfs, partitions.
        for (const auto& [path, number, removable] : {std::tuple{"vda", "254:0", "0"},
                                                      {"vda/vda1", "254:1", ""},
                                                      {"sdb", "8:16", "1"},
                                                      {"sdb/sdb1", "8:17", ""},
                                                      {"sr0", "11:0", "1"},
                                                      {"loop0", "7:0", "0"}}) {
            const std::string device = std::string("devices/") + path;
            folder_.write(device + "/dev", std::string(number) + "\n");
            folder_.write(device + (*removable ? "/removable" : "/partition"),
                          std::string(*removable ? removable : "1") + "\n");
            fs::create_directory_symlink(
                "../" + device, config_.sys_class_block + "/" + fs::path(path).filename().string());
        }
        fs::create_symlink("../../sdb1", config_.disk_by_label + "/DATA\\x20STICK");
        fs::create_symlink("../../sr0", config_.disk_by_label + "/CD_2024");
        fs::create_directories(folder_ / "bound-folder");
        folder_.write("bound-file", "x");
        folder_.write("mountinfo",
                      "22 27 0:21 / /proc rw - proc proc rw\n"
                      "27 1 254:1 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n"
                      "28 27 0:25 / /run rw - tmpfs tmpfs rw\n"
                      "29 27 8:17 / /media/my\\040stick rw - vfat /dev/sdb1 rw\n"
                      "30 27 0:44 / /mnt/share rw - cifs //srv/public rw\n"
                      "31 27 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
                      "32 27 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
                      "33 27 0:45 / /home/nfs rw - nfs4 server:/export rw\n"
                      "34 27 0:46 / /var/lib/docker/x rw - overlay overlay rw\n"
                      "35 27 254:1 /srv/data " +
                          (folder_ / "bound-folder") +
                          " rw - ext4 /dev/vda1 rw\n"
                          "36 27 254:1 /etc/hostname " +
                          (folder_ / "bound-file") +
                          " rw - ext4 /dev/vda1 rw\n"
                          "37 27 0:47 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
                          "38 27 0:48 / /mnt/sshfs rw - fuse.sshfs me@host:/home rw\n");
    }

    TempFolder folder_;
    LinuxManagementConfig config_;
};

TEST_F(CraftedVolumes, RealVolumesInTableOrderWithTypesAndLabelsAlsoAsLogicalDisks) {
    std::vector<std::string> texts;
    for (const Volume& volume : list_volumes(config_))
        texts.push_back(drive_list_entry_text(volume) + " " + std::to_string(volume.drive_type));
    EXPECT_EQ(texts,
              (std::vector<std::string>{
                  "/ [vda1] 3", "/media/my stick [DATA STICK] 2", "/mnt/share [//srv/public] 4",
                  "/media/cdrom [CD_2024] 5", "/home/nfs [server:/export] 4",
                  folder_ / "bound-folder" + " [vda1] 3", "/mnt/sshfs [me@host:/home] 4"}));
    const auto disks =
        connect_local(*make_linux_management(config_))->InstancesOf("Win32_LogicalDisk");
    ASSERT_EQ(disks.size(), 7u);
    for (const auto& [property, value] :
         std::vector<std::pair<const char*, PropertyValue>>{{"drivetype", std::int64_t{2}},
                                                            {"Caption", "/media/my stick"},
                                                            {"DeviceID", "/dev/sdb1"},
                                                            {"VolumeName", "DATA STICK"},
                                                            {"FileSystem", "vfat"}})
        EXPECT_EQ(disks[1]->property(property), value) << property;
    EXPECT_THROW(disks[0]->property("Size"), ManagementError);
}

TEST_F(CraftedVolumes, AMountTableThatCannotBeReadFailsTheEnumeration) {
    fs::remove(config_.mountinfo);
    EXPECT_THROW(connect_local(*make_linux_management(config_))->InstancesOf("Win32_LogicalDisk"),
                 ManagementError);
}

class LdapClientEnvironment : public ::testing::Environment {
    void SetUp() override {
        setenv("LDAPCONF",
               folder_.write("ldap.conf", "BASE ou=People,dc=Corp,dc=Example,dc=COM\n").c_str(), 1);
        unsetenv("LDAPBASE");
        unsetenv("LDAPRC");
        unsetenv("LDAPNOINIT");
    }
    TempFolder folder_;
};
[[maybe_unused]] auto* const ldap_environment =
    ::testing::AddGlobalTestEnvironment(new LdapClientEnvironment);

class Domains : public ::testing::Test {
  protected:
    Domains() {
        config_.sssd_conf = folder_ / "sssd.conf";
        config_.smb_conf = folder_ / "smb.conf";
        setenv("KRB5_CONFIG", (folder_ / "krb5.conf").c_str(), 1);
    }
    ~Domains() override { unsetenv("KRB5_CONFIG"); }
    std::vector<std::string> forest_names(const std::string& krb5_conf) {
        folder_.write("krb5.conf", krb5_conf);
        std::vector<std::string> names;
        for (const auto& domain :
             connect_local(*make_linux_management(config_))->InstancesOf("Win32_NTDomain"))
            names.push_back(std::get<std::string>(domain->property("DnsForestName")));
        return names;
    }
    TempFolder folder_;
    LinuxManagementConfig config_;
};

TEST_F(Domains, EverySourceInItsOrderInLowerCaseEqualNamesKept) {
    folder_.write("sssd.conf",
                  "[domain/ONE.example]\nid_provider = ad\n"
                  "[domain/two]\nid_provider = ad\nad_domain = Corp.Example.COM\n");
    folder_.write("smb.conf", "[global]\n   security = ADS\n   realm = SAMBA.EXAMPLE.ORG\n");
    EXPECT_EQ(forest_names("[libdefaults]\n  default_realm = KERBEROS.Example\n"),
              (std::vector<std::string>{"one.example", "corp.example.com", "samba.example.org",
                                        "kerberos.example", "corp.example.com"}));
    // No SSSD file, a Samba member of no domain (the last [global] security wins), no Kerberos
    // realm: only the LDAP base.
    fs::remove(folder_ / "sssd.conf");
    folder_.write("smb.conf",
                  "[global]\nsecurity = ads\nrealm = IGNORED.EXAMPLE\n[global]\nsecurity = user\n");
    EXPECT_EQ(forest_names("[libdefaults]\n  dns_lookup_realm = false\n"),
              std::vector<std::string>{"corp.example.com"});
}

// Reads in child processes run side by side (a walk's workers): a child holds no descriptor of its
// parent but its own pipe, so no other read's pipe stays open until a slow child ends.
TEST(ForkedCall, TheChildKeepsNoneOfTheParentsDescriptorsOpen) {
    using namespace std::chrono_literals;
    int other_read[2];
    ASSERT_EQ(pipe2(other_read, O_CLOEXEC), 0);
    std::thread slow([] {
        const ForkedCallResult call = call_in_child_process(
            [](int fd) {
                std::this_thread::sleep_for(1500ms);
                write_all(fd, "done");
            },
            10s);
        EXPECT_EQ(call.output, "done");
    });
    std::this_thread::sleep_for(300ms);  // the slow child runs
    close(other_read[1]);
    pollfd end{other_read[0], POLLIN, 0};
    EXPECT_EQ(poll(&end, 1, 700), 1) << "the other pipe stays open while the slow child runs";
    slow.join();
    close(other_read[0]);
}

}  // namespace
}  // namespace permscope::platform

// The whole folder read of a share path: NT access lists on a private smbd, read through the
// Linux management layer, their groups expanded against a private slapd.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "directory/group_resolver.h"
#include "directory/ldap_provider.h"
#include "platform/linux_management.h"
#include "rights/folder_read.h"
#include "tests/fixtures/private_slapd.h"
#include "tests/fixtures/private_smbd.h"
#include "tests/rights/list_rows.h"

namespace permscope::rights {
namespace {

using permscope::testing::NtAce;
using permscope::testing::OrganisationLdif;
using permscope::testing::PrivateSlapd;
using permscope::testing::PrivateSmbd;
using permscope::testing::SilentServer;
using testing::Rows;
using testing::rows_of;
using Clock = std::chrono::steady_clock;

constexpr const char* kDomain = "share.test";
constexpr const char* kEveryone = "S-1-1-0";
constexpr const char* kAdm = "S-1-22-2-4";  // the Unix group adm as the server names it

std::string organisation() {
    OrganisationLdif ldif(kDomain);
    const std::string karl = ldif.user("Karl Otto", "kotto");
    const std::string audio = ldif.group("audio", "audio", {ldif.user("Ole Dahl", "odahl")});
    ldif.group("adm", "adm", {karl, audio});
    return ldif.text();
}

class NoWindow : public ReadHooks {
  public:
    void read_starting() override {}
};

// Reads one path with the given management layer and a resolver against slapd.
class Reader {
  public:
    Reader(const PrivateSlapd& slapd, platform::LinuxManagementConfig config = {})
        : management_(platform::make_linux_management(config)),
          provider_(
              directory::make_ldap_directory_provider(directory::LdapProviderOptions{slapd.uri()})),
          resolver_(*provider_, [] { return std::string(kDomain); }) {}

    void read(const std::string& path) {
        const GroupCheck group_check = [this](std::string& name, std::string head,
                                              std::string& created) {
            return resolver_.Group_check(users, groups, name, std::move(head), created);
        };
        find_dir_rights(path, users, groups, *management_, group_check, hooks_);
        resolver_.folder_read_finished();
    }

    ResultList users;
    ResultList groups;

  private:
    NoWindow hooks_;
    std::unique_ptr<platform::ManagementLayer> management_;
    std::unique_ptr<directory::DirectoryProvider> provider_;
    directory::GroupResolver resolver_;
};

TEST(FolderReadShareTest, DenyEntriesAndGroupsOfAShareFolder) {
    PrivateSlapd slapd("dc=share,dc=test", organisation());
    PrivateSmbd server;
    server.make_folder("Projekte");
    server.set_nt_acl("Projekte", {{"root", false, 0, 0x1F01FF},
                                   {kEveryone, false, 0, 0x1200A9},
                                   {kAdm, false, 0, 0x1301BF},
                                   {kEveryone, true, 0, 0x100116},
                                   {kAdm, true, 0, 0x10000}});
    Reader reader(slapd);
    reader.read(server.unc_path("Projekte"));
    const Rows users = rows_of(reader.users);
    const Rows groups = rows_of(reader.groups);
    // The same folder through the other spelling of a share path.
    reader.read("//127.0.0.1/data/Projekte");
    EXPECT_EQ(rows_of(reader.users), users);
    EXPECT_EQ(rows_of(reader.groups), groups);

    // The descriptor comes in canonical order, deny entries first: Everyone and adm denied,
    // Everyone and adm allowed, root allowed. A name named directly a second time gets an empty
    // head group added ("no Group; ", "is Head;").
    EXPECT_EQ(users, (Rows{{"Everyone", "no Group; ", "Verweigert: Schreiben; Lesen, Ausführen"},
                           {"Karl Otto", "adm", "Verweigert: 65536; Ändern"},
                           {"Ole Dahl", "audio", "Verweigert: 65536; Ändern"},
                           {"root", "no Group", "Vollzugriff"}}));
    EXPECT_EQ(groups, (Rows{{"adm", "is Head;", "audio", "Verweigert: 65536", "", "Ändern"},
                            {"audio", "adm", "", "Verweigert: 65536", "", "Ändern"}}));
}

TEST(FolderReadShareTest, AServerThatDoesNotAnswerLeavesBothListsEmptyInTime) {
    PrivateSlapd slapd("dc=share,dc=test", organisation());
    SilentServer silent;
    platform::LinuxManagementConfig config;
    config.smb_port = silent.port();
    config.smb_timeout = std::chrono::milliseconds(1500);
    Reader reader(slapd, config);
    reader.users.append("left over");
    reader.groups.append("left over");
    const auto start = Clock::now();
    reader.read("\\\\127.0.0.1\\data\\Projekte");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(reader.users.count(), 0);
    EXPECT_EQ(reader.groups.count(), 0);
}

}  // namespace
}  // namespace permscope::rights

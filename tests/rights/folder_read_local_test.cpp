// The whole folder read against the real thing: folders with POSIX ACLs set by setfacl, the Linux
// management layer, and the group resolution against a private slapd.

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "directory/group_resolver.h"
#include "directory/ldap_provider.h"
#include "platform/linux_management.h"
#include "rights/folder_read.h"
#include "tests/fixtures/private_slapd.h"
#include "tests/rights/list_rows.h"

namespace permscope::rights {
namespace {

namespace fs = std::filesystem;
using permscope::testing::OrganisationLdif;
using permscope::testing::PrivateSlapd;
using testing::Rows;
using testing::rows_of;

constexpr const char* kDomain = "rights.test";

// adm holds a user, the group staff and the account daemon; staff holds a user and the group
// audio; audio holds a user. Groups carry the names of groups every Debian system has, so that a
// folder's ACL can name them.
std::string organisation() {
    OrganisationLdif ldif(kDomain);
    const std::string people = ldif.organisational_unit("People");
    const std::string groups = ldif.organisational_unit("Groups");
    const std::string karl = ldif.user("Karl Otto", "kotto", people);
    const std::string lena = ldif.user("Lena Frank", "lfrank", people);
    const std::string ole = ldif.user("Ole Dahl", "odahl", people);
    const std::string daemon = ldif.user("daemon", "daemon", people);
    const std::string audio = ldif.group("audio", "audio", {ole}, groups);
    const std::string staff = ldif.group("staff", "staff", {lena, audio}, groups);
    ldif.group("adm", "adm", {karl, staff, daemon}, groups);
    return ldif.text();
}

void run(const std::string& command) {
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

// The path as one word for sh, whatever quotes it holds.
std::string quoted(const fs::path& path) {
    std::string word = "'";
    for (const char c : path.string())
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

// A folder owned by this process's user and the group nogroup, with the given ACL entries added
// to owner rwx, group ---, other ---.
fs::path make_folder(const fs::path& parent, const std::string& name, const std::string& acl) {
    const fs::path folder = parent / name;
    fs::create_directories(folder);
    const group* nogroup = getgrnam("nogroup");
    if (!nogroup || chown(folder.c_str(), static_cast<uid_t>(-1), nogroup->gr_gid) != 0)
        throw std::runtime_error("cannot give " + folder.string() + " the group nogroup");
    if (chmod(folder.c_str(), 0700) != 0)
        throw std::runtime_error("chmod failed");
    run("setfacl -m " + acl + " " + quoted(folder));
    return folder;
}

std::string own_user_name() {
    const passwd* user = getpwuid(geteuid());
    if (!user)
        throw std::runtime_error("this process's user has no name");
    return user->pw_name;
}

class NoWindow : public ReadHooks {
  public:
    void read_starting() override { ++reads; }
    int reads = 0;
};

class FolderReadLocalTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        slapd_ = new PrivateSlapd("dc=rights,dc=test", organisation());
        root_ = new fs::path(fs::temp_directory_path() /
                             ("permscope-rights-" + std::to_string(getpid())));
        fs::create_directories(*root_);
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(*root_, ignored);
        delete root_;
        delete slapd_;
    }

    void read(const std::string& path) {
        const GroupCheck group_check = [this](std::string& strUserGroup, std::string MemberFrom,
                                              std::string& strCreatedListEntries) {
            return resolver.Group_check(users, groups, strUserGroup, std::move(MemberFrom),
                                        strCreatedListEntries);
        };
        find_dir_rights(path, users, groups, *management, group_check, hooks);
        resolver.folder_read_finished();
    }

    static PrivateSlapd* slapd_;
    static fs::path* root_;

    ResultList users;
    ResultList groups;
    NoWindow hooks;
    std::unique_ptr<platform::ManagementLayer> management = platform::make_linux_management();
    std::unique_ptr<directory::DirectoryProvider> provider =
        directory::make_ldap_directory_provider(directory::LdapProviderOptions{slapd_->uri()});
    directory::GroupResolver resolver{*provider, [] { return std::string(kDomain); }};
};

PrivateSlapd* FolderReadLocalTest::slapd_ = nullptr;
fs::path* FolderReadLocalTest::root_ = nullptr;

TEST_F(FolderReadLocalTest, GroupsOfTheAclAreExpandedWithRightsAndSubGroups) {
    const fs::path folder = make_folder(*root_, "Daten", "u:daemon:r--,g:adm:rwx,g:staff:r-x");
    read(folder.string());
    EXPECT_EQ(hooks.reads, 1);
    // libacl's order: owner, daemon, owning group, adm, staff, other.
    EXPECT_EQ(rows_of(users), (Rows{{own_user_name(), "no Group", "Vollzugriff"},
                                    {"daemon", "no Group; adm", "Lesen; Ändern"},
                                    {"nogroup", "no Group", "0"},
                                    {"Karl Otto", "adm", "Ändern"},
                                    {"Lena Frank", "staff", "Ändern; Lesen, Ausführen"},
                                    {"Ole Dahl", "audio", "Ändern; Lesen, Ausführen"},
                                    {"Everyone", "no Group", "0"}}));
    // staff is reached through adm first and then named directly: "adm" and an empty head group.
    EXPECT_EQ(rows_of(groups), (Rows{{"adm", "is Head", "staff", "Ändern"},
                                     {"staff", "adm;", "audio", "Ändern", "", "Lesen, Ausführen"},
                                     {"audio", "staff", "", "Ändern", "", "Lesen, Ausführen"}}));
}

TEST_F(FolderReadLocalTest, TheMaskLimitsNamedEntriesAndTheOwningGroup) {
    const fs::path folder = make_folder(*root_, "Begrenzt", "g:audio:rwx,u:daemon:rw-,m::r-x");
    read(folder.string());
    EXPECT_EQ(rows_of(users), (Rows{{own_user_name(), "no Group", "Vollzugriff"},
                                    {"daemon", "no Group", "Lesen"},  // rw- under r-x
                                    {"nogroup", "no Group", "0"},
                                    {"Ole Dahl", "audio", "Lesen, Ausführen"},
                                    {"Everyone", "no Group", "0"}}));
    EXPECT_EQ(rows_of(groups), (Rows{{"audio", "is Head", "", "Lesen, Ausführen"}}));
}

TEST_F(FolderReadLocalTest, PathsAreUsedAsTheyAreApostropheAndTrailingSlashIncluded) {
    const fs::path folder = make_folder(*root_, "Bob's Ordner", "g:audio:r--");
    for (const std::string& path : {folder.string(), folder.string() + "/"}) {
        read(path);
        EXPECT_EQ(rows_of(groups), (Rows{{"audio", "is Head", "", "Lesen"}})) << path;
        ASSERT_EQ(users.count(), 4) << path;
        EXPECT_EQ(rows_of(users)[2], (std::vector<std::string>{"Ole Dahl", "audio", "Lesen"}));
    }
}

TEST_F(FolderReadLocalTest, AFolderThatCannotBeReadLeavesBothListsEmpty) {
    const fs::path folder = make_folder(*root_, "Da", "g:adm:rwx");
    read(folder.string());
    ASSERT_GT(users.count(), 0);
    read((*root_ / "gibt es nicht").string());
    EXPECT_EQ(users.count(), 0);
    EXPECT_EQ(groups.count(), 0);
    read("");
    EXPECT_EQ(users.count(), 0);
    EXPECT_EQ(groups.count(), 0);
    EXPECT_EQ(hooks.reads, 3);
}

}  // namespace
}  // namespace permscope::rights

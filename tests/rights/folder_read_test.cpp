// The whole folder read against the real thing: folders with POSIX ACLs set by setfacl and NT
// access lists on a private smbd, read through the Linux management layer, their groups expanded
// against a private slapd.

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "directory/group_resolver.h"
#include "directory/ldap_provider.h"
#include "directory/sid_names.h"
#include "platform/linux_management.h"
#include "rights/folder_read.h"
#include "testbed/private_slapd.h"
#include "tests/common/row_texts.h"
#include "tests/common/temp_folder.h"
#include "tests/fixtures/attribute_folders.h"
#include "tests/fixtures/private_smbd.h"

namespace permscope::rights {
namespace {

using permscope::testing::row_texts;
using Rows = std::vector<std::string>;

constexpr const char* kDomain = "rights.test";

// adm holds a user, the group staff and the account daemon; staff holds a user and the group
// audio; audio holds a user. The groups carry the names of groups every Debian system has, so
// that a folder's access list can name them.
std::string organisation() {
    permscope::testing::OrganisationLdif ldif(kDomain);
    const std::string people = ldif.organisational_unit("People");
    const std::string karl = ldif.user("Karl Otto", "kotto", people);
    const std::string lena = ldif.user("Lena Frank", "lfrank", people, {}, 1105);
    const std::string ole = ldif.user("Ole Dahl", "odahl", people);
    const std::string daemon = ldif.user("daemon", "daemon", people);
    const std::string audio = ldif.group("audio", "audio", {ole}, people);
    const std::string staff = ldif.group("staff", "staff", {lena, audio}, people, 1201);
    ldif.group("adm", "adm", {karl, staff, daemon}, people);
    return ldif.text();
}

class FolderReadTest : public ::testing::Test, public ReadHooks {
  protected:
    static const permscope::testing::PrivateSlapd& slapd() {
        static const permscope::testing::PrivateSlapd slapd("dc=rights,dc=test", organisation());
        return slapd;
    }

    FolderReadOutcome read(const std::string& path) {
        const GroupCheck group_check = [this](std::string& name, std::string from,
                                              std::string& created) {
            return resolver_.Group_check(users, groups, name, std::move(from), created);
        };
        const auto outcome =
            find_dir_rights(path, users, groups, *management_, group_check, *this, &naming_);
        resolver_.folder_read_finished();
        return outcome;
    }
    void read_starting() override { ++reads; }

    // A folder of this process's user and the group nogroup: owner rwx, group and others
    // nothing, and the access list entries given.
    std::string make_folder(const std::string& name, const std::string& acl) {
        const std::string folder = root_.make_folder(name);
        if (chown(folder.c_str(), geteuid(), getgrnam("nogroup")->gr_gid) != 0 ||
            chmod(folder.c_str(), 0700) != 0 ||
            std::system(
                ("cd '" + root_.path() + "' && setfacl -m " + acl + " \"" + name + "\"").c_str()) !=
                0)
            throw std::runtime_error("cannot prepare " + folder);
        return folder;
    }

    const permscope::testing::TempFolder root_;
    const std::string me_ = getpwuid(geteuid())->pw_name;
    int reads = 0;
    ResultList users, groups;
    std::unique_ptr<platform::ManagementLayer> management_ = platform::make_linux_management();
    std::unique_ptr<directory::DirectoryProvider> provider_ =
        directory::make_ldap_directory_provider(directory::LdapProviderOptions{slapd().uri()});
    directory::GroupResolver resolver_{*provider_, [] { return std::string(kDomain); }};
    directory::DirectorySidNaming naming_{*provider_, [] { return std::string(kDomain); }};
};

TEST_F(FolderReadTest, GroupsOfAFolderAreExpandedWithRightsAndSubGroups) {
    read(make_folder("Daten", "u:daemon:r--,g:adm:rwx,g:staff:r-x"));
    EXPECT_EQ(reads, 1);
    // libacl's order: owner, daemon, owning group, adm, staff, other.
    EXPECT_EQ(row_texts(users),
              (Rows{me_ + "|no Group|Vollzugriff", "daemon|no Group; adm|Lesen; Ändern",
                    "nogroup|no Group|0", "Karl Otto|adm|Ändern",
                    "Lena Frank|staff|Ändern; Lesen, Ausführen",
                    "Ole Dahl|audio|Ändern; Lesen, Ausführen", "Everyone|no Group|0"}));
    // staff is reached through adm first and then named directly: "adm" and an empty head group.
    EXPECT_EQ(row_texts(groups),
              (Rows{"adm|is Head|staff|Ändern", "staff|adm;|audio|Ändern||Lesen, Ausführen",
                    "audio|staff||Ändern||Lesen, Ausführen"}));
}

TEST_F(FolderReadTest, TheMaskLimitsNamedEntriesAndTheOwningGroup) {
    read(make_folder("Begrenzt", "g:audio:rwx,u:daemon:rw-,g::rwx,m::r-x"));
    EXPECT_EQ(row_texts(users), (Rows{me_ + "|no Group|Vollzugriff", "daemon|no Group|Lesen",
                                      "nogroup|no Group|Lesen, Ausführen",
                                      "Ole Dahl|audio|Lesen, Ausführen", "Everyone|no Group|0"}));
    EXPECT_EQ(row_texts(groups), Rows{"audio|is Head||Lesen, Ausführen"});
}

TEST_F(FolderReadTest, PathsAreUsedAsTheyAreAndAFolderThatCannotBeReadLeavesBothListsEmpty) {
    const std::string folder = make_folder("Bob's Ordner", "g:audio:r--");
    for (const std::string& path : {folder, folder + "/"}) {
        const FolderReadOutcome outcome = read(path);
        EXPECT_TRUE(outcome.access_list_read);
        EXPECT_EQ(outcome.cause, "");
        EXPECT_EQ(row_texts(groups), Rows{"audio|is Head||Lesen"}) << path;
        EXPECT_EQ(users.count(), 4) << path;
    }
    // The outcome says why, in the management layer's words.
    for (const std::string& path : {folder + "/gibt es nicht", std::string()}) {
        const FolderReadOutcome outcome = read(path);
        EXPECT_FALSE(outcome.access_list_read) << path;
        EXPECT_EQ(outcome.cause, "cannot examine " + path + ": No such file or directory");
        EXPECT_EQ(users.count() + groups.count(), 0) << path;
    }
    EXPECT_EQ(reads, 4);
}

TEST_F(FolderReadTest, DenyEntriesAndGroupsOfAShareFolder) {
    permscope::testing::PrivateSmbd& server = permscope::testing::shared_private_smbd();
    server.make_folder("Projekte");
    const char* everyone = "S-1-1-0";
    const char* adm = "S-1-22-2-4";  // the Unix group adm as the server names it
    server.set_nt_acl("Projekte", {{"root", false, 0, 0x1F01FF},
                                   {everyone, false, 0, 0x1200A9},
                                   {adm, false, 0, 0x1301BF},
                                   {everyone, true, 0, 0x100116},
                                   {adm, true, 0, 0x10000}});
    read(server.unc_path("Projekte"));
    // The descriptor comes in canonical order, deny entries first. A name named directly a
    // second time gets an empty head group added ("no Group; ", "is Head;").
    const Rows expected_users = {"Everyone|no Group; |Verweigert: Schreiben; Lesen, Ausführen",
                                 "Karl Otto|adm|Verweigert: 65536; Ändern",
                                 "Lena Frank|staff|Verweigert: 65536; Ändern",
                                 "Ole Dahl|audio|Verweigert: 65536; Ändern",
                                 "daemon|adm|Verweigert: 65536; Ändern",
                                 "root|no Group|Vollzugriff"};
    const Rows expected_groups = {"adm|is Head;|staff|Verweigert: 65536||Ändern",
                                  "staff|adm|audio|Verweigert: 65536||Ändern",
                                  "audio|staff||Verweigert: 65536||Ändern"};
    EXPECT_EQ(row_texts(users), expected_users);
    EXPECT_EQ(row_texts(groups), expected_groups);
    // The same folder through the other spelling of a share path.
    read("//127.0.0.1/data/Projekte");
    EXPECT_EQ(row_texts(users), expected_users);
    EXPECT_EQ(row_texts(groups), expected_groups);
}

// A folder on a mounted share serves its raw descriptor (captured from the smbd): its domain SIDs
// are named by the directory's objectSid, and the group among them is expanded.
TEST_F(FolderReadTest, RawDescriptorsOfMountedSharesNameTheirAccountsThroughTheDirectory) {
    auto& server = permscope::testing::shared_private_smbd();
    server.make_folder("Roh");
    server.set_nt_acl("Roh", {{"S-1-1-0", false, 0, 0x120089},
                              {"S-1-5-21-1111-2222-3333-1201", false, 0, 0x1301BF},
                              {"S-1-5-21-1111-2222-3333-1105", true, 0, 0x100116},
                              {"S-1-5-21-1111-2222-3333-9999", false, 0, 0x1200A9}});
    const permscope::testing::AttributeFolders mounted(
        {{"Roh", {{"system.cifs_ntsd", server.security_descriptor_bytes("Roh")}}}});
    const FolderReadOutcome outcome = read(mounted.path("Roh"));
    EXPECT_TRUE(outcome.access_list_read);
    EXPECT_EQ(outcome.problem, "");  // the SID nobody knows is no failure
    EXPECT_EQ(row_texts(users), (Rows{"Lena Frank|no Group; staff|Verweigert: Schreiben; Ändern",
                                      "Everyone|no Group|Lesen", "Ole Dahl|audio|Ändern",
                                      "S-1-5-21-1111-2222-3333-9999|no Group|Lesen, Ausführen"}));
    EXPECT_EQ(row_texts(groups), (Rows{"staff|is Head|audio|Ändern", "audio|staff||Ändern"}));
}

}  // namespace
}  // namespace permscope::rights

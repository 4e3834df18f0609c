#include "rights/folder_read.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/rights/in_memory_group_check.h"
#include "tests/rights/in_memory_management.h"
#include "tests/rights/list_rows.h"

namespace permscope::rights {
namespace {

using platform::AccessEntry;
using platform::AceType;
using testing::fill;
using testing::InMemoryGroupCheck;
using testing::InMemoryManagement;
using testing::Rows;
using testing::rows_of;

constexpr const char* kDaten = "winmgmts:Win32_LogicalFileSecuritySetting.path='/srv/daten'";

constexpr std::int32_t kFull = 0x1F01FF;
constexpr std::int32_t kChange = 0x1301BF;
constexpr std::int32_t kRead = 0x120089;
constexpr std::int32_t kWrite = 0x100116;

// Notes, in order, what happens to the lists and when the window's hook runs.
class EventLog : public ReadHooks {
  public:
    class ListObserver : public ResultList::Observer {
      public:
        ListObserver(std::vector<std::string>& log, std::string name) : log_(log), name_(name) {}
        void list_cleared() override { log_.push_back(name_ + " cleared"); }
        void row_appended(ResultList::Position) override {}
        void row_changed(ResultList::Position) override {}

      private:
        std::vector<std::string>& log_;
        std::string name_;
    };

    void read_starting() override {
        events.push_back("read starting");
        if (during_start)
            during_start();
    }

    std::vector<std::string> events;
    std::function<void()> during_start;
};

class FolderReadTest : public ::testing::Test {
  protected:
    void read(const std::string& path) {
        find_dir_rights(path, users, groups, management, directory.as_group_check(), hooks);
    }

    ResultList users;
    ResultList groups;
    InMemoryManagement management;
    InMemoryGroupCheck directory{users, groups};
    EventLog hooks;
};

TEST_F(FolderReadTest, HookRunsFirstThenGroupsAndUsersAreEmptied) {
    fill(users, {{"old user", "no Group", "Lesen"}});
    fill(groups, {{"old group", "is Head", "", "Lesen"}});
    EventLog::ListObserver user_observer(hooks.events, "users");
    EventLog::ListObserver group_observer(hooks.events, "groups");
    users.set_observer(&user_observer);
    groups.set_observer(&group_observer);
    hooks.during_start = [&] {
        // The previous folder is still shown while pending window events run.
        EXPECT_EQ(users.count(), 1);
        EXPECT_EQ(groups.count(), 1);
    };
    read("/nowhere");
    EXPECT_EQ(hooks.events,
              (std::vector<std::string>{"read starting", "groups cleared", "users cleared"}));
    users.set_observer(nullptr);
    groups.set_observer(nullptr);
}

TEST_F(FolderReadTest, BindsTheMonikerOfThePathAsGiven) {
    read("C:\\Daten");
    read("\\\\server\\share");
    read("//server/share/dir");
    EXPECT_EQ(management.bound_monikers(),
              (std::vector<std::string>{
                  "winmgmts:Win32_LogicalFileSecuritySetting.path='C:\\Daten'",
                  "winmgmts:Win32_LogicalShareSecuritySetting.name='\\\\server\\share'",
                  "winmgmts:Win32_LogicalShareSecuritySetting.name='//server/share/dir'"}));
}

TEST_F(FolderReadTest, UnreadableOrEmptyAccessListsLeaveBothListsEmpty) {
    management.add_folder("winmgmts:Win32_LogicalFileSecuritySetting.path='/no-dacl'",
                          InMemoryManagement::Folder{platform::SecurityDescriptor{}, false});
    management.add_folder("winmgmts:Win32_LogicalFileSecuritySetting.path='/empty'",
                          std::vector<AccessEntry>{});
    management.add_folder(
        "winmgmts:Win32_LogicalFileSecuritySetting.path='/denied'",
        InMemoryManagement::Folder{
            platform::SecurityDescriptor{std::vector<AccessEntry>{{"U", kRead, AceType::Allow}}},
            true});
    for (const char* path : {"/unknown", "/no-dacl", "/empty", "/denied"}) {
        fill(users, {{"stale", "no Group", "Lesen"}});
        fill(groups, {{"stale", "is Head", "", "Lesen"}});
        read(path);
        EXPECT_EQ(users.count(), 0) << path;
        EXPECT_EQ(groups.count(), 0) << path;
    }
    EXPECT_TRUE(directory.calls().empty());
}

TEST_F(FolderReadTest, AProviderThatBindsNothingOrNoGroupCheckEndsTheReadQuietly) {
    class BindsNothing : public InMemoryManagement {
        std::unique_ptr<platform::SecuritySetting> GetObject(std::string_view) override {
            return nullptr;
        }
    } binds_nothing;
    fill(users, {{"stale", "no Group", "Lesen"}});
    find_dir_rights("/srv/daten", users, groups, binds_nothing, directory.as_group_check(), hooks);
    EXPECT_EQ(users.count(), 0);

    management.add_folder(kDaten, {{"U", kRead, AceType::Allow}});
    find_dir_rights("/srv/daten", users, groups, management, GroupCheck(), hooks);
    EXPECT_EQ(users.count(), 0);
    EXPECT_EQ(groups.count(), 0);
}

TEST_F(FolderReadTest, CallsGroupCheckOncePerEntryWithFreshArguments) {
    management.add_folder(
        kDaten,
        {{"U", kRead, AceType::Allow}, {"G", kWrite, AceType::Allow}, {"U", kRead, AceType::Deny}});
    directory.add_group("G", {"U"});
    read("/srv/daten");
    ASSERT_EQ(directory.calls().size(), 3u);
    const std::vector<std::string> names{"U", "G", "U"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(directory.calls()[i].strUserGroup, names[i]);
        EXPECT_EQ(directory.calls()[i].MemberFrom, "");
        EXPECT_EQ(directory.calls()[i].strCreatedListEntries, "");
    }
}

TEST_F(FolderReadTest, ExpandsAGroupIntoRowsWithRightsAndSubGroups) {
    management.add_folder(kDaten, {{"G", kFull, AceType::Allow}});
    directory.add_group("G", {"U1", "G2"});
    directory.add_group("G2", {"U2"});
    read("/srv/daten");
    EXPECT_EQ(rows_of(groups),
              (Rows{{"G", "is Head", "G2", "Vollzugriff"}, {"G2", "G", "", "Vollzugriff"}}));
    EXPECT_EQ(rows_of(users), (Rows{{"U1", "G", "Vollzugriff"}, {"U2", "G2", "Vollzugriff"}}));
}

TEST_F(FolderReadTest, MergesTheRightsOfEveryEntryThatReachesAUser) {
    management.add_folder(kDaten, {{"U", kRead, AceType::Allow},
                                   {"U", kWrite, AceType::Allow},
                                   {"U", kRead, AceType::Allow},
                                   {"U", kWrite, AceType::Allow},
                                   {"G", 0x1200A9, AceType::Allow}});
    directory.add_group("G", {"U", "V"});
    read("/srv/daten");
    EXPECT_EQ(rows_of(users), (Rows{{"U", "no Group; G", "Lesen; Schreiben; Lesen, Ausführen"},
                                    {"V", "G", "Lesen, Ausführen"}}));
}

TEST_F(FolderReadTest, GroupNamedTwiceKeepsItsFirstRightsAndGetsAFurtherPair) {
    management.add_folder(kDaten, {{"G", kRead, AceType::Allow}, {"G", kChange, AceType::Allow}});
    directory.add_group("G", {});
    read("/srv/daten");
    EXPECT_EQ(rows_of(groups), (Rows{{"G", "is Head", "", "Lesen", "", "Ändern"}}));
}

TEST_F(FolderReadTest, DenyEntriesShowWhatTheyTakeAway) {
    management.add_folder(kDaten, {{"G", kWrite, AceType::Deny},
                                   {"G", kRead, AceType::Allow},
                                   {"U", kRead, AceType::Allow},
                                   {"U", 0x1F03FF, AceType::Deny}});
    directory.add_group("G", {"U"});
    read("/srv/daten");
    EXPECT_EQ(rows_of(groups), (Rows{{"G", "is Head", "", "Verweigert: Schreiben", "", "Lesen"}}));
    EXPECT_EQ(rows_of(users),
              (Rows{{"U", "G; no Group", "Verweigert: Schreiben; Lesen; Verweigert: 2032639"}}));
}

TEST_F(FolderReadTest, MasksOutsideTheTableShowAsSignedDecimals) {
    management.add_folder(kDaten, {{"A", static_cast<std::int32_t>(0x80000000u), AceType::Allow},
                                   {"B", 0x0F01FF, AceType::Allow},
                                   {"C", 0, AceType::Allow}});
    read("/srv/daten");
    EXPECT_EQ(rows_of(users), (Rows{{"A", "no Group", "-2147483648"},
                                    {"B", "no Group", "983551"},
                                    {"C", "no Group", "0"}}));
}

TEST_F(FolderReadTest, EntriesOfAFailingGroupCheckStillGetTheirRights) {
    management.add_folder(kDaten, {{"U", kRead, AceType::Allow},
                                   {"broken", kWrite, AceType::Allow},
                                   {"junk", kFull, AceType::Allow}});
    GroupCheck group_check = [&](std::string& name, std::string,
                                 std::string& created) -> std::string {
        if (name == "junk")
            return "1-User,,7-User,x-Group,1-User";  // bad pieces are skipped
        const auto position = users.append(name);
        users.append_sub_item(position, "no Group");
        created += "," + std::to_string(position) + "-User";
        if (name == "broken")
            throw std::runtime_error("directory went away");
        return created;
    };
    find_dir_rights("/srv/daten", users, groups, management, group_check, hooks);
    EXPECT_EQ(rows_of(users),
              (Rows{{"U", "no Group", "Lesen; Vollzugriff"}, {"broken", "no Group", "Schreiben"}}));
}

TEST_F(FolderReadTest, AReadStartedByPendingEventsIsReplacedByThisOne) {
    management.add_folder(kDaten, {{"U", kRead, AceType::Allow}});
    management.add_folder("winmgmts:Win32_LogicalFileSecuritySetting.path='/srv/other'",
                          {{"W", kWrite, AceType::Allow}});
    bool nested = false;
    hooks.during_start = [&] {
        if (nested)
            return;
        nested = true;
        read("/srv/other");
        EXPECT_EQ(rows_of(users), (Rows{{"W", "no Group", "Schreiben"}}));
    };
    read("/srv/daten");
    EXPECT_EQ(rows_of(users), (Rows{{"U", "no Group", "Lesen"}}));
    EXPECT_EQ(groups.count(), 0);
}

}  // namespace
}  // namespace permscope::rights

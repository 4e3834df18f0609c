// Group_check against an in-memory directory: the session's steps, rows, head-group texts, the
// created-entries list, expansion and cycles. The cases that need a real directory's answers
// (escaping, distinguished names, primary groups) run against slapd in the integration tests.
#include "directory/group_resolver.h"

#include <gtest/gtest.h>

#include "directory/query_dialect.h"
#include "tests/directory/memory_directory.h"
#include "tests/directory/row_texts.h"

namespace permscope::directory {
namespace {

using testing::MemoryDirectory;
using Lines = std::vector<std::string>;

class GroupResolverTest : public ::testing::Test {
  protected:
    // One access entry's resolution as the folder read makes it.
    std::string check(std::string name, std::string head_group = {}) {
        std::string created;
        return resolver.Group_check(users, groups, name, std::move(head_group), created);
    }
    static Lines rows(const ResultList& list) { return testing::row_texts(list); }
    static std::string dn(const std::string& cn, const std::string& ou = "") {
        return MemoryDirectory::dn_of(cn, ou);
    }

    MemoryDirectory directory;
    int domain_reads = 0;
    // One name at a time, so that the log shows each resolution's own session steps.
    GroupResolver resolver{directory,
                           [this] {
                               ++domain_reads;
                               return std::string("example.test");
                           },
                           ResolutionOptions::one_name_at_a_time()};
    ResultList users;
    ResultList groups;
};

TEST_F(GroupResolverTest, WorkedExample) {
    directory.add_group("G", "G", {dn("U1"), dn("G2")});
    directory.add_group("G2", "G2", {dn("U2")});
    directory.add_user("U1", "U1");
    directory.add_user("U2", "U2");
    std::string name = "G";
    std::string created;
    EXPECT_EQ(resolver.Group_check(users, groups, name, "", created),
              ",1-Group,1-User,2-Group,2-User");
    EXPECT_EQ(created, ",1-Group,1-User,2-Group,2-User");
    EXPECT_EQ(rows(groups), (Lines{"G|is Head", "G2|G"}));
    EXPECT_EQ(rows(users), (Lines{"U1|G", "U2|G2"}));
    EXPECT_EQ(domain_reads, 4);  // the domain name is read at every resolution
}

TEST_F(GroupResolverTest, SessionStepsOfAUserResolution) {
    directory.add_user("Anna Berg", "aberg");
    std::string name = "aberg";
    std::string created;
    resolver.Group_check(users, groups, name, "", created);
    const std::string base = "dc=example,dc=test";
    EXPECT_EQ(directory.log, (Lines{"create ADODB.Connection", "create ADODB.Command",
                                    "Open Provider=ADsDSOObject;", "ActiveConnection",
                                    "CommandText " + group_lookup_text(base, "aberg"), "Execute",
                                    "RecordCount", "CommandText " + user_lookup_text(base, "aberg"),
                                    "Execute", "RecordCount", "Fields Name", "Close"}));
    EXPECT_EQ(name, "Anna Berg");  // the caller's name becomes the directory's Name
    EXPECT_EQ(rows(users), Lines{"Anna Berg|no Group"});
}

TEST_F(GroupResolverTest, CloseIsTheLastStepOfAGroupResolution) {
    directory.add_group("G", "G", {dn("U1")});
    directory.add_user("U1", "U1");
    check("G");
    // Two sessions: the member's opens and closes inside the group's.
    EXPECT_EQ(directory.lines_beginning("Close").size(), 2u);
    EXPECT_EQ(directory.log.back(), "Close");
    EXPECT_EQ(directory.lines_beginning("Fields Member"), Lines{"Fields Member"});
}

TEST_F(GroupResolverTest, UnknownNameIsAUserUnderItsOwnText) {
    EXPECT_EQ(check("nobody"), ",1-User");
    EXPECT_EQ(rows(users), Lines{"nobody|no Group"});
    EXPECT_TRUE(groups.rows().empty());
}

TEST_F(GroupResolverTest, WithoutDirectoryEveryTrusteeIsAUser) {
    directory.add_group("G", "G", {});
    directory.failing_steps.insert("Open");
    EXPECT_EQ(check("G"), ",1-User");
    EXPECT_EQ(check("anna"), ",2-User");
    EXPECT_EQ(check("Anna"), ",3-User");  // names differ in case: rows of their own
    // A second direct mention adds an empty head group, as for any user row.
    EXPECT_EQ(check("G"), ",1-User");
    EXPECT_EQ(rows(users), (Lines{"G|no Group; ", "anna|no Group", "Anna|no Group"}));
}

TEST_F(GroupResolverTest, UserReachedThroughGroupThenNamedDirectly) {
    directory.add_group("G", "G", {dn("U")});
    directory.add_user("U", "U");
    check("G");
    EXPECT_EQ(check("U"), ",1-User");
    EXPECT_EQ(rows(users), Lines{"U|G; "});
    check("U");
    EXPECT_EQ(rows(users), Lines{"U|G; "});
}

TEST_F(GroupResolverTest, UserNamedDirectlyThenReachedThroughGroup) {
    directory.add_group("G", "G", {dn("U")});
    directory.add_user("U", "U");
    check("U");
    EXPECT_EQ(check("G"), ",1-Group,1-User");
    EXPECT_EQ(rows(users), Lines{"U|no Group; G"});
}

TEST_F(GroupResolverTest, GroupHeadTextsInEitherOrder) {
    directory.add_group("G", "G", {dn("G3")});
    directory.add_group("G3", "G3", {});
    check("G3");
    check("G");
    EXPECT_EQ(rows(groups), (Lines{"G3|is Head;G", "G|is Head"}));

    groups.clear();
    check("G");
    check("G3");
    EXPECT_EQ(rows(groups), (Lines{"G|is Head", "G3|G;"}));
}

TEST_F(GroupResolverTest, GroupReachedThroughTwoParents) {
    directory.add_group("G1", "G1", {dn("G3")});
    directory.add_group("G2", "G2", {dn("G3")});
    directory.add_group("G3", "G3", {});
    check("G1");
    check("G2");
    EXPECT_EQ(rows(groups), (Lines{"G1|is Head", "G3|G1;G2", "G2|is Head"}));
}

TEST_F(GroupResolverTest, ListedGroupIsExpandedAgain) {
    directory.add_group("G", "G", {dn("U1"), dn("U2")});
    directory.add_user("U1", "U1");
    directory.add_user("U2", "U2");
    EXPECT_EQ(check("G"), ",1-Group,1-User,2-User");
    EXPECT_EQ(check("G"), ",1-Group,1-User,2-User");
    EXPECT_EQ(rows(users), (Lines{"U1|G", "U2|G"}));
    EXPECT_EQ(rows(groups), Lines{"G|is Head;"});
}

TEST_F(GroupResolverTest, EmptyGroupAddsOnlyItsRow) {
    directory.add_group("Leer", "Leer", {});
    EXPECT_EQ(check("Leer"), ",1-Group");
    EXPECT_TRUE(users.rows().empty());
}

TEST_F(GroupResolverTest, EveryMatchingRowIsEnteredAndTheLastUpdated) {
    for (int i = 0; i < 2; ++i)
        users.append_sub_item(users.append("U"), "X");
    users.append("U");  // a row without a Group column is left as it is
    EXPECT_EQ(check("U", "G"), ",1-User,2-User,3-User");
    EXPECT_EQ(rows(users), (Lines{"U|X", "U|X", "U"}));
    EXPECT_EQ(check("U", "G"), ",1-User,2-User,3-User");
    users.append_sub_item(users.append("U"), "X");
    EXPECT_EQ(check("U", "G"), ",1-User,2-User,3-User,4-User");
    EXPECT_EQ(rows(users), (Lines{"U|X", "U|X", "U", "U|X; G"}));
}

TEST_F(GroupResolverTest, RowsBeyond32767AreMatched) {
    for (int i = 1; i <= 40000; ++i)
        users.append_sub_item(users.append("N" + std::to_string(i)), "X");
    EXPECT_EQ(check("N40000", "G"), ",40000-User");
    EXPECT_EQ(users.sub_item(40000, 1), "X; G");
    EXPECT_EQ(check("N40001"), ",40001-User");
}

TEST_F(GroupResolverTest, ListClearedBetweenReadsStartsAfresh) {
    directory.add_user("U", "U");
    check("U");
    users.clear();
    groups.clear();
    EXPECT_EQ(check("V"), ",1-User");
    EXPECT_EQ(check("U"), ",2-User");
}

TEST_F(GroupResolverTest, CycleEnds) {
    directory.add_group("A", "A", {dn("B")});
    directory.add_group("B", "B", {dn("A"), dn("U")});
    directory.add_user("U", "U");
    EXPECT_EQ(check("A"), ",1-Group,2-Group,1-Group,1-User");
    EXPECT_EQ(rows(groups), (Lines{"A|is Head;B", "B|A"}));
    EXPECT_EQ(rows(users), Lines{"U|B"});
    // From the other side of the cycle.
    EXPECT_EQ(check("B"), ",2-Group,1-Group,2-Group,1-User");
}

TEST_F(GroupResolverTest, GroupThatContainsItself) {
    directory.add_group("S", "S", {dn("S")});
    EXPECT_EQ(check("S"), ",1-Group,1-Group");
    EXPECT_EQ(rows(groups), Lines{"S|is Head;S"});
}

TEST_F(GroupResolverTest, FolderReadFinishedLetsTheProviderTryServersAgain) {
    resolver.folder_read_finished();
    EXPECT_EQ(directory.forget_calls, 1);
}

}  // namespace
}  // namespace permscope::directory

// One query session: the steps in their order and the failure rules.
#include "directory/query_session.h"

#include <gtest/gtest.h>

#include "directory/query_dialect.h"
#include "tests/directory/memory_directory.h"

namespace permscope::directory {
namespace {

using testing::MemoryDirectory;
using Slot = QuerySession::Slot;
using Lines = std::vector<std::string>;

class QuerySessionTest : public ::testing::Test {
  protected:
    QuerySessionTest() { directory.add_user("Anna Berg", "aberg"); }
    MemoryDirectory directory;
    const std::string user_text = user_lookup_text("DC=example,DC=test", "aberg");
};

TEST_F(QuerySessionTest, OpensRunsAndClosesInOrder) {
    {
        QuerySession session(directory);
        EXPECT_TRUE(session.execute(user_text, Slot::Second));
        EXPECT_EQ(session.record_count(Slot::Second), 1);
        EXPECT_EQ(std::get<std::string>(read_field(session, Slot::Second, "name")), "Anna Berg");
        session.close();
        session.close();
    }
    EXPECT_EQ(directory.log,
              (Lines{"create ADODB.Connection", "create ADODB.Command",
                     "Open Provider=ADsDSOObject;", "ActiveConnection", "CommandText " + user_text,
                     "Execute", "RecordCount", "Fields name", "Close"}));
}

TEST_F(QuerySessionTest, ClosesWhenDestroyedWithoutClose) {
    { QuerySession session(directory); }
    EXPECT_EQ(directory.log.back(), "Close");
}

TEST_F(QuerySessionTest, FailedExecutionKeepsThePreviousRecordSet) {
    QuerySession session(directory);
    ASSERT_TRUE(session.execute(user_text, Slot::First));
    directory.fails_execution = [](const std::string&) { return true; };
    EXPECT_FALSE(session.execute(user_lookup_text("DC=example,DC=test", "nobody"), Slot::First));
    EXPECT_EQ(session.record_count(Slot::First), 1);
    EXPECT_EQ(session.record_count(Slot::Second), std::nullopt);
}

TEST_F(QuerySessionTest, TextOutsideTheDialectFailsLikeAnyExecution) {
    QuerySession session(directory);
    EXPECT_FALSE(session.execute("SELECT Name FROM 'LDAP://x' WHERE a='O'Brien'", Slot::First));
    EXPECT_EQ(session.recordset(Slot::First), nullptr);
    EXPECT_EQ(session.record_count(Slot::First), std::nullopt);
}

TEST_F(QuerySessionTest, UnreadableCountReadsAsFailure) {
    directory.failing_steps.insert("RecordCount");
    QuerySession session(directory);
    ASSERT_TRUE(session.execute(user_text, Slot::First));
    EXPECT_EQ(session.record_count(Slot::First), std::nullopt);
}

TEST_F(QuerySessionTest, WithoutObjectsEveryExecutionFails) {
    for (const char* failing : {"create ADODB.Connection", "create ADODB.Command", "Open"}) {
        directory.log.clear();
        directory.failing_steps = {failing};
        {
            QuerySession session(directory);
            EXPECT_FALSE(session.execute(user_text, Slot::First)) << failing;
            EXPECT_EQ(session.record_count(Slot::First), std::nullopt);
        }
        // Close runs only on a connection that opened.
        EXPECT_EQ(directory.lines_beginning("Close").size(),
                  std::string(failing) == "create ADODB.Command" ? 1u : 0u)
            << failing;
    }
}

TEST_F(QuerySessionTest, FailingActiveConnectionLeavesTheCommandWithoutConnection) {
    directory.failing_steps = {"ActiveConnection"};
    {
        QuerySession session(directory);
        EXPECT_FALSE(session.execute(user_text, Slot::First));
    }
    EXPECT_EQ(directory.log.back(), "Close");  // the connection itself did open
}

TEST_F(QuerySessionTest, FailingCloseIsSkipped) {
    directory.failing_steps = {"Close"};
    QuerySession session(directory);
    EXPECT_NO_THROW(session.close());
}

TEST_F(QuerySessionTest, ScopeIsSetOnlyWhenItChanges) {
    QuerySession session(directory);
    session.execute(entry_read_text(MemoryDirectory::dn_of("Anna Berg")), Slot::Extra,
                    SearchScope::Base);
    EXPECT_EQ(session.record_count(Slot::Extra), 1);
    session.execute(user_text, Slot::Second);
    session.execute(user_text, Slot::Second);
    EXPECT_EQ(directory.lines_beginning("Searchscope"),
              (Lines{"Searchscope base", "Searchscope subtree"}));
}

}  // namespace
}  // namespace permscope::directory

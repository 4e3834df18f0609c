// Kept answers: a stored record set reads like the one the directory gave, and a query session
// with a store answers a text that ran before without asking the directory again.
#include "directory/answer_store.h"

#include <gtest/gtest.h>

#include "directory/query_session.h"
#include "tests/directory/memory_directory.h"

namespace permscope::directory {
namespace {

using testing::MemoryDirectory;
using Slot = QuerySession::Slot;

const std::string kGroupLookup =
    "SELECT Name, samAccountName, Member FROM 'LDAP://dc=example,dc=test' WHERE "
    "objectCategory='Group' and samAccountName='G'";

class AnswerStoreTest : public ::testing::Test {
  protected:
    AnswerStoreTest() {
        directory.add_group("G", "G", {MemoryDirectory::dn_of("U1"), MemoryDirectory::dn_of("U2")});
        directory.add_user("U1", "U1");
    }
    MemoryDirectory directory;
    AnswerStore store;
};

TEST_F(AnswerStoreTest, StoredRecordsetReadsLikeTheDirectorysOwn) {
    QuerySession live(directory);
    ASSERT_TRUE(live.execute(kGroupLookup, Slot::First));
    QuerySession kept(directory, &store);
    ASSERT_TRUE(kept.execute(kGroupLookup, Slot::First));
    Recordset& a = *live.recordset(Slot::First);
    Recordset& b = *kept.recordset(Slot::First);
    EXPECT_EQ(b.RecordCount(), a.RecordCount());
    EXPECT_EQ(b.DistinguishedName(), a.DistinguishedName());
    for (const char* field : {"Name", "NAME", "samaccountname", "member"})
        EXPECT_EQ(b.Fields(field), a.Fields(field)) << field;
    // A field the query did not select is no field of the record set, in either.
    EXPECT_THROW(a.Fields("objectCategory"), DirectoryError);
    EXPECT_THROW(b.Fields("objectCategory"), DirectoryError);
    b.MoveNext();
    EXPECT_TRUE(b.Eof());
    EXPECT_THROW(b.Fields("Name"), DirectoryError);
    EXPECT_THROW(b.MoveNext(), DirectoryError);
}

TEST_F(AnswerStoreTest, ATextThatRanIsAnsweredFromTheStoreInItsScope) {
    {
        QuerySession session(directory, &store);
        ASSERT_TRUE(session.execute(kGroupLookup, Slot::First));
    }
    const std::size_t executions = directory.lines_beginning("Execute").size();
    QuerySession again(directory, &store);
    ASSERT_TRUE(again.execute(kGroupLookup, Slot::Second));
    EXPECT_EQ(again.record_count(Slot::Second), 1);
    EXPECT_EQ(directory.lines_beginning("Execute").size(), executions);
    // The same text with another scope is another question.
    ASSERT_TRUE(again.execute(kGroupLookup, Slot::Extra, SearchScope::Base));
    EXPECT_EQ(directory.lines_beginning("Execute").size(), executions + 1);
}

TEST_F(AnswerStoreTest, FailedExecutionsAreNotKept) {
    directory.fails_execution = [](const std::string&) { return true; };
    QuerySession first(directory, &store);
    EXPECT_FALSE(first.execute(kGroupLookup, Slot::First));
    EXPECT_EQ(store.size(), 0u);
    directory.fails_execution = nullptr;
    QuerySession second(directory, &store);
    EXPECT_TRUE(second.execute(kGroupLookup, Slot::First));
    EXPECT_EQ(second.record_count(Slot::First), 1);
}

TEST(AnswerStore, TextsAreKeptApartWhereverTheyDiffer) {
    const std::vector<std::string> texts = {
        "SELECT a FROM 'LDAP://dc=x' WHERE n='a'",
        "SELECT a FROM 'LDAP://dc=x' WHERE n='a' or m='b'",
        "SELECT a FROM 'LDAP://dc=x' WHERE n='b'",
        "SELECT a FROM 'LDAP://dc=y' WHERE n='a'",
        "SELECT a FROM 'LDAP://dc=x' WHERE n='a='",
        "SELECT a FROM 'LDAP://dc=x' WHERE n=''a'",
        "SELECT a FROM 'LDAP://dc=x'",
        "",
    };
    AnswerStore store;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        auto answer = std::make_shared<StoredAnswer>();
        answer->selected = {std::to_string(i)};
        store.keep(texts[i], SearchScope::Subtree, answer);
    }
    EXPECT_EQ(store.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const AnswerPart found = store.find(texts[i], SearchScope::Subtree);
        ASSERT_TRUE(found) << texts[i];
        EXPECT_EQ(found.answer->selected, std::vector<std::string>{std::to_string(i)}) << texts[i];
        EXPECT_FALSE(store.contains(texts[i], SearchScope::Base));
    }
    EXPECT_FALSE(store.contains("SELECT a FROM 'LDAP://dc=x' WHERE n='c'", SearchScope::Subtree));
    store.clear();
    EXPECT_EQ(store.size(), 0u);
    EXPECT_FALSE(store.contains(texts[0], SearchScope::Subtree));
}

TEST(AnswerStore, OneValueAskedByManyQueriesKeepsEachAnswer) {
    const std::vector<std::string> heads = {
        "SELECT a FROM 'LDAP://dc=x' WHERE n='", "SELECT a FROM 'LDAP://dc=x' WHERE m='",
        "SELECT b FROM 'LDAP://dc=x' WHERE n='", "SELECT a FROM 'LDAP://dc=y' WHERE n='"};
    AnswerStore store;
    const auto answer_named = [](const std::string& name) {
        auto answer = std::make_shared<StoredAnswer>();
        answer->selected = {name};
        return answer;
    };
    for (const SearchScope scope : {SearchScope::Subtree, SearchScope::Base})
        for (std::size_t i = 0; i < heads.size(); ++i)
            store.keep(heads[i] + "v'", scope, answer_named(std::to_string(i)));
    // A later answer to one of them replaces that one only.
    store.keep(heads[2] + "v'", SearchScope::Base, answer_named("new"));
    EXPECT_EQ(store.size(), 2 * heads.size());
    for (const SearchScope scope : {SearchScope::Subtree, SearchScope::Base}) {
        for (std::size_t i = 0; i < heads.size(); ++i) {
            const AnswerPart found = store.find(heads[i] + "v'", scope);
            ASSERT_TRUE(found) << heads[i];
            const std::string expected =
                i == 2 && scope == SearchScope::Base ? "new" : std::to_string(i);
            EXPECT_EQ(found.answer->selected.front(), expected) << heads[i];
        }
    }
    EXPECT_FALSE(store.find(heads[0] + "w'", SearchScope::Subtree));
}

}  // namespace
}  // namespace permscope::directory

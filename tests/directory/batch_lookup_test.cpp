// Lookups of many names per search: the query text, which names may share a search, how a batch
// answer is handed to the names asked, and the resolution's fast path against an in-memory
// directory (searches saved, rows the same as one name at a time, fallbacks).
#include "directory/batch_lookup.h"

#include <gtest/gtest.h>

#include "directory/group_resolver.h"
#include "directory/query_dialect.h"
#include "tests/directory/memory_directory.h"
#include "tests/directory/row_texts.h"

namespace permscope::directory {
namespace {

using testing::MemoryDirectory;
using Lines = std::vector<std::string>;

TEST(BatchLookupText, OrOfQuotedAccountNamesUnderTheCategory) {
    EXPECT_EQ(batch_lookup_text("dc=a,dc=b", "Group", {"x", "O'Brien", "y*"}),
              "SELECT Name, samAccountName, Member FROM 'LDAP://dc=a,dc=b' WHERE "
              "objectCategory='Group' and (samAccountName='x' or samAccountName='O''Brien' or "
              "samAccountName='y*')");
    EXPECT_EQ(batch_lookup_text("dc=a", "User", {"u"}),
              "SELECT Name, samAccountName, Member FROM 'LDAP://dc=a' WHERE "
              "objectCategory='User' and (samAccountName='u')");
}

TEST(BatchLookupText, AccountsOfAnyCategorySelectTheCategoryLast) {
    EXPECT_EQ(batch_account_lookup_text("dc=a,dc=b", {"x", "O'Brien"}),
              "SELECT Name, samAccountName, Member, objectCategory FROM 'LDAP://dc=a,dc=b' WHERE "
              "samAccountName='x' or samAccountName='O''Brien'");
}

TEST(CategoryMatch, OnlyPlainExactNamesDecide) {
    using Strings = std::vector<std::string>;
    struct Case {
        FieldValue value;
        bool known, group, user;
    };
    const Case cases[] = {
        {std::string("Group"), true, true, false},
        {std::string("User"), true, false, true},
        {std::string("Computer"), true, false, false},
        {Strings{"User", "Group"}, true, true, true},
        // A case variant matches or not by the directory's rule.
        {std::string("user"), false, false, false},
        {std::string("GROUP"), false, false, false},
        {Strings{"Computer", "group"}, false, false, false},
        // Active Directory keeps a distinguished name and maps the lookup's name to it.
        {std::string("CN=Person,CN=Schema,CN=Configuration,DC=example,DC=test"), false, false,
         false},
        {std::string("Gro up"), false, false, false},
        {std::string("Gr\xc3\xbcppe"), false, false, false},
        {FieldValue(), false, false, false},
        {Strings{}, false, false, false},
    };
    for (const Case& c : cases) {
        const CategoryMatch match = category_match(c.value);
        EXPECT_EQ(match.known, c.known) << ::testing::PrintToString(c.value);
        EXPECT_EQ(match.group, c.group) << ::testing::PrintToString(c.value);
        EXPECT_EQ(match.user, c.user) << ::testing::PrintToString(c.value);
    }
}

TEST(BatchableName, OnlyPrintableAsciiWithoutBlanks) {
    EXPECT_TRUE(batchable_name("meier"));
    EXPECT_TRUE(batchable_name("O'Brien"));
    EXPECT_TRUE(batchable_name("a*(b)\\"));
    EXPECT_FALSE(batchable_name(""));
    EXPECT_FALSE(batchable_name("Hans Meier"));
    EXPECT_FALSE(batchable_name(" x"));
    EXPECT_FALSE(batchable_name("a\tb"));
    EXPECT_FALSE(batchable_name("J\xc3\xb6rg"));
    EXPECT_FALSE(batchable_name(std::string("a\0b", 3)));
}

StoredAnswer answer_with_accounts(const std::vector<FieldValue>& accounts) {
    StoredAnswer answer;
    answer.selected = {"Name", "samAccountName", "Member"};
    for (const FieldValue& account : accounts)
        answer.records.push_back({"cn=x", "", {std::string("x"), account, {}}});
    return answer;
}

TEST(AttributeBatchAnswer, ExactMatchesAndCertainAbsence) {
    const StoredAnswer answer =
        answer_with_accounts({std::string("alice"), std::string("Bob"), std::string("carol")});
    const std::vector<Attribution> got =
        attribute_batch_answer(answer, {"alice", "bob", "dave", "carol", "ALICE"});
    ASSERT_EQ(got.size(), 5u);
    EXPECT_TRUE(got[0].decided);
    EXPECT_EQ(got[0].record, 0u);
    // Only a case variant carries it: whether it matches depends on the directory's rule.
    EXPECT_FALSE(got[1].decided);
    EXPECT_TRUE(got[2].decided);
    EXPECT_FALSE(got[2].record);
    EXPECT_TRUE(got[3].decided);
    EXPECT_EQ(got[3].record, 2u);
    EXPECT_FALSE(got[4].decided);
}

TEST(AttributeBatchAnswer, SeveralRecordsForOneNameAreAskedSingly) {
    const StoredAnswer answer = answer_with_accounts({std::string("x"), std::string("X")});
    const std::vector<Attribution> got = attribute_batch_answer(answer, {"x", "y"});
    EXPECT_FALSE(got[0].decided);
    EXPECT_TRUE(got[1].decided);
}

TEST(AttributeBatchAnswer, AnAccountNameOutsideAsciiDecidesNothing) {
    // "K" (Kelvin sign) folds to "k" under Unicode rules: no name may count as absent.
    for (const FieldValue& odd :
         {FieldValue(std::string("\xe2\x84\xaa")), FieldValue(std::string("a  b")), FieldValue()}) {
        const StoredAnswer answer = answer_with_accounts({std::string("alice"), odd});
        for (const Attribution& a : attribute_batch_answer(answer, {"alice", "k", "a b"}))
            EXPECT_FALSE(a.decided);
    }
}

TEST(AttributeBatchAnswer, MultiValuedAccountNamesCountEach) {
    const StoredAnswer answer =
        answer_with_accounts({std::vector<std::string>{"one", "two"}, std::string("three")});
    const std::vector<Attribution> got = attribute_batch_answer(answer, {"two", "three", "one"});
    EXPECT_EQ(got[0].record, 0u);
    EXPECT_EQ(got[1].record, 1u);
    EXPECT_EQ(got[2].record, 0u);
}

const std::string kLookup =
    "CommandText SELECT Name, samAccountName, Member FROM 'LDAP://dc=example,dc=test' WHERE ";
const std::string kAccounts =
    "CommandText SELECT Name, samAccountName, Member, objectCategory FROM "
    "'LDAP://dc=example,dc=test' WHERE ";

// The same folder-read-like sequence through the fast path and one name at a time.
class FastPathTest : public ::testing::Test {
  protected:
    FastPathTest() {
        directory.add_group("G", "G", {dn("U1"), dn("U2"), dn("G2"), dn("Hans Meier"), dn("Up")});
        directory.add_group("G2", "G2", {dn("U1"), dn("U3")});
        directory.add_user("U1", "U1");
        directory.add_user("U2", "U2");
        directory.add_user("U3", "U3");
        directory.add_user("Hans Meier", "Hans Meier");
        // The member value's case differs from the account name's.
        directory.add_user("Up", "UP");
    }
    static std::string dn(const std::string& cn) { return MemoryDirectory::dn_of(cn); }
    // An account whose category the test chooses; its name is its cn.
    void add_account(const std::string& cn, const std::string& account,
                     const std::string& category) {
        directory.add_entry(
            {dn(cn),
             {{"name", {cn}}, {"sAMAccountName", {account}}, {"objectCategory", {category}}}});
    }

    struct Read {
        Lines users, groups, created;
    };
    static Lines rows(const ResultList& list) { return testing::row_texts(list); }
    Read read(GroupResolver& resolver, const Lines& trustees) {
        ResultList users, groups;
        Read result;
        for (std::string name : trustees) {
            std::string created;
            result.created.push_back(resolver.Group_check(users, groups, name, "", created));
        }
        resolver.folder_read_finished();
        result.users = rows(users);
        result.groups = rows(groups);
        return result;
    }
    static void expect_same_rows(const Read& got, const Read& expected) {
        EXPECT_EQ(got.users, expected.users);
        EXPECT_EQ(got.groups, expected.groups);
        EXPECT_EQ(got.created, expected.created);
    }
    std::size_t executions() const { return directory.lines_beginning("Execute").size(); }

    MemoryDirectory directory;
    GroupResolver fast{directory, [] { return std::string("example.test"); }};
    GroupResolver literal{directory, [] { return std::string("example.test"); },
                          ResolutionOptions::one_name_at_a_time()};
};

TEST_F(FastPathTest, SameRowsWithFewerSearches) {
    const Lines trustees{"G", "U1", "G2", "G", "nobody"};
    const Read expected = read(literal, trustees);
    const std::size_t literal_executions = executions();
    directory.log.clear();
    const Read got = read(fast, trustees);
    expect_same_rows(got, expected);
    // "Up" is found by the user lookup of "UP" and takes the directory's Name.
    EXPECT_EQ(expected.users,
              (Lines{"U1|G; G2; ", "U2|G", "U3|G2", "Hans Meier|G", "Up|G", "nobody|no Group"}));
    EXPECT_LT(executions() * 3, literal_executions);
}

TEST_F(FastPathTest, MembersAreAskedForInBatchesAndUnsureNamesSingly) {
    read(fast, {"G"});
    const Lines texts = directory.lines_beginning("CommandText");
    ASSERT_GE(texts.size(), 3u);
    // One search for the accounts of G's members, whatever their category.
    EXPECT_EQ(texts[1], kAccounts +
                            "samAccountName='U1' or samAccountName='U2' or "
                            "samAccountName='G2' or samAccountName='Up'");
    // The next level: the members of G2 that were not asked for yet.
    EXPECT_EQ(texts[2], kAccounts + "samAccountName='U3'");
    // "Hans Meier" has a blank and "Up" matched only the case variant "UP": both are asked on
    // their own; U1 and U2 are not.
    std::size_t singles_u1 = 0, singles_blank = 0, singles_up = 0;
    for (const std::string& text : texts) {
        singles_u1 += text.find("samAccountName='U1'") != std::string::npos;
        singles_blank += text == kLookup + "objectCategory='User' and samAccountName='Hans Meier'";
        singles_up += text == kLookup + "objectCategory='User' and samAccountName='Up'";
    }
    // The batch of G's members; G2's level leaves out U1, which was asked for already.
    EXPECT_EQ(singles_u1, 1u);
    EXPECT_EQ(singles_blank, 1u);
    EXPECT_EQ(singles_up, 1u);
}

// Where a record's category cannot be told apart here, its batch is asked again as a group and a
// user search, and so is every later batch of the directory.
TEST_F(FastPathTest, CategoriesNotToldApartHereAreLeftToTheDirectory) {
    add_account("Klein", "Klein", "user");
    directory.add_group("G3", "G3", {dn("Klein"), dn("G4")});
    directory.add_group("G4", "G4", {dn("U2")});
    const Lines trustees{"G3"};
    const Read expected = read(literal, trustees);
    directory.log.clear();
    const Read got = read(fast, trustees);
    expect_same_rows(got, expected);
    EXPECT_EQ(expected.users, (Lines{"Klein|G3", "U2|G4"}));
    const Lines texts = directory.lines_beginning("CommandText");
    ASSERT_GE(texts.size(), 6u);
    EXPECT_EQ(texts[1], kAccounts + "samAccountName='Klein' or samAccountName='G4'");
    EXPECT_EQ(texts[2], kLookup +
                            "objectCategory='Group' and (samAccountName='Klein' or "
                            "samAccountName='G4')");
    EXPECT_EQ(texts[3], kLookup +
                            "objectCategory='User' and (samAccountName='Klein' or "
                            "samAccountName='G4')");
    EXPECT_EQ(texts[4], kLookup + "objectCategory='Group' and (samAccountName='U2')");
    EXPECT_EQ(texts[5], kLookup + "objectCategory='User' and (samAccountName='U2')");
}

// Once a batch cannot be split here, the batches after it are asked by category.
TEST_F(FastPathTest, ABatchInDoubtSendsTheLaterBatchesToTheCategorySearches) {
    add_account("Klein", "Klein", "user");
    directory.add_group("G6", "G6", {dn("Geist"), dn("G7")});
    directory.add_group("G7", "G7", {dn("U3"), dn("G8")});
    directory.add_group("G8", "G8", {dn("Klein"), dn("G9")});
    directory.add_group("G9", "G9", {dn("U2")});
    const Lines trustees{"G6"};
    const Read expected = read(literal, trustees);
    directory.log.clear();
    const Read got = read(fast, trustees);
    expect_same_rows(got, expected);
    Lines batches;
    for (const std::string& text : directory.lines_beginning("CommandText"))
        if (text.find(" or ") != std::string::npos ||
            text.find("(samAccountName=") != std::string::npos || text.rfind(kAccounts, 0) == 0)
            batches.push_back(text);
    // "Geist" names nothing, G7 is a group: G6's level splits here; G7's level splits too; G8's
    // holds a "user", is asked again by category, and G9's goes there straight away.
    EXPECT_EQ(batches, (Lines{kAccounts + "samAccountName='Geist' or samAccountName='G7'",
                              kAccounts + "samAccountName='U3' or samAccountName='G8'",
                              kAccounts + "samAccountName='Klein' or samAccountName='G9'",
                              kLookup + "objectCategory='Group' and (samAccountName='Klein' or "
                                        "samAccountName='G9')",
                              kLookup + "objectCategory='User' and (samAccountName='Klein' or "
                                        "samAccountName='G9')",
                              kLookup + "objectCategory='Group' and (samAccountName='U2')",
                              kLookup + "objectCategory='User' and (samAccountName='U2')"}));
}

// Accounts of other categories come with the batch's answer and answer neither lookup.
TEST_F(FastPathTest, AccountsOfOtherCategoriesAreNeitherUsersNorGroups) {
    add_account("PC1", "PC1$", "Computer");
    directory.add_group("G5", "G5", {"CN=PC1$,DC=example,DC=test", dn("U1")});
    const Lines trustees{"G5", "PC1$"};
    const Read expected = read(literal, trustees);
    const Read got = read(fast, trustees);
    expect_same_rows(got, expected);
    // Named directly after being reached: the row gains an empty head group.
    EXPECT_EQ(expected.users, (Lines{"PC1$|G5; ", "U1|G5"}));
}

TEST_F(FastPathTest, AnswersAreKeptUntilTheReadEnds) {
    ResultList users, groups;
    std::string name = "U1", created;
    fast.Group_check(users, groups, name, "", created);
    const std::size_t first = executions();
    name = "U1";
    fast.Group_check(users, groups, name, "", created);
    EXPECT_EQ(executions(), first);
    fast.folder_read_finished();
    name = "U1";
    fast.Group_check(users, groups, name, "", created);
    EXPECT_EQ(executions(), 2 * first);
}

TEST_F(FastPathTest, FailingBatchesFallBackToSingleLookups) {
    const Lines trustees{"G", "G2"};
    const Read expected = read(literal, trustees);
    directory.fails_execution = [](const std::string& text) {
        return text.find(" or ") != std::string::npos;
    };
    const Read got = read(fast, trustees);
    expect_same_rows(got, expected);
}

}  // namespace
}  // namespace permscope::directory

// A directory that misbehaves as real networks and servers do: it cannot be reached, takes the
// connection and says nothing, stalls in the middle of an answer or after the bind, drops the
// connection, or refuses unbound searches. A read never hangs, tries a failing server once more
// on a fresh connection, then stops asking, and says which server failed, why, and that the lists
// are incomplete. Where no directory is named at all, nothing is said.

#include <gtest/gtest.h>

#include <QMessageBox>
#include <chrono>
#include <cstdlib>
#include <iostream>

#include "app/form1.h"
#include "app/result_list_model.h"
#include "directory/group_resolver.h"
#include "directory/ldap_provider.h"
#include "testbed/private_slapd.h"
#include "tests/app/window_fixture.h"
#include "tests/faults/stalling_proxy.h"

namespace permscope::directory {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::StallingProxy;
using Fault = StallingProxy::Fault;

// staff holds alice, bob and the group team; team holds carol.
std::string organisation_ldif() {
    testing::OrganisationLdif o("example.test");
    const std::string people = o.organisational_unit("People");
    const std::string alice = o.user("Alice Adler", "alice", people);
    const std::string bob = o.user("bob", "bob", people);
    const std::string carol = o.user("carol", "carol", people);
    const std::string team = o.group("team", "team", {carol}, people);
    o.group("staff", "staff", {alice, bob, team}, people);
    return o.text();
}

testing::PrivateSlapd& organisation() {
    static testing::PrivateSlapd slapd("dc=example,dc=test", organisation_ldif());
    return slapd;
}

struct Read {
    ResultList users;
    ResultList groups;
    std::string problem;
    Clock::duration took{};
};

// One folder read's trustees: the group staff, then names the directory would not know.
void read_trustees(GroupResolver& resolver, Read& read) {
    const auto start = Clock::now();
    std::vector<std::string> names{"staff"};
    for (int i = 0; i < 19; ++i)
        names.push_back("Konto" + std::to_string(i));
    for (std::string& name : names) {
        std::string created;
        resolver.Group_check(read.users, read.groups, name, "", created);
    }
    read.problem = resolver.folder_read_finished();
    read.took = Clock::now() - start;
}

std::unique_ptr<DirectoryProvider> provider_for(const std::string& uri,
                                                std::optional<std::chrono::milliseconds> wait) {
    LdapProviderOptions options;
    options.uri = uri;
    options.network_timeout = wait;
    options.response_timeout = wait;
    return make_ldap_directory_provider(options);
}

std::string problem_at(const std::string& uri, const std::string& cause) {
    return "The directory at " + uri + " " + cause + ". The lists are incomplete.";
}

struct FailingServer {
    const char* name;
    std::optional<Fault> fault;  // nothing: a closed port
    const char* cause;
    friend void PrintTo(const FailingServer& server, std::ostream* out) { *out << server.name; }
};

class FailingDirectory : public ::testing::TestWithParam<FailingServer> {};

TEST_P(FailingDirectory, IsTriedTwiceThenReportedAndEveryTrusteeBecomesAUser) {
    const FailingServer& server = GetParam();
    std::optional<StallingProxy> proxy;
    if (server.fault)
        proxy.emplace(organisation().port(), *server.fault);
    const std::string uri =
        proxy ? proxy->uri() : "ldap://127.0.0.1:" + std::to_string(testing::free_local_port());
    auto provider = provider_for(uri, 1s);
    GroupResolver resolver(*provider, [] { return std::string("example.test"); });

    Read first;
    read_trustees(resolver, first);
    EXPECT_EQ(first.problem, problem_at(uri, server.cause));
    // Two tries of at most a second each, however many names the read has.
    EXPECT_LT(first.took, 4s);
    EXPECT_EQ(first.groups.count(), 0);
    ASSERT_EQ(first.users.count(), 20);
    EXPECT_EQ(first.users.text(1), "staff");
    EXPECT_EQ(first.users.row(1).sub_items, std::vector<std::string>{"no Group"});
    if (proxy) {
        EXPECT_EQ(proxy->connections(), 2);
    }

    // The next read asks the server again, twice at most, and says so again.
    Read second;
    read_trustees(resolver, second);
    EXPECT_EQ(second.problem, first.problem);
    if (proxy) {
        EXPECT_EQ(proxy->connections(), 4);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, FailingDirectory,
    ::testing::Values(FailingServer{"ClosedPort", std::nullopt,
                                    "could not be reached (Can't contact LDAP server)"},
                      FailingServer{"SilentFromTheStart", Fault::SilentFromTheStart,
                                    "stopped answering (no answer to the bind within 1 s)"},
                      FailingServer{"StallInMessage", Fault::StallInMessage,
                                    "stopped answering (no answer within 1 s)"},
                      FailingServer{"StallAfterBind", Fault::StallAfterBind,
                                    "stopped answering (no answer within 1 s)"},
                      FailingServer{"DropAfterBind", Fault::DropAfterBind,
                                    "dropped the connection (Can't contact LDAP server)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FailingDirectory, TheNextServerOfTheListAnswersInsteadAndNothingIsReported) {
    StallingProxy stalled(organisation().port(), Fault::StallInMessage);
    auto provider = provider_for(stalled.uri() + " " + organisation().uri(), 1s);
    GroupResolver resolver(*provider, [] { return std::string("example.test"); });
    Read read;
    read_trustees(resolver, read);
    EXPECT_EQ(read.problem, "");
    ASSERT_EQ(read.groups.count(), 2);
    EXPECT_EQ(read.groups.text(1), "staff");
    EXPECT_EQ(read.groups.text(2), "team");
    EXPECT_EQ(read.users.text(1), "Alice Adler");
    EXPECT_EQ(read.users.count(), 3 + 19);
}

TEST(FailingDirectory, LdapConfTimeoutBoundsTheWaitWhereItIsSet) {
    // libldap reads its configuration once per process, at its first use: this is it.
    setenv("LDAPTIMEOUT", "2", 1);
    StallingProxy stalled(organisation().port(), Fault::StallAfterBind);
    auto provider = provider_for(stalled.uri(), std::nullopt);
    GroupResolver resolver(*provider, [] { return std::string("example.test"); });
    Read read;
    read_trustees(resolver, read);
    EXPECT_EQ(read.problem, problem_at(stalled.uri(), "stopped answering (no answer within 2 s)"));
    EXPECT_LT(read.took, 6s);
}

TEST(RefusingDirectory, UnboundSearchesRefusedNameTheMissingKerberosTicket) {
    setenv("KRB5CCNAME", "FILE:/nonexistent/permscope-no-ticket", 1);
    testing::PrivateSlapd refusing("dc=example,dc=test", organisation_ldif(), "require authc");
    auto provider = provider_for(refusing.uri(), 1s);
    GroupResolver resolver(*provider, [] { return std::string("example.test"); });
    Read read;
    read_trustees(resolver, read);
    EXPECT_EQ(read.problem,
              problem_at(refusing.uri(),
                         "refused the search (Server is unwilling to perform: authentication "
                         "required): it wants an authenticated bind, and there is no valid "
                         "Kerberos ticket (kinit gets one)"));
    EXPECT_EQ(read.users.count(), 20);
}

TEST(NoDirectory, TrusteesBecomeUsersAndNothingIsReported) {
    setenv("LDAPNOINIT", "1", 1);
    auto provider = make_ldap_directory_provider();
    GroupResolver resolver(*provider, [] { return std::string(); });
    Read read;
    read_trustees(resolver, read);
    EXPECT_EQ(read.problem, "");
    EXPECT_EQ(read.users.count(), 20);
}

// Member values and account names holding a NUL byte keep their full length: two names that
// differ only after the NUL stay two rows, and the window shows the NUL as U+FFFD.
TEST(DirectoryValues, ANulByteNeitherCutsANameNorMergesTwo) {
    testing::OrganisationLdif o("example.test");
    const std::string people = o.organisational_unit("People");
    const std::string first = o.user(std::string("nul\0a", 5), std::string("nul\0a", 5), people);
    const std::string second = o.user(std::string("nul\0b", 5), std::string("nul\0b", 5), people);
    o.group("nulls", "nulls", {first, second}, people);
    testing::PrivateSlapd slapd(o.suffix(), o.text());
    auto provider = provider_for(slapd.uri(), 2s);
    GroupResolver resolver(*provider, [] { return std::string("example.test"); });
    ResultList users, groups;
    std::string name = "nulls", created;
    resolver.Group_check(users, groups, name, "", created);
    EXPECT_EQ(resolver.folder_read_finished(), "");
    ASSERT_EQ(users.count(), 2);
    EXPECT_EQ(users.text(1), std::string("nul\0a", 5));
    EXPECT_EQ(users.text(2), std::string("nul\0b", 5));
    EXPECT_EQ(users.row(2).sub_items, std::vector<std::string>{"nulls"});
    const app::ResultListModel shown(users, {"Name", "Group"});
    EXPECT_EQ(shown.data(shown.index(0, 0)).toString(), QStringLiteral(u"nul\uFFFDa"));
}

}  // namespace
}  // namespace permscope::directory

namespace permscope::app {
namespace {

class StalledDirectoryInTheWindow : public testing::WindowTest {};

// With the default time-outs: the window is free again, the message shown, within 30 s.
TEST_F(StalledDirectoryInTheWindow, TheReadEndsWithTheProblemShownWithinThirtySeconds) {
    ASSERT_EQ(std::system(("setfacl -m g:staff:r-x '" + start_folder + "'").c_str()), 0)
        << "setfacl is needed for this test";
    permscope::testing::StallingProxy stalled(
        directory::organisation().port(), permscope::testing::StallingProxy::Fault::StallInMessage);
    services.management.domains = {std::string("example.test")};
    directory::LdapProviderOptions options;
    options.uri = stalled.uri();
    services.directory = directory::make_ldap_directory_provider(options);
    const auto start = std::chrono::steady_clock::now();
    make_form().Load();
    const auto took = std::chrono::steady_clock::now() - start;
    std::cout << "stalled directory: message after " << std::chrono::duration<double>(took).count()
              << " s\n";

    EXPECT_LT(took, std::chrono::seconds(30));
    auto* message = form->findChild<QMessageBox*>(QLatin1String(kProblemMessageName));
    ASSERT_NE(message, nullptr);
    EXPECT_TRUE(message->isVisible());
    EXPECT_EQ(message->text().toStdString(),
              "The directory at " + stalled.uri() +
                  " stopped answering (no answer within 10 s). The lists are incomplete.");
    EXPECT_EQ(stalled.connections(), 2);
}

}  // namespace
}  // namespace permscope::app

// A share server that misbehaves as real networks and servers do, on every road to a share (a
// typed share path, a desktop's SMB mount, an smb:// address): it cannot be reached, goes silent
// after the connection, after the negotiation or in the middle of the descriptor, closes the
// connection mid-answer, refuses the session, or fails the account-name lookup. A read never takes
// longer than its bound, the user is told which server failed and why, and nothing shows as an
// empty folder or as ordinary SID rows without a word.
//
// A relay on a loopback address of its own at port 445 stands in front of a private smbd at a free
// port, so that both connections libsmbclient opens pass through it: the share's, and the one for
// the name lookup, which goes to port 445 whatever port the share's uses.

#include <gtest/gtest.h>

#include <QMessageBox>
#include <chrono>
#include <iostream>

#include "app/form1.h"
#include "directory/ldap_provider.h"
#include "directory/sid_names.h"
#include "platform/linux_management.h"
#include "rights/folder_read.h"
#include "testbed/private_slapd.h"
#include "tests/app/window_fixture.h"
#include "tests/common/row_texts.h"
#include "tests/faults/stalling_proxy.h"
#include "tests/fixtures/loopback_listener.h"
#include "tests/fixtures/private_smbd.h"

#include <unistd.h>

namespace permscope::rights {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using permscope::testing::StallingProxy;
using Fault = StallingProxy::Fault;
using Rows = std::vector<std::string>;

// Short bounds for the cases; the window's case below runs with the program's own.
constexpr auto kWait = 2s;
constexpr auto kDeadline = 6s;

struct Read : ReadHooks {
    ResultList users, groups;
    FolderReadOutcome outcome;
    Clock::duration took{};
    void read_starting() override {}
};

// Every trustee is a user row of its own: no directory is asked.
std::string as_user(ResultList& users, std::string& name) {
    users.append(name);
    users.append_sub_item(users.count(), "no Group");
    return "," + std::to_string(users.count()) + "-User";
}

std::unique_ptr<Read> read_folder(const std::string& path, platform::SidNaming* naming = nullptr) {
    platform::LinuxManagementConfig config;
    config.smb_timeout = kWait;
    config.smb_deadline = kDeadline;
    auto management = platform::make_linux_management(config);
    auto result = std::make_unique<Read>();
    Read& read = *result;
    const GroupCheck check = [&](std::string& name, std::string, std::string&) {
        return as_user(read.users, name);
    };
    const auto start = Clock::now();
    read.outcome = find_dir_rights(path, read.users, read.groups, *management, check, read, naming);
    read.took = Clock::now() - start;
    std::cout << path << ": " << std::chrono::duration<double>(read.took).count() << " s, "
              << read.outcome.problem << " / " << read.outcome.cause << "\n";
    return result;
}

struct FailingShare {
    const char* name;
    Fault fault;
    int first_faulty_connection;
    const char* fault_text;  // after "The share server <address> "
    std::chrono::seconds bound;
    friend void PrintTo(const FailingShare& share, std::ostream* out) { *out << share.name; }
};

class FailingShareServer : public ::testing::TestWithParam<FailingShare> {
  protected:
    permscope::testing::PrivateSmbd server{0};
};

// The roads to one folder on the share of the server at an address.
std::vector<std::string> roads_to_folder(const std::string& address) {
    return {"\\\\" + address + "\\data\\Ordner",
            "/run/user/0/gvfs/smb-share:server=" + address + ",share=data/Ordner",
            "smb://" + address + "/data/Ordner"};
}

TEST_P(FailingShareServer, IsReportedOnEveryRoadWithinItsBoundAndTheListsStayEmpty) {
    const FailingShare& share = GetParam();
    server.make_folder("Ordner");
    for (std::size_t road = 0; road < 3; ++road) {
        // A relay of its own for each road: it counts the connections it takes.
        StallingProxy relay(server.port(), share.fault,
                            {StallingProxy::Protocol::Smb, 445, share.first_faulty_connection});
        const std::string path = roads_to_folder(relay.address())[road];
        const auto owned = read_folder(path);
        const Read& read = *owned;
        const std::string problem = "The share server " + relay.address() + " " + share.fault_text +
                                    ". The lists are empty.";
        EXPECT_EQ(read.outcome.problem, problem) << path;
        EXPECT_EQ(read.outcome.cause, problem) << path;
        EXPECT_FALSE(read.outcome.access_list_read);
        EXPECT_EQ(read.users.count() + read.groups.count(), 0);
        EXPECT_LT(read.took, share.bound) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FailingShareServer,
    ::testing::Values(
        FailingShare{"SilentAfterConnect", Fault::SilentFromTheStart, 1,
                     "stopped answering (no answer within 2 s)", 4s},
        FailingShare{"SilentAfterNegotiation", Fault::StallAfterBind, 1,
                     "stopped answering (no answer within 2 s)", 4s},
        FailingShare{"SilentInTheDescriptor", Fault::StallInMessage, 1,
                     "stopped answering (no answer within 2 s)", 4s},
        FailingShare{"ClosesInTheDescriptor", Fault::DropInMessage, 1, "dropped the connection",
                     2s},
        FailingShare{"ClosesAfterNegotiation", Fault::DropAfterBind, 1, "dropped the connection",
                     2s},
        FailingShare{"SilentNameLookup", Fault::SilentFromTheStart, 2,
                     "stopped answering (no answer within 6 s while the access list and its "
                     "account names were read)",
                     7s},
        FailingShare{"SilentInTheNameLookup", Fault::StallInMessage, 2,
                     "stopped answering (no answer within 6 s while the access list and its "
                     "account names were read)",
                     7s},
        FailingShare{"ClosesNameLookupConnection", Fault::DropAfterBind, 2,
                     "could not give the access list (its connection for the access list and the "
                     "account names failed)",
                     2s}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UnreachableShareServer, IsReportedAtOnce) {
    // An address of our own where nothing listens any more.
    const std::string address = [] {
        const auto listener = permscope::testing::listen_on_own_loopback_address(445, 1);
        close(listener.fd);
        return listener.address;
    }();
    for (const std::string& path : roads_to_folder(address)) {
        const auto read = read_folder(path);
        EXPECT_EQ(read->outcome.problem, "The share server " + address +
                                             " could not be reached (Connection refused). The "
                                             "lists are empty.")
            << path;
        EXPECT_LT(read->took, 2s);
    }
}

TEST(RefusingShareServer, ASessionWithoutTicketIsRefusedAndTheMissingTicketNamed) {
    setenv("KRB5CCNAME", "FILE:/nonexistent/permscope-no-ticket", 1);
    permscope::testing::PrivateSmbd server(0, false);
    server.make_folder("Ordner");
    StallingProxy relay(server.port(), Fault::DropAfterBind,
                        {StallingProxy::Protocol::Smb, 445, 99});
    const auto read = read_folder(roads_to_folder(relay.address())[0]);
    EXPECT_EQ(read->outcome.problem,
              "The share server " + relay.address() +
                  " refused the session (Permission denied): it wants an authenticated user, and "
                  "there is no valid Kerberos ticket (kinit gets one). The lists are empty.");
    EXPECT_FALSE(read->outcome.access_list_read);
}

// The server's own lookup fails at once (its connection closes in the middle of the answer): the
// SIDs it left are named by the directory where it knows them, and the user is told about the
// rest.
TEST(FailingNameLookup, TheDirectoryNamesWhatItKnowsAndTheRestIsReported) {
    permscope::testing::OrganisationLdif organisation("shares.test");
    organisation.user("Karl Otto", "kotto", organisation.organisational_unit("People"), {}, 1105);
    const permscope::testing::PrivateSlapd slapd(organisation.suffix(), organisation.text());
    permscope::testing::PrivateSmbd server{0};
    server.make_folder("Ordner");
    {
        const StallingProxy faithful(server.port(), Fault::DropAfterBind,
                                     {StallingProxy::Protocol::Smb, 445, 99});
        server.set_nt_acl("Ordner",
                          {{"S-1-1-0", false, 0, 0x1200A9},
                           {"S-1-5-21-1111-2222-3333-1105", false, 0, 0x1301BF},
                           {"S-1-5-21-1111-2222-3333-4444", false, 0, 0x120089}},
                          faithful.address());
    }
    const std::string cause =
        " could not look up the accounts' names (its connection for the "
        "name lookup failed).";
    {
        StallingProxy relay(server.port(), Fault::DropInMessage,
                            {StallingProxy::Protocol::Smb, 445, 2});
        const auto read = read_folder(roads_to_folder(relay.address())[0]);
        EXPECT_EQ(permscope::testing::row_texts(read->users),
                  (Rows{"Everyone|no Group|Lesen, Ausführen",
                        "S-1-5-21-1111-2222-3333-1105|no Group|Ändern",
                        "S-1-5-21-1111-2222-3333-4444|no Group|Lesen"}));
        EXPECT_EQ(read->outcome.problem,
                  "The share server " + relay.address() + cause +
                      " 2 accounts are shown as their security identifiers: "
                      "S-1-5-21-1111-2222-3333-1105, S-1-5-21-1111-2222-3333-4444.");
        EXPECT_TRUE(read->outcome.access_list_read);
    }
    auto provider =
        directory::make_ldap_directory_provider(directory::LdapProviderOptions{slapd.uri()});
    directory::DirectorySidNaming naming(*provider, [] { return std::string("shares.test"); });
    StallingProxy relay(server.port(), Fault::DropInMessage,
                        {StallingProxy::Protocol::Smb, 445, 2});
    const auto read = read_folder(roads_to_folder(relay.address())[2], &naming);
    EXPECT_EQ(permscope::testing::row_texts(read->users),
              (Rows{"Everyone|no Group|Lesen, Ausführen", "kotto|no Group|Ändern",
                    "S-1-5-21-1111-2222-3333-4444|no Group|Lesen"}));
    EXPECT_EQ(read->outcome.problem, "The share server " + relay.address() + cause +
                                         " One account is shown as its security identifier: "
                                         "S-1-5-21-1111-2222-3333-4444.");
}

}  // namespace
}  // namespace permscope::rights

namespace permscope::app {
namespace {

using permscope::testing::StallingProxy;
using Fault = StallingProxy::Fault;

class FailingShareInTheWindow : public testing::WindowTest {
  protected:
    QMessageBox* message() {
        return form->findChild<QMessageBox*>(QLatin1String(kProblemMessageName));
    }
    permscope::testing::PrivateSmbd server{0};
};

// With the program's own bounds: the window is free again, the message shown, within 15 s.
TEST_F(FailingShareInTheWindow, AStalledNameLookupEndsTheReadWithinFifteenSeconds) {
    server.make_folder("Ordner");
    StallingProxy relay(server.port(), Fault::SilentFromTheStart,
                        {StallingProxy::Protocol::Smb, 445, 2});
    make_form().Load();
    const auto start = std::chrono::steady_clock::now();
    form->find_dir_rights("\\\\" + relay.address() + "\\data\\Ordner");
    const auto took = std::chrono::steady_clock::now() - start;
    std::cout << "stalled name lookup: message after "
              << std::chrono::duration<double>(took).count() << " s\n";
    EXPECT_LT(took, std::chrono::milliseconds(15500));
    ASSERT_NE(message(), nullptr);
    EXPECT_TRUE(message()->isVisible());
    EXPECT_EQ(message()->text().toStdString(),
              "The share server " + relay.address() +
                  " stopped answering (no answer within 15 s while the access list and its "
                  "account names were read). The lists are empty.");
    EXPECT_EQ(form->users().count() + form->groups().count(), 0);
}

// The share's names and the directory both fail: the box tells both, the share's first.
TEST_F(FailingShareInTheWindow, TheShareServersProblemStandsBesideTheDirectorys) {
    server.make_folder("Ordner");
    {
        const StallingProxy faithful(server.port(), Fault::DropAfterBind,
                                     {StallingProxy::Protocol::Smb, 445, 99});
        server.set_nt_acl("Ordner",
                          {{"S-1-1-0", false, 0, 0x1200A9},
                           {"S-1-5-21-1111-2222-3333-1105", false, 0, 0x1301BF},
                           {"S-1-5-21-1111-2222-3333-4444", false, 0, 0x120089}},
                          faithful.address());
    }
    services.management.domains = {std::string("example.test")};
    StallingProxy relay(server.port(), Fault::DropInMessage,
                        {StallingProxy::Protocol::Smb, 445, 2});
    make_form().Load();
    form->find_dir_rights("smb://" + relay.address() + "/data/Ordner");
    ASSERT_NE(message(), nullptr);
    const std::string text = message()->text().toStdString();
    const std::string share_part =
        "The share server " + relay.address() +
        " could not look up the accounts' names (its connection for the name lookup failed). "
        "The directory could not be searched for the accounts' names. 2 accounts are shown as "
        "their security identifiers: S-1-5-21-1111-2222-3333-1105, S-1-5-21-1111-2222-3333-4444."
        "\n\nThe directory at ldap://127.0.0.1:";
    EXPECT_EQ(text.substr(0, share_part.size()), share_part);
    EXPECT_TRUE(
        text.ends_with("could not be reached (Can't contact LDAP server). The lists are "
                       "incomplete."))
        << text;
    EXPECT_EQ(form->users().count(), 3);
}

}  // namespace
}  // namespace permscope::app

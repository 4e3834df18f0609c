// A share server that misbehaves as real networks and servers do, on every road to a share (a
// typed share path, a desktop's SMB mount, an smb:// address): it cannot be reached, goes silent
// after the connection, after the negotiation, in the descriptor or in the name lookup, closes the
// connection, or refuses the session. A read ends within its bound, the user is told which server
// failed and why, and nothing shows as an empty folder or as SID rows without a word.
//
// A relay on a loopback address of its own at port 445 stands in front of a private smbd at a free
// port, so that both connections libsmbclient opens pass through it: the share's, and the one for
// the name lookup, which goes to port 445 whatever port the share's uses.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QMessageBox>
#include <chrono>
#include <cstdlib>

#include "app/form1.h"
#include "platform/linux_management.h"
#include "tests/app/window_fixture.h"
#include "tests/faults/stalling_proxy.h"
#include "tests/fixtures/loopback_listener.h"
#include "tests/fixtures/private_smbd.h"

namespace permscope::rights {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using permscope::testing::StallingProxy;
using Fault = StallingProxy::Fault;
constexpr auto kSmb = StallingProxy::Protocol::Smb;

// One read with short bounds (2 s a wait, 6 s in all); every trustee becomes a user row.
struct Read : ReadHooks {
    explicit Read(const std::string& path) {
        platform::LinuxManagementConfig config;
        config.smb_timeout = 2s;
        config.smb_deadline = 6s;
        const GroupCheck as_user = [&](std::string& name, std::string, std::string&) {
            users.append(name);
            users.append_sub_item(users.count(), "no Group");
            return "," + std::to_string(users.count()) + "-User";
        };
        const auto start = Clock::now();
        outcome = find_dir_rights(path, users, groups, *platform::make_linux_management(config),
                                  as_user, *this);
        took = Clock::now() - start;
    }
    void read_starting() override {}

    ResultList users, groups;
    FolderReadOutcome outcome;
    Clock::duration took{};
};

std::vector<std::string> roads_to_folder(const std::string& server) {
    return {"\\\\" + server + "\\data\\Ordner",
            "/run/user/0/gvfs/smb-share:server=" + server + ",share=data/Ordner",
            "smb://" + server + "/data/Ordner"};
}

void expect_empty_with_problem(const Read& read, const std::string& problem,
                               Clock::duration bound) {
    EXPECT_EQ(read.outcome.problem, problem);
    EXPECT_FALSE(read.outcome.access_list_read);
    EXPECT_EQ(read.users.count() + read.groups.count(), 0);
    EXPECT_LT(read.took, bound);
}

struct FailingShare {
    const char* name;
    Fault fault;
    int first_faulty_connection;
    const char* fault_text;  // after "The share server <address> "
    std::chrono::seconds bound;
    friend void PrintTo(const FailingShare& share, std::ostream* out) { *out << share.name; }
};

class FailingShareServer : public ::testing::TestWithParam<FailingShare> {};

TEST_P(FailingShareServer, IsReportedOnEveryRoadWithinItsBoundAndTheListsStayEmpty) {
    const FailingShare& share = GetParam();
    permscope::testing::PrivateSmbd server{0};
    server.make_folder("Ordner");
    for (std::size_t road = 0; road < 3; ++road) {
        // A relay of its own for each road: it counts the connections it takes.
        StallingProxy relay(server.port(), share.fault, {kSmb, 445, share.first_faulty_connection});
        SCOPED_TRACE(roads_to_folder(relay.address())[road]);
        const Read read(roads_to_folder(relay.address())[road]);
        expect_empty_with_problem(read,
                                  "The share server " + relay.address() + " " + share.fault_text +
                                      ". The lists are empty.",
                                  share.bound);
    }
}

constexpr const char* kSilent = "stopped answering (no answer within 2 s)";
constexpr const char* kDropped = "dropped the connection";
constexpr const char* kStalledRead =
    "stopped answering (no answer within 6 s while the access list and its account names were "
    "read)";

INSTANTIATE_TEST_SUITE_P(
    Faults, FailingShareServer,
    ::testing::Values(
        FailingShare{"SilentAfterConnect", Fault::SilentFromTheStart, 1, kSilent, 4s},
        FailingShare{"SilentAfterNegotiation", Fault::StallAfterBind, 1, kSilent, 4s},
        FailingShare{"SilentInTheDescriptor", Fault::StallInMessage, 1, kSilent, 4s},
        FailingShare{"ClosesInTheDescriptor", Fault::DropInMessage, 1, kDropped, 2s},
        FailingShare{"ClosesAfterNegotiation", Fault::DropAfterBind, 1, kDropped, 2s},
        FailingShare{"SilentNameLookup", Fault::SilentFromTheStart, 2, kStalledRead, 7s},
        FailingShare{"SilentInTheNameLookup", Fault::StallInMessage, 2, kStalledRead, 7s},
        // libsmbclient reads the descriptor over the name lookup's connection only.
        FailingShare{"ClosesNameLookupConnection", Fault::DropAfterBind, 2,
                     "could not give the access list (its connection for the access list and the "
                     "account names failed)",
                     2s}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FailingShareServer, UnreachableOrRefusingTheSessionIsReportedAtOnce) {
    // An address of our own where nothing listens any more.
    const auto listener = permscope::testing::listen_on_own_loopback_address(445, 1);
    close(listener.fd);
    for (const std::string& path : roads_to_folder(listener.address))
        expect_empty_with_problem(Read(path),
                                  "The share server " + listener.address +
                                      " could not be reached (Connection refused). The lists "
                                      "are empty.",
                                  2s);
    setenv("KRB5CCNAME", "FILE:/nonexistent/permscope-no-ticket", 1);
    permscope::testing::PrivateSmbd server(0, false);  // no guests
    server.make_folder("Ordner");
    const StallingProxy relay(server.port(), Fault::DropAfterBind, {kSmb, 445, 99});
    expect_empty_with_problem(
        Read(roads_to_folder(relay.address())[0]),
        "The share server " + relay.address() +
            " refused the session (Permission denied): it wants an authenticated user, and there "
            "is no valid Kerberos ticket (kinit gets one). The lists are empty.",
        2s);
}

}  // namespace
}  // namespace permscope::rights

namespace permscope::app {
namespace {

using permscope::testing::StallingProxy;
using Fault = StallingProxy::Fault;
using rights::kSmb;

// The box tells the share's problem beside the directory's, a message a line; a stalled name
// lookup ends the read within the program's own bound of 15 s.
class ShareInTheWindow : public testing::WindowTest {};

TEST_F(ShareInTheWindow, ItsProblemIsShownBesideTheDirectorysAndAStallEndsWithinFifteenSeconds) {
    permscope::testing::PrivateSmbd server{0};
    server.make_folder("Ordner");
    StallingProxy dropping(server.port(), Fault::DropInMessage, {kSmb, 445, 2});
    StallingProxy silent(server.port(), Fault::SilentFromTheStart, {kSmb, 445, 2});
    server.set_nt_acl(
        "Ordner",
        {{"S-1-1-0", false, 0, 0x1200A9},
         {"S-1-5-21-1111-2222-3333-1105", false, 0, 0x1301BF},
         {"S-1-5-21-1111-2222-3333-4444", false, 0, 0x120089}},
        StallingProxy(server.port(), Fault::DropAfterBind, {kSmb, 445, 99}).address());
    services.management.domains = {std::string("example.test")};
    make_form().Load();
    const auto shown = [&] {
        auto* box = form->findChild<QMessageBox*>(QLatin1String(kProblemMessageName));
        return box && box->isVisible() ? box->text().toStdString() : "(no message)";
    };
    form->find_dir_rights("smb://" + dropping.address() + "/data/Ordner");
    const std::string share_part =
        "The share server " + dropping.address() +
        " could not look up the accounts' names (its connection for the name lookup failed). "
        "The directory could not be searched for the accounts' names. 2 accounts are shown as "
        "their security identifiers: S-1-5-21-1111-2222-3333-1105, S-1-5-21-1111-2222-3333-4444. "
        "Groups among them are not expanded: the lists may be incomplete.";
    EXPECT_TRUE(shown().starts_with("The directory at ldap://127.0.0.1:"));
    EXPECT_TRUE(shown().ends_with(
        " could not be reached (Can't contact LDAP server). The lists are incomplete.\n" +
        share_part))
        << shown();
    EXPECT_EQ(form->users().count(), 3);

    const auto start = std::chrono::steady_clock::now();
    form->find_dir_rights("\\\\" + silent.address() + "\\data\\Ordner");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(15500));
    EXPECT_EQ(shown(), "The share server " + silent.address() +
                           " stopped answering (no answer within 15 s while the access list and "
                           "its account names were read). The lists are empty.");
    EXPECT_EQ(form->users().count() + form->groups().count(), 0);
}

}  // namespace
}  // namespace permscope::app

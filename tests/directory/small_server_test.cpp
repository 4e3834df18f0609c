// The provider against a small LDAP server on 127.0.0.1 that behaves as the test needs: member
// values handed out in ranges (as Active Directory does past 1,500 values), ranges that do not
// follow on, one connection for many queries, and a connection dropped by the server.
#include <arpa/inet.h>
#include <lber.h>
#include <ldap.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <thread>

#include "directory/ldap_provider.h"
#include "directory/query_dialect.h"
#include "tests/fixtures/loopback_listener.h"

namespace permscope::directory {
namespace {

constexpr int member_count = 7;
constexpr int part_size = 3;
const std::string group_dn = "cn=Riesig,dc=example,dc=test";

std::string member_dn(int i) {
    return "cn=M" + std::to_string(i) + ",dc=example,dc=test";
}

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Answers binds with success and every search with the one group entry, its member values in
// ranges. A skewed server starts the second part one value late, as a broken server would; a
// forgetful one closes the connection after each search, as a restarted server does.
class RangingServer {
  public:
    enum class Mode { Sound, Skewed, Forgetful };
    explicit RangingServer(Mode mode = Mode::Sound) : mode_(mode) {
        const auto listener = testing::listen_on_loopback(4);
        fd_ = listener.fd;
        port_ = listener.port;
        thread_ = std::thread([this] { serve(); });
    }
    ~RangingServer() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    std::string uri() const { return "ldap://127.0.0.1:" + std::to_string(port_); }
    int searches() const { return searches_; }
    int connections() const { return connections_; }

  private:
    void serve() {
        while (!stop_) {
            pollfd waiting{fd_, POLLIN, 0};
            if (poll(&waiting, 1, 50) <= 0)
                continue;
            int client = accept(fd_, nullptr, nullptr);
            if (client < 0)
                continue;
            ++connections_;
            Sockbuf* sb = ber_sockbuf_alloc();
            ber_sockbuf_add_io(sb, &ber_sockbuf_io_tcp, LBER_SBIOD_LEVEL_PROVIDER, &client);
            while (!stop_ && answer_one(sb)) {
            }
            ber_sockbuf_free(sb);
            close(client);
        }
    }

    // Reads one request and answers it; false when the client is gone or unbinds.
    bool answer_one(Sockbuf* sb) {
        pollfd readable{};
        ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &readable.fd);
        readable.events = POLLIN;
        while (poll(&readable, 1, 50) == 0)
            if (stop_)
                return false;
        BerElement* request = ber_alloc_t(LBER_USE_DER);
        ber_len_t length = 0;
        bool go_on = false;
        ber_int_t msgid = 0;
        // ber_get_next reads the message's own tag and length: the message id comes next.
        if (ber_get_next(sb, &length, request) != LBER_ERROR &&
            ber_scanf(request, "i", &msgid) != LBER_ERROR) {
            const ber_tag_t operation = ber_peek_tag(request, &length);
            if (operation == LDAP_REQ_BIND) {
                send_done(sb, msgid, LDAP_RES_BIND);
                go_on = true;
            } else if (operation == LDAP_REQ_SEARCH) {
                go_on = answer_search(sb, msgid, request);
            }
        }
        ber_free(request, 1);
        return go_on;
    }

    bool answer_search(Sockbuf* sb, ber_int_t msgid, BerElement* request) {
        ++searches_;
        berval base{0, nullptr};
        ber_int_t scope = 0, deref = 0, size = 0, time = 0, types_only = 0;
        char** attributes = nullptr;
        if (ber_scanf(request, "{miiiibxv", &base, &scope, &deref, &size, &time, &types_only,
                      &attributes) == LBER_ERROR)
            return false;
        BerElement* entry = ber_alloc_t(LBER_USE_DER);
        ber_printf(entry, "{it{s{", msgid, LDAP_RES_SEARCH_ENTRY, group_dn.c_str());
        for (char** a = attributes; a && *a; ++a)
            add_attribute(entry, *a);
        ber_printf(entry, "}}}");
        ber_memvfree(reinterpret_cast<void**>(attributes));
        ber_flush2(sb, entry, LBER_FLUSH_FREE_ALWAYS);
        send_done(sb, msgid, LDAP_RES_SEARCH_RESULT);
        return mode_ != Mode::Forgetful;
    }

    void add_attribute(BerElement* entry, const std::string& requested) {
        const std::string name = lower(requested);
        if (name == "name" || name == "samaccountname") {
            ber_printf(entry, "{s[s]}", requested.c_str(), "Riesig");
            return;
        }
        if (name.rfind("member", 0) != 0)
            return;
        int low = 0;
        if (name.rfind("member;range=", 0) == 0)
            low = std::stoi(name.substr(13));
        if (mode_ == Mode::Skewed && low > 0)
            ++low;
        const int high = std::min(low + part_size - 1, member_count - 1);
        const std::string part = "member;range=" + std::to_string(low) + "-" +
                                 (high == member_count - 1 ? "*" : std::to_string(high));
        ber_printf(entry, "{s[", part.c_str());
        for (int i = low; i <= high; ++i)
            ber_printf(entry, "s", member_dn(i).c_str());
        ber_printf(entry, "]}");
    }

    static void send_done(Sockbuf* sb, ber_int_t msgid, ber_tag_t kind) {
        BerElement* done = ber_alloc_t(LBER_USE_DER);
        ber_printf(done, "{it{ess}}", msgid, kind, LDAP_SUCCESS, "", "");
        ber_flush2(sb, done, LBER_FLUSH_FREE_ALWAYS);
    }

    Mode mode_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> searches_{0};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

std::unique_ptr<Recordset> execute(DirectoryProvider& provider, std::string text) {
    auto connection = provider.CreateConnection("ADODB.Connection");
    auto command = provider.CreateCommand("ADODB.Command");
    connection->Open("Provider=ADsDSOObject;");
    command->SetActiveConnection(*connection);
    command->SetCommandText(std::move(text));
    return command->Execute();
}

std::unique_ptr<Recordset> group_lookup(DirectoryProvider& provider) {
    return execute(provider, group_lookup_text("dc=example,dc=test", "Riesig"));
}

std::unique_ptr<DirectoryProvider> provider_for(const RangingServer& server) {
    LdapProviderOptions options;
    options.uri = server.uri();
    options.network_timeout = std::chrono::milliseconds(3000);
    return make_ldap_directory_provider(options);
}

TEST(RangedMembers, AllPartsAreFetchedInOrder) {
    RangingServer server;
    auto provider = provider_for(server);
    auto set = group_lookup(*provider);
    ASSERT_EQ(set->RecordCount(), 1);
    std::vector<std::string> expected;
    for (int i = 0; i < member_count; ++i)
        expected.push_back(member_dn(i));
    EXPECT_EQ(std::get<std::vector<std::string>>(set->Fields("Member")), expected);
    EXPECT_EQ(std::get<std::string>(set->Fields("Name")), "Riesig");
    EXPECT_EQ(server.searches(), 3);  // the lookup, then parts 3-5 and 6-*
}

TEST(RangedMembers, APartThatDoesNotFollowOnFailsTheExecution) {
    RangingServer server(RangingServer::Mode::Skewed);
    auto provider = provider_for(server);
    EXPECT_THROW(group_lookup(*provider), DirectoryError);
}

TEST(ServerHandles, OneConnectionServesEveryQuery) {
    RangingServer server;
    auto provider = provider_for(server);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(group_lookup(*provider)->RecordCount(), 1);
    EXPECT_EQ(server.connections(), 1);
}

TEST(ServerHandles, BrokenConnectionIsOpenedAgainOnce) {
    RangingServer server(RangingServer::Mode::Forgetful);
    auto provider = provider_for(server);
    const std::string text = "SELECT Name FROM 'LDAP://dc=example,dc=test' WHERE name='Riesig'";
    EXPECT_EQ(execute(*provider, text)->RecordCount(), 1);
    // The server has closed the connection since: the next query opens a new one.
    EXPECT_EQ(execute(*provider, text)->RecordCount(), 1);
    EXPECT_EQ(server.connections(), 2);
}

}  // namespace
}  // namespace permscope::directory

// A directory that cannot be reached: every trustee becomes a user row under its own name, and a
// folder read waits for at most one time-out however many names it resolves.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "directory/group_resolver.h"
#include "directory/ldap_provider.h"
#include "tests/fixtures/loopback_listener.h"
#include "tests/fixtures/private_slapd.h"

namespace permscope::directory {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto time_out = 1500ms;

// Accepts connections on 127.0.0.1 and never sends a byte back.
class SilentServer {
  public:
    SilentServer() {
        const auto listener = testing::listen_on_loopback(16);
        fd_ = listener.fd;
        port_ = listener.port;
        thread_ = std::thread([this] { serve(); });
    }
    ~SilentServer() {
        stop_ = true;
        thread_.join();
        for (int client : clients_)
            close(client);
        close(fd_);
    }
    std::string uri() const { return "ldap://127.0.0.1:" + std::to_string(port_); }
    int accepted() const { return accepted_; }

  private:
    void serve() {
        while (!stop_) {
            pollfd waiting{fd_, POLLIN, 0};
            if (poll(&waiting, 1, 50) > 0) {
                const int client = accept(fd_, nullptr, nullptr);
                if (client >= 0) {
                    clients_.push_back(client);
                    ++accepted_;
                }
            }
        }
    }

    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::vector<int> clients_;
    std::thread thread_;
};

// One folder read's worth of trustees: 50 names, each resolved as the folder read does.
struct ReadResult {
    std::vector<std::string> created;
    Clock::duration took;
};

ReadResult read_fifty(GroupResolver& resolver, ResultList& users, ResultList& groups) {
    ReadResult result;
    const auto start = Clock::now();
    for (int i = 0; i < 50; ++i) {
        std::string name = "Konto" + std::to_string(i);
        std::string created;
        result.created.push_back(resolver.Group_check(users, groups, name, "", created));
    }
    result.took = Clock::now() - start;
    return result;
}

void expect_users_under_own_names(const ReadResult& result, const ResultList& users,
                                  const ResultList& groups) {
    ASSERT_EQ(users.count(), 50);
    EXPECT_EQ(groups.count(), 0);
    for (int i = 1; i <= 50; ++i) {
        EXPECT_EQ(users.text(i), "Konto" + std::to_string(i - 1));
        EXPECT_EQ(users.row(i).sub_items, std::vector<std::string>{"no Group"});
        EXPECT_EQ(result.created[i - 1], "," + std::to_string(i) + "-User");
    }
}

std::unique_ptr<DirectoryProvider> provider_for(const std::string& uri) {
    LdapProviderOptions options;
    options.uri = uri;
    options.network_timeout = time_out;
    return make_ldap_directory_provider(options);
}

TEST(UnreachableDirectory, ClosedPort) {
    auto provider = provider_for("ldap://127.0.0.1:" + std::to_string(testing::free_local_port()));
    GroupResolver resolver(*provider, [] { return std::string("example.test"); });
    ResultList users, groups;
    const ReadResult result = read_fifty(resolver, users, groups);
    expect_users_under_own_names(result, users, groups);
    EXPECT_LT(result.took, time_out);
}

TEST(UnreachableDirectory, ServerThatNeverAnswersCostsOneTimeOutPerRead) {
    SilentServer server;
    auto provider = provider_for(server.uri());
    GroupResolver resolver(*provider, [] { return std::string("example.test"); });
    ResultList users, groups;
    const ReadResult first = read_fifty(resolver, users, groups);
    expect_users_under_own_names(first, users, groups);
    EXPECT_GE(first.took, time_out);
    EXPECT_LT(first.took, 2 * time_out);
    const int connections = server.accepted();
    EXPECT_GE(connections, 1);

    // The next folder read tries the server once more, and again only once.
    resolver.folder_read_finished();
    users.clear();
    groups.clear();
    const ReadResult second = read_fifty(resolver, users, groups);
    expect_users_under_own_names(second, users, groups);
    EXPECT_LT(second.took, 2 * time_out);
    EXPECT_GT(server.accepted(), connections);
    EXPECT_LE(server.accepted(), 2 * connections);
}

}  // namespace
}  // namespace permscope::directory

// The provider against a small LDAP server on 127.0.0.1 that hands out member values in ranges,
// as Active Directory does past 1,500 values, and one that starts a range one value late.

#include <lber.h>
#include <ldap.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/text.h"
#include "directory/ldap_provider.h"
#include "directory/query_dialect.h"
#include "tests/fixtures/loopback_listener.h"

namespace permscope::directory {
namespace {

constexpr int kMembers = 7;
constexpr int kPartSize = 3;

std::string member_dn(int i) {
    return "cn=M" + std::to_string(i) + ",dc=example,dc=test";
}

// Answers binds with success and every search with one group entry, its member values in ranges.
// A skewed server starts the second part one value late, as a broken server would.
class RangingServer {
  public:
    enum class Mode { Sound, Skewed };
    explicit RangingServer(Mode mode = Mode::Sound) : mode_(mode) {
        const auto listener = permscope::testing::listen_on_loopback(4);
        fd_ = listener.fd;
        provider_ = make_ldap_directory_provider(
            {"ldap://127.0.0.1:" + std::to_string(listener.port), std::chrono::milliseconds(3000)});
        thread_ = std::thread([this] { serve(); });
    }
    ~RangingServer() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    // A group lookup through a provider of this server.
    std::unique_ptr<Recordset> lookup() {
        auto connection = provider_->CreateConnection("ADODB.Connection");
        auto command = provider_->CreateCommand("ADODB.Command");
        connection->Open("Provider=ADsDSOObject;");
        command->SetActiveConnection(*connection);
        command->SetCommandText(group_lookup_text("dc=example,dc=test", "Riesig"));
        return command->Execute();
    }

    // The same lookup with its records handed over one by one, as a read of all groups runs.
    std::vector<StoredRecord> streamed() {
        std::vector<StoredRecord> records;
        provider_->execute_streamed(group_lookup_text("dc=example,dc=test", "Riesig"),
                                    [&](StoredRecord record) {
                                        records.push_back(std::move(record));
                                        return true;
                                    });
        return records;
    }

    std::atomic<int> searches{0};

  private:
    void serve() {
        while (!stop_) {
            pollfd waiting{fd_, POLLIN, 0};
            int client = poll(&waiting, 1, 50) > 0 ? accept(fd_, nullptr, nullptr) : -1;
            if (client < 0)
                continue;
            Sockbuf* sb = ber_sockbuf_alloc();
            ber_sockbuf_add_io(sb, &ber_sockbuf_io_tcp, LBER_SBIOD_LEVEL_PROVIDER, &client);
            while (!stop_ && answer_one(sb, client)) {
            }
            ber_sockbuf_free(sb);
            close(client);
        }
    }

    // Reads one request and answers it; false when the client is gone or unbinds.
    bool answer_one(Sockbuf* sb, int client) {
        pollfd readable{client, POLLIN, 0};
        while (poll(&readable, 1, 50) == 0)
            if (stop_)
                return false;
        BerElement* request = ber_alloc_t(LBER_USE_DER);
        ber_len_t length = 0;
        ber_int_t msgid = 0;
        bool go_on = false;
        // ber_get_next reads the message's own tag and length: the message id comes next.
        if (ber_get_next(sb, &length, request) != LBER_ERROR &&
            ber_scanf(request, "i", &msgid) != LBER_ERROR) {
            const ber_tag_t operation = ber_peek_tag(request, &length);
            if (operation == LDAP_REQ_BIND)
                go_on = send_done(sb, msgid, LDAP_RES_BIND);
            else if (operation == LDAP_REQ_SEARCH)
                go_on = answer_search(sb, msgid, request);
        }
        ber_free(request, 1);
        return go_on;
    }

    bool answer_search(Sockbuf* sb, ber_int_t msgid, BerElement* request) {
        ++searches;
        berval base{0, nullptr};
        ber_int_t scope = 0, deref = 0, size = 0, time = 0, types_only = 0;
        char** attributes = nullptr;
        if (ber_scanf(request, "{miiiibxv", &base, &scope, &deref, &size, &time, &types_only,
                      &attributes) == LBER_ERROR)
            return false;
        BerElement* entry = ber_alloc_t(LBER_USE_DER);
        ber_printf(entry, "{it{s{", msgid, LDAP_RES_SEARCH_ENTRY, "cn=Riesig,dc=example,dc=test");
        for (char** a = attributes; a && *a; ++a) {
            const std::string name = ascii_lower(*a);
            if (name == "name" || name == "samaccountname")
                ber_printf(entry, "{s[s]}", *a, "Riesig");
            if (!name.starts_with("member"))
                continue;
            int low = name.starts_with("member;range=") ? std::stoi(name.substr(13)) : 0;
            low += mode_ == Mode::Skewed && low > 0;
            const int high = std::min(low + kPartSize - 1, kMembers - 1);
            const std::string part = "member;range=" + std::to_string(low) + "-" +
                                     (high == kMembers - 1 ? "*" : std::to_string(high));
            ber_printf(entry, "{s[", part.c_str());
            for (int i = low; i <= high; ++i)
                ber_printf(entry, "s", member_dn(i).c_str());
            ber_printf(entry, "]}");
        }
        ber_printf(entry, "}}}");
        ber_memvfree(reinterpret_cast<void**>(attributes));
        ber_flush2(sb, entry, LBER_FLUSH_FREE_ALWAYS);
        return send_done(sb, msgid, LDAP_RES_SEARCH_RESULT);
    }

    static bool send_done(Sockbuf* sb, ber_int_t msgid, ber_tag_t kind) {
        BerElement* done = ber_alloc_t(LBER_USE_DER);
        ber_printf(done, "{it{ess}}", msgid, kind, LDAP_SUCCESS, "", "");
        ber_flush2(sb, done, LBER_FLUSH_FREE_ALWAYS);
        return true;
    }

    Mode mode_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::unique_ptr<DirectoryProvider> provider_;
    std::thread thread_;
};

TEST(RangedMembers, AllPartsAreFetchedInOrderAndAPartThatDoesNotFollowOnFailsTheSearch) {
    RangingServer server;
    auto set = server.lookup();
    std::vector<std::string> expected;
    for (int i = 0; i < kMembers; ++i)
        expected.push_back(member_dn(i));
    EXPECT_EQ(std::get<std::vector<std::string>>(set->Fields("Member")), expected);
    EXPECT_EQ(std::get<std::string>(set->Fields("Name")), "Riesig");
    EXPECT_EQ(server.searches, 3);  // the lookup, then parts 3-5 and 6-*
    const std::vector<StoredRecord> streamed = server.streamed();
    ASSERT_EQ(streamed.size(), 1u);
    EXPECT_EQ(std::get<std::vector<std::string>>(streamed[0].fields[2]), expected);
    RangingServer skewed(RangingServer::Mode::Skewed);
    EXPECT_THROW(skewed.lookup(), DirectoryError);
    EXPECT_TRUE(skewed.streamed().empty());  // a failed search hands over nothing
}

}  // namespace
}  // namespace permscope::directory

#pragma once
// A TCP relay on 127.0.0.1 in front of a real server that, from the server's answer to the bind
// on (or from the start), misbehaves the way a broken network or an overloaded server does. Every
// connection it takes misbehaves the same way, so a client that tries again meets the same fault.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace permscope::testing {

class StallingProxy {
  public:
    enum class Fault {
        // The connection is taken and nothing is ever passed on, not even the bind's answer.
        SilentFromTheStart,
        // The server's next answer stops half way through its first message; the connection
        // stays open.
        StallInMessage,
        // Nothing the server says after the bind's answer is passed on; the connection stays
        // open.
        StallAfterBind,
        // The connection is closed when the client asks its first question after the bind.
        DropAfterBind,
    };

    StallingProxy(std::uint16_t server_port, Fault fault);
    ~StallingProxy();
    StallingProxy(const StallingProxy&) = delete;
    StallingProxy& operator=(const StallingProxy&) = delete;

    std::string uri() const { return "ldap://127.0.0.1:" + std::to_string(port_); }
    int connections() const { return connections_; }

  private:
    struct Relay {
        int client = -1;
        int server = -1;
        bool bind_answered = false;  // the server's first answer has been passed on
        bool stalled = false;        // nothing more is passed on
    };
    void serve();
    void accept_client();
    void pass_server_data(Relay& relay);
    bool pass_client_data(Relay& relay);

    std::uint16_t server_port_;
    Fault fault_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::vector<Relay> relays_;
    std::atomic<int> connections_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace permscope::testing

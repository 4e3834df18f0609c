#pragma once
// A TCP relay on 127.0.0.1 in front of a real server that, from the server's answer to the bind
// on (or from the start), misbehaves the way a broken network or an overloaded server does. Every
// connection it takes misbehaves the same way, so a client that tries again meets the same fault;
// or, where the client opens more than one, only the later ones do.
//
// It speaks LDAP (a message is a BER element; the bind's answer is the server's first) or SMB (a
// message follows a four-byte NetBIOS session header; the negotiation's answer is the server's
// first, and the question whose answer is cut is a request for a security descriptor or for
// account names).

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
        // The server's answer to the question stops half way through its first message, and the
        // connection is closed.
        DropInMessage,
    };
    enum class Protocol { Ldap, Smb };
    struct Options {
        Protocol protocol = Protocol::Ldap;
        // Listen on a loopback address of the relay's own at this port, instead of 127.0.0.1 at
        // a free port (0).
        std::uint16_t own_address_port = 0;
        // Connections before this one (counted from 1) are relayed faithfully.
        int first_faulty_connection = 1;
    };

    StallingProxy(std::uint16_t server_port, Fault fault) : StallingProxy(server_port, fault, {}) {}
    StallingProxy(std::uint16_t server_port, Fault fault, Options options);
    ~StallingProxy();
    StallingProxy(const StallingProxy&) = delete;
    StallingProxy& operator=(const StallingProxy&) = delete;

    std::string uri() const { return "ldap://" + address_ + ":" + std::to_string(port_); }
    const std::string& address() const { return address_; }
    int connections() const { return connections_; }

  private:
    struct Relay {
        int client = -1;
        int server = -1;
        bool faulty = true;          // this connection misbehaves
        bool bind_answered = false;  // the server's first answer has been passed on
        bool asked = false;          // the client asked the question whose answer is cut
        bool stalled = false;        // nothing more is passed on
    };
    void serve();
    void accept_client();
    void pass_server_data(Relay& relay);
    bool pass_client_data(Relay& relay);

    std::uint16_t server_port_;
    Fault fault_;
    Options options_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::string address_;
    std::vector<Relay> relays_;
    std::atomic<int> connections_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace permscope::testing

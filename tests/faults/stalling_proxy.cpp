#include "tests/faults/stalling_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "tests/fixtures/loopback_listener.h"

namespace permscope::testing {

namespace {

int connect_to_loopback(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        close(fd);
    return -1;
}

bool send_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

// The size of the BER-encoded message that data begins with, as far as data holds it.
std::size_t first_ber_message_size(const char* data, std::size_t size) {
    if (size < 2)
        return size;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(data[i]); };
    std::size_t header = 2;
    std::size_t length = byte(1);
    if (length & 0x80) {
        const std::size_t count = length & 0x7F;
        length = 0;
        for (std::size_t i = 0; i < count && header < size; ++i, ++header)
            length = (length << 8) | byte(header);
    }
    return std::min(size, header + length);
}

std::uint32_t byte_at(const char* data, std::size_t i) {
    return static_cast<unsigned char>(data[i]);
}

// The size of the SMB message (with its NetBIOS session header) that data begins with.
std::size_t first_smb_message_size(const char* data, std::size_t size) {
    if (size < 4)
        return size;
    return std::min<std::size_t>(
        size, 4 + (byte_at(data, 1) << 16 | byte_at(data, 2) << 8 | byte_at(data, 3)));
}

// Whether an SMB2 message chain (after the session header) asks for a security descriptor: a
// QUERY_INFO request (command 16) whose information type is 3.
bool asks_for_security_descriptor(const char* data, std::size_t size) {
    constexpr std::size_t kHeader = 64;
    for (std::size_t at = 4; at + kHeader + 4 <= size;) {
        const char* message = data + at;
        const std::uint32_t command = byte_at(message, 12) | byte_at(message, 13) << 8;
        if (std::string_view(message, 4) == "\xFESMB" && command == 16 &&
            byte_at(message, kHeader + 2) == 3)
            return true;
        const std::uint32_t next = byte_at(message, 20) | byte_at(message, 21) << 8 |
                                   byte_at(message, 22) << 16 | byte_at(message, 23) << 24;
        if (next == 0)
            break;
        at += next;
    }
    return false;
}

// Whether the data carries a DCE/RPC request (version 5.0, type 0, little-endian) for the LSA's
// LookupSids, LookupSids2 or LookupSids3 (operations 15, 57, 76): the account-name lookup.
bool asks_for_account_names(const char* data, std::size_t size) {
    for (std::size_t at = 0; at + 24 <= size; ++at) {
        const char* pdu = data + at;
        if (byte_at(pdu, 0) != 5 || byte_at(pdu, 1) != 0 || byte_at(pdu, 2) != 0 ||
            byte_at(pdu, 4) != 0x10)
            continue;
        const std::uint32_t operation = byte_at(pdu, 22) | byte_at(pdu, 23) << 8;
        if (operation == 15 || operation == 57 || operation == 76)
            return true;
    }
    return false;
}

void close_relay(int& client, int& server) {
    if (client >= 0)
        close(client);
    if (server >= 0)
        close(server);
    client = server = -1;
}

}  // namespace

StallingProxy::StallingProxy(std::uint16_t server_port, Fault fault, Options options)
    : server_port_(server_port), fault_(fault), options_(options) {
    const LoopbackListener listener =
        options.own_address_port ? listen_on_own_loopback_address(options.own_address_port, 16)
                                 : listen_on_loopback(16);
    listener_ = listener.fd;
    port_ = listener.port;
    address_ = listener.address;
    thread_ = std::thread([this] { serve(); });
}

StallingProxy::~StallingProxy() {
    stop_ = true;
    thread_.join();
    for (Relay& relay : relays_)
        close_relay(relay.client, relay.server);
    close(listener_);
}

void StallingProxy::serve() {
    while (!stop_) {
        std::vector<pollfd> waiting{{listener_, POLLIN, 0}};
        for (const Relay& relay : relays_) {
            waiting.push_back({relay.client, POLLIN, 0});
            // A stalled relay leaves the server's data unread, as a stalled link would.
            waiting.push_back({relay.stalled ? -1 : relay.server, POLLIN, 0});
        }
        if (poll(waiting.data(), waiting.size(), 20) <= 0)
            continue;
        // Relays accepted now have no place in this round's poll set: they join the next round.
        const std::size_t polled = relays_.size();
        if (waiting[0].revents & POLLIN)
            accept_client();
        for (std::size_t i = 0; i < polled; ++i) {
            Relay& relay = relays_[i];
            if (waiting[1 + 2 * i].revents & (POLLIN | POLLHUP) && !pass_client_data(relay))
                close_relay(relay.client, relay.server);
            else if (relay.server >= 0 && waiting[2 + 2 * i].revents & (POLLIN | POLLHUP))
                pass_server_data(relay);
        }
        relays_.erase(std::remove_if(relays_.begin(), relays_.end(),
                                     [](const Relay& relay) { return relay.client < 0; }),
                      relays_.end());
    }
}

void StallingProxy::accept_client() {
    Relay relay;
    relay.client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (relay.client < 0)
        return;
    relay.server = connect_to_loopback(server_port_);
    if (relay.server < 0) {
        close(relay.client);
        return;
    }
    relay.faulty = ++connections_ >= options_.first_faulty_connection;
    relays_.push_back(relay);
}

// False when the relay is to close: the client left, or asks after the bind where the fault is
// a dropped connection.
bool StallingProxy::pass_client_data(Relay& relay) {
    char buffer[16384];
    const ssize_t got = recv(relay.client, buffer, sizeof buffer, 0);
    if (got <= 0)
        return false;
    const auto size = static_cast<std::size_t>(got);
    if (relay.faulty && relay.bind_answered) {
        if (fault_ == Fault::DropAfterBind)
            return false;
        relay.asked = relay.asked || options_.protocol == Protocol::Ldap ||
                      asks_for_security_descriptor(buffer, size) ||
                      asks_for_account_names(buffer, size);
    }
    return send_all(relay.server, buffer, size);
}

// How much of the server's data is passed on, and whether the relay stalls (or closes) after it.
// The bind's answer arrives alone: the client sends nothing else until it has it.
void StallingProxy::pass_server_data(Relay& relay) {
    char buffer[16384];
    const ssize_t got = recv(relay.server, buffer, sizeof buffer, 0);
    if (got <= 0) {
        close_relay(relay.client, relay.server);
        return;
    }
    std::size_t passed = static_cast<std::size_t>(got);
    bool close_after = false;
    const bool cut_answer = fault_ == Fault::StallInMessage || fault_ == Fault::DropInMessage;
    if (!relay.faulty) {
    } else if (cut_answer && relay.asked) {
        const std::size_t message = options_.protocol == Protocol::Ldap
                                        ? first_ber_message_size(buffer, passed)
                                        : first_smb_message_size(buffer, passed);
        passed = std::max<std::size_t>(1, message / 2);
        relay.stalled = true;
        close_after = fault_ == Fault::DropInMessage;
    } else if (!cut_answer && (relay.bind_answered || fault_ == Fault::SilentFromTheStart)) {
        if (fault_ == Fault::StallAfterBind || fault_ == Fault::SilentFromTheStart)
            passed = 0;
        relay.stalled = fault_ != Fault::DropAfterBind;
    }
    relay.bind_answered = true;
    if (!send_all(relay.client, buffer, passed) || close_after)
        close_relay(relay.client, relay.server);
}

}  // namespace permscope::testing

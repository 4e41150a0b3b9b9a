// Reaching a server the user names. The name is resolved within a time
// limit; a connected UDP socket, IPv4 or IPv6, hears only the server's own
// address and port (a forged reply from elsewhere never arrives). Asio does
// the socket work on every system. What goes over it is the model's: this
// layer only carries datagrams, and asks a terminal for a password.
#pragma once

#include "rcon.h"

namespace asio {
class io_context;
}

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>

namespace zelvar {

class UdpTransport final : public rcon::Transport {
public:
    // Throws rcon::Failure when the name does not resolve in time or, in
    // receive, when the server's host says nothing listens on the port; and
    // rcon::Cancelled, here or in receive, once `stop` is requested.
    explicit UdpTransport(const rcon::Address &server, std::stop_token stop = {},
                          std::chrono::milliseconds resolveWithin = std::chrono::seconds(4));
    ~UdpTransport();
    UdpTransport(const UdpTransport &) = delete;
    UdpTransport &operator=(const UdpTransport &) = delete;

    void send(std::string_view datagram) override;
    std::optional<std::string> receive(std::chrono::steady_clock::time_point until) override;

private:
    // Runs the socket's work until `done` or `until`, looking for a stop.
    void runUntil(asio::io_context &io, const bool &done,
                  std::chrono::steady_clock::time_point until);

    struct Socket;
    std::unique_ptr<Socket> socket_;
    std::stop_token stop_;
    std::string server_;  // as a message names it
};

// Where the remote-console password is read from, when no other source has one.
inline constexpr std::string_view kPasswordVariable = "ZELVAR_RCON_PASSWORD";

// Where a password came from: what the flows decide by.
enum class PasswordFrom { File, Environment, Keyring, Dialog, Terminal };

// A password and where it came from, as a refusal names it: never the
// password itself.
struct Password {
    std::string secret;
    std::string source;  // "ZELVAR_RCON_PASSWORD", "the password file \"pw\""
    PasswordFrom from = PasswordFrom::File;
};

// What kept a talk from its end.
struct Unreached {
    // An address that is none, a password that can never match, no reply, a
    // password refused (and from where it came), a wait the user stopped.
    std::string why;
    enum class Kind {
        Unreached,        // no address, nothing listening, no reply
        PasswordRefused,  // by the server, or here as one that can never match
        Cancelled,        // the user stopped the wait
    };
    Kind kind = Kind::Unreached;
};

// The real connection: a UdpTransport.
rcon::Connect udpConnect();

// Talks to the server named by `text` (HOST[:PORT]) through `talk`, which is
// handed the session, the password set (none: for what anyone may ask), and
// the server as shown; until `stop` is requested. `connect` reaches it: the
// network, unless a test scripts the server.
std::optional<Unreached>
talkTo(std::string_view text, std::optional<Password> password,
       const std::function<void(rcon::Session &, const std::string &server)> &talk,
       std::stop_token stop = {}, const rcon::Connect &connect = udpConnect());
// The same, to an address already read.
std::optional<Unreached>
talkTo(const rcon::Address &address, std::optional<Password> password,
       const std::function<void(rcon::Session &, const std::string &server)> &talk,
       std::stop_token stop = {}, const rcon::Connect &connect = udpConnect());

// What a prompt or a dialog asks: "Remote-console password for SERVER:".
inline std::string passwordQuestion(std::string_view server) {
    return "Remote-console password for " + std::string(server) + ':';
}

// The password in ZELVAR_RCON_PASSWORD, if it is set.
std::optional<Password> passwordFromEnvironment();

// A line typed at the terminal without its echo; none when standard input is
// no terminal or the line does not come.
std::optional<std::string> promptHidden(std::string_view prompt);

}  // namespace zelvar

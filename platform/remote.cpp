#include "remote.h"

#include <asio.hpp>

#include <array>
#include <cstdlib>
#include <iostream>

#ifdef _WIN32
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace zelvar {

struct UdpTransport::Socket {
    asio::io_context io;
    asio::ip::udp::socket socket{io};
    std::array<char, 65536> buffer{};
};

namespace {

// How soon a stop is seen.
constexpr auto kLookForStop = std::chrono::milliseconds(40);

}  // namespace

void UdpTransport::runUntil(asio::io_context &io, const bool &done,
                            std::chrono::steady_clock::time_point until) {
    io.restart();
    while (!done && std::chrono::steady_clock::now() < until) {
        if (stop_.stop_requested())
            return;
        io.run_until(std::min(until, std::chrono::steady_clock::now() + kLookForStop));
        io.restart();
    }
}

UdpTransport::UdpTransport(const rcon::Address &server, std::stop_token stop,
                           std::chrono::milliseconds resolveWithin)
    : socket_(std::make_unique<Socket>()), stop_(std::move(stop)), server_(server.shown()) {
    // The resolver's own context: a name lookup that outlives its time limit
    // is left to finish on its own thread rather than waited for.
    auto lookups = std::make_unique<asio::io_context>();
    asio::ip::udp::resolver resolver(*lookups);
    std::optional<asio::ip::udp::endpoint> found;
    std::error_code failed;
    bool done = false;
    resolver.async_resolve(
        server.host, std::to_string(server.port), asio::ip::udp::resolver::numeric_service,
        [&](const std::error_code &error, const auto &results) {
            done = true;
            failed = error;
            // A name with both: IPv4, which every server of the
            // family listens on (those of 2003 on nothing else).
            for (const auto &result : results)
                if (!found || (found->address().is_v6() && result.endpoint().address().is_v4()))
                    found = result.endpoint();
        });
    runUntil(*lookups, done, std::chrono::steady_clock::now() + resolveWithin);
    if (!done) {
        resolver.cancel();
        static_cast<void>(lookups.release());  // NOLINT(bugprone-unused-return-value)
        if (stop_.stop_requested())
            throw rcon::Cancelled();
        throw rcon::Failure("the name " + quoted(server.host) + " did not resolve within " +
                            std::to_string(resolveWithin.count() / 1000) + " s");
    }
    if (!found)
        throw rcon::Failure("no address for " + quoted(server.host) +
                            (failed ? ": " + failed.message() : std::string()));
    std::error_code error;
    socket_->socket.open(found->protocol(), error);
    if (!error)
        socket_->socket.connect(*found, error);
    if (error)
        throw rcon::Failure("no socket for " + server.shown() + ": " + error.message());
}

UdpTransport::~UdpTransport() = default;

void UdpTransport::send(std::string_view datagram) {
    std::error_code ignored;  // a datagram lost is a reply that never comes
    socket_->socket.send(asio::buffer(datagram.data(), datagram.size()), 0, ignored);
}

std::optional<std::string> UdpTransport::receive(std::chrono::steady_clock::time_point until) {
    std::optional<std::string> datagram;
    bool done = false;
    bool refused = false;  // an ICMP "port unreachable" for what was sent (a reset on Windows)
    socket_->socket.async_receive(asio::buffer(socket_->buffer),
                                  [&](const std::error_code &error, std::size_t size) {
                                      done = true;
                                      refused = error == asio::error::connection_refused ||
                                                error == asio::error::connection_reset;
                                      if (!error)
                                          datagram.emplace(socket_->buffer.data(), size);
                                  });
    runUntil(socket_->io, done, until);
    if (!done) {
        socket_->socket.cancel();
        socket_->io.restart();
        socket_->io.run();
    }
    if (stop_.stop_requested())
        throw rcon::Cancelled();
    if (refused)
        throw rcon::Failure("nothing listens on " + server_ +
                            ": the server is stopped, or the port is wrong");
    return datagram;
}

rcon::Connect udpConnect() {
    return [](const rcon::Address &server, std::stop_token stop) {
        return std::make_unique<UdpTransport>(server, std::move(stop));
    };
}

std::optional<Unreached>
talkTo(std::string_view text, std::optional<Password> password,
       const std::function<void(rcon::Session &, const std::string &server)> &talk,
       std::stop_token stop, const rcon::Connect &connect) {
    const auto address = rcon::parseAddress(text);
    if (const auto *why = std::get_if<std::string>(&address))
        return Unreached{*why, Unreached::Kind::Unreached};
    return talkTo(std::get<rcon::Address>(address), std::move(password), talk, std::move(stop),
                  connect);
}

std::optional<Unreached>
talkTo(const rcon::Address &address, std::optional<Password> password,
       const std::function<void(rcon::Session &, const std::string &server)> &talk,
       std::stop_token stop, const rcon::Connect &connect) {
    const std::optional<std::string> why =
        password ? rcon::unusablePassword(password->secret) : std::nullopt;
    if (why)
        return Unreached{*why + " (the password from " + password->source + "); nothing is sent",
                         Unreached::Kind::PasswordRefused};
    const std::string server = address.shown();
    try {
        const std::unique_ptr<rcon::Transport> transport = connect(address, std::move(stop));
        rcon::Session session(*transport, server);
        if (password)
            session.setPassword(std::move(password->secret));
        talk(session, server);
        return std::nullopt;
    } catch (const rcon::PasswordRefused &refused) {
        // A server that asks for a password where none was given says so too.
        return Unreached{std::string(refused.what()) +
                             (password ? "; the password came from " + password->source
                                       : std::string("; no password was given")),
                         Unreached::Kind::PasswordRefused};
    } catch (const rcon::Cancelled &) {
        return Unreached{rcon::cancelledWait(server), Unreached::Kind::Cancelled};
    } catch (const rcon::Failure &failure) {
        return Unreached{failure.what(), Unreached::Kind::Unreached};
    }
}

std::optional<Password> passwordFromEnvironment() {
    const char *set = std::getenv(std::string(kPasswordVariable).c_str());
    if (set == nullptr)
        return std::nullopt;
    return Password{set, std::string(kPasswordVariable), PasswordFrom::Environment};
}

std::optional<std::string> promptHidden(std::string_view prompt) {
#ifdef _WIN32
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(in, &mode) == FALSE)
        return std::nullopt;
    SetConsoleMode(in, mode & ~DWORD{ENABLE_ECHO_INPUT});
    std::cerr << prompt << std::flush;
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    SetConsoleMode(in, mode);
#else
    termios before{};
    if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &before) != 0)
        return std::nullopt;
    termios quiet = before;
    quiet.c_lflag &= ~tcflag_t{ECHO};
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    std::cerr << prompt << std::flush;
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &before);
#endif
    std::cerr << '\n';
    if (!read)
        return std::nullopt;
    if (line.ends_with('\r'))
        line.pop_back();
    return line;
}

}  // namespace zelvar

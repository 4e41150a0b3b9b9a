// Talking to a running game server. A request is one UDP datagram; a
// Transport carries datagrams (the platform layer has the real one) and
// hears only the server's own address and port. A Session turns what the
// tool wants into requests: its first asks the server's status, which names
// the engine; it paces the rest and reads where each reply ends by that
// engine's rules (pace.h), retries reads with backoff,
// never resends a set (it reads the variable back instead) and ends with a
// Failure, in words a person can act on, when nothing useful can come.
// Replies are read by reply.h; sendChanges is the one way every front-end
// sets values on a server.
#pragma once

#include "edit.h"
#include "pace.h"
#include "reply.h"
#include "status.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>
#if __has_include(<stop_token>)
#include <stop_token>
#endif

namespace zelvar::rcon {

#if __has_include(<stop_token>)
using StopToken = std::stop_token;
#else
// Emscripten's C++ library has no stop tokens, and the web page it builds
// talks to no server: a wait there is never stopped.
struct StopToken {
    bool stop_requested() const { return false; }
};
#endif

class Transport {
public:
    using Clock = std::chrono::steady_clock;
    virtual ~Transport() = default;
    virtual void send(std::string_view datagram) = 0;
    // The next datagram from the server before `until`; none when time runs
    // out first. Throws Failure when the server's host says nothing listens
    // there, and Cancelled when the user stops the wait.
    virtual std::optional<std::string> receive(Clock::time_point until) = 0;
    // The time every wait is measured by: the clock's, or a test's own,
    // which a scripted server moves on as it falls silent.
    virtual Clock::time_point now() { return Clock::now(); }
};

// Opens a transport to a server: the real socket, or a scripted server in a
// test. Throws Failure when it cannot, Cancelled once `stop` is requested.
using Connect = std::function<std::unique_ptr<Transport>(const Address &server, StopToken stop)>;

// Talking cannot go on: no reply, a password refused, a server without one.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// The server said the password is wrong.
struct PasswordRefused : Failure {
    using Failure::Failure;
};
// The user stopped the wait.
struct Cancelled : Failure {
    Cancelled() : Failure("cancelled") {}
};
// How that is said, of a server or of a file host.
inline std::string cancelledWait(std::string_view forWhat) {
    return "the wait for " + std::string(forWhat) + " was cancelled";
}

// Runs `ask`; the server's silence, or any failure to talk on, comes back as
// its reason, while a refused password or the user's stop still end the
// whole command.
template <class Ask> std::optional<std::string> unanswered(Ask &&ask) {
    try {
        ask();
    } catch (const PasswordRefused &) {
        throw;
    } catch (const Cancelled &) {
        throw;
    } catch (const Failure &failure) {
        return failure.what();
    }
    return std::nullopt;
}

// How long each step may take: a few seconds at most, so that silence ends
// in some 10 s over a read's three tries.
struct Timing {
    std::chrono::milliseconds firstPiece{1500};  // for a reply to start, on the first try
    std::chrono::milliseconds quiet{250};        // after a piece, where its end is not shown
    std::chrono::milliseconds whole{4000};       // for all of a reply's pieces
    int tries = 3;                               // for a read
};

class Session {
public:
    Session(Transport &transport, std::string server, Timing timing = {});
    void setPassword(std::string password) { password_ = std::move(password); }

    // The masks the server tells anyone (g_weaponDisable, g_forcePowerDisable),
    // in variables() order: none where it does not publish one.
    std::array<std::optional<std::string>, 2> published();
    // Over the remote console: each variable's value, in variables() order;
    // none where the server does not have it. Only the groups asked for are read.
    std::array<std::optional<Held>, kVariableCount> read(std::span<const Variable> which);
    // Sets one value; says what the server answered, colours removed.
    std::string set(const Variable &variable, std::string_view value);
    // The engine's version, as its status reply names it.
    std::string version();
    // A variable's value as the server holds it, or none (one of the
    // engine's own: fs_homepath, fs_game ...).
    std::optional<std::string> value(std::string_view name);
    // Where the server finds the file `name` ("which NAME"): the folder's
    // path and the name, or the archive's path; "" where it finds none;
    // none where the engine has no such command, or the name is not one a
    // command may carry safely (a path of plain bytes, climbing nowhere).
    std::optional<std::string> which(std::string_view name);

private:
    std::optional<std::string> exchange(std::string_view line, bool remote, int attempt,
                                        bool once = false);
    std::string remote(std::string_view command, bool isRead);
    std::optional<Info> ask(std::string_view what);
    const Info &status();

    Transport &transport_;
    std::string server_;
    Timing timing_;
    std::string password_;
    Pace pace_;
    std::optional<Info> status_;
};

// What became of one value sent.
enum class Outcome {
    Applied,         // read back as sent
    AppliedAlready,  // held before: nothing was sent
    NextMap,         // latched: the server takes it at the next map
    NoSuchVariable,  // not sent
    Cancelled,       // not sent: the user stopped first
    NotReadBack,     // sent; what the server made of it is not known
    Refused,         // in the server's own words
    NoReply,         // to the set; read back, the server holds another value
    NotApplied,      // the server answered nothing, and holds another value
    NotSent,         // the server stopped answering before its turn: `detail` says how
};
std::string_view outcomeName(Outcome outcome);  // "applied", "refused", ...
Status weightOf(Outcome outcome);

struct SentValue {
    Change change;
    Outcome outcome = Outcome::Applied;
    std::string detail;               // Refused: the server's answer; NotReadBack: why
    std::optional<std::string> held;  // read back after
};

// What became of each value sent.
struct Sent {
    Status status = Clean;          // Clean: all applied, or waiting for the next map
    std::string said;               // one line a value, in the server's own words where it refused
    std::vector<SentValue> values;  // in the order asked; none when refused before sending
    int applied = 0;                // values the server holds, or takes at the next map
    bool cancelled = false;         // the user stopped it before the end

    // One value's fate, said and counted.
    void add(SentValue value);

    // What a window's message says first.
    std::string_view heading() const {
        return said.empty()      ? "Nothing to send."
               : status == Clean ? "Sent."
               : applied == 0    ? "Nothing was applied."
                                 : "Not all was applied.";
    }
};
// Checks every value first (nothing is sent if one is refused), then sets
// each on a variable the server has, and reads them back in one request a
// prefix. Stopped by the user, or by a server that stops answering once the
// first values went, it says which were sent and which not; a failure before
// any value went (the first read) is thrown, as every other talk throws it.
Sent sendChanges(Session &session, std::span<const Change> changes);

// Whether two values are the same number to the server.
bool sameNumber(std::string_view a, std::string_view b);

// What a person is told when nothing answers.
std::string noReply(std::string_view server);

}  // namespace zelvar::rcon

// How fast a server takes requests, and where its remote-console reply ends,
// by the engine it runs: a status reply's "version" names it (engineOf), and
// a Session paces each request and reads each reply by that. A server that
// does not say is held to the strictest rules of them all.
//
//   The 2003 server   drops a remote command within 500 ms of the last one
//                     it took, from anyone; ends a reply with an empty print.
//   Today's engines   take a burst of ten requests of any kind from one
//                     address, then one a second; gather a reply's text in a
//                     buffer of about 1,000 bytes and send it when the next
//                     piece would not fit, so a packet with room left for
//                     the longest piece is the last.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace zelvar::rcon {

enum class Engine { Unknown, Of2003, Today };

// The engine a status reply's "version" names.
Engine engineOf(std::string_view version);

class Pace {
public:
    using Clock = std::chrono::steady_clock;

    void learn(Engine engine) { engine_ = engine; }
    Engine engine() const { return engine_; }
    // When the next request may go, a remote command or not. One that goes
    // `once` (a set, never sent again) waits until the server has let one
    // out since the last it took, whatever it held before this session.
    Clock::time_point earliest(bool remote, Clock::time_point now, bool once = false) const;
    void sent(bool remote, Clock::time_point now);
    // A request the server did not answer: it may hold more from this
    // address than counted here (the command run a moment ago, another
    // tool), so its bucket is taken as full.
    void unanswered(Clock::time_point now);
    // Whether the text of a print packet is the reply's last; when it cannot
    // tell, the reply ends when the server falls quiet.
    bool lastPiece(std::string_view text) const;

private:
    // The server's bucket of requests from this address, drained a little
    // slower than the server drains it.
    struct Bucket {
        int held = 0;
        Clock::time_point since{};
    };
    Bucket drained(Clock::time_point now) const;

    Engine engine_ = Engine::Unknown;
    int sent_ = 0;
    std::optional<Clock::time_point> last_;
    std::optional<Clock::time_point> lastRemote_;
    Bucket bucket_;
};

}  // namespace zelvar::rcon

#include "pace.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace zelvar::rcon {

namespace {

using namespace std::chrono_literals;

// The 2003 server's 500 ms, with room for a datagram's way there.
constexpr auto kGap2003 = 600ms;
// Today's engines: a bucket of ten, one out a second; kept a request smaller
// and a little slower, for what a clock's drift or another tool takes.
constexpr int kBucket = 9;
constexpr auto kDrain = 1050ms;
// A server that does not say: the 2003 gap for the first requests, then
// today's one a second.
constexpr int kUnknownBurst = 8;
constexpr auto kUnknownLater = 1100ms;
// Today's reply buffer, and the longest piece a reading prints: cvarlist's
// line of flags, a name and a value of up to 256 bytes.
constexpr std::size_t kReplyBuffer = 1000;
constexpr std::size_t kLongestPiece = 8 + 64 + 3 + 256 + 1;

// The year of a build date that ends a version ("... Oct 24 2003"), if any.
std::optional<int> buildYear(std::string_view version) {
    constexpr std::array<std::string_view, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    while (!version.empty() && std::isspace(static_cast<unsigned char>(version.back())) != 0)
        version.remove_suffix(1);
    const std::size_t blank = version.rfind(' ');
    if (blank == std::string_view::npos || version.size() - blank != 5)
        return std::nullopt;
    int year = 0;
    const std::string_view digits = version.substr(blank + 1);
    if (std::from_chars(digits.data(), digits.data() + digits.size(), year).ptr !=
        digits.data() + digits.size())
        return std::nullopt;
    // "Oct 24" or "Jan  8" before the year.
    const std::size_t month = version.find_last_of("ADFJMNOS", blank);
    if (month == std::string_view::npos ||
        std::find(kMonths.begin(), kMonths.end(), version.substr(month, 3)) == kMonths.end())
        return std::nullopt;
    return year;
}

}  // namespace

Engine engineOf(std::string_view version) {
    if (version.starts_with("ioq3"))
        return Engine::Today;
    const std::optional<int> year = buildYear(version);
    if (!year)
        return Engine::Unknown;
    return *year <= 2004 ? Engine::Of2003 : Engine::Today;
}

Pace::Bucket Pace::drained(Clock::time_point now) const {
    Bucket b = bucket_;
    const auto since = now - b.since;
    const auto out = static_cast<int>(since / kDrain);
    if (out > b.held)
        return {0, now};
    b.held -= out;
    b.since = now - since % kDrain;
    return b;
}

Pace::Clock::time_point Pace::earliest(bool remote, Clock::time_point now, bool once) const {
    switch (engine_) {
    case Engine::Of2003:
        return remote && lastRemote_ ? std::max(now, *lastRemote_ + kGap2003) : now;
    case Engine::Today: {
        const Bucket b = drained(now);
        const auto byBucket = b.held < kBucket ? now : b.since + kDrain;
        return once && last_ ? std::max(byBucket, *last_ + kDrain) : byBucket;
    }
    case Engine::Unknown:
        break;
    }
    if (!last_)
        return now;
    return std::max(now, *last_ + (once || sent_ >= kUnknownBurst ? kUnknownLater : kGap2003));
}

void Pace::sent(bool remote, Clock::time_point now) {
    bucket_ = drained(now);
    ++bucket_.held;
    ++sent_;
    last_ = now;
    if (remote)
        lastRemote_ = now;
}

void Pace::unanswered(Clock::time_point now) { bucket_ = {kBucket, now}; }

bool Pace::lastPiece(std::string_view text) const {
    // No engine sends an empty piece before the last.
    return text.empty() ||
           (engine_ == Engine::Today && text.size() + kLongestPiece <= kReplyBuffer);
}

}  // namespace zelvar::rcon

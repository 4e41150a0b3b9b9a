#include "rcon.h"

#include <algorithm>
#include <charconv>
#include <random>

namespace zelvar::rcon {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kLargestReply = std::size_t{256} << 10;

// Only names of letters, digits and '_' and plain decimal values ever go
// into a command, so that nothing in one can become another command.
bool safeWord(std::string_view word, bool number) {
    if (word.empty())
        return false;
    if (number)
        return std::all_of(word.begin() + (word[0] == '-' ? 1 : 0), word.end(),
                           [](char c) { return c >= '0' && c <= '9'; }) &&
               word != "-";
    return std::all_of(word.begin(), word.end(), nameByte);
}

std::string freshChallenge() {
    std::random_device seed;
    return std::to_string(std::uniform_int_distribution<std::uint32_t>(100000000, 999999999)(seed));
}

std::string hidden(std::string text, std::string_view password) {
    if (password.empty())
        return text;
    // Searched on past each mask, so that a password of stars, or of the
    // mask's own text, never meets itself again.
    constexpr std::string_view kMask = "********";
    for (std::size_t at = 0; (at = text.find(password, at)) != std::string::npos;
         at += kMask.size())
        text.replace(at, password.size(), kMask);
    return text;
}

// Silence where an answer was due; a set that meets it is read back instead.
struct NoReply : Failure {
    using Failure::Failure;
};

std::string trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

}  // namespace

bool sameNumber(std::string_view a, std::string_view b) {
    return a == b || readAsServer(a).value == readAsServer(b).value;
}

std::string noReply(std::string_view server) {
    return "no reply from " + std::string(server) +
           ": the server is down, the port is wrong, or it is dropping requests";
}

Session::Session(Transport &transport, std::string server, Timing timing)
    : transport_(transport), server_(std::move(server)), timing_(timing) {}

// One request and what comes back: a remote-console reply's pieces joined,
// or the one info datagram that echoes the challenge. Each try waits longer.
std::optional<std::string> Session::exchange(std::string_view line, bool remote, int attempt,
                                             bool once) {
    // The wait drains what came late for earlier requests.
    for (auto at = pace_.earliest(remote, transport_.now(), once); transport_.now() < at;
         at = pace_.earliest(remote, transport_.now(), once))
        static_cast<void>(transport_.receive(at));
    transport_.send(datagram(line));
    pace_.sent(remote, transport_.now());
    const auto start = transport_.now();
    const auto firstBy = start + timing_.firstPiece * (attempt + 1);
    const auto wholeBy = start + timing_.whole;
    const std::string challenge = remote ? "" : std::string(line.substr(line.find(' ') + 1));
    std::optional<std::string> reply;
    for (;;) {
        const auto until = reply ? std::min(transport_.now() + timing_.quiet, wholeBy) : firstBy;
        std::optional<std::string> piece = transport_.receive(until);
        if (!piece)
            return reply;
        if (!remote) {
            if (infoAnswering(*piece, challenge))
                return piece;
            continue;
        }
        if (const std::optional<std::string_view> text = printed(*piece)) {
            reply = reply.value_or("") + std::string(*text);
            if (reply->size() > kLargestReply || pace_.lastPiece(*text))
                return reply;
        }
    }
}

std::string Session::remote(std::string_view command, bool isRead) {
    for (int attempt = 0; attempt < (isRead ? timing_.tries : 1); ++attempt) {
        std::optional<std::string> reply =
            exchange("rcon " + password_ + ' ' + std::string(command), true, attempt, !isRead);
        if (!reply) {
            pace_.unanswered(transport_.now());
            continue;
        }
        // A server that echoes the command echoes the password too.
        std::string text = hidden(withoutColours(hidden(*reply, password_)), password_);
        if (text.find("Bad rconpassword") != std::string::npos)
            throw PasswordRefused(server_ + " refused the password (\"" + trimmed(text) + "\")");
        if (text.find("No rconpassword set") != std::string::npos)
            throw Failure(server_ + " has no remote-console password, so it takes no commands (\"" +
                          trimmed(text) + "\")");
        return text;
    }
    throw NoReply(noReply(server_));
}

std::optional<Info> Session::ask(std::string_view what) {
    for (int attempt = 0; attempt < timing_.tries; ++attempt) {
        const std::string line = std::string(what) + ' ' + freshChallenge();
        if (const std::optional<std::string> reply = exchange(line, false, attempt))
            return infoAnswering(*reply, line.substr(line.find(' ') + 1));
        pace_.unanswered(transport_.now());
    }
    return std::nullopt;
}

// Asked once: the engine it names sets the pace of all that follows.
const Info &Session::status() {
    if (!status_) {
        status_ = ask("getstatus");
        if (!status_)
            throw NoReply(noReply(server_));
        pace_.learn(engineOf(infoValue(*status_, "version").value_or("")));
    }
    return *status_;
}

std::array<std::optional<std::string>, 2> Session::published() {
    // The masks are server-info variables; the game's own info names them short.
    constexpr std::array<std::array<std::string_view, 2>, 2> kKeys{
        {{"g_weaponDisable", "wdisable"}, {"g_forcePowerDisable", "fdisable"}}};
    std::array<std::optional<std::string>, 2> masks;
    for (std::size_t i = 0; i < masks.size(); ++i)
        masks.at(i) = infoValue(status(), kKeys.at(i)[0]);
    if (!masks[0] || !masks[1])
        if (const std::optional<Info> info = ask("getinfo"))
            for (std::size_t i = 0; i < masks.size(); ++i)
                if (!masks.at(i))
                    masks.at(i) = infoValue(*info, kKeys.at(i)[1]);
    return masks;
}

std::array<std::optional<Held>, kVariableCount> Session::read(std::span<const Variable> which) {
    // One cvarlist a prefix: the seven zv_ variables share one.
    std::vector<std::string> prefixes;
    for (const Variable &v : which) {
        const std::string prefix(v.name.starts_with("zv_") ? "zv_" : v.name);
        if (std::find(prefixes.begin(), prefixes.end(), prefix) == prefixes.end())
            prefixes.push_back(prefix);
    }
    // The masks are latched: what the status reply publishes is the value
    // running, not one waiting for the next map, so they are read here too.
    std::array<std::optional<Held>, kVariableCount> held;
    static_cast<void>(status());
    for (const std::string &prefix : prefixes) {
        if (!safeWord(prefix, false))
            continue;
        const std::string reply = remote("cvarlist " + prefix, true);
        for (const Variable &v : variables())
            if (v.name.starts_with(prefix))
                held.at(indexOf(v)) = heldIn(reply, v.name);
    }
    return held;
}

std::string Session::version() { return infoValue(status(), "version").value_or(""); }

std::optional<std::string> Session::value(std::string_view name) {
    if (!safeWord(name, false))
        return std::nullopt;
    const std::optional<Held> held = heldIn(remote(name, true), name);
    return held ? std::optional(held->value) : std::nullopt;
}

std::optional<std::string> Session::which(std::string_view name) {
    const bool plain = !name.empty() && name.find("..") == std::string_view::npos &&
                       std::all_of(name.begin(), name.end(), [](char c) {
                           return nameByte(c) || c == '/' || c == '.' || c == '-';
                       });
    if (!plain)
        return std::nullopt;
    return whichAnswer(remote("which " + std::string(name), true));
}

std::string Session::set(const Variable &variable, std::string_view value) {
    if (!safeWord(variable.name, false) || !safeWord(value, true))
        throw Failure("only a name and a number go to a server: " + quoted(value));
    return trimmed(remote("set " + std::string(variable.name) + ' ' + std::string(value), false));
}

namespace {

// Each outcome as a document names it, and how it weighs, in Outcome's order.
struct OutcomeFacts {
    Outcome outcome;
    std::string_view name;
    Status weight;
};
constexpr std::array<OutcomeFacts, 10> kOutcomes{{
    {Outcome::Applied, "applied", Clean},
    {Outcome::AppliedAlready, "applied already", Clean},
    {Outcome::NextMap, "takes effect at the next map", Clean},
    {Outcome::NoSuchVariable, "no such variable", Problem},
    {Outcome::Cancelled, "cancelled", Failed},
    {Outcome::NotReadBack, "not read back", Failed},
    {Outcome::Refused, "refused", Problem},
    {Outcome::NoReply, "no reply", Failed},
    {Outcome::NotApplied, "not applied", Problem},
    {Outcome::NotSent, "not sent", Failed},
}};
static_assert([] {
    for (std::size_t i = 0; i < kOutcomes.size(); ++i)
        if (static_cast<std::size_t>(kOutcomes.at(i).outcome) != i)
            return false;
    return true;
}());

}  // namespace

std::string_view outcomeName(Outcome outcome) {
    return kOutcomes.at(static_cast<std::size_t>(outcome)).name;
}

Status weightOf(Outcome outcome) { return kOutcomes.at(static_cast<std::size_t>(outcome)).weight; }

void Sent::add(SentValue v) {
    said += std::string(v.change.variable.name) + ' ' + v.change.value + ": ";
    const std::string holds = v.held ? quoted(*v.held) : std::string("nothing");
    switch (v.outcome) {
    case Outcome::NoSuchVariable:
        said += "not sent: the server has no such variable";
        break;
    case Outcome::Cancelled:
        said += "not sent: cancelled";
        break;
    case Outcome::NotReadBack:
        said += "sent, but not read back: " + v.detail;
        break;
    case Outcome::NotSent:
        said += "not sent: " + v.detail;
        break;
    case Outcome::Refused:
        said += "refused: " + quoted(v.detail);
        break;
    case Outcome::NoReply:
        said += noReply("the server") + "; it holds " + holds;
        break;
    case Outcome::NotApplied:
        said += "not applied: the server holds " + holds;
        break;
    default:
        said += outcomeName(v.outcome);
    }
    said += '\n';
    status = worst(status, weightOf(v.outcome));
    applied += weightOf(v.outcome) == Clean ? 1 : 0;
    values.push_back(std::move(v));
}

Sent sendChanges(Session &session, std::span<const Change> changes) {
    Sent sent;
    if (changes.empty())
        return sent;
    for (const Change &c : changes)
        if (const std::optional<std::string> why = refusedValue(c.variable, c.value))
            return {Problem, *why + "; nothing is sent\n", {}, 0, false};
    std::vector<Variable> which;
    for (const Change &c : changes)
        which.push_back(c.variable);
    const std::array<std::optional<Held>, kVariableCount> before = session.read(which);
    struct Step {
        const Change *change;
        std::optional<std::string> answer;  // none: not sent, or no answer came
        bool sent = false;
    };
    std::vector<Step> steps;
    // Why the server stopped answering once values went: the rest stay unsent.
    std::optional<std::string> stopped;
    const auto anySent = [&steps] {
        return std::any_of(steps.begin(), steps.end(), [](const Step &s) { return s.sent; });
    };
    for (const Change &c : changes) {
        Step step{&c, std::nullopt};
        const std::optional<Held> &held = before.at(indexOf(c.variable));
        if (!sent.cancelled && !stopped && held &&
            !(sameNumber(held->value, c.value) && !held->latched)) {
            try {
                step.sent = true;
                step.answer = session.set(c.variable, c.value);
            } catch (const NoReply &) {    // the read below tells what became of it
            } catch (const Cancelled &) {  // asked, or not, as the server alone knows
                sent.cancelled = true;
            } catch (const PasswordRefused &) {
                if (!anySent())
                    throw;  // nothing went: the refusal is the whole story
                stopped = "the password was refused";
            } catch (const Failure &failure) {  // the host refuses: what went is said
                stopped = failure.what();
            }
        }
        steps.push_back(std::move(step));
    }
    std::array<std::optional<Held>, kVariableCount> after{};
    std::optional<std::string> unread;
    if (anySent()) {
        try {
            if (sent.cancelled)
                throw Cancelled();
            after = session.read(which);
        } catch (const Cancelled &) {
            sent.cancelled = true;
            unread = "cancelled";
        } catch (const Failure &failure) {
            unread = failure.what();
        }
    }
    for (const Step &s : steps) {
        const Change &c = *s.change;
        const std::optional<Held> &held = before.at(indexOf(c.variable));
        const std::optional<Held> &now = after.at(indexOf(c.variable));
        SentValue v{c, Outcome::Applied, {}, now ? std::optional(now->value) : std::nullopt};
        if (!held)
            v.outcome = Outcome::NoSuchVariable;
        else if (!s.sent && stopped && !(sameNumber(held->value, c.value) && !held->latched))
            v = {c, Outcome::NotSent, *stopped, std::nullopt};
        else if (!s.sent && sent.cancelled)
            v.outcome = Outcome::Cancelled;
        else if (!s.sent)
            v.outcome = Outcome::AppliedAlready;
        else if ((s.answer &&
                  s.answer->find("will be changed upon restarting") != std::string::npos) ||
                 (now && now->latched && sameNumber(*now->latched, c.value)))
            v.outcome = Outcome::NextMap;
        else if (now && sameNumber(now->value, c.value))
            v.outcome = Outcome::Applied;
        else if (unread)
            v = {c, Outcome::NotReadBack, *unread, std::nullopt};
        else if (s.answer && !s.answer->empty())
            v = {c, Outcome::Refused, *s.answer, v.held};
        else
            v.outcome = s.answer ? Outcome::NotApplied : Outcome::NoReply;
        sent.add(std::move(v));
    }
    return sent;
}

}  // namespace zelvar::rcon

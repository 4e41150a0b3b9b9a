// A server of the game's family, scripted in process for the unit tests: it
// answers the status and remote-console requests as an engine of 2003 or of
// today does, on a clock of its own that moves only when the client waits, so
// that silence, pacing and ten-second timeouts take no time at all.
//
// The 2003 engine drops any remote command within 500 ms of the last and
// ends a reply with an empty print; today's takes a burst of ten requests,
// then one a second. A value may be read only, or latched for the next map.
#pragma once

#include "rcon.h"

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

struct ScriptedServer {
    using Clock = zelvar::rcon::Transport::Clock;
    explicit ScriptedServer(std::string pw, bool of2003 = false)
        : password(std::move(pw)),
          version(of2003 ? "Zelvar Arena 1.0 win-x86 Oct 24 2003" : "ioq3 1.36 linux-x86_64") {}

    std::string password;
    std::string version;
    std::map<std::string, std::string> held{{"zv_teamLock", "20"}, {"g_weaponDisable", "40"}};
    std::map<std::string, std::string> latched;  // waiting for the next map
    std::set<std::string> readOnly;
    bool silent = false;
    bool nothingListens = false;  // the host answers "port unreachable"
    bool hangs = false;           // every wait lasts until the user stops it
    bool noPassword = false;      // "No rconpassword set on the server."
    bool quietSets = false;       // a set is neither taken nor answered
    bool echoes = false;          // a refusal repeats the request, password and all
    int setsBeforeRefusing = -1;  // then the host answers "port unreachable", from the next set on
    // Requests seen, then dropped by the pacing; every remote command's text.
    int seen = 0;
    int dropped = 0;
    std::vector<std::string> commands;
    Clock::time_point now = Clock::time_point{} + std::chrono::hours(1);
    std::mutex lock;  // the flows' worker talks while the test looks

    // The datagrams the request `datagram` brings back.
    std::vector<std::string> answer(const std::string &datagram) {
        const std::string oob(4, '\xff');
        if (silent || datagram.rfind(oob, 0) != 0)
            return {};
        const std::string line = datagram.substr(4);
        const std::string word = line.substr(0, line.find(' '));
        const std::string rest = line.substr(std::min(line.size(), word.size() + 1));
        ++seen;
        if (word == "getstatus" || word == "getinfo")
            return {oob + "statusResponse\n\\challenge\\" + rest + "\\version\\" + version + "\n"};
        if (word != "rcon" || !paced())
            return {};
        const std::string given = rest.substr(0, rest.find(' '));
        const std::string command = rest.substr(std::min(rest.size(), given.size() + 1));
        if (command.rfind("set ", 0) == 0 && setsBeforeRefusing >= 0 && setsBeforeRefusing-- == 0) {
            nothingListens = true;
            return {};
        }
        commands.push_back(command);
        if (noPassword)
            return printed("No rconpassword set on the server.\n");
        if (given != password)
            return printed("Bad rconpassword." + (echoes ? ' ' + line : std::string()) + '\n');
        if (quietSets && command.rfind("set ", 0) == 0)
            return {};
        return printed(run(command));
    }

private:
    std::optional<Clock::time_point> last_;
    int burst_ = 0;
    Clock::time_point bucketSince_{};

    bool paced() {
        const bool of2003 = version.find("2003") != std::string::npos;
        if (of2003 && last_ && now - *last_ < std::chrono::milliseconds(500)) {
            ++dropped;
            return false;
        }
        if (!of2003) {  // today's leaky bucket, as ioquake3 keeps it for an address
            const auto interval = now - bucketSince_;
            const auto expired = static_cast<int>(interval / std::chrono::seconds(1));
            if (expired > burst_) {
                burst_ = 0;
                bucketSince_ = now;
            } else {
                burst_ -= expired;
                bucketSince_ = now - interval % std::chrono::seconds(1);
            }
            if (burst_ >= 10) {
                ++dropped;
                return false;
            }
            ++burst_;
        }
        last_ = now;
        return true;
    }
    std::string run(const std::string &command) {
        const std::string verb = command.substr(0, command.find(' '));
        const std::string args = command.substr(std::min(command.size(), verb.size() + 1));
        if (verb == "cvarlist" && held.contains(args))  // one variable: the engine's print form
            return "\"" + args + "\" is:\"" + held[args] + "^7\" default:\"0^7\"\n" +
                   (latched.contains(args) ? "latched: \"" + latched[args] + "\"\n" : "");
        if (verb == "cvarlist") {
            std::string out;
            for (const auto &[name, value] : held)
                if (name.rfind(args, 0) == 0)
                    out += "S   A " + name + " \"" + value + "\"\n";
            return out;
        }
        const std::string name = args.substr(0, args.find(' '));
        const std::string value = args.substr(std::min(args.size(), name.size() + 1));
        if (verb != "set" || !held.contains(name))
            return {};
        if (readOnly.contains(name))
            return name + " is read only.\n";
        if (name == "g_weaponDisable") {
            latched[name] = value;
            return name + " will be changed upon restarting.\n";
        }
        held[name] = value;
        return {};
    }
    std::vector<std::string> printed(const std::string &text) const {
        const std::string head = std::string(4, '\xff') + "print\n";
        if (version.find("2003") == std::string::npos)
            return {head + text};
        return {head + text, head};
    }
};

// Reaches the scripted server whatever the address.
class ScriptedTransport final : public zelvar::rcon::Transport {
public:
    ScriptedTransport(ScriptedServer &server, zelvar::rcon::StopToken stop)
        : server_(server), stop_(std::move(stop)) {}
    void send(std::string_view datagram) override {
        const std::lock_guard<std::mutex> hold(server_.lock);
        for (std::string &d : server_.answer(std::string(datagram)))
            inbox_.push_back(std::move(d));
    }
    std::optional<std::string> receive(Clock::time_point until) override {
        // A real wait, bounded, for a test to press Escape.
        for (int i = 0; i < 5000 && server_.hangs && !stop_.stop_requested(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (stop_.stop_requested())
            throw zelvar::rcon::Cancelled();
        const std::lock_guard<std::mutex> hold(server_.lock);
        if (server_.nothingListens)
            throw zelvar::rcon::Failure("nothing listens");
        if (inbox_.empty()) {  // silence: the wait runs out at once
            server_.now = std::max(server_.now, until);
            return std::nullopt;
        }
        std::string next = std::move(inbox_.front());
        inbox_.pop_front();
        return next;
    }
    Clock::time_point now() override {
        const std::lock_guard<std::mutex> hold(server_.lock);
        return server_.now;
    }

private:
    ScriptedServer &server_;
    zelvar::rcon::StopToken stop_;
    std::deque<std::string> inbox_;
};

inline zelvar::rcon::Connect connectTo(ScriptedServer &server) {
    return [&server](const zelvar::rcon::Address &, zelvar::rcon::StopToken stop) {
        return std::make_unique<ScriptedTransport>(server, std::move(stop));
    };
}

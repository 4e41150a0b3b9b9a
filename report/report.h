// What every front-end says of settings and of its work, worked out once
// and laid out as text, JSON or a window's message.
//
// How data flows: a command turns each setting it reads (an argument, a
// configuration's command, a server's value) into a SettingReport, which
// holds every fact either output states, problems in the words every
// front-end uses; a configuration's comment that hides settings becomes a
// HiddenReport before the first of them. A Renderer, text or JSON, lays the
// reports out as they come, in pieces large enough to be cheap, and neither
// works anything out of its own: the two cannot disagree.
//
// The work on a configuration or a server (set, send, check, apply, sync,
// a window's save) fills one Result as it goes: what was planned, written,
// sent, and the error where one came, so that a failure at any step still
// leaves all that came before it to be said. zelvar-bits renders it as text
// or JSON, the windows and the web page as a message.
#pragma once

#include "decode.h"
#include "drift.h"
#include "rcon.h"
#include "save.h"
#include "status.h"
#include "words.h"

#include <array>
#include <charconv>
#include <concepts>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar::report {

// Text built in memory and handed to a stream in large pieces, far cheaper
// than a stream's insertions one by one.
struct Text {
    std::string s;
    Text &operator<<(std::string_view v) {
        s += v;
        return *this;
    }
    Text &operator<<(char c) {
        s += c;
        return *this;
    }
    template <std::integral Number> Text &operator<<(Number n) {
        std::array<char, 24> digits{};
        s.append(digits.data(), std::to_chars(digits.data(), digits.data() + digits.size(), n).ptr);
        return *this;
    }
    // Hands what is built so far to `out` once there is enough of it.
    void spill(std::ostream &out, std::size_t enough = std::size_t{1} << 16);
};

// Each item, `separator` between them.
template <class Items, class Each>
void joined(Text &out, const Items &items, Each each, std::string_view separator = ", ") {
    std::string_view between;
    for (const auto &item : items) {
        out << between << each(item);
        between = separator;
    }
}

// One setting. Its texts belong to the arguments, the settings read or the
// server's reply, which outlive it.
struct SettingReport {
    std::optional<int> line;  // where a configuration sets it
    std::string_view file;    // the file, where a configuration's execs read several
    Variable variable;
    std::string_view written;  // the name as given
    std::string_view text;     // the value as given
    bool hasValue = true;
    std::optional<std::int64_t> value;  // as the server reads it; none: too large for any total
    std::vector<int> options;           // whose bits it sets
    std::uint32_t unknownBits = 0;      // that no option has
    // How the calculator makes it; none where no boxes do.
    struct Calculator {
        bool selectRank = false;    // the rank is not the one selected at start
        std::vector<int> toChange;  // boxes to check or uncheck from their start
    };
    std::optional<Calculator> calculator;
    std::vector<std::string> problems;
    std::optional<int> overrides;  // the lines of the settings of the same variable around it
    std::optional<int> overriddenBy;
    std::string_view overridesFile;  // where either stands in another file than this one
    std::string_view overriddenByFile;
    bool applied = true;  // false: a comment hides it from the server, or it is ignored at start
    bool ignoredAtStart = false;  // a bare name before the game made the variable
    std::optional<Swallow> swallow;
    std::optional<std::string> firstWordOnly;
    bool fromServer = false;                  // a server's value, which may wait for a map
    std::optional<std::string_view> latched;  // what it waits with

    const SettingGroup &group() const { return settingGroup(variable.group); }
};

// A setting as the server reads it, with its problems; `read`, when it comes
// from a configuration, says how the server took it there.
SettingReport reportOn(const Variable &variable, std::string_view written, std::string_view text,
                       bool hasValue, const Setting *read = nullptr);

// A comment of a configuration that the server reads on past its first
// "*/", and the settings a person sees in it that the server never applies.
struct HiddenReport {
    Swallow swallow;
    std::vector<const Setting *> hidden;
};

// Why a server did not give a variable: each has its words and its key.
enum class Missing { None, Absent, NotPublished };

class Renderer {
public:
    virtual ~Renderer() = default;
    virtual void hidden(const HiddenReport &report) = 0;
    virtual void add(const SettingReport &report) = 0;
    // What happened between settings: a file exec could not find, a loop.
    virtual void note(const std::string &text) = 0;
    // How the configuration was read (ReadAs): its key, and as a message says it.
    virtual void reading(std::string_view key, std::string_view said) = 0;
    // What a server did not give (`missing`), and why.
    virtual void finish(Missing why, const std::vector<std::string_view> &missing) = 0;
};

// Headed by the server the reports come from, if any.
std::unique_ptr<Renderer> textRenderer(std::ostream &out, const std::string *server);
std::unique_ptr<Renderer> jsonRenderer(std::ostream &out, const std::string *server);

// Lays reports out through a renderer and keeps the worst status they make.
class Reports {
public:
    Reports(bool asJson, std::ostream &out, const std::string *server = nullptr)
        : renderer_(asJson ? jsonRenderer(out, server) : textRenderer(out, server)) {}
    void hidden(const HiddenReport &report) { renderer_->hidden(report); }
    void add(const SettingReport &report);
    void note(const std::string &text, Status weight);
    void reading(std::string_view key, std::string_view said) { renderer_->reading(key, said); }
    bool any() const { return any_; }
    Status finish(Missing why = Missing::None, const std::vector<std::string_view> &missing = {});

private:
    std::unique_ptr<Renderer> renderer_;
    bool any_ = false;
    Status status_ = Clean;
};

// What set, send, check, apply, sync or a window's save did to one
// configuration or server, in the order they do it: what was compared,
// planned, written and sent. Filled as the work goes: where it stops, the
// error joins what came before it. The text says each part as the command
// goes; the JSON is one document with every key, null where the command did
// not come to it.
struct Result {
    std::string server;                        // as shown: "ffa (127.0.0.1:29070)"; none for set
    std::optional<std::string> configuration;  // the file read or written
    std::string heading;                       // the text's first line, if any
    std::optional<ReadAs> readAs;              // set's JSON says how it read the configuration
    bool dryRun = false;
    std::vector<Change> planned;  // what the command means to write or send
    std::optional<Drift> drift;   // the text lists its verdicts when `verdictsShown`
    bool verdictsShown = false;
    std::vector<std::string> notes;  // what was met on the way, before anything is written
    std::optional<Saved> saved;
    std::vector<std::string> after;  // what follows from the write
    bool wouldSend = false;          // a dry run lists what it would send
    std::optional<rcon::Sent> sent;
    std::optional<std::string> error;  // why the work stopped
    Status status = Clean;

    // The work stops: `why` is said after all that was done.
    void fail(std::string why, Status weight = Failed) {
        error = std::move(why);
        status = worst(status, weight);
    }
    // Whether any file took new bytes.
    bool written() const { return saved && !saved->written.empty(); }
};
// As text (what failed on `err`, after all that was done on `out`), or as
// one JSON document on a line.
void render(const Result &done, bool asJson, std::ostream &out, std::ostream &err);

// A window's message of a Result: fine or a warning, what it says first, and then.
struct Message {
    bool fine = true;
    std::string heading;
    std::string details;
};
// `files`: the files written, as the message names them.
Message messageOf(const Result &done, std::string_view files = {});

// Right-aligned in a column of `width`.
void column(Text &out, std::string_view text, std::size_t width);
// One option as list and decode show it: its index when given, bit, value, caption.
void optionRow(Text &out, const Option &o, std::optional<int> index);
std::string_view counted(const SettingGroup &g);  // "checked" or "unchecked"
std::vector<std::string_view> variableNames(const SettingGroup *only = nullptr);
// A list's JSON: the groups and their options, as list writes it.
std::string dumpedList(const std::vector<const SettingGroup *> &groups);

}  // namespace zelvar::report

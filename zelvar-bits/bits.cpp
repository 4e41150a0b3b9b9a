#include "bits.h"

#include "config.h"
#include "decode.h"
#include "edit.h"
#include "rcon.h"
#include "remote.h"
#include "save.h"
#include "seen.h"
#include "textfile.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <concepts>
#include <cstdlib>
#include <fstream>
#include <istream>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace zelvar::bits {

namespace {

constexpr std::string_view kHelp =
    R"(Usage: zelvar-bits COMMAND [--json] ...
Reads back the settings that the Zelvar Bitrate Calculator writes.

  decode LINE...             what a line means: 'g_weaponDisable 524279', or the
                             variable and the value as two arguments
  encode VARIABLE [OPTION...]
                             the line for these options (by caption, any case;
                             'all' for every option of the group)
  explain [FILE|-]           every setting of the calculator's variables in a
                             server configuration, read as the server's console
                             reads it (standard input for - or none)
  list [VARIABLE]            the variables and their groups' options
  set [--dry-run] FILE LINE...
                             writes each value into the configuration: the
                             setting that takes effect gets it in place, or a
                             line is added; prints the change as a diff
                             (--dry-run: prints it and writes nothing)

  status SERVER              the masks the server tells anyone, explained
  get SERVER                 all nine variables over the remote console, explained
  send SERVER LINE...        sets each value on the server, reads it back and
                             says what became of it

  SERVER is HOST or HOST:PORT ([IPV6]:PORT; the port is 29070 unless named).
  The remote-console password comes from ZELVAR_RCON_PASSWORD, else from the
  first line of --password-file FILE, else from a prompt at the terminal.

  --json                     decode, explain, list, status and get write JSON
  --password-file FILE       get and send: where the password is
  --help, --version

Exit status: 0 clean (set: written or unchanged), 1 a value the calculator would
not write or a setting that a comment hides from the server (set: a value or a
change refused, nothing written), 2 a usage error, a file that cannot be read
or written, or a server that does not answer or refuses the password (send: 0
each value applied or taking effect at the next map, 1 one refused).
)";

// Text built in memory and handed to the stream in large pieces, far cheaper
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
    void spill(std::ostream &out, std::size_t enough = std::size_t{1} << 16) {
        if (s.size() >= enough) {
            out << s;
            s.clear();
        }
    }
};

// Printable ASCII: what reaches a terminal or a JSON string as it is.
bool printable(unsigned char c) { return c >= 0x20 && c < 0x7F; }

void shown(Text &out, std::string_view text) { appendQuoted(out.s, text); }

// The effect of one setting. The texts belong to the arguments or to the
// settings read, which outlive it.
struct Report : Reading {
    std::optional<int> line;
    std::string_view written;  // the name as given
    std::optional<int> overriddenBy;
    std::optional<int> overrides;
    const Setting *read = nullptr;  // from a configuration: how the server took it
    bool fromServer = false;
    std::optional<std::string_view> latched;  // the server's value for the next map
};

const SettingGroup &groupOf(const Report &r) { return settingGroup(r.decoded.variable.group); }

Report assess(const Variable &variable, std::string_view written, std::string_view text,
              bool hasValue, std::optional<int> line) {
    return {
        readSetting(variable, text, hasValue), line, written, {}, {}, nullptr, false, std::nullopt};
}

bool applied(const Report &r) { return r.read == nullptr || r.read->applied; }

bool hasProblems(const Report &r) {
    return hasProblems(static_cast<const Reading &>(r)) || (r.read != nullptr && r.read->swallow);
}

// Each problem of the setting, between `before` and a line end.
void writeProblems(const Report &r, Text &out, std::string_view before) {
    if (r.read != nullptr && r.read->swallow)
        out << before << (applied(r) ? readOnInto(*r.read->swallow) : notApplied(*r.read->swallow))
            << '\n';
    if (hasProblems(static_cast<const Reading &>(r)))
        for (const std::string &problem : problems(r))
            out << before << problem << '\n';
}

// A comment that swallows settings, with each setting it hides.
void printSwallow(std::span<const Setting> settings, std::size_t first, Text &out) {
    const Swallow &swallow = *settings[first].swallow;
    out << "comment on line " << swallow.line << ", which the server ends at "
        << (swallow.endLine ? "line " + std::to_string(*swallow.endLine) : "the end of the file")
        << "\n  problem: " << swallowed(swallow) << '\n';
    for (std::size_t i = first;
         i < settings.size() && settings[i].swallow && settings[i].swallow->line == swallow.line;
         ++i)
        if (!settings[i].applied) {
            shown(out << "  not applied: line " << settings[i].line << ": " << settings[i].written
                      << ' ',
                  settings[i].value);
            out << '\n';
        }
}

// A number too long for any total has no value worth showing.
bool huge(const Decoded &d) { return d.value <= -kBeyondAnyTotal || d.value >= kBeyondAnyTotal; }

// Right-aligned in a column of `width`.
void column(Text &out, std::string_view text, std::size_t width) {
    out.s.append(width - std::min(width, text.size()), ' ');
    out.s += text;
}

void column(Text &out, int number, std::size_t width) {
    std::array<char, 12> digits{};
    const char *end = std::to_chars(digits.data(), digits.data() + digits.size(), number).ptr;
    column(out, std::string_view(digits.data(), end), width);
}

void optionRow(Text &out, const Option &o, std::optional<int> index) {
    const std::string_view value = o.valueText.substr(o.valueText.find_first_not_of(' '));
    if (index)
        column(out << "    ", *index, 2);
    column(out << (index ? "  bit " : "    bit "), bitNumber(o), 2);
    column(out << "  ", value, 10);
    out << "  " << o.caption << '\n';
}

template <class Items, class Each> void joined(Text &out, const Items &items, Each each) {
    std::string_view separator;
    for (const auto &item : items) {
        out << separator << each(item);
        separator = ", ";
    }
}

std::string_view counted(const SettingGroup &g) {
    return g.counts == Counts::Checked ? "checked" : "unchecked";
}

// What the value sets and how the calculator makes it.
void printValue(const Report &r, Text &out) {
    const Decoded &d = r.decoded;
    const SettingGroup &g = groupOf(r);
    out << "  value ";
    if (huge(d))
        out << "too large for any total";
    else
        out << d.value;
    if (d.options.empty())
        out << ": no option set\n";
    else
        out << ": " << d.options.size() << " of " << g.options.size() << " options set\n";
    for (int i : d.options)
        optionRow(out, g.options[static_cast<std::size_t>(i)], std::nullopt);
    if (!writable(d)) {
        out << "  in the calculator: no boxes make this value\n";
        return;
    }
    out << "  in the calculator: press \"" << g.caption << '"';
    if (d.selectRank)
        out << ", select \"" << kRankCaptions[static_cast<std::size_t>(d.variable.rank)] << '"';
    if (d.toChange.empty()) {
        out << ", leave every box as it starts\n";
    } else {
        joined(out << ", " << (g.defaultChecked ? "uncheck " : "check "), d.toChange,
               [&g](int i) { return g.options[static_cast<std::size_t>(i)].caption; });
        out << '\n';
    }
}

void printText(const Report &r, Text &out) {
    const SettingGroup &g = groupOf(r);
    if (r.line) {
        out << "line " << *r.line << ": " << r.written << ' ';
        shown(out, r.text);
    } else if (std::all_of(r.text.begin(), r.text.end(),
                           [](char c) { return printable(static_cast<unsigned char>(c)); })) {
        // An argument is shown as typed unless it would reach the terminal as control codes.
        out << r.decoded.variable.name << ' ' << r.text;
    } else {
        shown(out << r.decoded.variable.name << ' ', r.text);
    }
    out << "\n  " << g.name << ", a " << widthBits(g.width) << "-bit total of the " << counted(g)
        << " boxes\n";
    if (r.hasValue)
        printValue(r, out);
    writeProblems(r, out, "  problem: ");
    if (r.read != nullptr && r.read->firstWordOnly)
        out << "  note: " << firstWordOnlyNote(*r.read->firstWordOnly) << '\n';
    if (r.overrides)
        out << "  note: overrides line " << *r.overrides << '\n';
    if (r.overriddenBy)
        out << "  note: overridden by line " << *r.overriddenBy << '\n';
    if (r.latched)
        shown(out << "  note: takes effect at the next map: ", *r.latched), out << '\n';
}

// JSON through nlohmann's writer, keys in the order they are set. Text from a
// file or an argument reaches it as it is: valid UTF-8 keeps its characters,
// and a byte that is not UTF-8 becomes U+FFFD rather than another character.
using Json = nlohmann::ordered_json;

std::string dumped(const Json &json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

template <class T> Json orNull(const std::optional<T> &value) {
    return value ? Json(*value) : Json(nullptr);
}

Json jsonOption(const SettingGroup &g, int index) {
    const Option &o = g.options[static_cast<std::size_t>(index)];
    return {{"index", index},
            {"caption", o.caption},
            {"bit", bitNumber(o)},
            {"value", catalogueValue(o.valueText)}};
}

Json jsonCaptions(const SettingGroup &g, const std::vector<int> &indices) {
    Json captions = Json::array();
    for (int i : indices)
        captions.push_back(g.options[static_cast<std::size_t>(i)].caption);
    return captions;
}

Json jsonReport(const Report &r) {
    const Decoded &d = r.decoded;
    const SettingGroup &g = groupOf(r);
    Json options = Json::array();
    for (int i : d.options)
        options.push_back(jsonOption(g, i));
    Json calculator = nullptr;
    if (r.hasValue && writable(d)) {
        const std::vector<int> none;
        calculator = {{"panel", g.caption},
                      {"rank", d.variable.group == Group::Admin
                                   ? Json(kRankCaptions[static_cast<std::size_t>(d.variable.rank)])
                                   : Json(nullptr)},
                      {"check", jsonCaptions(g, g.defaultChecked ? none : d.toChange)},
                      {"uncheck", jsonCaptions(g, g.defaultChecked ? d.toChange : none)}};
    }
    // The problems as the text report words them, one a line.
    Text problems;
    writeProblems(r, problems, {});
    Json lines = Json::array();
    for (std::string_view rest = problems.s; !rest.empty(); rest.remove_prefix(rest.find('\n') + 1))
        lines.push_back(rest.substr(0, rest.find('\n')));
    Json json = {{"line", orNull(r.line)},
                 {"variable", d.variable.name},
                 {"written", r.written},
                 {"text", r.text},
                 {"value", huge(d) ? Json(nullptr) : Json(d.value)},
                 {"group", g.name},
                 {"width", widthBits(g.width)},
                 {"options", std::move(options)},
                 {"unknown_bits", d.unknownBits},
                 {"calculator", std::move(calculator)},
                 {"problems", std::move(lines)},
                 {"overrides", orNull(r.overrides)},
                 {"overridden_by", orNull(r.overriddenBy)},
                 {"applied", applied(r)},
                 {"swallowed_by", r.read != nullptr && r.read->swallow
                                      ? Json{{"line", r.read->swallow->line},
                                             {"ends", orNull(r.read->swallow->endLine)}}
                                      : Json(nullptr)},
                 {"first_word_only", r.read != nullptr && r.read->firstWordOnly
                                         ? Json(*r.read->firstWordOnly)
                                         : Json(nullptr)}};
    if (r.fromServer)
        json["latched"] = r.latched ? Json(std::string(*r.latched)) : Json(nullptr);
    return json;
}

// Writes each report as it is made, in the order given; says whether any
// has a problem.
class Reports {
public:
    Reports(bool asJson, std::ostream &out, const std::string *server = nullptr)
        : asJson_(asJson), out_(out) {
        if (asJson_ && server != nullptr)
            text_ << "{\"server\":" << dumped(*server) << ",\"settings\":[";
        else if (asJson_)
            text_ << "{\"settings\":[";
        else if (server != nullptr)
            text_ << "server " << *server << '\n';
    }
    // A setting read from `settings[i]`, after the comment that swallows it.
    void add(const Report &r, std::span<const Setting> settings = {}, std::size_t i = 0) {
        const bool opensSwallow = r.read != nullptr && r.read->swallow &&
                                  (i == 0 || !settings[i - 1].swallow ||
                                   settings[i - 1].swallow->line != r.read->swallow->line);
        if (asJson_)
            text_ << (any_ ? "," : "") << dumped(jsonReport(r));
        else if (opensSwallow)
            printSwallow(settings, i, text_);
        if (!asJson_ && applied(r))
            printText(r, text_);
        any_ = true;
        problems_ = problems_ || hasProblems(r);
        text_.spill(out_);
    }
    bool any() const { return any_; }
    // `missing`: what a server did not give, under `key`, "absent" or "not published".
    int finish(std::string_view key = {}, const std::vector<std::string_view> &missing = {}) {
        if (asJson_ && !key.empty())
            text_ << "]," << dumped(std::string(key == "absent" ? "absent" : "not_published"))
                  << ':' << dumped(Json(missing)) << "}\n";
        else if (asJson_)
            text_ << "]}\n";
        for (std::string_view name : asJson_ ? std::vector<std::string_view>() : missing)
            text_ << name << ": " << key << '\n';
        text_.spill(out_, 0);
        return problems_ ? BadValue : Clean;
    }

private:
    bool asJson_;
    std::ostream &out_;
    Text text_;
    bool any_ = false;
    bool problems_ = false;
};

std::vector<std::string_view> variableNames(const SettingGroup *only = nullptr) {
    std::vector<std::string_view> names;
    for (const Variable &v : variables())
        if (only == nullptr || only->group == v.group)
            names.push_back(v.name);
    return names;
}

std::string_view itself(std::string_view s) { return s; }

int usage(std::ostream &err, std::string_view why) {
    err << "zelvar-bits: " << why << "\nTry 'zelvar-bits --help'.\n";
    return Usage;
}

std::optional<Variable> variableOrSay(std::string_view name, std::ostream &err) {
    const std::optional<Variable> v = findVariable(name);
    if (!v) {
        Text text;
        shown(text << "zelvar-bits: unknown variable ", name);
        joined(text << "; the calculator's variables are: ", variableNames(), itself);
        err << text.s << '\n';
    }
    return v;
}

// LINE... as decode takes them: "NAME VALUE" in one argument, or the two as
// two. Hands each variable, name as written and value to `each`, which may
// end the command with a status; says the status that ended it, if any.
template <class Each>
std::optional<int> eachLine(std::span<const std::string_view> args, std::ostream &err, Each each) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        auto [name, value, oneWord] = splitLine(args[i]);
        if (oneWord && i + 1 >= args.size())
            return usage(err, "no value for " + quoted(name));
        if (oneWord)
            value = args[++i];
        const std::optional<Variable> v = variableOrSay(name, err);
        if (!v)
            return Usage;
        if (const std::optional<int> status = each(*v, name, value))
            return status;
    }
    return std::nullopt;
}

// The changes that LINE... asks for, each a value the calculator writes; or
// the status that ends the command, having said that nothing is `done`.
std::optional<int> changesAsked(std::span<const std::string_view> args, std::string_view done,
                                std::ostream &err, std::vector<Change> &changes) {
    return eachLine(args, err, [&](const Variable &v, auto, auto value) {
        if (const std::optional<std::string> why = refusedValue(v, value)) {
            err << "zelvar-bits: " << *why << "; nothing is " << done << '\n';
            return std::optional<int>(BadValue);
        }
        changes.push_back({v, std::string(value)});
        return std::optional<int>();
    });
}

int decodeCommand(std::span<const std::string_view> args, bool asJson, Streams io) {
    if (args.empty())
        return usage(io.err, "decode needs a line such as 'g_weaponDisable 524279'");
    std::vector<Report> reports;
    if (const auto status = eachLine(args, io.err, [&](const Variable &v, auto name, auto value) {
            reports.push_back(assess(v, name, value, true, std::nullopt));
            return std::optional<int>();
        }))
        return *status;
    Reports out(asJson, io.out);
    for (const Report &r : reports)
        out.add(r);
    return out.finish();
}

int encodeCommand(std::span<const std::string_view> args, Streams io) {
    if (args.empty())
        return usage(io.err, "encode needs a variable");
    const std::optional<Variable> v = variableOrSay(args[0], io.err);
    if (!v)
        return Usage;
    const SettingGroup &g = settingGroup(v->group);
    std::vector<int> options;
    for (std::string_view caption : args.subspan(1)) {
        if (sameIgnoringCase(caption, "all")) {
            for (std::size_t i = 0; i < g.options.size(); ++i)
                options.push_back(static_cast<int>(i));
        } else if (const std::optional<int> i = findOption(v->group, caption)) {
            options.push_back(*i);
        } else {
            Text text;
            shown(text << "zelvar-bits: no option ", caption);
            text << " in the " << g.name << " group; its options are: ";
            joined(text, g.options, [](const Option &o) { return o.caption; });
            io.err << text.s << '\n';
            return Usage;
        }
    }
    io.out << encode(*v, options) << "\n";
    return Clean;
}

int explainCommand(std::span<const std::string_view> args, bool asJson, Streams io) {
    if (args.size() > 1)
        return usage(io.err, "explain reads one file");
    const std::string_view file = args.empty() ? "-" : args[0];
    ConfigReader reader;
    const std::string name = file == "-" ? "standard input" : quoted(file);
    if (const std::optional<std::string> error =
            file == "-" ? readStream(reader, name, io.in) : readFile(reader, std::string(file))) {
        io.err << "zelvar-bits: " << *error << "\n";
        return Usage;
    }
    const std::vector<Setting> settings = reader.finish();
    // Each setting's neighbours in the file that set the same variable.
    std::vector<std::optional<int>> overrides(settings.size());
    std::vector<std::optional<int>> overriddenBy(settings.size());
    std::array<std::optional<std::size_t>, kVariableCount> last{};
    for (std::size_t i = 0; i < settings.size(); ++i) {
        if (!settings[i].applied)
            continue;
        const std::size_t v = indexOf(settings[i].variable);
        if (const std::optional<std::size_t> earlier = last.at(v)) {
            overrides[i] = settings[*earlier].line;
            overriddenBy[*earlier] = settings[i].line;
        }
        last.at(v) = i;
    }
    Reports out(asJson, io.out);
    for (std::size_t i = 0; i < settings.size(); ++i) {
        const Setting &s = settings[i];
        Report r = assess(s.variable, s.written, s.value, s.hasValue, s.line);
        r.overrides = overrides[i];
        r.overriddenBy = overriddenBy[i];
        r.read = &s;
        out.add(r, settings, i);
    }
    if (!out.any() && !asJson)
        io.out << noSettingIn(name) << '\n';
    return out.finish();
}

int setCommand(std::span<const std::string_view> args, bool dryRun, Streams io) {
    if (args.size() < 2)
        return usage(io.err, "set needs a file and a line such as 'g_weaponDisable 40'");
    const std::string path(args[0]);
    std::vector<Change> changes;
    if (const std::optional<int> status = changesAsked(args.subspan(1), "written", io.err, changes))
        return *status;
    const Saved saved = saveChanges(path, changes, dryRun);
    (saved.status == Saved::Written ? io.out : io.err)
        << (saved.status == Saved::Written ? "" : "zelvar-bits: ") << saved.said
        << (saved.said.ends_with('\n') ? "" : "\n");
    return saved.status;
}

// The remote-console password, from where the user keeps it; never from an
// argument, and never said back. None when there is none to be had.
std::optional<std::string> password(const std::optional<std::string> &file, std::string_view server,
                                    Streams io) {
    if (std::optional<std::string> set = passwordFromEnvironment())
        return set;
    if (file) {
        std::ifstream in(*file, std::ios::binary);
        std::string line;
        if (!in || !std::getline(in, line)) {
            io.err << "zelvar-bits: cannot read the password file " << quoted(*file) << '\n';
            return std::nullopt;
        }
        if (line.ends_with('\r'))
            line.pop_back();
        return line;
    }
    std::optional<std::string> typed =
        promptHidden("Remote-console password for " + std::string(server) + ": ");
    if (!typed)
        io.err << "zelvar-bits: no password: set " << kPasswordVariable
               << ", name a file with --password-file, or run at a terminal\n";
    return typed;
}

struct Remote {
    std::optional<std::string> passwordFile;
    bool asJson = false;
};

// Talks to the server named by `args[0]` through `talk`, with the password
// when one is `needed`; says why not when it cannot.
template <class Talk>
int withServer(std::span<const std::string_view> args, const Remote &remote, bool needed,
               Streams io, Talk talk) {
    std::optional<std::string> secret;
    if (needed) {
        const auto address = rcon::parseAddress(args[0]);
        if (const auto *why = std::get_if<std::string>(&address))
            return usage(io.err, *why);
        secret = password(remote.passwordFile, std::get<rcon::Address>(address).shown(), io);
        if (!secret)
            return Usage;
    }
    int status = Clean;
    if (const std::optional<std::string> why = talkTo(
            args[0], std::move(secret), [&](rcon::Session &session, const std::string &server) {
                status = talk(session, server);
            })) {
        io.err << "zelvar-bits: " << *why << '\n';
        return Usage;
    }
    return status;
}

int statusCommand(std::span<const std::string_view> args, const Remote &remote, Streams io) {
    if (args.size() != 1)
        return usage(io.err, "status needs one server, such as 'localhost:29070'");
    return withServer(
        args, remote, false, io, [&](rcon::Session &session, const std::string &server) {
            const std::array<std::optional<std::string>, 2> masks = session.published();
            Reports out(remote.asJson, io.out, &server);
            std::vector<std::string_view> missing;
            for (const Variable &v : variables()) {
                const std::size_t i = indexOf(v);
                if (i < masks.size() && masks.at(i)) {
                    Report r = assess(v, v.name, *masks.at(i), true, std::nullopt);
                    out.add(r);
                } else {
                    missing.push_back(v.name);
                }
            }
            return out.finish("not published", missing);
        });
}

int getCommand(std::span<const std::string_view> args, const Remote &remote, Streams io) {
    if (args.size() != 1)
        return usage(io.err, "get needs one server, such as 'localhost:29070'");
    return withServer(args, remote, true, io,
                      [&](rcon::Session &session, const std::string &server) {
                          const std::array<std::optional<rcon::Held>, kVariableCount> held =
                              session.read(variables());
                          Reports out(remote.asJson, io.out, &server);
                          std::vector<std::string_view> missing;
                          for (const Variable &v : variables()) {
                              const std::optional<rcon::Held> &h = held.at(indexOf(v));
                              if (!h) {
                                  missing.push_back(v.name);
                                  continue;
                              }
                              Report r = assess(v, v.name, h->value, true, std::nullopt);
                              r.fromServer = true;
                              if (h->latched)
                                  r.latched = *h->latched;
                              out.add(r);
                          }
                          return out.finish("absent", missing);
                      });
}

int sendCommand(std::span<const std::string_view> args, const Remote &remote, Streams io) {
    if (args.size() < 2)
        return usage(io.err, "send needs a server and a line such as 'zv_teamLock 4'");
    std::vector<Change> changes;
    if (const std::optional<int> status = changesAsked(args.subspan(1), "sent", io.err, changes))
        return *status;
    return withServer(args, remote, true, io, [&](rcon::Session &session, const std::string &) {
        const rcon::Sent sent = rcon::sendChanges(session, changes);
        io.out << sent.said;
        return sent.status;
    });
}

int listCommand(std::span<const std::string_view> args, bool asJson, Streams io) {
    if (args.size() > 1)
        return usage(io.err, "list takes at most one variable");
    std::optional<Variable> only;
    if (!args.empty() && !(only = variableOrSay(args[0], io.err)))
        return Usage;
    std::vector<const SettingGroup *> groups;
    for (const SettingGroup &g : kCatalogue)
        if (!only || only->group == g.group)
            groups.push_back(&g);
    Text text;
    if (asJson) {
        Json all = Json::array();
        for (const SettingGroup *g : groups) {
            Json options = Json::array();
            for (std::size_t i = 0; i < g->options.size(); ++i)
                options.push_back(jsonOption(*g, static_cast<int>(i)));
            all.push_back({{"name", g->name},
                           {"panel", g->caption},
                           {"variables", variableNames(g)},
                           {"width", widthBits(g->width)},
                           {"counts", counted(*g)},
                           {"starts_checked", g->defaultChecked},
                           {"options", std::move(options)}});
        }
        text << dumped(Json{{"groups", std::move(all)}}) << '\n';
    } else {
        for (const SettingGroup *g : groups) {
            joined(text << g->name << " (\"" << g->caption << "\"): ", variableNames(g), itself);
            text << "\n  a " << widthBits(g->width) << "-bit total of the " << counted(*g)
                 << " boxes; every box starts " << (g->defaultChecked ? "checked" : "unchecked")
                 << "\n";
            for (std::size_t i = 0; i < g->options.size(); ++i)
                optionRow(text, g->options[i], static_cast<int>(i));
        }
    }
    io.out << text.s;
    return Clean;
}

int runCommand(std::span<const std::string_view> arguments, Streams io);

}  // namespace

int run(std::span<const std::string_view> arguments, Streams io) {
    try {
        const int status = runCommand(arguments, io);
        // A report that never arrived, on a full disk or a closed output, is no success.
        if (!io.out.flush()) {
            io.err << "zelvar-bits: cannot write the output\n";
            return Usage;
        }
        return status;
    } catch (const std::exception &error) {  // memory running out, or a stream failing
        io.err << "zelvar-bits: " << error.what() << "\n";
        return Usage;
    }
}

namespace {

int runCommand(std::span<const std::string_view> arguments, Streams io) {
    bool asJson = false;
    bool dryRun = false;
    Remote remote;
    std::vector<std::string_view> words;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view a = arguments[i];
        if (a == "--help" || a == "-h") {
            io.out << kHelp;
            return Clean;
        }
        if (a == "--version") {
            io.out << "zelvar-bits 1.03\n";
            return Clean;
        }
        if (a == "--json")
            asJson = true;
        else if (a == "--dry-run")
            dryRun = true;
        else if (a == "--password-file" && i + 1 >= arguments.size())
            return usage(io.err, "--password-file needs a file");
        else if (a == "--password-file")
            remote.passwordFile = std::string(arguments[++i]);
        else if (a.starts_with("--password-file="))
            remote.passwordFile = std::string(a.substr(a.find('=') + 1));
        else if (a == "--password" || a.starts_with("--password="))
            return usage(io.err, "a password is never an argument, where others can read it: set " +
                                     std::string(kPasswordVariable) + " or use --password-file");
        else if (a.starts_with("--"))
            return usage(io.err, "unknown option " + quoted(a));
        else
            words.push_back(a);
    }
    if (words.empty())
        return usage(io.err, "no command");
    const std::string_view command = words[0];
    const std::span<const std::string_view> rest = std::span(words).subspan(1);
    if (dryRun && command != "set")
        return usage(io.err, "--dry-run goes with set");
    if (remote.passwordFile && command != "get" && command != "send")
        return usage(io.err, "--password-file goes with get and send");
    remote.asJson = asJson;
    if (command == "status")
        return statusCommand(rest, remote, io);
    if (command == "get")
        return getCommand(rest, remote, io);
    if (command == "send")
        return asJson ? usage(io.err, "send writes what the server answered, not JSON")
                      : sendCommand(rest, remote, io);
    if (command == "set")
        return asJson ? usage(io.err, "set writes a diff, not JSON") : setCommand(rest, dryRun, io);
    if (command == "decode")
        return decodeCommand(rest, asJson, io);
    if (command == "explain")
        return explainCommand(rest, asJson, io);
    if (command == "list")
        return listCommand(rest, asJson, io);
    if (command == "encode")
        return asJson ? usage(io.err, "encode writes a line, not JSON") : encodeCommand(rest, io);
    return usage(io.err, "unknown command " + quoted(command));
}

}  // namespace

}  // namespace zelvar::bits

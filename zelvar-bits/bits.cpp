#include "bits.h"

#include "config.h"
#include "decode.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <concepts>
#include <cstdio>
#include <cstring>
#include <istream>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
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
                             server configuration (standard input for - or none)
  list [VARIABLE]            the variables and their groups' options

  --json                     decode, explain and list write JSON
  --help, --version

Exit status: 0 clean, 1 a value the calculator would not write, 2 a usage error.
)";

// The effect of one setting, with all that is wrong with it.
struct Report {
    Decoded decoded;
    std::optional<int> line;
    std::string written;  // the name as given
    std::string text;     // the value as given
    bool hasValue = true;
    std::vector<std::string> problems;
    std::optional<int> overriddenBy;
    std::optional<int> overrides;
};

const SettingGroup &groupOf(const Report &r) { return settingGroup(r.decoded.variable.group); }

// Printable ASCII: what reaches a terminal or a JSON string as it is.
bool printable(unsigned char c) { return c >= 0x20 && c < 0x7F; }

// Text from a file or an argument, safe to show on a terminal and not too long.
std::string shown(std::string_view text) {
    constexpr std::size_t kLongest = 60;
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < kLongest; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (printable(c) && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            constexpr char kHex[] = "0123456789abcdef";
            out += c == '"' || c == '\\' ? std::string{'\\', static_cast<char>(c)}
                                         : std::string{'\\', 'x', kHex[c >> 4], kHex[c & 15]};
        }
    }
    if (text.size() > kLongest)
        out += "...";
    return '"' + out + '"';
}

Report assess(const Variable &variable, std::string_view written, std::string_view text,
              bool hasValue, std::optional<int> line) {
    const ServerNumber number = readAsServer(text);
    Report r;
    r.decoded = decode(variable, number.value);
    r.line = line;
    r.written = written;
    r.text = text;
    const SettingGroup &g = groupOf(r);
    if (!hasValue) {
        r.problems.emplace_back("no value: the server ignores this command");
        r.hasValue = false;
        return r;
    }
    if (!number.clean)
        r.problems.push_back(shown(text) + " is not a clean number; the server reads it as " +
                             std::to_string(number.value));
    if (r.decoded.negative)
        r.problems.emplace_back("negative: the calculator never writes a negative value");
    if (r.decoded.outsideWidth)
        r.problems.push_back("outside the " + std::to_string(widthBits(g.width)) +
                             "-bit total of the " + std::string(g.name) + " group (at most " +
                             std::to_string(widthMax(g.width)) + ")");
    if (const std::uint32_t unknown = r.decoded.unknownBits; unknown != 0) {
        std::string bits;
        for (int bit = 0; bit < 32; ++bit)
            if ((unknown >> bit & 1U) != 0)
                bits += (bits.empty() ? "" : ", ") + std::to_string(bit) + " (" +
                        std::to_string(std::uint32_t{1} << bit) + ")";
        r.problems.push_back("bits that no option of the " + std::string(g.name) +
                             " group has: " + bits);
    }
    return r;
}

// A number too long for any total has no value worth showing.
bool huge(const Decoded &d) { return d.value <= -kBeyondAnyTotal || d.value >= kBeyondAnyTotal; }

// A value the calculator can write: in range, every bit an option's.
bool writable(const Decoded &d) { return !d.negative && !d.outsideWidth && d.unknownBits == 0; }

std::vector<std::string_view> captions(const SettingGroup &g, const std::vector<int> &indices) {
    std::vector<std::string_view> out;
    out.reserve(indices.size());
    for (int i : indices)
        out.push_back(g.options[static_cast<std::size_t>(i)].caption);
    return out;
}

std::string joined(const std::vector<std::string_view> &words, std::string_view separator) {
    std::string out;
    for (std::string_view w : words)
        out.append(out.empty() ? "" : separator).append(w);
    return out;
}

// Text built in memory and written at once, far cheaper than a stream's
// insertions one by one.
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
};

// Right-aligned in a column of `width`.
void column(Text &out, std::string_view text, std::size_t width) {
    out.s.append(width - std::min(width, text.size()), ' ');
    out.s += text;
}

void optionRow(Text &out, const Option &o, std::optional<int> index) {
    const std::string_view value = o.valueText.substr(o.valueText.find_first_not_of(' '));
    if (index)
        column(out << "    ", std::to_string(*index), 2);
    column(out << (index ? "  bit " : "    bit "), std::to_string(bitNumber(o)), 2);
    column(out << "  ", value, 10);
    out << "  " << o.caption << '\n';
}

std::string boxVerb(const SettingGroup &g) { return g.defaultChecked ? "uncheck" : "check"; }

void printValue(const Report &r, Text &out);

void printText(const Report &r, Text &out) {
    const Decoded &d = r.decoded;
    const SettingGroup &g = groupOf(r);
    // An argument is shown as typed unless it would reach the terminal as control codes.
    const bool asTyped = std::all_of(r.text.begin(), r.text.end(), [](char c) {
        return printable(static_cast<unsigned char>(c));
    });
    out << (r.line ? "line " + std::to_string(*r.line) + ": " + r.written + " " + shown(r.text)
                   : std::string(d.variable.name) + " " + (asTyped ? r.text : shown(r.text)))
        << "\n  " << g.name << ", a " << widthBits(g.width) << "-bit total of the "
        << (g.counts == Counts::Checked ? "checked" : "unchecked") << " boxes\n";
    if (r.hasValue)
        printValue(r, out);
    for (const std::string &p : r.problems)
        out << "  problem: " << p << "\n";
    if (r.overrides)
        out << "  note: overrides line " << *r.overrides << "\n";
    if (r.overriddenBy)
        out << "  note: overridden by line " << *r.overriddenBy << "\n";
}

// What the value sets and how the calculator makes it.
void printValue(const Report &r, Text &out) {
    const Decoded &d = r.decoded;
    const SettingGroup &g = groupOf(r);
    out << "  value " << (huge(d) ? "too large for any total" : std::to_string(d.value)) << ": ";
    if (d.options.empty())
        out << "no option set\n";
    else
        out << d.options.size() << " of " << g.options.size() << " options set\n";
    for (int i : d.options)
        optionRow(out, g.options[static_cast<std::size_t>(i)], std::nullopt);
    if (writable(d)) {
        out << "  in the calculator: press \"" << g.caption << '"';
        if (d.selectRank)
            out << ", select \"" << kRankCaptions[static_cast<std::size_t>(d.variable.rank)] << '"';
        if (d.toChange.empty())
            out << ", leave every box as it starts\n";
        else
            out << ", " << boxVerb(g) << " " << joined(captions(g, d.toChange), ", ") << "\n";
    } else {
        out << "  in the calculator: no boxes make this value\n";
    }
}

// JSON strings: bytes outside printable ASCII are escaped one by one, so the
// output is valid whatever the input held.
std::string json(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (printable(c)) {
            out += ch;
        } else {
            std::array<char, 8> escape{};
            std::snprintf(escape.data(), escape.size(), "\\u%04x", c);
            out += escape.data();
        }
    }
    return out + '"';
}

template <class T, class Each> std::string jsonArray(const std::vector<T> &items, Each each) {
    std::string out = "[";
    for (const T &item : items) {
        if (out.size() > 1)
            out += ',';
        out += each(item);
    }
    out += ']';
    return out;
}

std::string jsonOption(const SettingGroup &g, int index) {
    const Option &o = g.options[static_cast<std::size_t>(index)];
    return "{\"index\":" + std::to_string(index) + ",\"caption\":" + json(o.caption) +
           ",\"bit\":" + std::to_string(bitNumber(o)) +
           ",\"value\":" + std::to_string(catalogueValue(o.valueText)) + "}";
}

std::string orNull(std::optional<int> n) { return n ? std::to_string(*n) : "null"; }

std::string jsonReport(const Report &r) {
    const Decoded &d = r.decoded;
    const SettingGroup &g = groupOf(r);
    auto quoted = [](std::string_view s) { return json(s); };
    const bool check = !g.defaultChecked;
    const std::vector<std::string_view> changed = captions(g, d.toChange);
    const std::vector<std::string_view> none;
    std::string calculator = "null";
    if (r.hasValue && writable(d))
        calculator = "{\"panel\":" + json(g.caption) + ",\"rank\":" +
                     (d.variable.group == Group::Admin
                          ? json(kRankCaptions[static_cast<std::size_t>(d.variable.rank)])
                          : "null") +
                     ",\"check\":" + jsonArray(check ? changed : none, quoted) +
                     ",\"uncheck\":" + jsonArray(check ? none : changed, quoted) + "}";
    return "{\"line\":" + orNull(r.line) + ",\"variable\":" + json(d.variable.name) +
           ",\"written\":" + json(r.written) + ",\"text\":" + json(r.text) +
           ",\"value\":" + (huge(d) ? "null" : std::to_string(d.value)) +
           ",\"group\":" + json(g.name) + ",\"width\":" + std::to_string(widthBits(g.width)) +
           ",\"options\":" + jsonArray(d.options, [&](int i) { return jsonOption(g, i); }) +
           ",\"unknown_bits\":" + std::to_string(d.unknownBits) + ",\"calculator\":" + calculator +
           ",\"problems\":" + jsonArray(r.problems, quoted) +
           ",\"overrides\":" + orNull(r.overrides) +
           ",\"overridden_by\":" + orNull(r.overriddenBy) + "}";
}

int statusOf(const std::vector<Report> &reports) {
    for (const Report &r : reports)
        if (!r.problems.empty())
            return BadValue;
    return Clean;
}

void printReports(const std::vector<Report> &reports, bool asJson, std::ostream &out) {
    if (asJson) {
        out << "{\"settings\":" << jsonArray(reports, jsonReport) << "}\n";
        return;
    }
    Text text;
    for (const Report &r : reports)
        printText(r, text);
    out << text.s;
}

std::vector<std::string_view> variableNames(const SettingGroup *only = nullptr) {
    std::vector<std::string_view> names;
    for (const Variable &v : variables())
        if (only == nullptr || only->group == v.group)
            names.push_back(v.name);
    return names;
}

int usage(std::ostream &err, const std::string &why) {
    err << "zelvar-bits: " << why << "\nTry 'zelvar-bits --help'.\n";
    return Usage;
}

std::optional<Variable> variableOrSay(std::string_view name, std::ostream &err) {
    const std::optional<Variable> v = findVariable(name);
    if (!v)
        err << "zelvar-bits: unknown variable " << shown(name)
            << "; the calculator's variables are: " << joined(variableNames(), ", ") << "\n";
    return v;
}

int decodeCommand(std::span<const std::string_view> args, bool asJson, Streams io) {
    if (args.empty())
        return usage(io.err, "decode needs a line such as 'g_weaponDisable 524279'");
    std::vector<Report> reports;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view name = args[i];
        std::string_view value;
        if (const std::size_t blank = name.find_first_of(" \t"); blank != std::string_view::npos) {
            value = name.substr(std::min(name.find_first_not_of(" \t", blank), name.size()));
            name = name.substr(0, blank);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return usage(io.err, "no value for " + shown(name));
        }
        const std::optional<Variable> v = variableOrSay(name, io.err);
        if (!v)
            return Usage;
        reports.push_back(assess(*v, name, value, true, std::nullopt));
    }
    printReports(reports, asJson, io.out);
    return statusOf(reports);
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
            std::vector<std::string_view> all;
            for (const Option &o : g.options)
                all.push_back(o.caption);
            io.err << "zelvar-bits: no option " << shown(caption) << " in the " << g.name
                   << " group; its options are: " << joined(all, ", ") << "\n";
            return Usage;
        }
    }
    io.out << encode(*v, options) << "\n";
    return Clean;
}

// No configuration comes near this; a file that does is not read on.
constexpr std::size_t kLargest = std::size_t{256} << 20;

// Reads the file (or standard input for "-") piece by piece into the reader;
// no file is ever held whole. Says why when it cannot.
bool readInto(ConfigReader &reader, std::string_view file, std::istream &in, std::ostream &err) {
    const std::string path(file);
    const std::string name = file == "-" ? "standard input" : shown(file);
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> f(
        file == "-" ? nullptr : std::fopen(path.c_str(), "rb"), &std::fclose);
    if (file != "-" && !f) {
        err << "zelvar-bits: cannot read " << name << ": " << std::strerror(errno) << "\n";
        return false;
    }
    std::array<char, 1 << 16> chunk{};
    for (std::size_t total = 0;;) {
        std::size_t n = 0;
        if (f) {
            n = std::fread(chunk.data(), 1, chunk.size(), f.get());
        } else {
            in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            n = static_cast<std::size_t>(in.gcount());
        }
        if (n == 0)
            break;
        const std::string_view piece(chunk.data(), n);
        if (const std::size_t nul = piece.find('\0'); nul != std::string_view::npos) {
            err << "zelvar-bits: " << name << " is a binary file (a NUL byte on line "
                << reader.line() + std::count(piece.begin(),
                                              piece.begin() + static_cast<std::ptrdiff_t>(nul),
                                              '\n')
                << "), not a configuration\n";
            return false;
        }
        if ((total += n) > kLargest) {
            err << "zelvar-bits: " << name << " is too large for a configuration\n";
            return false;
        }
        reader.read(piece);
    }
    if (f && std::ferror(f.get()) != 0) {
        err << "zelvar-bits: cannot read " << name << ": " << std::strerror(errno) << "\n";
        return false;
    }
    return true;
}

int explainCommand(std::span<const std::string_view> args, bool asJson, Streams io) {
    if (args.size() > 1)
        return usage(io.err, "explain reads one file");
    const std::string_view file = args.empty() ? "-" : args[0];
    ConfigReader reader;
    if (!readInto(reader, file, io.in, io.err))
        return Usage;
    const std::vector<Setting> settings = reader.finish();
    std::vector<Report> reports;
    for (const Setting &s : settings) {
        reports.push_back(assess(s.variable, s.written, s.value, s.hasValue, s.line));
        for (std::size_t earlier = reports.size() - 1; earlier-- > 0;) {
            const Variable &e = settings[earlier].variable;
            if (e.group == s.variable.group && e.rank == s.variable.rank) {
                reports[earlier].overriddenBy = s.line;
                reports.back().overrides = settings[earlier].line;
                break;
            }
        }
    }
    if (reports.empty() && !asJson)
        io.out << "no setting of the calculator's variables in "
               << (file == "-" ? "standard input" : shown(file)) << "\n";
    printReports(reports, asJson, io.out);
    return statusOf(reports);
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
    if (asJson) {
        io.out << "{\"groups\":" << jsonArray(groups, [](const SettingGroup *g) {
            std::vector<int> all(g->options.size());
            for (std::size_t i = 0; i < all.size(); ++i)
                all[i] = static_cast<int>(i);
            return "{\"name\":" + json(g->name) + ",\"panel\":" + json(g->caption) +
                   ",\"variables\":" +
                   jsonArray(variableNames(g), [](std::string_view s) { return json(s); }) +
                   ",\"width\":" + std::to_string(widthBits(g->width)) +
                   ",\"counts\":" + json(g->counts == Counts::Checked ? "checked" : "unchecked") +
                   ",\"starts_checked\":" + (g->defaultChecked ? "true" : "false") +
                   ",\"options\":" + jsonArray(all, [g](int i) { return jsonOption(*g, i); }) + "}";
        }) << "}\n";
        return Clean;
    }
    Text text;
    for (const SettingGroup *g : groups) {
        text << g->name << " (\"" << g->caption << "\"): " << joined(variableNames(g), ", ")
             << "\n  a " << widthBits(g->width) << "-bit total of the "
             << (g->counts == Counts::Checked ? "checked" : "unchecked")
             << " boxes; every box starts " << (g->defaultChecked ? "checked" : "unchecked")
             << "\n";
        for (std::size_t i = 0; i < g->options.size(); ++i)
            optionRow(text, g->options[i], static_cast<int>(i));
    }
    io.out << text.s;
    return Clean;
}

int runCommand(std::span<const std::string_view> arguments, Streams io);

}  // namespace

int run(std::span<const std::string_view> arguments, Streams io) {
    try {
        return runCommand(arguments, io);
    } catch (const std::exception &error) {  // memory running out, or a stream failing
        io.err << "zelvar-bits: " << error.what() << "\n";
        return Usage;
    }
}

namespace {

int runCommand(std::span<const std::string_view> arguments, Streams io) {
    bool asJson = false;
    std::vector<std::string_view> words;
    for (std::string_view a : arguments) {
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
        else if (a.starts_with("--"))
            return usage(io.err, "unknown option " + shown(a));
        else
            words.push_back(a);
    }
    if (words.empty())
        return usage(io.err, "no command");
    const std::string_view command = words[0];
    const std::span<const std::string_view> rest = std::span(words).subspan(1);
    if (command == "decode")
        return decodeCommand(rest, asJson, io);
    if (command == "explain")
        return explainCommand(rest, asJson, io);
    if (command == "list")
        return listCommand(rest, asJson, io);
    if (command == "encode")
        return asJson ? usage(io.err, "encode writes a line, not JSON") : encodeCommand(rest, io);
    return usage(io.err, "unknown command " + shown(command));
}

}  // namespace

}  // namespace zelvar::bits

#include "decode.h"

#include "totals.h"

#include <array>
#include <limits>

namespace zelvar {

namespace {

constexpr char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr std::string_view withoutBlank(std::string_view variable) {
    return variable.substr(0, variable.size() - 1);
}

constexpr std::array<Variable, kVariableCount> kVariables = [] {
    std::array<Variable, kVariableCount> all{};
    std::size_t n = 0;
    for (const SettingGroup &g : kCatalogue)
        for (std::size_t r = 0; r < g.variables.size(); ++r)
            all[n++] = {g.group, g.variables.size() > 1 ? static_cast<Rank>(r) : Rank::Council,
                        withoutBlank(g.variables[r])};
    return all;
}();

static_assert(std::all_of(kVariables.begin(), kVariables.end(), [](const Variable &v) {
    return v.name.starts_with("g_") || v.name.starts_with("zv_");
}));

// Each option's bit, read from its value text once, at compile time.
constexpr auto kOptionBits = [] {
    std::array<std::array<std::uint32_t, 32>, kGroupCount> bits{};
    for (const SettingGroup &g : kCatalogue)
        for (std::size_t i = 0; i < g.options.size(); ++i)
            bits.at(static_cast<std::size_t>(g.group)).at(i) = std::uint32_t{1}
                                                               << bitNumber(g.options[i]);
    return bits;
}();

constexpr bool isBlank(char c) { return c == ' ' || c == '\t' || (c >= '\n' && c <= '\r'); }
constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return lower(x) == lower(y); });
}

std::span<const Variable> variables() { return kVariables; }

std::optional<Variable> findVariable(std::string_view name) {
    // Every name starts "g_" or "zv_": most words of a configuration stop here.
    if (name.size() < 2 || (lower(name[0]) != 'g' && lower(name[0]) != 'z'))
        return std::nullopt;
    for (const Variable &v : kVariables)
        if (sameIgnoringCase(v.name, name))
            return v;
    return std::nullopt;
}

std::size_t indexOf(const Variable &variable) {
    return static_cast<std::size_t>(std::find_if(kVariables.begin(), kVariables.end(),
                                                 [&](const Variable &v) {
                                                     return v.group == variable.group &&
                                                            v.rank == variable.rank;
                                                 }) -
                                    kVariables.begin());
}

LineWords splitLine(std::string_view argument) {
    const std::size_t blank = argument.find_first_of(" \t");
    if (blank == std::string_view::npos)
        return {argument, {}, true};
    const std::size_t value = std::min(argument.find_first_not_of(" \t", blank), argument.size());
    return {argument.substr(0, blank), argument.substr(value), false};
}

std::optional<int> findOption(Group group, std::string_view caption) {
    const auto options = settingGroup(group).options;
    for (std::size_t i = 0; i < options.size(); ++i)
        if (sameIgnoringCase(options[i].caption, caption))
            return static_cast<int>(i);
    return std::nullopt;
}

ServerNumber readAsServer(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const std::size_t digits = i;
    std::int64_t value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i)
        value = std::min(kBeyondAnyTotal, value * 10 + (text[i] - '0'));
    const bool any = i > digits;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return {negative ? -value : value, any && i == text.size()};
}

Decoded decode(const Variable &variable, std::int64_t value) {
    const SettingGroup &g = settingGroup(variable.group);
    Decoded d;
    d.variable = variable;
    d.value = value;
    d.negative = value < 0;
    d.outsideWidth = value > widthMax(g.width) || value < -widthMax(g.width) - 1;
    d.selectRank = variable.rank != Rank::Council;
    const bool inInt = value >= std::numeric_limits<std::int32_t>::min() &&
                       value <= std::numeric_limits<std::int32_t>::max();
    std::uint32_t bits = inInt ? static_cast<std::uint32_t>(value) : 0;
    d.options.reserve(g.options.size());
    d.toChange.reserve(g.options.size());
    const bool countsChecked = g.counts == Counts::Checked;
    for (std::size_t i = 0; i < g.options.size(); ++i) {
        const std::uint32_t bit = kOptionBits[static_cast<std::size_t>(variable.group)][i];
        const bool set = (bits & bit) != 0;
        bits &= ~bit;
        if (set)
            d.options.push_back(static_cast<int>(i));
        // A box counts when it is in the group's counting state.
        if ((set == countsChecked) != g.defaultChecked)
            d.toChange.push_back(static_cast<int>(i));
    }
    d.unknownBits = bits;
    return d;
}

std::string encode(const Variable &variable, std::span<const int> options) {
    const SettingGroup &g = settingGroup(variable.group);
    std::int64_t total = 0;
    for (int i : options)
        total |= std::int64_t{1} << bitNumber(g.options[static_cast<std::size_t>(i)]);
    return renderLine(
        g.variables[variable.group == Group::Admin ? static_cast<std::size_t>(variable.rank) : 0],
        static_cast<std::int32_t>(total));
}

void appendQuoted(std::string &out, std::string_view text) {
    constexpr std::size_t kLongest = 60;
    constexpr std::string_view kHex = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < text.size() && i < kLongest; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    out += text.size() > kLongest ? "...\"" : "\"";
}

std::string quoted(std::string_view text) {
    std::string out;
    appendQuoted(out, text);
    return out;
}

Reading readSetting(const Variable &variable, std::string_view text, bool hasValue) {
    const ServerNumber number = readAsServer(text);
    return {decode(variable, number.value), text, hasValue, number.clean};
}

bool writable(const Decoded &d) { return !d.negative && !d.outsideWidth && d.unknownBits == 0; }

bool hasProblems(const Reading &r) { return !r.hasValue || !r.cleanNumber || !writable(r.decoded); }

std::vector<std::string> problems(const Reading &r) {
    std::vector<std::string> out;
    if (!r.hasValue) {
        out.emplace_back("no value: the server ignores this command");
        return out;
    }
    const Decoded &d = r.decoded;
    const SettingGroup &g = settingGroup(d.variable.group);
    const std::string group(g.name);
    if (!r.cleanNumber)
        out.push_back(quoted(r.text) + " is not a clean number; the server reads it as " +
                      std::to_string(d.value));
    if (d.negative)
        out.emplace_back("negative: the calculator never writes a negative value");
    if (d.outsideWidth)
        out.push_back("outside the " + std::to_string(widthBits(g.width)) + "-bit total of the " +
                      group + " group (at most " + std::to_string(widthMax(g.width)) + ")");
    if (d.unknownBits != 0) {
        std::string bits = "bits that no option of the " + group + " group has: ";
        std::string_view separator;
        for (int bit = 0; bit < 32; ++bit)
            if ((d.unknownBits >> bit & 1U) != 0) {
                bits += std::string(separator) + std::to_string(bit) + " (" +
                        std::to_string(std::uint32_t{1} << bit) + ')';
                separator = ", ";
            }
        out.push_back(std::move(bits));
    }
    return out;
}

}  // namespace zelvar

// Reading a setting back: which of the calculator's variables a name is, how
// the game server reads a value, which options the value's bits name, and
// which boxes a user changes from their start state to make the same line.
#pragma once

#include "catalogue.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

// One of the nine server variables the calculator writes.
struct Variable {
    Group group;
    Rank rank;              // which admin rank's variable; Council for the other groups
    std::string_view name;  // without the blank the line puts after it
};

// ASCII letters compared without regard to case, as the server compares names.
bool sameIgnoringCase(std::string_view a, std::string_view b);

// In catalogue order, the admin variables by rank.
std::span<const Variable> variables();
// Server variable names do not care for case.
std::optional<Variable> findVariable(std::string_view name);
// Where the variable stands in variables().
std::size_t indexOf(const Variable &variable);

// An argument read as a line, "NAME VALUE": its first word, and the rest
// after the blanks that follow it; a one-word argument has no value in it.
struct LineWords {
    std::string_view name;
    std::string_view value;
    bool oneWord = true;
};
LineWords splitLine(std::string_view argument);

// A value as the server reads it, the way C's atoi does: leading blanks, an
// optional sign, then digits; whatever follows is ignored, and no digits at
// all read as 0. A number too long for any total stops growing at
// kBeyondAnyTotal rather than wrapping, as atoi's own result is then the
// platform's business.
inline constexpr std::int64_t kBeyondAnyTotal = std::int64_t{1} << 40;
struct ServerNumber {
    std::int64_t value = 0;
    bool clean = false;  // nothing but the number, blanks around it aside
};
ServerNumber readAsServer(std::string_view text);

struct Decoded {
    Variable variable;
    std::int64_t value = 0;
    std::vector<int> options;       // indices of the options whose bits are set
    std::uint32_t unknownBits = 0;  // set bits that no option of the group has
    bool negative = false;
    bool outsideWidth = false;  // beyond what the group's total can hold
    std::vector<int> toChange;  // boxes that differ from their start state
    bool selectRank = false;    // the rank is not the one selected at start
};
// Bits are those of the server's 32-bit integer; a value outside it has none.
Decoded decode(const Variable &variable, std::int64_t value);

// The line the calculator writes when exactly these options count.
std::string encode(const Variable &variable, std::span<const int> options);

// An option of the group by caption, whatever the case.
std::optional<int> findOption(Group group, std::string_view caption);

// Text from a file, an argument or the clipboard, quoted so that it is safe
// on a terminal and in a message, and not too long: bytes outside printable
// ASCII as \xNN, a quote or a backslash escaped.
void appendQuoted(std::string &out, std::string_view text);
std::string quoted(std::string_view text);

// A setting as the server reads it and what the calculator makes of it. The
// text belongs to whoever read the setting.
struct Reading {
    Decoded decoded;
    std::string_view text;  // the value as written
    bool hasValue = true;   // "set NAME" alone sets nothing
    bool cleanNumber = true;
};
Reading readSetting(const Variable &variable, std::string_view text, bool hasValue);

// A value the calculator can write: in range, every bit an option's.
bool writable(const Decoded &d);
bool hasProblems(const Reading &r);
// Each problem of the setting, in the words every front-end uses.
std::vector<std::string> problems(const Reading &r);

}  // namespace zelvar

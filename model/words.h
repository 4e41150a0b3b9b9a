// A command's words, and the setting they make. Words stand between blanks
// (every control character and the blank); a quoted word runs to the next
// quote or the command's end; "//" ends the words; "/* */" is skipped, ending
// at its first "*/" whatever the quotes (its opening star may also close it).
// "set NAME", "seta", "sets", "setu" and a bare "NAME" with words after it
// set NAME to every word after the name, one blank between; a bare name
// alone only asks for the value, and "set NAME" alone sets nothing.
#pragma once

#include "decode.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zelvar {

// A block comment that the server ends later than its first "*/".
struct Swallow {
    int line = 0;                // where it starts
    std::optional<int> endLine;  // where the server ends it; none: at the end of the file
};

// One setting of one of the calculator's variables.
struct Setting {
    // Largest first, so that the many a large configuration holds are small.
    std::string written;  // the name as the text spells it
    std::string value;    // the value's text, quotes removed
    Variable variable{};
    // A bare name followed by several words: what a 2003-era server takes,
    // the first word alone, where its number differs from today's.
    std::optional<std::string> firstWordOnly;
    // Where the value's last word stands in the text, from its first byte
    // (a byte-order mark counts), quotes aside; and how many words make it.
    std::size_t valueAt = 0;
    std::size_t valueSize = 0;
    std::size_t command = 0;  // read with every command: which of them, from 0
    // And that command's words hashed: all but the last, and the last.
    std::uint64_t commandHead = 0;
    std::uint64_t commandLast = 0;
    std::size_t at = 0;  // where its first word stands, as valueAt
    // The comment that hides it, or that the server reads on into its value.
    std::optional<Swallow> swallow;
    int line = 0;  // from 1: where the command's first word stands
    int valueWords = 0;
    int file = 0;           // read with its execs: which file, from 0, the first read
    bool hasValue = false;  // "set NAME" alone sets nothing
    bool applied = true;    // false: a person reads a setting here, the server does not
    bool bare = false;      // no "set" before the name: it sets only a variable that exists
    // Read as the server starts: a bare name before the game created the
    // variable (at its first map), which the server drops. Not applied.
    bool beforeMap = false;
};

// The server applies a text's settings in order: of each variable, the last
// applied setting with a value takes effect, and it overrides the one before.
class TakesEffect {
public:
    // The next setting, the `index`th; the index of the setting it overrides.
    std::optional<std::size_t> take(const Setting &setting, std::size_t index) {
        if (!setting.applied || !setting.hasValue)
            return std::nullopt;
        return std::exchange(last_.at(indexOf(setting.variable)), index);
    }
    // Of each variable, in variables() order, the setting that takes effect.
    const std::array<std::optional<std::size_t>, kVariableCount> &last() const { return last_; }

private:
    std::array<std::optional<std::size_t>, kVariableCount> last_{};
};

// Of each variable, in variables() order, the index of the setting that
// takes effect in `settings`, run in order.
inline std::array<std::optional<std::size_t>, kVariableCount>
takingEffect(const std::vector<Setting> &settings) {
    TakesEffect effect;
    for (std::size_t i = 0; i < settings.size(); ++i)
        effect.take(settings[i], i);
    return effect.last();
}

// The console takes every control character, the blank and, as its chars are
// signed, every byte above 0x7F as white space outside quotes.
inline bool isBlank(char c) { return static_cast<signed char>(c) <= ' '; }

// Adds the words of the command `text` to `words`, as views into it.
void splitWords(std::string_view text, std::vector<std::string_view> &words);

// "set", "seta", "sets" or "setu", in any case: the commands that make a
// variable that does not exist yet.
bool isSetCommand(std::string_view word);
// Whether the words load a map ("map NAME", "devmap", "spmap", "spdevmap"):
// the game starts there, and its variables exist from then on. A map
// command without a name loads nothing.
bool startsMap(std::span<const std::string_view> words);

// The setting of one of the calculator's variables that the words make, if
// any; its place in the text is the caller's to fill in.
std::optional<Setting> settingOf(const std::vector<std::string_view> &words);

}  // namespace zelvar

// Reading a game server's configuration the way its console does: one or
// more commands a line, split at ';' outside quotes and comments; "//" ends
// the line; "/* */" is skipped, may span lines, and ends the command it
// interrupts; blanks between words and quotes around a word that holds
// blanks.
#pragma once

#include "decode.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

// One setting of one of the calculator's variables.
struct Setting {
    int line = 0;           // from 1: where the command starts
    std::string written;    // the name as the text spells it
    std::string value;      // the value's text, quotes removed
    bool hasValue = false;  // "set NAME" alone sets nothing
    Variable variable{};
};

// Takes a configuration piece by piece, as it is read, so that no file is
// ever held whole. Everything but the settings of the calculator's variables
// passes silently. A UTF-8 byte-order mark and CR line ends are the editor's,
// not the server's.
class ConfigReader {
public:
    void read(std::string_view piece);  // the next piece of the text, cut anywhere
    std::vector<Setting> finish();      // the settings, once the text has ended
    int line() const;                   // the line the next piece starts in

private:
    void readLines(std::string_view text);
    std::size_t readCommands(std::string_view text, std::size_t from);

    std::string pending_;  // a line that the last piece began
    bool started_ = false;
    bool inComment_ = false;  // within "/* */", which the last line left open
    int line_ = 1;
    std::vector<Setting> settings_;
    std::vector<std::string_view> words_;
};

// No configuration comes near this; a text that does is not read on.
inline constexpr std::size_t kLargestConfiguration = std::size_t{256} << 20;

// Feeds a configuration to the reader, checked on the way: no NUL byte (a
// binary file), no more than kLargestConfiguration. `name` is what a message
// calls the text: a quoted path, "standard input", "the clipboard". Each
// gives, when the text cannot be read whole, why, in the words every
// front-end uses; the reader then holds what came before.
std::optional<std::string> readText(ConfigReader &reader, std::string_view name,
                                    std::string_view text);
std::optional<std::string> readFile(ConfigReader &reader, const std::string &path);
std::optional<std::string> readStream(ConfigReader &reader, std::string_view name,
                                      std::istream &in);

// What is said of a text in which no command sets one of the variables.
std::string noSettingIn(std::string_view name);

}  // namespace zelvar

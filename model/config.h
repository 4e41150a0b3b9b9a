// Reading a game server's configuration exactly as its console does. The
// console splits the text into commands (a line end, or a ';' outside quotes
// and comments, ends one; "//" runs to the line end; "/* */" may span lines
// and ends the command it closes), counting every quote from the command's
// start, inside comments too, so that a comment holding an odd number of
// quotes does not end at its "*/": the text up to the next "*/" seen after an
// even count, or to the end, is one command. A command longer than 1023 bytes
// is cut there, the byte after it lost, and the rest read as a new command.
// Each command is then split into words: blanks between them, quotes around
// one that holds blanks, comments skipped (here the first "*/" ends one).
// Where the server reads a comment on past what a person reads as its end,
// the settings a person sees in between are reported too, as not applied.
#pragma once

#include "decode.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

// A block comment that the server ends later than its first "*/".
struct Swallow {
    int line = 0;                // where it starts
    std::optional<int> endLine;  // where the server ends it; none: at the end of the file
};

// One setting of one of the calculator's variables.
struct Setting {
    int line = 0;           // from 1: where the command's first word stands
    std::string written;    // the name as the text spells it
    std::string value;      // the value's text, quotes removed
    bool hasValue = false;  // "set NAME" alone sets nothing
    Variable variable{};
    bool applied = true;  // false: a person reads a setting here, the server does not
    // The comment that hides it, or that the server reads on into its value.
    std::optional<Swallow> swallow;
    // A bare name followed by several words: what a 2003-era server takes,
    // the first word alone, where its number differs from today's.
    std::optional<std::string> firstWordOnly;
    // Where the value's last word stands in the text, from its first byte
    // (a byte-order mark counts), quotes aside; and how many words make it.
    std::size_t valueAt = 0;
    std::size_t valueSize = 0;
    int valueWords = 0;
};

// What a report says of a setting's swallowing comment, in the words every
// front-end uses.
std::string swallowed(const Swallow &swallow);
std::string notApplied(const Swallow &swallow);
std::string readOnInto(const Swallow &swallow);
std::string firstWordOnlyNote(std::string_view firstWord);

// How far the console has read a command.
struct Scan {
    std::size_t at = 0;
    unsigned quotes = 0;   // since the command's start
    bool inBlock = false;  // within "/* */"
    bool inLine = false;   // after "//"
};

// Takes a configuration piece by piece, as it is read, so that no file is
// held whole unless a comment keeps a command open. Everything but the
// settings of the calculator's variables passes silently. A UTF-8 byte-order
// mark is the editor's, not the server's.
class ConfigReader {
public:
    void read(std::string_view piece);  // the next piece of the text, cut anywhere
    std::vector<Setting> finish();      // the settings, once the text has ended
    int line() const;                   // the line the next piece starts in
    bool endsInComment() const { return endsInComment_; }  // once finished: "/*" left open

private:
    std::size_t run(std::string_view text, std::size_t at, bool last);
    void command(std::string_view text, std::size_t from, std::size_t to, bool toTheEnd);
    int lineAt(std::string_view text, std::size_t at);

    std::string pending_;        // the text not yet read: a command under way, a line begun
    std::size_t pendingAt_ = 0;  // where pending_ starts in the text
    std::size_t received_ = 0;
    std::size_t textAt_ = 0;  // where the text of the run under way starts
    bool started_ = false;
    bool underWay_ = false;  // a command starts at pending_'s first byte
    bool endsInComment_ = false;
    Scan scan_;     // of the command under way, while it waits for more text
    int line_ = 1;  // the line of the first byte of the text a run is given
    std::size_t lineAt_ = 0;
    int lineAtLine_ = 1;
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
// The same refusals for a text held whole, or a piece of one that starts on
// `line` and brings the text to `size` bytes.
std::optional<std::string> refusedText(std::string_view name, std::string_view text, int line = 1,
                                       std::size_t size = 0);
std::optional<std::string> readFile(ConfigReader &reader, const std::string &path);
std::optional<std::string> readStream(ConfigReader &reader, std::string_view name,
                                      std::istream &in);

// What is said of a text in which no command sets one of the variables.
std::string noSettingIn(std::string_view name);

}  // namespace zelvar

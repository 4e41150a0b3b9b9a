// The reader: a configuration's settings of the calculator's variables,
// found exactly as the game server's console runs the text. It walks the
// commands: where each ends is command.h's rule, its words and the setting
// they make are words.h's, and where a comment hides settings from the
// server or gives it a longer value than a person reads is seen.h's. Only
// lines that may name one of the variables, or open a comment, are read
// command by command; the others leave the console as it was and are passed
// over by a quick search. Feeding it a file or a text is textfile.h's.
#pragma once

#include "command.h"
#include "words.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

// Reads a configuration's whole text. Everything but the settings of the
// calculator's variables passes silently. A UTF-8 byte-order mark is the
// editor's, not the server's.
class ConfigReader {
public:
    // With `everyCommand`, every command is read and its words kept, the
    // quick search for the calculator's names aside: what an edit compares.
    explicit ConfigReader(bool everyCommand = false) : everyCommand_(everyCommand) {}
    // The settings, in the order run. Each of `restarts` (in order) is where
    // a file exec'd by a command that ran to the end of what the console
    // held begins: a new command starts there, in the comment that command
    // left open, if any. Without `fileStart` the text goes on from where a
    // command started afresh (an Exec's `fresh` place): a byte-order mark
    // there is no editor's.
    std::vector<Setting> read(std::string_view text, std::span<const std::size_t> restarts = {},
                              bool fileStart = true);
    // The same, on a text that already ends with the line end the console
    // adds: no copy of a large text is made.
    std::vector<Setting> readEnded(std::string_view ended,
                                   std::span<const std::size_t> restarts = {},
                                   bool fileStart = true);
    bool endsInComment() const { return endsInComment_; }  // "/*" left open
    // A command's words, kept small: a hash of all but the last word (and
    // how many), and a hash of the last, which an edit of a value replaces.
    struct Words {
        std::uint64_t head = 0;
        std::uint64_t last = 0;
        bool operator==(const Words &) const = default;
    };
    static std::uint64_t hashOf(std::string_view word);
    static Words wordsOf(std::span<const std::string_view> words);
    // With `everyCommand`: every command that has words, in order, as one
    // sum of what each adds at its place; an edit of one command's last word
    // changes the sum by a known amount, so that no list of them is kept.
    struct Commands {
        std::uint64_t sum = 0;
        std::size_t count = 0;
        bool operator==(const Commands &) const = default;
    };
    static std::uint64_t addedBy(std::size_t index, const Words &words);
    const Commands &commands() const { return commands_; }
    // Each "exec NAME": the name, where the console goes on reading (the
    // exec'd text's place: where the next command starts, past a cut too),
    // and whether a command starts afresh there, as at the start of a text:
    // the exec command ended at a ';' or a line end, neither cut nor in a
    // comment, so that what follows reads the same read on its own.
    struct Exec {
        std::string name;
        std::size_t at = 0;
        bool fresh = false;
        bool vstr = false;  // "vstr NAME": the text is NAME's value, not a file's
    };
    const std::vector<Exec> &execs() const { return execs_; }
    // Each command that loads a map: where it stands (its first word) and
    // its words, one blank between, in order.
    struct Map {
        std::size_t at = 0;
        std::string command;
    };
    const std::vector<Map> &maps() const { return maps_; }
    // Each command that may give any variable a value, for what a vstr
    // runs: "set NAME VALUE..." and its kind, or a bare "NAME VALUE...",
    // which sets NAME only where it exists. Read whole only with
    // `everyCommand`; otherwise those on the lines read.
    struct Assign {
        std::string name;
        std::string value;        // the words after the name, one blank between
        std::size_t at = 0;       // its first word
        std::size_t valueAt = 0;  // the value's first word, quotes aside
        bool verbatim = false;    // one word: the value is the text's own bytes there
        bool bare = false;
    };
    const std::vector<Assign> &assigns() const { return assigns_; }

private:
    void run(std::string_view text, std::span<const std::size_t> restarts);
    void command(std::string_view text, std::size_t from, std::size_t to, bool toTheEnd);
    void assign(std::string_view text, std::size_t first);  // from words_
    int lineAt(std::string_view text, std::size_t at);

    std::size_t textAt_ = 0;  // where the text read starts: past a byte-order mark
    bool endsInComment_ = false;
    std::size_t lineAt_ = 0;
    int lineAtLine_ = 1;
    std::vector<Setting> settings_;
    bool everyCommand_ = false;
    Commands commands_;
    std::vector<Exec> execs_;
    std::vector<Map> maps_;
    std::vector<Assign> assigns_;
    std::vector<std::string_view> words_;
};

}  // namespace zelvar

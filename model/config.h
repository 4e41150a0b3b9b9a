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

#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

// Takes a configuration piece by piece, as it is read, so that no file is
// held whole unless a comment keeps a command open. Everything but the
// settings of the calculator's variables passes silently. A UTF-8 byte-order
// mark is the editor's, not the server's.
class ConfigReader {
public:
    // With `everyCommand`, every command is read and its words kept, the
    // quick search for the calculator's names aside: what an edit compares.
    explicit ConfigReader(bool everyCommand = false) : everyCommand_(everyCommand) {}
    void read(std::string_view piece);  // the next piece of the text, cut anywhere
    std::vector<Setting> finish();      // the settings, once the text has ended
    int line() const;                   // the line the next piece starts in
    bool endsInComment() const { return endsInComment_; }  // once finished: "/*" left open
    // With `everyCommand`: each command that has words, its words joined by 0x1F.
    const std::vector<std::string> &commands() const { return commands_; }
    // Each "exec NAME": the name, where the console goes on reading (the
    // exec'd text's place), and how many settings came before it.
    struct Exec {
        std::string name;
        std::size_t at = 0;
        std::size_t settingsBefore = 0;
    };
    const std::vector<Exec> &execs() const { return execs_; }

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
    bool everyCommand_ = false;
    std::vector<std::string> commands_;
    std::vector<Exec> execs_;
    std::vector<std::string_view> words_;
};

}  // namespace zelvar

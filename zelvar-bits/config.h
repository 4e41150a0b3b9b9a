// Reading a game server's configuration the way its console does: one or
// more commands a line, split at ';' outside quotes, "//" ending the line,
// blanks between words and quotes around a word that holds blanks.
#pragma once

#include "decode.h"

#include <string>
#include <string_view>
#include <vector>

namespace zelvar::bits {

// One setting of one of the calculator's variables.
struct Setting {
    int line = 0;           // from 1
    std::string written;    // the name as the file spells it
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

    std::string pending_;  // a line that the last piece began
    bool started_ = false;
    int line_ = 1;
    std::vector<Setting> settings_;
    std::vector<std::string_view> words_;
};

}  // namespace zelvar::bits

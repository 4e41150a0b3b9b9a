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

// Everything else in the text, other variables included, passes silently. A
// UTF-8 byte-order mark and CR line ends are the editor's, not the server's.
std::vector<Setting> readConfig(std::string_view text);

}  // namespace zelvar::bits

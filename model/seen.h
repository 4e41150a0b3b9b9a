// What a person reads in a configuration, where it differs from what the
// server runs. A person ends a comment at its first "*/" and a command at a
// line end or a ';' outside quotes; the console, counting quotes from the
// command's start (command.h), may read a comment on past that "*/" to a
// later one or to the end of the file, as one command. The settings a person
// sees in between are then not applied, and a setting that opens such a
// comment takes the words after its name, up to the server's end of the
// comment, as its value. Both are told in the words here, which every
// front-end uses.
#pragma once

#include "command.h"
#include "words.h"

#include <string>
#include <string_view>

namespace zelvar {

// The commands a person reads in `text`: calls `each(from, to)` for each.
template <class Each> void personsCommands(std::string_view text, Each each) {
    std::size_t from = 0;
    bool quote = false;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const bool comment = !quote && (startsAt(text, i, "//") || startsAt(text, i, "/*"));
        if (!isLineEnd(c) && !comment && (quote || c != ';')) {
            quote = quote != (c == '"');
            ++i;
            continue;
        }
        each(from, i);
        quote = false;
        std::size_t next = i + 1;
        if (comment) {
            const bool block = text[i + 1] == '*';
            const std::size_t close =
                block ? text.find("*/", i + 1) : text.find_first_of("\r\n", i);
            next = close == std::string_view::npos ? text.size() : close + (block ? 2 : 0);
        }
        from = i = next;
    }
    each(from, text.size());
}

// The comment that the server reads on past its first "*/".
std::string swallowed(const Swallow &swallow);
// Of a setting a person sees inside it.
std::string notApplied(const Swallow &swallow);
// Of the setting whose value it becomes.
std::string readOnInto(const Swallow &swallow);
// Of a bare name followed by several words, where a server of 2003 differs.
std::string firstWordOnlyNote(std::string_view firstWord);

}  // namespace zelvar

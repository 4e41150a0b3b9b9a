// Where the console ends a command. A line end, or a ';' outside quotes and
// comments, ends one; "//" runs to the line end; "/* */" may span lines and
// ends the command it closes. Quotes are counted from the command's start,
// inside comments too, and "//", "/*", "*/" and ';' count only after an even
// number of them: a comment holding an odd number of quotes does not end at
// its "*/", and the text up to the next "*/" seen after an even count, or to
// the end, is one command. The console keeps kLongestCommand bytes of a
// command; the byte after them is lost and the rest read as a new command.
//
// Two readings of the one rule: scanOn walks a command byte by byte as text
// arrives; CommandIndex finds the same ends by remembered searches, for the
// commands read again from later starts after a cut, so that reading on from
// each costs no more than the first reading did. A test holds the two equal
// on random text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace zelvar {

inline constexpr std::size_t kLongestCommand = 1023;

inline bool isLineEnd(char c) { return c == '\n' || c == '\r'; }

inline bool startsAt(std::string_view text, std::size_t i, std::string_view what) {
    return text.substr(i, what.size()) == what;
}

// How far the console has read a command.
struct Scan {
    std::size_t at = 0;
    unsigned quotes = 0;   // since the command's start
    bool inBlock = false;  // within "/* */"
    bool inLine = false;   // after "//"
};

// Reads on where `s` stands until the console ends the command: the index of
// the ';' or line end that ends it, or of the '/' of the "*/" that does;
// nothing when the text ends first (`s` then holds where it stands).
std::optional<std::size_t> scanOn(std::string_view text, Scan &s);

// A text's quotes and the places where the console may end a command.
class CommandIndex {
public:
    explicit CommandIndex(std::string_view text) : text_(text) {}
    std::string_view text() const { return text_; }

    // As scanOn, for a command that starts at `from`, `s` standing within it.
    std::optional<std::size_t> endOf(Scan &s, std::size_t from);

private:
    struct Memo {
        std::size_t from = std::string_view::npos;  // none of the sought in [from, found)
        std::size_t found = std::string_view::npos;
    };
    bool odd(std::size_t at);  // an odd number of quotes stands before `at`
    std::size_t lineEnd(std::size_t from);
    std::size_t close(std::size_t from, bool oddAt);  // "*/" after quotes as odd as `oddAt`
    std::size_t event(std::size_t from, bool oddAt);  // a line end, or ';', "//", "/*"
    template <class Is> std::size_t find(Memo &memo, std::size_t from, Is is);

    std::string_view text_;
    std::vector<std::uint64_t> parity_;
    std::size_t built_ = 0;
    unsigned odd_ = 0;
    std::array<Memo, 5> memos_{};
};

}  // namespace zelvar

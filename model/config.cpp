#include "config.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <istream>
#include <memory>

namespace zelvar {

namespace {

// The console takes every control character and the blank as white space.
bool blank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool startsAt(std::string_view text, std::size_t i, std::string_view what) {
    return text.substr(i, what.size()) == what;
}

// Where a word ends: a blank, a command's end, a quote or a comment.
bool endsWord(std::string_view line, std::size_t i) {
    return blank(line[i]) || line[i] == ';' || line[i] == '"' || startsAt(line, i, "//") ||
           startsAt(line, i, "/*");
}

bool isSetCommand(std::string_view word) {
    constexpr std::array<std::string_view, 4> kSets{"set", "seta", "sets", "setu"};
    return std::any_of(kSets.begin(), kSets.end(),
                       [word](std::string_view set) { return sameIgnoringCase(word, set); });
}

// "set NAME VALUE…" takes the rest of the words as the value; a bare
// "NAME VALUE" takes one word and ignores the others.
void command(const std::vector<std::string_view> &words, int line, std::vector<Setting> &out) {
    if (words.empty())
        return;
    const bool set = isSetCommand(words[0]);
    const std::size_t name = set ? 1 : 0;
    if (words.size() <= name + (set ? 0 : 1))
        return;  // nothing named, or a bare name, which only asks for the value
    const std::optional<Variable> variable = findVariable(words[name]);
    if (!variable)
        return;
    Setting s;
    s.line = line;
    s.written = words[name];
    s.variable = *variable;
    s.hasValue = words.size() > name + 1;
    for (std::size_t i = name + 1; i < words.size() && (set || i == name + 1); ++i) {
        if (i > name + 1)
            s.value += ' ';
        s.value += words[i];
    }
    out.push_back(std::move(s));
}

// Whether one of the calculator's names, or a "/*" comment, may start at
// `p`: "g_" and a 'w' or an 'f', or "zv_", in any case, or "/*". Free of
// branches, so that a loop of these over a block of text becomes vector
// instructions. It may say yes where there is neither: the caller looks.
constexpr unsigned char mayStartName(const char *p) {
    // Folded so: letters to lower case, and '_' to 0x7F, as DEL is.
    const auto a = static_cast<unsigned char>(p[0] | 0x20);
    const auto b = static_cast<unsigned char>(p[1] | 0x20);
    const auto c = static_cast<unsigned char>(p[2] | 0x20);
    return ((a == 'g') & (b == 0x7F) & ((c == 'w') | (c == 'f'))) |
           ((a == 'z') & (b == 'v') & (c == 0x7F)) | ((a == '/') & (b == '*'));
}

constexpr std::size_t kShortestName = [] {
    std::size_t shortest = std::string_view::npos;
    for (const SettingGroup &g : kCatalogue)
        for (std::string_view v : g.variables)
            shortest = std::min(shortest, v.size() - 1);  // less the blank the line puts after it
    return shortest;
}();

static_assert(std::all_of(kCatalogue.begin(), kCatalogue.end(),
                          [](const SettingGroup &g) {
                              return std::all_of(
                                  g.variables.begin(), g.variables.end(),
                                  [](std::string_view v) { return mayStartName(v.data()) != 0; });
                          }),
              "the search passes over a name of the calculator's");

struct Found {
    std::size_t at;  // npos when no name starts at or after `from`
    int lineEnds;    // passed on the way
};

// Where the next name of the calculator's may start, from `from` on, and how
// many lines end before it. Blocks of 64 bytes are tested and counted whole,
// in vector instructions, as almost none holds a name; only a block that may
// is looked at byte by byte.
Found nextName(std::string_view text, std::size_t from) {
    constexpr std::size_t kBlock = 64;  // fewer than 256 line ends: a byte counts them
    const char *p = text.data();
    int ends = 0;
    std::size_t i = from;
    for (; i + kBlock + 2 <= text.size(); i += kBlock) {  // mayStartName reads two bytes on
        unsigned char places = 0;  // summed, not or-ed: a sum is the cheaper of the two to end
        unsigned char inBlock = 0;
        for (std::size_t k = 0; k < kBlock; ++k) {
            places = static_cast<unsigned char>(places + mayStartName(p + i + k));
            inBlock = static_cast<unsigned char>(inBlock + (p[i + k] == '\n' ? 1 : 0));
        }
        if (places != 0)
            break;
        ends += inBlock;
    }
    for (; i < text.size(); ++i) {
        if ((i + kShortestName <= text.size() && mayStartName(p + i) != 0) ||
            startsAt(text, i, "/*"))
            return {i, ends};
        ends += p[i] == '\n' ? 1 : 0;
    }
    return {std::string_view::npos, ends};
}

bool spellsVariable(std::string_view text, std::size_t at) {
    return std::any_of(variables().begin(), variables().end(), [&](const Variable &v) {
        return sameIgnoringCase(text.substr(at, v.name.size()), v.name);
    });
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

void ConfigReader::read(std::string_view piece) {
    if (!started_) {
        pending_ += piece;  // the first piece is copied once, to look for the mark
        if (pending_.size() < kByteOrderMark.size())
            return;
        started_ = true;
        piece = {};
        if (pending_.starts_with(kByteOrderMark))
            pending_.erase(0, kByteOrderMark.size());
    }
    if (!pending_.empty()) {  // a line begun earlier ends in this piece, or not yet
        const std::size_t end = piece.find('\n');
        const std::size_t taken = end == std::string_view::npos ? piece.size() : end + 1;
        pending_ += piece.substr(0, taken);
        piece.remove_prefix(taken);
        const std::size_t last = pending_.rfind('\n');
        if (last == std::string::npos)
            return;
        readLines(std::string_view(pending_).substr(0, last + 1));
        pending_.erase(0, last + 1);
    }
    const std::size_t last = piece.rfind('\n');
    const std::size_t whole = last == std::string_view::npos ? 0 : last + 1;
    readLines(piece.substr(0, whole));
    pending_ += piece.substr(whole);
}

std::vector<Setting> ConfigReader::finish() {
    readLines(pending_);
    pending_.clear();
    inComment_ = false;
    return std::move(settings_);
}

int ConfigReader::line() const {
    return line_ + static_cast<int>(std::count(pending_.begin(), pending_.end(), '\n'));
}

// Only lines that spell one of the variables, or may open a comment, are
// read word by word; a comment that spans lines is passed over whole.
void ConfigReader::readLines(std::string_view text) {
    std::size_t from = 0;
    std::size_t lineFrom = 0;  // where the commands of the line at `from` begin
    while (from < text.size()) {
        if (inComment_) {
            const std::size_t close = text.find("*/", from);
            const std::size_t to = close == std::string_view::npos ? text.size() : close + 2;
            line_ +=
                static_cast<int>(std::count(text.begin() + static_cast<std::ptrdiff_t>(from),
                                            text.begin() + static_cast<std::ptrdiff_t>(to), '\n'));
            if (close == std::string_view::npos)
                return;
            inComment_ = false;
            from = lineFrom = readCommands(text, to);
            continue;
        }
        const Found next = nextName(text, from);
        line_ += next.lineEnds;
        if (next.at == std::string_view::npos)
            return;
        if (!spellsVariable(text, next.at) && !startsAt(text, next.at, "/*")) {
            from = next.at + 1;
            continue;
        }
        const std::size_t lineStart = text.rfind('\n', next.at) + 1;  // 0 on the first line
        from = lineFrom = readCommands(text, std::max(lineStart, lineFrom));
    }
}

// Reads the commands from `from` to the end of its line, or to a "/*" that
// the line does not close; says where reading goes on.
std::size_t ConfigReader::readCommands(std::string_view text, std::size_t from) {
    const std::size_t end = std::min(text.find('\n', from), text.size());
    std::string_view line = text.substr(0, end);  // positions stay those of the text
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    words_.clear();
    std::size_t i = from;
    while (true) {
        while (i < line.size() && blank(line[i]))
            ++i;
        if (i >= line.size() || startsAt(line, i, "//"))
            break;
        if (startsAt(line, i, "/*")) {  // the command ends where the comment does
            command(words_, line_, settings_);
            words_.clear();
            const std::size_t close = line.find("*/", i + 2);
            if (close == std::string_view::npos) {
                inComment_ = true;
                return i + 2;
            }
            i = close + 2;
        } else if (line[i] == ';') {
            command(words_, line_, settings_);
            words_.clear();
            ++i;
        } else if (line[i] == '"') {
            const std::size_t close = line.find('"', i + 1);
            words_.push_back(line.substr(i + 1, close - i - 1));
            i = close == std::string_view::npos ? line.size() : close + 1;
        } else {
            const std::size_t start = i;
            while (i < line.size() && !endsWord(line, i))
                ++i;
            words_.push_back(line.substr(start, i - start));
        }
    }
    command(words_, line_, settings_);
    if (end == text.size())
        return end;
    ++line_;
    return end + 1;
}

namespace {

// One piece more of a text, unless it holds a NUL byte or makes the text too large.
std::optional<std::string> feed(ConfigReader &reader, std::string_view name, std::string_view piece,
                                std::size_t &total) {
    if (const std::size_t nul = piece.find('\0'); nul != std::string_view::npos)
        return std::string(name) + " is a binary file (a NUL byte on line " +
               std::to_string(reader.line() +
                              std::count(piece.begin(),
                                         piece.begin() + static_cast<std::ptrdiff_t>(nul), '\n')) +
               "), not a configuration";
    if ((total += piece.size()) > kLargestConfiguration)
        return std::string(name) + " is too large for a configuration";
    reader.read(piece);
    return std::nullopt;
}

std::string cannotRead(std::string_view name) {
    return "cannot read " + std::string(name) + ": " + std::strerror(errno);
}

}  // namespace

std::optional<std::string> readText(ConfigReader &reader, std::string_view name,
                                    std::string_view text) {
    std::size_t total = 0;
    return feed(reader, name, text, total);
}

std::optional<std::string> readFile(ConfigReader &reader, const std::string &path) {
    const std::string name = quoted(path);
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> f(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
    if (!f)
        return cannotRead(name);
    std::array<char, 1 << 16> chunk{};
    std::size_t total = 0;
    while (const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), f.get()))
        if (auto error = feed(reader, name, std::string_view(chunk.data(), n), total))
            return error;
    if (std::ferror(f.get()) != 0)
        return cannotRead(name);
    return std::nullopt;
}

std::optional<std::string> readStream(ConfigReader &reader, std::string_view name,
                                      std::istream &in) {
    std::array<char, 1 << 16> chunk{};
    std::size_t total = 0;
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0)
        if (auto error =
                feed(reader, name,
                     std::string_view(chunk.data(), static_cast<std::size_t>(in.gcount())), total))
            return error;
    return std::nullopt;
}

std::string noSettingIn(std::string_view name) {
    return "no setting of the calculator's variables in " + std::string(name);
}

}  // namespace zelvar

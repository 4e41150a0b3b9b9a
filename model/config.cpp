#include "config.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <istream>
#include <iterator>
#include <memory>

namespace zelvar {

namespace {

bool lineEnd(char c) { return c == '\n' || c == '\r'; }

// The console takes every control character and the blank as white space.
bool blank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool startsAt(std::string_view text, std::size_t i, std::string_view what) {
    return text.substr(i, what.size()) == what;
}

bool isSetCommand(std::string_view word) {
    constexpr std::array<std::string_view, 4> kSets{"set", "seta", "sets", "setu"};
    return std::any_of(kSets.begin(), kSets.end(),
                       [word](std::string_view set) { return sameIgnoringCase(word, set); });
}

// The console keeps this much of one command; the byte after it is lost.
constexpr std::size_t kLongestCommand = 1023;

// A text's quotes and the places where the console may end a command, for
// reading commands again from later starts after the console cut one: each
// search is remembered, so that reading on from a later start costs no more
// than the first reading did.
class Index {
public:
    explicit Index(std::string_view text) : text_(text) {}
    std::string_view text() const { return text_; }

    // Whether an odd number of quotes stands before `at`.
    bool odd(std::size_t at) {
        for (; built_ <= at; ++built_) {
            if (built_ % 64 == 0)
                parity_.push_back(0);
            parity_.back() |= std::uint64_t{odd_} << (built_ % 64);
            odd_ ^= built_ < text_.size() && text_[built_] == '"' ? 1U : 0U;
        }
        return ((parity_[at / 64] >> (at % 64)) & 1U) != 0;
    }
    // The first line end at or after `from`.
    std::size_t lineEnd(std::size_t from) {
        return find(memos_[0], from, [&](std::size_t i) { return zelvar::lineEnd(text_[i]); });
    }
    // The first "*/" at or after `from` after as many quotes, odd or even, as `oddAt`.
    std::size_t close(std::size_t from, bool oddAt) {
        return find(memos_[oddAt ? 2 : 1], from, [&](std::size_t i) {
            return text_[i] == '*' && startsAt(text_, i + 1, "/") && odd(i) == oddAt;
        });
    }
    // The first line end, or ';', "//" or "/*" after as many quotes as `oddAt`.
    std::size_t event(std::size_t from, bool oddAt) {
        return find(memos_[oddAt ? 4 : 3], from, [&](std::size_t i) {
            const char c = text_[i];
            return zelvar::lineEnd(c) ||
                   ((c == ';' || startsAt(text_, i, "//") || startsAt(text_, i, "/*")) &&
                    odd(i) == oddAt);
        });
    }

private:
    struct Memo {
        std::size_t from = std::string_view::npos;  // none of the sought in [from, found)
        std::size_t found = std::string_view::npos;
    };
    template <class Is> std::size_t find(Memo &memo, std::size_t from, Is is) {
        if (memo.from <= from && from <= memo.found)
            return memo.found;
        const std::size_t stop =
            from < memo.from ? std::min(memo.from, text_.size()) : text_.size();
        std::size_t i = from;
        while (i < stop && !is(i))
            ++i;
        memo = {from, i < stop ? i : stop == text_.size() ? std::string_view::npos : memo.found};
        return memo.found;
    }

    std::string_view text_;
    std::vector<std::uint64_t> parity_;
    std::size_t built_ = 0;
    unsigned odd_ = 0;
    std::array<Memo, 5> memos_{};
};

// The words of one command: blanks between them; a quoted word runs to the
// next quote or the end; "//" ends the words; "/* */" is skipped, ending at
// its first "*/" whatever the quotes, and its opening star may also close it.
void tokenize(std::string_view text, std::vector<std::string_view> &words) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (true) {
        while (true) {
            while (i < n && blank(text[i]))
                ++i;
            if (i >= n || startsAt(text, i, "//"))
                return;
            if (!startsAt(text, i, "/*"))
                break;
            const std::size_t close = text.find("*/", i + 1);
            if (close == std::string_view::npos)
                return;
            i = close + 2;
        }
        if (text[i] == '"') {
            const std::size_t close = text.find('"', i + 1);
            words.push_back(text.substr(i + 1, close - i - 1));
            if (close == std::string_view::npos)
                return;
            i = close + 1;
            continue;
        }
        const std::size_t start = i;
        while (i < n && !blank(text[i]) && text[i] != '"' &&
               !(text[i] == '/' && i + 1 < n && (text[i + 1] == '/' || text[i + 1] == '*')))
            ++i;
        words.push_back(text.substr(start, i - start));
    }
}

// The setting that a command's words make, if any: "set NAME VALUE..." and a
// bare "NAME VALUE..." both take every word after the name, one blank between.
std::optional<Setting> settingOf(const std::vector<std::string_view> &words) {
    if (words.empty())
        return std::nullopt;
    const bool set = isSetCommand(words[0]);
    const std::size_t name = set ? 1 : 0;
    if (words.size() <= name + (set ? 0 : 1))
        return std::nullopt;  // nothing named, or a bare name, which only asks for the value
    const std::optional<Variable> variable = findVariable(words[name]);
    if (!variable)
        return std::nullopt;
    Setting s;
    s.written = words[name];
    s.variable = *variable;
    s.hasValue = words.size() > name + 1;
    s.valueWords = static_cast<int>(words.size() - name - 1);
    for (std::size_t i = name + 1; i < words.size(); ++i)
        (s.value += i > name + 1 ? " " : "") += words[i];
    if (!set && words.size() > 2 && readAsServer(words[1]).value != readAsServer(s.value).value)
        s.firstWordOnly = words[1];
    return s;
}

// The commands a person reads in a text: a line end, or a ';' outside
// quotes, ends one; "//" runs to the line end; a comment ends at its first
// "*/" and ends the command it interrupts. Calls `each(from, to)`.
template <class Each> void personsCommands(std::string_view text, Each each) {
    std::size_t from = 0;
    bool quote = false;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const bool comment = !quote && (startsAt(text, i, "//") || startsAt(text, i, "/*"));
        if (!lineEnd(c) && !comment && (quote || c != ';')) {
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

std::string swallowed(const Swallow &swallow) {
    return "an odd number of quotes before the \"*/\" of the comment on line " +
           std::to_string(swallow.line) + " keeps it open for the server, which reads on to " +
           (swallow.endLine ? "line " + std::to_string(*swallow.endLine) : "the end of the file") +
           " as one command";
}

std::string notApplied(const Swallow &swallow) { return "not applied: " + swallowed(swallow); }

std::string readOnInto(const Swallow &swallow) {
    return swallowed(swallow) + ", and takes the words after this name as its value";
}

std::string firstWordOnlyNote(std::string_view firstWord) {
    return "a server of 2003 reads only the first word, " + quoted(firstWord) + ", as " +
           std::to_string(readAsServer(firstWord).value);
}

void ConfigReader::read(std::string_view piece) {
    std::size_t pieceAt = received_;  // where the piece's first byte stands in the text
    received_ += piece.size();
    if (!started_) {
        pending_ += piece;  // the first piece is copied once, to look for the mark
        if (pending_.size() < kByteOrderMark.size())
            return;
        started_ = true;
        piece = {};
        if (pending_.starts_with(kByteOrderMark)) {
            pending_.erase(0, kByteOrderMark.size());
            pendingAt_ = kByteOrderMark.size();
        }
    }
    if (!pending_.empty()) {
        // The line begun earlier ends in this piece, or not yet; a command
        // that goes on past it takes the piece's whole lines too. The rest
        // is read where it lies.
        for (const bool whole : {false, true}) {
            const std::size_t end = whole ? piece.rfind('\n') : piece.find('\n');
            if (end == std::string_view::npos) {
                pending_ += piece;
                return;
            }
            pending_ += piece.substr(0, end + 1);
            piece.remove_prefix(end + 1);
            pieceAt += end + 1;
            const std::size_t done = run(pending_, pendingAt_, false);
            pending_.erase(0, done);
            pendingAt_ += done;
            if (pending_.empty())
                break;
        }
        if (!pending_.empty()) {
            pending_ += piece;
            return;
        }
    }
    const std::size_t last = piece.rfind('\n');
    const std::size_t whole = last == std::string_view::npos ? 0 : last + 1;
    const std::size_t done = run(piece.substr(0, whole), pieceAt, false);
    pending_.assign(piece.substr(done));
    pendingAt_ = pieceAt + done;
}

std::vector<Setting> ConfigReader::finish() {
    pending_ += '\n';  // as the console adds to a file it runs
    run(pending_, pendingAt_, true);
    pending_.clear();
    underWay_ = false;
    return std::move(settings_);
}

int ConfigReader::line() const {
    return line_ + static_cast<int>(std::count(pending_.begin(), pending_.end(), '\n'));
}

int ConfigReader::lineAt(std::string_view text, std::size_t at) {
    const auto counted = [&](std::size_t a, std::size_t b) {
        return static_cast<int>(std::count(text.begin() + static_cast<std::ptrdiff_t>(a),
                                           text.begin() + static_cast<std::ptrdiff_t>(b), '\n'));
    };
    lineAtLine_ += at >= lineAt_ ? counted(lineAt_, at) : -counted(at, lineAt_);
    lineAt_ = at;
    return lineAtLine_;
}

namespace {

// Reads on where `s` stands until the console ends the command; nothing when
// the text ends first.
std::optional<std::size_t> scanOn(std::string_view text, Scan &s) {
    // The bytes that may change what the console does next; most bytes do not.
    static constexpr auto kMatters = [] {
        std::array<bool, 256> matters{};
        for (const unsigned char c : std::string_view("\"/*;\n\r"))
            matters.at(c) = true;
        return matters;
    }();
    for (; s.at < text.size(); ++s.at) {
        if (!kMatters[static_cast<unsigned char>(text[s.at])])
            continue;
        const char c = text[s.at];
        s.quotes += c == '"' ? 1 : 0;
        if (s.quotes % 2 == 0) {
            if (s.at + 1 < text.size()) {
                const char d = text[s.at + 1];
                if (!s.inBlock && c == '/' && d == '/') {
                    s.inLine = true;
                } else if (!s.inLine && c == '/' && d == '*') {
                    s.inBlock = true;
                } else if (s.inBlock && c == '*' && d == '/') {
                    s.inBlock = false;
                    return s.at + 1;
                }
            }
            if (!s.inLine && !s.inBlock && c == ';')
                return s.at;
        }
        if (!s.inBlock && lineEnd(c)) {
            s.inLine = false;
            return s.at;
        }
    }
    return std::nullopt;
}

// The same, for a command that starts at `from` within text already read,
// by the index's remembered searches.
std::optional<std::size_t> scanAgain(Index &index, Scan &s, std::size_t from) {
    const bool oddAt = index.odd(from);
    while (true) {
        const std::size_t at = s.inBlock  ? index.close(s.at, oddAt)
                               : s.inLine ? index.lineEnd(s.at)
                                          : index.event(s.at, oddAt);
        if (at == std::string_view::npos)
            break;
        if (s.inBlock) {
            s.inBlock = false;
            return at + 1;
        }
        const std::string_view text = index.text();
        if (s.inLine || lineEnd(text[at]) || text[at] == ';') {
            s.inLine = false;
            return at;
        }
        (text[at + 1] == '/' ? s.inLine : s.inBlock) = true;
        s.at = at + 1;
    }
    s.at = index.text().size();
    s.quotes = index.odd(s.at) != oddAt ? 1 : 0;
    return std::nullopt;
}

}  // namespace

// Reads the commands of `text`, which ends with a line end; says how much of
// it is read, the rest being a command that more text may end. Only lines
// that may set one of the variables, or open a comment, are read command by
// command; the others leave the console as it was and are passed over.
std::size_t ConfigReader::run(std::string_view text, std::size_t at, bool last) {
    textAt_ = at;
    lineAt_ = 0;
    lineAtLine_ = line_;
    std::size_t from = 0;
    bool cut = false;  // the last command was cut: the next is read from within its text
    std::optional<Index> index;
    while (true) {
        if (!underWay_) {
            const Found next = nextName(text, from);
            lineAtLine_ = lineAt(text, from) + next.lineEnds;
            lineAt_ = next.at == std::string_view::npos ? text.size() : next.at;
            if (next.at == std::string_view::npos) {
                from = text.size();
                break;
            }
            cut = false;
            if (!spellsVariable(text, next.at) && !startsAt(text, next.at, "/*")) {
                from = next.at + 1;
                continue;
            }
            from = std::max(text.rfind('\n', next.at) + 1, from);  // 0 on the first line
            underWay_ = true;
            scan_ = {from, 0, false, false};
        }
        // Where the console ends the command that starts at `from`.
        Scan &s = scan_;
        const std::optional<std::size_t> end =
            cut ? scanAgain(index ? *index : index.emplace(text), s, from) : scanOn(text, s);
        if (!end && !last) {
            s.at -= from;
            break;
        }
        const std::size_t to = end.value_or(text.size());
        endsInComment_ = !end && s.inBlock;
        cut = to - from >= kLongestCommand;
        command(text, from, cut ? from + kLongestCommand : to, !end);
        from = cut ? from + kLongestCommand + 1 : to + 1;
        scan_ = {from, 0, cut && !end && s.inBlock, false};
        if (from >= text.size()) {
            underWay_ = false;
            from = text.size();
            break;
        }
        underWay_ = scan_.inBlock || text[from - 1] != '\n';
    }
    line_ = lineAt(text, from);
    return from;
}

// Adds the setting that the command text[from, to) makes. A command that
// spans lines is one that a comment kept open: what a person reads as
// settings after the comment's first "*/" is reported, as not applied.
void ConfigReader::command(std::string_view text, std::size_t from, std::size_t to, bool toTheEnd) {
    const std::string_view command = text.substr(from, to - from);
    words_.clear();
    tokenize(command, words_);
    std::optional<Setting> applied = settingOf(words_);
    const std::size_t first = words_.empty() ? 0 : words_[0].data() - text.data();
    if (applied) {
        applied->line = lineAt(text, first);
        const std::string_view value = words_.back();
        applied->valueAt = textAt_ + static_cast<std::size_t>(value.data() - text.data());
        applied->valueSize = value.size();
    }
    if (std::none_of(command.begin(), command.end(), lineEnd)) {
        if (applied)
            settings_.push_back(std::move(*applied));
        return;
    }
    std::vector<Setting> seen;
    bool changed = false;
    personsCommands(command, [&](std::size_t a, std::size_t b) {
        words_.clear();
        tokenize(command.substr(a, b - a), words_);
        std::optional<Setting> s = settingOf(words_);
        if (!s)
            return;
        const std::size_t at = words_[0].data() - text.data();
        if (applied && at == first) {
            changed = s->value != applied->value;
            return;
        }
        s->line = lineAt(text, at);
        s->applied = false;
        seen.push_back(std::move(*s));
    });
    if (!seen.empty() || changed) {
        const std::size_t opens = command.find("/*");
        Swallow swallow{lineAt(text, opens == std::string_view::npos ? from : from + opens),
                        std::nullopt};
        if (!toTheEnd)
            swallow.endLine = lineAt(text, to);
        for (Setting &s : seen)
            s.swallow = swallow;
        if (applied && changed)
            applied->swallow = swallow;
    }
    if (applied)
        settings_.push_back(std::move(*applied));
    std::move(seen.begin(), seen.end(), std::back_inserter(settings_));
}

namespace {

// One piece more of a text, unless it holds a NUL byte or makes the text too large.
std::optional<std::string> feed(ConfigReader &reader, std::string_view name, std::string_view piece,
                                std::size_t &total) {
    if (auto refused = refusedText(name, piece, reader.line(), total += piece.size()))
        return refused;
    reader.read(piece);
    return std::nullopt;
}

std::string cannotRead(std::string_view name) {
    return "cannot read " + std::string(name) + ": " + std::strerror(errno);
}

}  // namespace

std::optional<std::string> refusedText(std::string_view name, std::string_view text, int line,
                                       std::size_t size) {
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos)
        return std::string(name) + " is a binary file (a NUL byte on line " +
               std::to_string(line + std::count(text.begin(),
                                                text.begin() + static_cast<std::ptrdiff_t>(nul),
                                                '\n')) +
               "), not a configuration";
    if (std::max(size, text.size()) > kLargestConfiguration)
        return std::string(name) + " is too large for a configuration";
    return std::nullopt;
}

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

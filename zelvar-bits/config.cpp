#include "config.h"

#include <algorithm>
#include <array>

namespace zelvar::bits {

namespace {

// The console takes every control character and the blank as white space.
bool blank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool comment(std::string_view line, std::size_t i) {
    return line[i] == '/' && i + 1 < line.size() && line[i + 1] == '/';
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

// Whether one of the calculator's variables is spelt, in any case, across
// the '_' at `at`.
bool spellsVariable(std::string_view text, std::size_t at) {
    // Most '_' of a configuration belong to other names; the letters around it
    // turn nearly all of them away before any name is compared.
    static const std::uint32_t kLettersAfter = [] {
        std::uint32_t letters = 0;
        for (const Variable &v : variables())
            letters |= 1U << ((v.name[v.name.find('_') + 1] | 0x20) - 'a');
        return letters;
    }();
    const auto lowerAt = [&](std::ptrdiff_t offset) {
        const std::size_t i = at + static_cast<std::size_t>(offset);
        return i < text.size() ? text[i] | 0x20 : 0;
    };
    const int after = lowerAt(1) - 'a';
    if (after < 0 || after >= 26 || (kLettersAfter >> after & 1U) == 0 ||
        (lowerAt(-1) != 'g' && (lowerAt(-1) != 'v' || lowerAt(-2) != 'z')))  // "g_" or "zv_"
        return false;
    return std::any_of(variables().begin(), variables().end(), [&](const Variable &v) {
        const std::size_t before = v.name.find('_');
        return at >= before && sameIgnoringCase(text.substr(at - before, v.name.size()), v.name);
    });
}

void readLine(std::string_view line, int number, std::vector<std::string_view> &words,
              std::vector<Setting> &settings) {
    words.clear();
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && blank(line[i]) && line[i] != ';')
            ++i;
        if (i >= line.size() || comment(line, i))
            break;
        if (line[i] == ';') {
            command(words, number, settings);
            words.clear();
            ++i;
        } else if (line[i] == '"') {
            const std::size_t close = line.find('"', i + 1);
            words.push_back(line.substr(i + 1, close - i - 1));
            i = close == std::string_view::npos ? line.size() : close + 1;
        } else {
            const std::size_t from = i;
            while (i < line.size() && !blank(line[i]) && line[i] != ';' && line[i] != '"' &&
                   !comment(line, i))
                ++i;
            words.push_back(line.substr(from, i - from));
        }
    }
    command(words, number, settings);
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Counted in blocks of at most 255 bytes into a byte-wide sum, a loop that
// the compiler turns into vector instructions: sixteen bytes at a time.
int lineEnds(std::string_view text) {
    int n = 0;
    while (!text.empty()) {
        const std::size_t block = std::min<std::size_t>(text.size(), 255);
        unsigned char inBlock = 0;
        for (std::size_t i = 0; i < block; ++i)
            inBlock = static_cast<unsigned char>(inBlock + (text[i] == '\n' ? 1 : 0));
        n += inBlock;
        text.remove_prefix(block);
    }
    return n;
}

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
    return std::move(settings_);
}

int ConfigReader::line() const {
    return line_ + static_cast<int>(std::count(pending_.begin(), pending_.end(), '\n'));
}

// Only lines that spell one of the variables are read word by word: every
// name has a '_', which the search jumps to.
void ConfigReader::readLines(std::string_view text) {
    std::size_t counted = 0;  // the line ends before here are in line_
    for (std::size_t at = text.find('_'); at != std::string_view::npos;
         at = text.find('_', at + 1)) {
        if (!spellsVariable(text, at))
            continue;
        const std::size_t start = text.rfind('\n', at) + 1;  // 0 on the first line
        const std::size_t end = std::min(text.find('\n', at), text.size());
        line_ += lineEnds(text.substr(counted, start - counted));
        counted = start;
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        readLine(line, line_, words_, settings_);
        at = end;
    }
    line_ += lineEnds(text.substr(counted));
}

}  // namespace zelvar::bits

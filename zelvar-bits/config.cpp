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
    for (std::string_view set : kSets)
        if (word.size() == set.size() && std::equal(word.begin(), word.end(), set.begin(),
                                                    [](char a, char b) { return (a | 0x20) == b; }))
            return true;
    return false;
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
    const auto lowerAt = [&](std::size_t back) { return at >= back ? text[at - back] | 0x20 : 0; };
    if (lowerAt(1) != 'g' && (lowerAt(1) != 'v' || lowerAt(2) != 'z'))  // "g_" or "zv_"
        return false;
    for (const Variable &v : variables()) {
        const std::size_t before = v.name.find('_');
        if (at >= before && text.size() - (at - before) >= v.name.size() &&
            std::equal(v.name.begin(), v.name.end(), text.begin() + (at - before),
                       [](char a, char b) { return (a | 0x20) == (b | 0x20); }))
            return true;
    }
    return false;
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

}  // namespace

// Only lines that spell one of the variables are read word by word: every
// name has a '_', which the search jumps to.
std::vector<Setting> readConfig(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::vector<Setting> settings;
    std::vector<std::string_view> words;
    int number = 1;
    std::size_t counted = 0;  // the line ends before here are in `number`
    for (std::size_t at = text.find('_'); at != std::string_view::npos;
         at = text.find('_', at + 1)) {
        if (!spellsVariable(text, at))
            continue;
        const std::size_t start = text.rfind('\n', at) + 1;  // 0 on the first line
        const std::size_t end = std::min(text.find('\n', at), text.size());
        for (std::size_t i = counted; i < start; ++i)
            number += text[i] == '\n' ? 1 : 0;
        counted = start;
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        readLine(line, number, words, settings);
        at = end;
    }
    return settings;
}

}  // namespace zelvar::bits

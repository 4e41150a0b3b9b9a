#include "config.h"

#include <array>

namespace zelvar::bits {

namespace {

// The console takes every control character and the blank as white space.
bool blank(char c) { return static_cast<unsigned char>(c) <= ' '; }

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

}  // namespace

std::vector<Setting> readConfig(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::vector<Setting> settings;
    std::vector<std::string_view> words;
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        if (line.ends_with('\r'))
            line.remove_suffix(1);

        words.clear();
        std::size_t i = 0;
        while (true) {
            while (i < line.size() && blank(line[i]) && line[i] != ';')
                ++i;
            if (i >= line.size() || line.substr(i).starts_with("//"))
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
                       !line.substr(i).starts_with("//"))
                    ++i;
                words.push_back(line.substr(from, i - from));
            }
        }
        command(words, number, settings);
    }
    return settings;
}

}  // namespace zelvar::bits

#include "words.h"

#include "command.h"

#include <algorithm>
#include <array>

namespace zelvar {

bool isSetCommand(std::string_view word) {
    constexpr std::array<std::string_view, 4> kSets{"set", "seta", "sets", "setu"};
    return std::any_of(kSets.begin(), kSets.end(),
                       [word](std::string_view set) { return sameIgnoringCase(word, set); });
}

bool startsMap(std::span<const std::string_view> words) {
    constexpr std::array<std::string_view, 4> kMaps{"map", "devmap", "spmap", "spdevmap"};
    return words.size() >= 2 && std::any_of(kMaps.begin(), kMaps.end(), [&](std::string_view m) {
               return sameIgnoringCase(words[0], m);
           });
}

void splitWords(std::string_view text, std::vector<std::string_view> &words) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (true) {
        while (true) {
            while (i < n && isBlank(text[i]))
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
        while (i < n && !isBlank(text[i]) && text[i] != '"' &&
               !(text[i] == '/' && i + 1 < n && (text[i + 1] == '/' || text[i + 1] == '*')))
            ++i;
        words.push_back(text.substr(start, i - start));
    }
}

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
    s.bare = !set;
    s.valueWords = static_cast<int>(words.size() - name - 1);
    for (std::size_t i = name + 1; i < words.size(); ++i)
        (s.value += i > name + 1 ? " " : "") += words[i];
    if (!set && words.size() > 2 && readAsServer(words[1]).value != readAsServer(s.value).value)
        s.firstWordOnly = words[1];
    return s;
}

}  // namespace zelvar

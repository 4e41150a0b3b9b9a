#include "command.h"

#include <algorithm>

namespace zelvar {

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
        if (!s.inBlock && isLineEnd(c)) {
            s.inLine = false;
            return s.at;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> CommandIndex::endOf(Scan &s, std::size_t from) {
    const bool oddAt = odd(from);
    while (true) {
        const std::size_t at = s.inBlock  ? close(s.at, oddAt)
                               : s.inLine ? lineEnd(s.at)
                                          : event(s.at, oddAt);
        if (at == std::string_view::npos)
            break;
        if (s.inBlock) {
            s.inBlock = false;
            return at + 1;
        }
        if (s.inLine || isLineEnd(text_[at]) || text_[at] == ';') {
            s.inLine = false;
            return at;
        }
        (text_[at + 1] == '/' ? s.inLine : s.inBlock) = true;
        s.at = at + 1;
    }
    s.at = text_.size();
    s.quotes = odd(s.at) != oddAt ? 1 : 0;
    return std::nullopt;
}

bool CommandIndex::odd(std::size_t at) {
    for (; built_ <= at; ++built_) {
        if (built_ % 64 == 0)
            parity_.push_back(0);
        parity_.back() |= std::uint64_t{odd_} << (built_ % 64);
        odd_ ^= built_ < text_.size() && text_[built_] == '"' ? 1U : 0U;
    }
    return ((parity_[at / 64] >> (at % 64)) & 1U) != 0;
}

std::size_t CommandIndex::lineEnd(std::size_t from) {
    return find(memos_[0], from, [&](std::size_t i) { return isLineEnd(text_[i]); });
}

std::size_t CommandIndex::close(std::size_t from, bool oddAt) {
    return find(memos_[oddAt ? 2 : 1], from, [&](std::size_t i) {
        return text_[i] == '*' && startsAt(text_, i + 1, "/") && odd(i) == oddAt;
    });
}

std::size_t CommandIndex::event(std::size_t from, bool oddAt) {
    return find(memos_[oddAt ? 4 : 3], from, [&](std::size_t i) {
        const char c = text_[i];
        return isLineEnd(c) ||
               ((c == ';' || startsAt(text_, i, "//") || startsAt(text_, i, "/*")) &&
                odd(i) == oddAt);
    });
}

template <class Is> std::size_t CommandIndex::find(Memo &memo, std::size_t from, Is is) {
    if (memo.from <= from && from <= memo.found)
        return memo.found;
    const std::size_t stop = from < memo.from ? std::min(memo.from, text_.size()) : text_.size();
    std::size_t i = from;
    while (i < stop && !is(i))
        ++i;
    memo = {from, i < stop ? i : stop == text_.size() ? std::string_view::npos : memo.found};
    return memo.found;
}

}  // namespace zelvar

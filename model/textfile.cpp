#include "textfile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <istream>
#include <memory>

namespace zelvar {

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

std::optional<std::string> readWhole(const std::string &path, std::string &bytes) {
    const std::string name = quoted(path);
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> f(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
    if (!f)
        return cannotRead(name);
    std::array<char, 1 << 16> chunk{};
    bytes.clear();
    int line = 1;
    while (const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), f.get())) {
        const std::string_view piece(chunk.data(), n);
        if (auto refused = refusedText(name, piece, line, bytes.size() + n))
            return refused;
        line += static_cast<int>(std::count(piece.begin(), piece.end(), '\n'));
        bytes += piece;
    }
    if (std::ferror(f.get()) != 0)
        return cannotRead(name);
    return refusedText(name, bytes);
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

#include "textfile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace zelvar {

namespace {

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

std::optional<std::string> readWhole(const std::string &path, std::string &bytes, bool nulTaken) {
    const std::string name = quoted(path);
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> f(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
    if (!f)
        return cannotRead(name);
    std::array<char, 1 << 16> chunk{};
    bytes.clear();
    // Room for the whole at once, where the size is known: a string grown
    // piece by piece holds up to twice the file.
    if (std::fseek(f.get(), 0, SEEK_END) == 0) {
        const long size = std::ftell(f.get());
        if (size > 0)
            bytes.reserve(std::min(static_cast<std::size_t>(size), kLargestConfiguration) + 1);
        std::rewind(f.get());
    }
    int line = 1;
    while (const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), f.get())) {
        const std::string_view piece(chunk.data(), n);
        if (auto refused =
                refusedText(name, nulTaken ? std::string_view() : piece, line, bytes.size() + n))
            return refused;
        line += static_cast<int>(std::count(piece.begin(), piece.end(), '\n'));
        bytes += piece;
    }
    if (std::ferror(f.get()) != 0)
        return cannotRead(name);
    return nulTaken ? std::nullopt : refusedText(name, bytes);
}

std::uint64_t digestOf(std::string_view bytes) {
    std::uint64_t h = 0xCBF29CE484222325U;
    for (const char c : bytes)
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3U;
    return h;
}

std::string noSettingIn(std::string_view name) {
    return "no setting of the calculator's variables in " + std::string(name);
}

}  // namespace zelvar

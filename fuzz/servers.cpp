// The servers file and the selection: any text is taken or refused with a
// line, never past the library's buffer; what is taken selects each server
// once, by its address, and a word that could be a name is never an address.
#include "servers.h"
#include "reply.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    // The names asked for, after the last line end; the file before it.
    const std::size_t end = input.rfind('\n');
    const std::string_view text = input.substr(0, end == std::string_view::npos ? 0 : end);
    const std::string_view names = end == std::string_view::npos ? input : input.substr(end + 1);
    const auto file = zelvar::parseServers(text, "\"s.toml\"", "/z/");
    if (const auto *why = std::get_if<std::string>(&file)) {
        if (!why->starts_with("\"s.toml\" line "))
            std::abort();
        return 0;
    }
    const auto &servers = std::get<zelvar::Servers>(file);
    for (const zelvar::NamedServer &s : servers.servers)
        if (const auto again = zelvar::rcon::parseAddress(s.address.shown());
            s.address.host.empty() || std::get_if<zelvar::rcon::Address>(&again) == nullptr ||
            *std::get_if<zelvar::rcon::Address>(&again) != s.address)
            std::abort();
    const auto chosen = zelvar::selectServers(servers, {&names, 1});
    const auto *list = std::get_if<std::vector<zelvar::NamedServer>>(&chosen);
    for (std::size_t i = 0; list != nullptr && i < list->size(); ++i)
        for (std::size_t j = i + 1; j < list->size(); ++j)
            if ((*list)[i].address == (*list)[j].address)
                std::abort();
    // A word with no dot, colon or bracket that names no server is refused.
    for (std::size_t start = 0; list != nullptr && start <= names.size();) {
        const std::size_t comma = std::min(names.find(',', start), names.size());
        const std::string_view word = names.substr(start, comma - start);
        start = comma + 1;
        if (!word.starts_with('@') && word.find_first_of(".:[]") == std::string_view::npos &&
            std::none_of(servers.servers.begin(), servers.servers.end(),
                         [word](const zelvar::NamedServer &s) { return s.name == word; }))
            std::abort();
    }
    return 0;
}

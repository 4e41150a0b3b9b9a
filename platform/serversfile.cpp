#include "serversfile.h"

#include "textfile.h"
#include "tree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace zelvar {

namespace {

std::string environment(const char *name) {
    const char *value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::string serversFilePath(const std::optional<std::string> &named) {
    if (named)
        return *named;
    if (std::string set = environment(std::string(kServersVariable).c_str()); !set.empty())
        return set;
#ifdef _WIN32
    return environment("APPDATA") + "\\Zelvar\\servers.toml";
#else
    if (std::string xdg = environment("XDG_CONFIG_HOME"); !xdg.empty())
        return xdg + "/zelvar/servers.toml";
    return environment("HOME") + "/.config/zelvar/servers.toml";
#endif
}

std::variant<Servers, std::string> loadServers(const std::optional<std::string> &named) {
    const std::string path = serversFilePath(named);
    std::error_code error;
    if (!named && environment(std::string(kServersVariable).c_str()).empty() &&
        !std::filesystem::exists(path, error))
        return Servers{};
    std::string text;
    if (std::optional<std::string> why = readWhole(path, text))
        return "the servers file: " + *why;
    return parseServers(text, zelvar::quoted(path), folderOf(path));
}

std::variant<Password, std::string> passwordFromFile(const std::string &path, bool ownOnly) {
#ifndef _WIN32  // on Windows a profile's folders are the user's own
    using std::filesystem::perms;
    std::error_code error;
    const perms p = std::filesystem::status(path, error).permissions();
    if (ownOnly && !error && (p & (perms::group_all | perms::others_all)) != perms::none)
        return "the password file " + zelvar::quoted(path) +
               " may be read by others: make it yours alone (chmod 600), as ssh wants of a key";
#else
    static_cast<void>(ownOnly);
#endif
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line))
        return "cannot read the password file " + zelvar::quoted(path);
    if (line.ends_with('\r'))
        line.pop_back();
    return Password{line, "the password file " + zelvar::quoted(path)};
}

std::variant<NamedServer, std::string> oneServer(const std::string &named) {
    const auto file = loadServers(std::nullopt);
    if (const auto *why = std::get_if<std::string>(&file))
        return *why;
    const std::string_view name = named;
    auto chosen = selectServers(std::get<Servers>(file), {&name, 1});
    if (auto *why = std::get_if<std::string>(&chosen))
        return std::move(*why);
    auto &servers = std::get<std::vector<NamedServer>>(chosen);
    if (servers.size() != 1)
        return zelvar::quoted(named) + " names " + std::to_string(servers.size()) +
               " servers; a window shows one";
    return std::move(servers.front());
}

}  // namespace zelvar

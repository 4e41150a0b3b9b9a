#include "serversfile.h"

#include "textfile.h"

#include <cstdlib>
#include <filesystem>

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
    const std::size_t slash = path.find_last_of("/\\");
    return parseServers(text, zelvar::quoted(path),
                        slash == std::string::npos ? std::string() : path.substr(0, slash + 1));
}

std::optional<std::string> exposedPasswordFile(const std::string &path) {
#ifdef _WIN32
    static_cast<void>(path);  // the profile's folders are the user's own
    return std::nullopt;
#else
    using std::filesystem::perms;
    std::error_code error;
    const perms p = std::filesystem::status(path, error).permissions();
    if (error || (p & (perms::group_all | perms::others_all)) == perms::none)
        return std::nullopt;
    return "the password file " + zelvar::quoted(path) +
           " may be read by others: make it yours alone (chmod 600), as ssh wants of a key";
#endif
}

}  // namespace zelvar

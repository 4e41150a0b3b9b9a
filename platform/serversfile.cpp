#include "serversfile.h"

#include "textfile.h"
#include "tree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zelvar {

namespace {

std::string environment(const char *name) {
    const char *value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// Who may change the servers file decides where the passwords go: only
// the user, or root. A folder others may write lets them swap the file,
// unless it is sticky (as /tmp), where they may not; as ssh checks its
// config, so is every folder above it, up to the home folder.
std::optional<std::string> othersMayWrite(const std::string &path) {
#ifndef _WIN32
    namespace fs = std::filesystem;
    std::error_code error;
    const std::string home = environment("HOME");
    const fs::path top = home.empty() ? fs::path() : fs::absolute(home, error).lexically_normal();
    std::vector<std::string> checked{path};
    fs::path folder =
        fs::absolute(folderOf(path).empty() ? "." : folderOf(path), error).lexically_normal();
    for (int depth = 0; depth < 64 && !folder.empty(); ++depth) {  // bounded, whatever the path
        checked.push_back(folder.string());
        if (folder == top || folder == folder.parent_path())
            break;
        folder = folder.parent_path();
    }
    for (std::size_t i = 0; i < checked.size(); ++i) {
        const std::string &p = checked[i];
        const bool isFolder = i > 0;
        struct stat st {};
        if (::stat(p.c_str(), &st) != 0)
            continue;  // reading it says why
        const bool shared =
            (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !(isFolder && (st.st_mode & S_ISVTX) != 0);
        if (shared || (st.st_uid != ::getuid() && st.st_uid != 0))
            return "the servers file " + zelvar::quoted(path) + ": " +
                   (i == 1  ? "its folder " + zelvar::quoted(p)
                    : i > 1 ? "the folder " + zelvar::quoted(p) + " above it"
                            : std::string("it")) +
                   (shared ? " may be written by others, who could send the passwords "
                             "elsewhere: make it writable by you alone (chmod go-w)"
                           : " belongs to another user, who could send the passwords "
                             "elsewhere: keep one of your own") +
                   ", as ssh wants of its config";
    }
#else
    static_cast<void>(path);
#endif
    return std::nullopt;
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
        return Servers{{}, zelvar::quoted(path)};
    if (std::optional<std::string> why = othersMayWrite(path))
        return *why;
    std::string text;
    if (std::optional<std::string> why = readWhole(path, text))
        return "the servers file: " + *why;
    return parseServers(text, zelvar::quoted(path), folderOf(path));
}

std::variant<std::monostate, Password, std::string>
passwordWithoutAsking(const std::optional<std::string> &named, const NamedServer &server) {
    const auto fromFile = [](auto read) -> std::variant<std::monostate, Password, std::string> {
        if (auto *why = std::get_if<std::string>(&read))
            return std::move(*why);
        return std::get<Password>(std::move(read));
    };
    if (named)
        return fromFile(passwordFromFile(*named, false));
    if (server.passwordFile)
        return fromFile(passwordFromFile(*server.passwordFile, true, server.passwordFileAt));
    if (std::optional<Password> set = passwordFromEnvironment())
        return std::move(*set);
    return std::monostate{};
}

std::variant<Password, std::string> passwordFromFile(const std::string &path, bool ownOnly,
                                                     const std::string &where) {
#ifndef _WIN32  // on Windows a profile's folders are the user's own
    using std::filesystem::perms;
    std::error_code error;
    const perms p = std::filesystem::status(path, error).permissions();
    if (ownOnly && !error && (p & (perms::group_all | perms::others_all)) != perms::none)
        return where + "the password file " + zelvar::quoted(path) +
               " may be read by others: make it yours alone (chmod 600), as ssh wants of a key";
#else
    static_cast<void>(ownOnly);
#endif
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line))
        return where + "cannot read the password file " + zelvar::quoted(path);
    if (line.ends_with('\r'))
        line.pop_back();
    return Password{line, "the password file " + zelvar::quoted(path), PasswordFrom::File};
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

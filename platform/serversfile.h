// Finding and reading the servers file (servers.h says what it holds):
// --servers FILE, else ZELVAR_SERVERS, else servers.toml in the user's
// configuration folder ($XDG_CONFIG_HOME/zelvar/, else ~/.config/zelvar/;
// %APPDATA%\Zelvar\ on Windows). And the check that a password file is the
// user's own, as ssh checks a key.
#pragma once

#include "servers.h"

#include <optional>
#include <string>
#include <variant>

namespace zelvar {

inline constexpr std::string_view kServersVariable = "ZELVAR_SERVERS";

std::string serversFilePath(const std::optional<std::string> &named);
// The servers in it: none when no file was named and the usual one does not
// exist; or what is wrong, with its line.
std::variant<Servers, std::string> loadServers(const std::optional<std::string> &named);
// Why a password file may not be used (others may read it), or none.
std::optional<std::string> exposedPasswordFile(const std::string &path);

}  // namespace zelvar

// Finding and reading the servers file (servers.h says what it holds):
// --servers FILE, else ZELVAR_SERVERS, else servers.toml in the user's
// configuration folder ($XDG_CONFIG_HOME/zelvar/, else ~/.config/zelvar/;
// %APPDATA%\Zelvar\ on Windows), refused where others may write it or its
// folder, as ssh refuses such a config: they could send the password to an
// address of theirs. And the check that a password file is the user's own,
// as ssh checks a key.
#pragma once

#include "remote.h"
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
// The password on a file's first line (a CR before its end taken off), or
// why not, after `where` the file is named; a servers file's password file
// (`ownOnly`) must be the user's alone, as ssh wants of a key.
std::variant<Password, std::string> passwordFromFile(const std::string &path, bool ownOnly,
                                                     const std::string &where = {});

// The first steps of the one order every front-end finds a password in: a
// file the command line names (`named`, read as the user chose it), else the
// server's password file, else ZELVAR_RCON_PASSWORD. Nothing found here, the
// system keyring comes next, and last the front-end asks. A file that is
// refused is said why.
std::variant<std::monostate, Password, std::string>
passwordWithoutAsking(const std::optional<std::string> &named, const NamedServer &server);

// The one server `named` names for a window: a server of the usual servers
// file, or an address; or why not (a group is no one server).
std::variant<NamedServer, std::string> oneServer(const std::string &named);

}  // namespace zelvar

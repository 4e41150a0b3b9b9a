// The servers an admin runs, named once in a servers file (TOML):
//
//   [servers.ffa]
//   address = "192.0.2.10:29070"
//   configuration = "/srv/ffa/base/server.cfg"   # optional; paths are
//   game_dir = "/srv/ffa/base"                   # taken from the file's
//   password_file = "ffa.password"               # own folder
//   groups = ["clan"]
//
// game_dir may list the server's folders in the order its engine looks:
//   game_dir = ["/home/ffa/.q3a/zv", "/srv/ffa/zv", "/srv/ffa/base"]
// command_line is the one the host starts the server with (a string, or a
// list of words), so that its configuration is read as that start runs it:
//   command_line = "+set dedicated 2 +exec server.cfg +map mp/ffa1"
// engine says which engine runs it, for where it looks in a folder first:
// "game" (the game's own: archives first) or "ioquake3" (loose files first).
// configuration and game_dir may be locations on a file host
// ("sftp://srv@192.0.2.10:2022/home/srv/.q3a/zv/server.cfg"); for FTP,
// ftp_password_file names the password's file, and plain_ftp = true allows
// FTP without TLS.
//
// parseServers reads it, each mistake said with its line; selectServers
// turns what a command line names (a server's name, @GROUP, @all, an
// address, or a comma-separated list of them) into servers, in the order
// named. Finding and reading the file is the platform layer's.
#pragma once

#include "reply.h"
#include "tree.h"
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zelvar {

struct NamedServer {
    std::string name;  // as the file names it; an address, for one named by it
    rcon::Address address;
    std::optional<std::string> configuration;
    std::vector<std::string> gameDirs;       // where exec finds its files, in order; none: beside
    std::optional<std::string> commandLine;  // as the engine joins it
    std::optional<FolderOrder> order;        // where the file names its engine
    std::optional<std::string> passwordFile;
    std::string passwordFileAt;  // "\"servers.toml\" line 4: ", where the file names it
    std::vector<std::string> groups;
    // Of its configuration on an FTP host: the password's file, and whether
    // plain FTP (the password in clear) is the admin's choice.
    std::optional<std::string> ftpPasswordFile;
    bool plainFtp = false;

    // The configuration is what the server runs as it starts.
    Startup startup() const { return {ReadAs::Start, commandLine, order}; }
    // "ffa (127.0.0.1:29070)", or the address alone for one named by it.
    std::string shown() const {
        const std::string at = address.shown();
        return name == at ? at : name + " (" + at + ")";
    }
};

struct Servers {
    std::vector<NamedServer> servers;
    std::string file;  // what a message calls the servers file, there or not
};

// The text of a servers file called `name`, its relative paths taken from
// `folder` ("" or ending in a separator); or what is wrong, with its line.
std::variant<Servers, std::string> parseServers(std::string_view text, std::string_view name,
                                                const std::string &folder);

// What `names` name, each server once however it is named, in the order
// named; or why not. A word that could be a name in the file (no dot, colon
// or bracket) is one: if the file has no such name it is refused, never
// looked up as a host, where a password would go to whoever answers. An
// address the file holds is that server, with its password file.
std::variant<std::vector<NamedServer>, std::string>
selectServers(const Servers &servers, std::span<const std::string_view> names);

// Whether `word` may name servers rather than be a LINE: it names no variable.
bool namesServers(std::string_view word);

}  // namespace zelvar

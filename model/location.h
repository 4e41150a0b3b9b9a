// A configuration where it lives: on this machine, or on a file host the
// admin reaches over SFTP, FTPS or FTP, named by a location:
//
//   sftp://[USER@]HOST[:PORT]/PATH    ftps://…    ftp://…
//
// PATH is the file's path as that host's server gives it, from its root
// ("sftp://srv@192.0.2.10:2022/home/srv/.q3a/base/server.cfg"). A location
// is used as a path throughout: its folder is the text up to its last '/',
// so exec's folders and the files it finds compose as on disk, and a
// message names each file by the location the admin wrote. The host and its
// user reach a program's arguments, so neither may begin with '-'; a
// password never stands in a location (it is found as the console's is).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace zelvar {

enum class Scheme { Sftp, Ftps, Ftp };

struct Location {
    Scheme scheme = Scheme::Sftp;
    std::string user;  // none: the client's own (ssh's config, or "anonymous")
    std::string host;  // an IPv6 address without its brackets
    std::optional<std::uint16_t> port;
    std::string path;  // from the host's root, '/' first

    // "sftp://user@host:port": one connection serves every file of it.
    std::string origin() const;
    std::string_view schemeName() const;
};

// Whether the text names a file host rather than a file here: it begins
// with a scheme's "NAME://", in any case.
bool isLocation(std::string_view text);
// The location a text holds alone on its line (pasted, dropped), if any.
std::optional<std::string> locationIn(std::string_view text);
// The location, or what is wrong with it.
std::variant<Location, std::string> parseLocation(std::string_view text);

}  // namespace zelvar

// Replacing a configuration file in one step, or not at all. A file is read
// whole together with what identifies its state (size, modification time,
// content); the new bytes go to a temporary file beside it, which takes the
// original's mode, owner and group, reaches the disk, and is renamed over
// the original only if the original is still as it was read. Where the
// temporary file cannot take the owner or group (the user is not root, and
// the file is the server's), the file is rewritten in place instead, so that
// the server may still read it: a copy of its bytes kept beside it until the
// new bytes read back whole, and put back on any failure. A symbolic link is
// followed and its target replaced; a dangling link, a file with several
// hard links and a directory are refused. On any failure the file is as it
// was and no temporary file is left. One implementation for POSIX systems,
// one for Windows.
#pragma once

#include "filehost.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace zelvar {

struct Snapshot {
    std::string target;  // the file itself, links followed
    bool exists = false;
    std::string bytes;         // which a caller may let go once it has what it needs
    std::uint64_t digest = 0;  // of the bytes, which tells them apart when replacing
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // in the platform's finest unit
};

// The file as it is now, or why it cannot be replaced. `name` is what a
// message calls it; `largest` bounds what is read.
std::variant<Snapshot, std::string> takeSnapshot(const std::string &path, std::string_view name,
                                                 std::size_t largest);

// Writes `bytes` in place of the file of `was`: how, or why not (the file
// then as it was).
std::variant<WrittenAs, std::string> replaceFile(const Snapshot &was, std::string_view name,
                                                 std::string_view bytes);

// What is said when the file changed between reading and writing.
inline constexpr std::string_view kChangedOnDisk = "changed on disk since it was read";

}  // namespace zelvar

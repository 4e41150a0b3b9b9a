// Replacing a configuration file in one step, or not at all. A file is read
// whole together with what identifies its state (size, modification time,
// content); the new bytes go to a temporary file beside it, which takes the
// original's mode (and owner, where allowed), reaches the disk, and is renamed
// over the original only if the original is still as it was read. A symbolic
// link is followed and its target replaced; a dangling link, a file with
// several hard links and a directory are refused. On any failure the file is
// untouched and no temporary file is left. One implementation for POSIX
// systems, one for Windows.
#pragma once

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

// Writes `bytes` in place of the file of `was`; nothing, or why not.
std::optional<std::string> replaceFile(const Snapshot &was, std::string_view name,
                                       std::string_view bytes);

// What is said when the file changed between reading and writing.
inline constexpr std::string_view kChangedOnDisk = "changed on disk since it was read";

}  // namespace zelvar

// Replacing a file on a file host, where renaming is not what it is at home.
// OpenSSH's SFTP server replaces a file only through posix-rename, several
// panels' servers and ProFTPD refuse any rename onto an existing file, and
// some accounts may not create a file at all. So the file is fetched again
// and compared with what was read (changed since: nothing is written); the
// new bytes go to a temporary name beside it, with the original's mode; that
// is renamed over the original, or, where the host refuses, the original is
// moved aside first and put back on any failure; where nothing may be made,
// the file is rewritten in place, which is not one step. The file is always
// read back and compared with what was meant; the original is never removed
// before the new bytes are whole on the host, and what was moved aside goes
// only once the read-back matches. Each step is the host's (a FileHost: the
// real ones speak SFTP or FTP, a test's keeps its files in memory).
#pragma once

#include "tree.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zelvar {

// One connection's worth of steps. Each returns why it failed, in the
// host's own words, or nothing when done.
class FileHost {
public:
    virtual ~FileHost() = default;
    struct Entry {
        std::string name;
        std::uint64_t size = 0;
        bool folder = false;
        std::optional<unsigned> mode;  // permission bits, where the host tells them
        // A link's target as the host shows it ("" where it shows none); its
        // size and mode are the link's own.
        std::optional<std::string> linkTo;
    };
    using Listing = std::variant<std::vector<Entry>, std::string>;
    virtual Listing list(const std::string &folder) = 0;
    // The whole file, up to `largest` bytes (more: refused).
    virtual FileText fetch(const std::string &path, std::size_t largest) = 0;
    // Its bytes from `from` to its end, which an archive's directory is in.
    virtual FileText tail(const std::string &path, std::uint64_t from) = 0;
    // Makes or truncates the file and writes the bytes.
    virtual std::optional<std::string> store(const std::string &path, std::string_view bytes) = 0;
    virtual std::optional<std::string> chmod(const std::string &path, unsigned mode) = 0;
    // Onto an existing file where the host allows it (posix-rename).
    virtual std::optional<std::string> rename(const std::string &from, const std::string &to) = 0;
    virtual std::optional<std::string> remove(const std::string &path) = 0;
};

// How a file took its new bytes, here or on a host.
enum class WrittenAs {
    Replaced,  // a new file renamed over it, in one step
    // Its own bytes rewritten, a copy of the old ones beside it until the new
    // read back whole: the way that keeps an owner and group this user may
    // not give (the server's own, on a machine where the admin is in its group).
    InPlace,
    AsideFirst,  // the host renames nothing onto a file: the old moved aside, the new renamed in
    Rewritten,   // nothing may be made beside it on the host: rewritten, not in one step
    // A link whose target the host does not show: rewritten through it, not
    // in one step, so that it stays a link to the file others share.
    ThroughLink,
};
std::string_view writtenAsName(WrittenAs how);

struct HostResult {
    std::optional<WrittenAs> how;  // none: not written
    // Why not, or what went wrong after; always what became of the file.
    std::string said;
};

// What a message says when the file changed on the host since it was read.
inline constexpr std::string_view kChangedOnHost = "changed on the server since it was read";

// Writes `bytes` in place of the file at `path`, which was read with
// `wasDigest` over `wasSize` bytes; `name` is what a message calls it.
HostResult replaceOnHost(FileHost &host, const std::string &path, std::string_view name,
                         std::uint64_t wasDigest, std::uint64_t wasSize, std::string_view bytes,
                         std::size_t largest);

}  // namespace zelvar

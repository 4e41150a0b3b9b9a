// The file hosts one command reaches: each location's host connected once,
// on first use, and kept for every file of it; a folder listed once, a file
// fetched once. Reading a tree goes through disk(): a location is read from
// its host, any other path from this machine's disk. Writing goes through
// replace(), which takes the host's own way (filehost.h).
//
// SFTP goes through the system's OpenSSH client, so that the admin's
// ~/.ssh/config, agent, keys and known_hosts apply; it runs in batch mode
// and never asks: a host key not yet known is refused with its fingerprint.
// ZELVAR_SFTP names another client program (a path), as GIT_SSH does.
#pragma once

#include "filehost.h"
#include "location.h"
#include "replace.h"
#include "tree.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

namespace zelvar {

// What is read of a file on a host at most: a configuration is far smaller.
inline constexpr std::size_t kLargestOnHost = std::size_t{16} << 20;
// How far back from an archive's end it is read: its directory, and a
// configuration stored near it (a map's archive holds maps before them).
inline constexpr std::uint64_t kLargestArchiveTail = std::uint64_t{32} << 20;

// A listing as `ls -l` writes it, which OpenSSH's sftp and FTP servers'
// LIST both give: PERMS LINKS OWNER GROUP SIZE MONTH DAY TIME NAME (the
// name, or a path ending in it) a line; other lines are passed over.
std::vector<FileHost::Entry> listedEntries(const std::string &text);
// The entry at `path` as what it leads to: a link followed, on the host, to
// what its target's folder lists (hosts link shared archives and files into
// each server's folder), a few links deep at most. `path` is the file's own.
struct Followed {
    std::string path;
    std::optional<FileHost::Entry> entry;  // none: not there, or `error`
    std::optional<std::string> error;      // a listing that failed, a loop of links
};
Followed followed(FileHost &host, const std::string &path);
// Why the file at `path` cannot be fetched whole: not there, a folder,
// larger than `largest`; none when it can.
std::optional<FileText> unfetchable(FileHost &host, const std::string &path, std::size_t largest);

// What the servers file says of a host: how to log in over FTP, and whether
// plain FTP, which sends the password in clear, is the admin's choice.
struct HostTerms {
    std::optional<std::string> passwordFile;  // the user's alone, as the console's
    bool plainFtp = false;
    // Asks the user whether to trust a host key not yet known, its
    // fingerprint in the question: a window asks; none refuses, as
    // zelvar-bits does, never prompting.
    std::function<bool(const std::string &question)> trust;
    // Whether the user gave up waiting (Escape): a step that reads then ends
    // at once. A step once the host is written to is never cut short, so
    // that a file is never left half replaced.
    std::function<bool()> givenUp;
};
// Where an FTP password is read from, after the servers file's password file.
inline constexpr std::string_view kFtpPasswordVariable = "ZELVAR_FTP_PASSWORD";

// A connection to the host of a location, or why there is none; `notice`
// gets what each use must say (plain FTP).
using OpenHost = std::function<std::variant<std::unique_ptr<FileHost>, std::string>(
    const Location &at, const HostTerms &terms, std::vector<std::string> &notices)>;
std::variant<std::unique_ptr<FileHost>, std::string>
openHost(const Location &at, const HostTerms &terms, std::vector<std::string> &notices);

class Hosts {
public:
    explicit Hosts(OpenHost open = openHost);
    ~Hosts();
    Hosts(const Hosts &) = delete;
    Hosts &operator=(const Hosts &) = delete;

    // The servers file's terms for the host of a location, before it is reached.
    void agree(const std::string &location, HostTerms terms);
    // What each host's use must say, once each.
    std::vector<std::string> notices();

    // `local`, with every location read from its host.
    Disk disk(const Disk &local = {});
    // The file at a location, read whole, as a replace will need it.
    std::variant<Snapshot, std::string> snapshot(const std::string &location);
    // An archive on a host, read from its end as far back as asked.
    std::optional<ArchiveFile> archive(const std::string &location, std::string &why);
    std::variant<WrittenAs, std::string> replace(const Snapshot &was, std::string_view name,
                                                 std::string_view bytes);

private:
    // One host's connection, or why there is none; its steps one at a time.
    struct Known {
        std::mutex busy;
        bool tried = false;
        std::variant<std::unique_ptr<FileHost>, std::string> host;
        std::map<std::string, FileHost::Listing> listings;  // by the folder's path there
        std::map<std::string, FileText> read;               // by the file's path there
    };
    // The host of a location, locked and connected on first use; or why not.
    struct Reached {
        std::unique_lock<std::mutex> lock;
        Known *known = nullptr;
        Location at;
        std::optional<std::string> why;
        FileHost &host() const { return *std::get<std::unique_ptr<FileHost>>(known->host); }
    };
    Reached reach(const std::string &text);
    FileText read(const std::string &location, bool again = false);

    OpenHost open_;
    std::map<std::string, HostTerms> terms_;  // by origin
    std::vector<std::string> notices_;
    std::mutex hostsBusy_;  // servers are worked at once: each host's own lock is taken after
    std::map<std::string, std::unique_ptr<Known>> hosts_;
};

}  // namespace zelvar

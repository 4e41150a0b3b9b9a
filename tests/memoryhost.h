// A file host in memory, for the tests that reach one in process: its
// files, and the ways real hosts differ, each a switch.
#pragma once

#include "filehost.h"
#include "hosts.h"

#include <map>
#include <memory>

struct MemoryHost final : zelvar::FileHost {
    struct File {
        std::string bytes;
        unsigned mode = 0644;
    };
    std::map<std::string, File> files;
    bool renamesOntoFiles = true;  // posix-rename
    bool renames = true;
    bool creates = true;
    bool dropsUploads = false;  // a new file gets half its bytes, then the connection goes
    bool staysGone = false;     // and never comes back
    std::string refusing;       // a file name no store may write, new or in place
    std::string edited;  // someone else writes this file as it is fetched again to be written
    int fetches = 0;
    bool gone = false;
    Listing list(const std::string &folder) override {
        if (gone)
            return "Connection closed";
        std::vector<Entry> entries;
        for (const auto &[path, f] : files)
            if (zelvar::folderOf(path) == folder)
                entries.push_back({zelvar::fileNameOf(path), f.bytes.size(), false, f.mode, {}});
        return entries;
    }
    zelvar::FileText fetch(const std::string &path, std::size_t /*largest*/) override {
        if (path == edited && ++fetches == 2)
            files[path].bytes += "seta zv_chatMask 1\n";
        const auto f = files.find(path);
        return f == files.end() ? zelvar::FileText{std::nullopt, "no such file", true}
                                : zelvar::FileText{f->second.bytes, {}};
    }
    zelvar::FileText tail(const std::string &path, std::uint64_t from) override {
        zelvar::FileText t = fetch(path, 0);
        if (t.bytes)
            t.bytes->erase(0, from);
        return t;
    }
    std::optional<std::string> store(const std::string &path, std::string_view bytes) override {
        const bool fresh = files.count(path) == 0;
        if (fresh && !creates)
            return "Permission denied";
        if (gone)
            return "Connection closed";
        if (!refusing.empty() && path.find(refusing) != std::string::npos)
            return "Permission denied";
        if (fresh && dropsUploads) {
            files[path] = {std::string(bytes.substr(0, bytes.size() / 2)), 0600};
            gone = staysGone;
            return "Connection closed";
        }
        files[path].bytes = bytes;
        if (fresh)
            files[path].mode = 0600;
        return std::nullopt;
    }
    std::optional<std::string> chmod(const std::string &path, unsigned mode) override {
        files.at(path).mode = mode;
        return std::nullopt;
    }
    std::optional<std::string> rename(const std::string &from, const std::string &to) override {
        if (!renames || (files.count(to) != 0 && !renamesOntoFiles))
            return "Failure";
        files[to] = files.at(from);
        files.erase(from);
        return std::nullopt;
    }
    std::optional<std::string> remove(const std::string &path) override {
        if (gone)
            return "Connection closed";
        return files.erase(path) != 0 ? std::nullopt : std::optional<std::string>("No such file");
    }
};

// The host as a command reaches it: the test keeps the host itself.
struct Reaching final : zelvar::FileHost {
    zelvar::FileHost &host;
    explicit Reaching(zelvar::FileHost &h) : host(h) {}
    Listing list(const std::string &f) override { return host.list(f); }
    zelvar::FileText fetch(const std::string &p, std::size_t n) override {
        return host.fetch(p, n);
    }
    zelvar::FileText tail(const std::string &p, std::uint64_t from) override {
        return host.tail(p, from);
    }
    std::optional<std::string> store(const std::string &p, std::string_view b) override {
        return host.store(p, b);
    }
    std::optional<std::string> chmod(const std::string &p, unsigned m) override {
        return host.chmod(p, m);
    }
    std::optional<std::string> rename(const std::string &f, const std::string &t) override {
        return host.rename(f, t);
    }
    std::optional<std::string> remove(const std::string &p) override { return host.remove(p); }
};

// Opens `host` for every location of `origin`, counting each connection.
inline zelvar::OpenHost reaching(zelvar::FileHost &host, const std::string &origin, int &opened) {
    return [&host, origin, &opened](const zelvar::Location &at, const zelvar::HostTerms &,
                                    std::vector<std::string> &)
               -> std::variant<std::unique_ptr<zelvar::FileHost>, std::string> {
        ++opened;
        if (at.origin() != origin)
            return "wrong host " + at.origin();
        return std::make_unique<Reaching>(host);
    };
}

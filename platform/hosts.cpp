#include "hosts.h"

#include "textfile.h"
#include "words.h"

#include <algorithm>
#include <array>
#include <sstream>

namespace zelvar {

namespace {

std::optional<FileHost::Entry> listedEntry(const std::string &line) {
    std::istringstream words(line);
    std::array<std::string, 8> field;
    for (std::string &f : field)
        words >> f;
    if (!words || field[0].size() != 10 ||
        field[4].find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    std::string name;
    std::getline(words, name);
    if (!name.empty() && name.front() == ' ')
        name.erase(0, 1);
    while (!name.empty() && name.back() == '\r')
        name.pop_back();
    FileHost::Entry e;
    if (field[0][0] == 'l') {
        const std::size_t arrow = name.find(" -> ");
        e.linkTo = arrow == std::string::npos ? std::string() : name.substr(arrow + 4);
        name.resize(std::min(arrow, name.size()));
    }
    e.name = fileNameOf(name);
    if (e.name.empty() || e.name == "." || e.name == "..")
        return std::nullopt;
    e.folder = field[0][0] == 'd';
    unsigned mode = 0;
    for (std::size_t i = 1; i < 10; ++i)
        if (field[0][i] != '-')
            mode |= 1U << (9 - i);
    e.mode = mode;
    e.size = std::strtoull(field[4].c_str(), nullptr, 10);
    return e;
}

}  // namespace

std::vector<FileHost::Entry> listedEntries(const std::string &text) {
    std::vector<FileHost::Entry> entries;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (std::optional<FileHost::Entry> e = listedEntry(line))
            entries.push_back(std::move(*e));
    return entries;
}

// A link's target as a path on the host: from its folder, "." and ".." taken.
std::string targetOf(const std::string &folder, const std::string &linkTo) {
    std::vector<std::string> parts;
    std::istringstream steps(linkTo.starts_with('/') ? linkTo : folder + '/' + linkTo);
    for (std::string step; std::getline(steps, step, '/');)
        if (step == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!step.empty() && step != ".") {
            parts.push_back(step);
        }
    std::string path;
    for (const std::string &p : parts)
        (path += '/') += p;
    return path.empty() ? "/" : path;
}

Followed followed(FileHost &host, const std::string &path) {
    Followed f{path, std::nullopt, std::nullopt};
    for (int links = 0; links <= 8; ++links) {
        const std::string folder = folderOf(f.path);
        FileHost::Listing listing = host.list(folder);
        if (std::string *why = std::get_if<std::string>(&listing)) {
            f.error = std::move(*why);
            return f;
        }
        auto &entries = std::get<std::vector<FileHost::Entry>>(listing);
        const auto e = std::find_if(entries.begin(), entries.end(), [&](const FileHost::Entry &x) {
            return x.name == fileNameOf(f.path);
        });
        if (e == entries.end())
            return f;
        if (!e->linkTo) {
            f.entry = std::move(*e);
            return f;
        }
        if (!e->linkTo->empty()) {  // FTP servers show where it leads
            f.path = targetOf(folder, *e->linkTo);
            continue;
        }
        // OpenSSH's shows no target, but lists a link's own path as what it leads to.
        FileHost::Listing itself = host.list(f.path);
        auto *one = std::get_if<std::vector<FileHost::Entry>>(&itself);
        if (one == nullptr || one->size() != 1 || one->front().linkTo) {
            f.error = "its link leads to nothing that can be read";
            return f;
        }
        f.entry = std::move(one->front());
        return f;
    }
    f.error = "more than 8 links, one to the next";
    return f;
}

std::optional<FileText> unfetchable(FileHost &host, const std::string &path, std::size_t largest) {
    FileText text;
    const Followed f = followed(host, path);
    text.missing = !f.entry && !f.error;
    if (f.error)
        text.error = *f.error;
    else if (text.missing)
        text.error = "no such file on the server";
    else if (f.entry->folder)
        text.error = "a folder";
    else if (f.entry->size > largest)
        text.error = "larger than " + std::to_string(largest >> 20) + " MiB";
    else
        return std::nullopt;
    return text;
}

Hosts::Hosts(OpenHost open) : open_(std::move(open)) {}
Hosts::~Hosts() = default;

Hosts::Reached Hosts::reach(const std::string &text) {
    Reached r;
    auto parsed = parseLocation(text);
    if (const std::string *why = std::get_if<std::string>(&parsed)) {
        r.why = zelvar::quoted(text) + ": " + *why;
        return r;
    }
    r.at = std::get<Location>(std::move(parsed));
    {
        const std::lock_guard<std::mutex> hosts(hostsBusy_);
        std::unique_ptr<Known> &known = hosts_[r.at.origin()];
        if (!known)
            known = std::make_unique<Known>();
        r.known = known.get();
    }
    r.lock = std::unique_lock<std::mutex>(r.known->busy);
    if (!r.known->tried) {
        r.known->tried = true;
        HostTerms terms;
        std::vector<std::string> notices;
        {
            const std::lock_guard<std::mutex> hosts(hostsBusy_);
            if (const auto t = terms_.find(r.at.origin()); t != terms_.end())
                terms = t->second;
        }
        r.known->host =
            open_ ? open_(r.at, terms, notices) : std::string("no file host is reached here");
        const std::lock_guard<std::mutex> hosts(hostsBusy_);
        notices_.insert(notices_.end(), notices.begin(), notices.end());
    }
    if (const std::string *why = std::get_if<std::string>(&r.known->host))
        r.why = *why;
    return r;
}

FileText Hosts::read(const std::string &location, bool again) {
    Reached r = reach(location);
    if (r.why)
        return {std::nullopt, "cannot read " + zelvar::quoted(location) + ": " + *r.why};
    if (!again)
        if (const auto known = r.known->read.find(r.at.path); known != r.known->read.end())
            return known->second;
    FileText text = r.host().fetch(r.at.path, kLargestOnHost);
    if (!text.bytes)
        text.error = "cannot read " + zelvar::quoted(location) + ": " + text.error;
    return r.known->read[r.at.path] = text;
}

void Hosts::agree(const std::string &location, HostTerms terms) {
    const auto parsed = parseLocation(location);
    if (const Location *at = std::get_if<Location>(&parsed)) {
        const std::lock_guard<std::mutex> hosts(hostsBusy_);
        terms_[at->origin()] = std::move(terms);
    }
}

std::vector<std::string> Hosts::notices() {
    const std::lock_guard<std::mutex> hosts(hostsBusy_);
    return std::exchange(notices_, {});
}

Disk Hosts::disk(const Disk &local) {
    Disk d;
    d.read = [this, local](const std::string &path) {
        return isLocation(path) ? read(path) : local.read(path);
    };
    d.archives = [this, local](const std::string &folder) {
        if (!isLocation(folder))
            return local.archives(folder);
        std::vector<std::string> found;
        Reached r = reach(folder + "x");
        if (r.why)
            return found;
        const std::string path = folderOf(r.at.path);
        auto [listed, fresh] = r.known->listings.try_emplace(path);
        if (fresh)
            listed->second = r.host().list(path);
        if (const auto *entries = std::get_if<std::vector<FileHost::Entry>>(&listed->second))
            for (const FileHost::Entry &e : *entries)
                if (!e.folder && e.name.size() > 4 &&
                    sameIgnoringCase(std::string_view(e.name).substr(e.name.size() - 4), ".pk3"))
                    found.push_back(e.name);
        return found;
    };
    d.open = [this, local](const std::string &path,
                           std::string &why) -> std::optional<ArchiveFile> {
        if (!isLocation(path))
            return local.open(path, why);
        return archive(path, why);
    };
    return d;
}

std::optional<ArchiveFile> Hosts::archive(const std::string &location, std::string &why) {
    Reached r = reach(location);
    if (r.why) {
        why = *r.why;
        return std::nullopt;
    }
    const std::string folder = folderOf(r.at.path);
    auto [listed, fresh] = r.known->listings.try_emplace(folder);
    if (fresh)
        listed->second = r.host().list(folder);
    if (const std::string *failed = std::get_if<std::string>(&listed->second)) {
        why = *failed;
        return std::nullopt;
    }
    const auto &entries = std::get<std::vector<FileHost::Entry>>(listed->second);
    const auto e = std::find_if(entries.begin(), entries.end(), [&](const FileHost::Entry &x) {
        return x.name == fileNameOf(r.at.path);
    });
    if (e == entries.end()) {
        why = "it is no longer there";
        return std::nullopt;
    }
    std::uint64_t size = e->size;
    if (e->linkTo) {  // its size is that of the archive it leads to
        const Followed f = followed(r.host(), r.at.path);
        if (!f.entry) {
            why = f.error.value_or("its link leads to nothing");
            return std::nullopt;
        }
        size = f.entry->size;
    }
    // Its end is fetched once, from as far back as a read asks: the
    // directory, and the rare configuration inside; never more than a bound.
    struct Tail {
        std::uint64_t from = 0;
        std::string bytes;
        bool fetched = false;
    };
    auto tail = std::make_shared<Tail>();
    return ArchiveFile{
        size, [this, location, size, tail](std::uint64_t at, std::size_t count, std::string &into) {
            if (at + count > size)
                return false;
            if (!tail->fetched || at < tail->from) {
                if (size - at > kLargestArchiveTail)
                    return false;  // said as the read that fails
                Reached r = reach(location);
                if (r.why)
                    return false;
                FileText text = r.host().tail(r.at.path, at);
                if (!text.bytes || text.bytes->size() != size - at)
                    return false;
                *tail = {at, std::move(*text.bytes), true};
            }
            into.assign(tail->bytes, at - tail->from, count);
            return true;
        }};
}

std::variant<Snapshot, std::string> Hosts::snapshot(const std::string &location) {
    // What is written is planned from the bytes as they are now.
    FileText text = read(location, true);
    Snapshot s;
    s.target = location;
    if (text.missing)
        return s;
    if (!text.bytes)
        return text.error;
    s.exists = true;
    s.bytes = std::move(*text.bytes);
    s.digest = digestOf(s.bytes);
    s.size = s.bytes.size();
    return s;
}

std::variant<WrittenAs, std::string> Hosts::replace(const Snapshot &was, std::string_view name,
                                                    std::string_view bytes) {
    Reached r = reach(was.target);
    if (r.why)
        return *r.why;
    r.known->read.erase(r.at.path);
    // Through a link, as the server reads it: the file it leads to is
    // replaced where the host shows which, and the link stays.
    const Followed f = followed(r.host(), r.at.path);
    const HostResult done = replaceOnHost(r.host(), f.entry ? f.path : r.at.path, name, was.digest,
                                          was.size, bytes, kLargestOnHost);
    if (!done.how)
        return done.said;
    return *done.how;
}

}  // namespace zelvar

#include "replace.h"

#include "textfile.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zelvar {

namespace {

std::string failed(std::string_view what, std::string_view name) {
    return "cannot " + std::string(what) + ' ' + std::string(name) + ": " + std::strerror(errno);
}

std::int64_t modifiedOf(const struct stat &st) {
    return std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
}

// Closes on every path out.
struct Descriptor {
    int fd;
    explicit Descriptor(int d) : fd(d) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    bool close() { return ::close(std::exchange(fd, -1)) == 0; }
};

// The file at `target` as it is: its bytes, size and modification time.
std::variant<Snapshot, std::string> readState(const std::string &target, std::string_view name,
                                              std::size_t largest) {
    Snapshot s;
    s.target = target;
    const Descriptor file(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0) {
        if (errno == ENOENT)
            return s;  // a file to create
        return failed("read", name);
    }
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        return failed("read", name);
    if (S_ISDIR(st.st_mode))
        return std::string(name) + " is a folder, not a configuration";
    if (!S_ISREG(st.st_mode))
        return std::string(name) + " is not a regular file";
    if (st.st_nlink > 1)
        return std::string(name) + " has " + std::to_string(st.st_nlink) +
               " hard links, which replacing it would part";
    if (static_cast<std::uint64_t>(st.st_size) > largest)
        return std::string(name) + " is too large for a configuration";
    s.bytes.resize(static_cast<std::size_t>(st.st_size) + 1);  // one more: a file that grew
    std::size_t got = 0;
    while (got < s.bytes.size()) {
        const ssize_t n = ::read(file.fd, s.bytes.data() + got, s.bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failed("read", name);
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    s.bytes.resize(got);
    s.digest = digestOf(s.bytes);
    s.exists = true;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.modified = modifiedOf(st);
    return s;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::variant<Snapshot, std::string> takeSnapshot(const std::string &path, std::string_view name,
                                                 std::size_t largest) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0)
        return errno == ENOENT ? readState(path, name, largest) : failed("read", name);
    if (!S_ISLNK(link.st_mode))
        return readState(path, name, largest);
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                           &std::free);
    if (!real)
        return errno == ENOENT ? std::string(name) + " is a symbolic link to nothing"
                               : failed("read", name);
    return readState(real.get(), name, largest);
}

namespace {

// Whether the file at `target` is still as `was` read it; its bytes, when it is.
std::optional<Snapshot> unchanged(const Snapshot &was, std::string_view name, std::size_t room) {
    auto now = readState(was.target, name, was.size + room + 1);
    auto *same = std::get_if<Snapshot>(&now);
    if (same == nullptr || same->exists != was.exists || same->size != was.size ||
        same->modified != was.modified || same->digest != was.digest)
        return std::nullopt;
    return std::move(*same);
}

// `bytes` written over the whole of the open file, its length cut to them, on the disk.
bool overwrite(int fd, std::string_view bytes) {
    return ::lseek(fd, 0, SEEK_SET) == 0 && writeAll(fd, bytes) &&
           ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0;
}

// Whether the file holds exactly `bytes`, read back from the disk's copy.
bool holds(const std::string &target, std::string_view bytes) {
    const auto back = readState(target, {}, bytes.size() + 1);
    const auto *read = std::get_if<Snapshot>(&back);
    return read != nullptr && read->exists && read->bytes == bytes;
}

// The file's own bytes rewritten, so that it keeps its owner, group and
// mode: a copy of the old bytes beside it first, put back on any failure,
// removed once the new bytes read back whole.
std::variant<WrittenAs, std::string> rewriteInPlace(const Snapshot &was, std::string_view name,
                                                    std::string_view bytes,
                                                    const std::string &folder,
                                                    const std::string &copyName) {
    const std::optional<Snapshot> old = unchanged(was, name, bytes.size());
    if (!old)
        return std::string(name) + ' ' + std::string(kChangedOnDisk) + "; it is as it was";
    // Opened for writing first: a file this user may not write is refused
    // before anything is made beside it.
    Descriptor file(::open(was.target.c_str(), O_WRONLY | O_CLOEXEC));
    if (file.fd < 0)
        return failed("write", name) + "; it is as it was";
    std::string copy = copyName;
    Descriptor kept(::mkstemp(copy.data()));
    if (kept.fd < 0)
        return failed("keep a copy of", name) +
               " beside it, which keeping its owner and group needs; it is as it was";
    if (::fchmod(kept.fd, 0600) != 0 || !writeAll(kept.fd, old->bytes) || ::fsync(kept.fd) != 0 ||
        !kept.close()) {
        const std::string why = failed("keep a copy of", name);
        ::unlink(copy.c_str());
        return why + "; it is as it was";
    }
    const bool wrote = overwrite(file.fd, bytes) && file.close();
    const std::string why =
        wrote ? std::string(name) + " did not read back as written" : failed("write", name);
    if (wrote && holds(was.target, bytes)) {
        ::unlink(copy.c_str());
        const Descriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (directory.fd >= 0)
            ::fsync(directory.fd);
        return WrittenAs::InPlace;
    }
    // The old bytes back, from memory; the copy goes only once they read back.
    const Descriptor again(::open(was.target.c_str(), O_WRONLY | O_CLOEXEC));
    if (again.fd >= 0 && overwrite(again.fd, old->bytes) && holds(was.target, old->bytes)) {
        ::unlink(copy.c_str());
        return why + "; it is as it was";
    }
    return why + "; it may be damaged: its bytes before are in " + copy;
}

}  // namespace

std::variant<WrittenAs, std::string> replaceFile(const Snapshot &was, std::string_view name,
                                                 std::string_view bytes) {
    // Past a file-size limit a write is to fail with EFBIG, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::size_t slash = was.target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : was.target.substr(0, slash + 1);
    std::string temp = (slash == std::string::npos ? std::string() : folder) + '.' +
                       was.target.substr(slash + 1) + ".XXXXXX";
    const std::string copyName = temp;
    struct stat st {};
    const bool exists = was.exists && ::stat(was.target.c_str(), &st) == 0;
    Descriptor file(::mkstemp(temp.data()));
    // A file of another owner, or of a group this user cannot give, keeps
    // both only when its own bytes are rewritten: a new file would be this
    // user's, and the server might no longer read it.
    if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
        (file.fd < 0 || ::fchown(file.fd, st.st_uid, st.st_gid) != 0)) {
        if (file.fd >= 0)
            ::unlink(temp.c_str());
        return rewriteInPlace(was, name, bytes, folder, copyName);
    }
    if (file.fd < 0)
        return failed("write", name) + "; it is as it was";
    const auto undo = [&](std::string why) {
        ::unlink(temp.c_str());
        return std::move(why) + "; it is as it was";
    };
    if (exists) {
        // Given even where this user's own: a setgid folder gives its group.
        if (::fchmod(file.fd, st.st_mode & 07777) != 0 ||
            ::fchown(file.fd, st.st_uid, st.st_gid) != 0)
            return undo(failed("write", name));
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(file.fd, 0666 & ~mask) != 0)
            return undo(failed("write", name));
    }
    if (!writeAll(file.fd, bytes) || ::fsync(file.fd) != 0 || !file.close())
        return undo(failed("write", name));
    // Still as it was read: nobody wrote it meanwhile.
    if (!unchanged(was, name, bytes.size()))
        return undo(std::string(name) + ' ' + std::string(kChangedOnDisk));
    if (::rename(temp.c_str(), was.target.c_str()) != 0)
        return undo(failed("write", name));
    const Descriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.fd >= 0)
        ::fsync(directory.fd);  // the rename itself on the disk
    return WrittenAs::Replaced;
}

}  // namespace zelvar

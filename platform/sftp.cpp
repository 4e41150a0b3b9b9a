// SFTP through the system's OpenSSH client: `sftp -b -`, each step a batch
// of commands on standard input, its exit status saying whether all of it
// was done. The steps of one command share one connection, which the first
// step opens as OpenSSH's master (ControlMaster) in a folder of our own, and
// the last ends; Windows' OpenSSH has no such master, so there each step
// connects anew. BatchMode: nothing prompts; a key it cannot use, a host
// key it does not know, are refused by ssh itself.
#include "program.h"
#include "rcon.h"
#include "transports.h"
#include "words.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zelvar {

namespace {

constexpr std::chrono::seconds kStepWithin{30};
constexpr std::string_view kTempName = "zelvar-sftp-";
#ifdef _WIN32
constexpr bool kShared = false;  // no ControlMaster in Windows' OpenSSH
#else
constexpr bool kShared = true;
#endif

// One of OpenSSH's clients: on Windows the one Windows ships, in its own
// folder, which PATH may not name.
std::string client(const std::string &name) {
    std::error_code error;
    if (const auto shipped = shippedWithWindows("OpenSSH/" + name + ".exe");
        shipped && std::filesystem::is_regular_file(*shipped, error))
        return *shipped;
    return name;
}

std::string program() {
    const char *named = std::getenv("ZELVAR_SFTP");
    return named != nullptr && *named != '\0' ? std::string(named) : client("sftp");
}

// The client reads its commands' words itself: a path goes in double quotes,
// and one it would take as a pattern, or cannot quote, is refused.
std::optional<std::string> unquotable(const std::string &path) {
    if (path.find_first_of("\"\\*?[]") != std::string::npos)
        return zelvar::quoted(path) +
               " holds a character that sftp reads as a pattern or a quote (\" \\ * ? [ ])";
    return std::nullopt;
}

std::string q(const std::string &path) { return '"' + path + '"'; }

class SftpHost final : public FileHost {
public:
    SftpHost(Location at, std::string folder, std::function<bool()> givenUp)
        : at_(std::move(at)), folder_(std::move(folder)), givenUp_(std::move(givenUp)) {}
    ~SftpHost() override {
        if (master_) {
            std::vector<std::string> words{
                client("ssh"),     "-o", "ControlPath=" + q(folder_ + "/cm"), "-O", "exit", "--",
                destination(false)};
            runProgram(words, {}, std::chrono::seconds(5));
        }
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    // The first step: whether the host is reached at all. A host key ssh
    // refuses is named with its fingerprint and what the admin can do.
    std::optional<std::string> connect(const std::function<bool(const std::string &)> &trust) {
        const Ran ran = batch("pwd\n");
        if (ran.exit == 0)
            return std::nullopt;
        std::string keys;
        switch (hostKeyOf(ran.err)) {
        case HostKey::Accepted:
            break;
        case HostKey::Changed:
            return "its host key is not the one known_hosts holds for it (" +
                   fingerprintIn(ran.err) +
                   "): OpenSSH refuses it, and so does zelvar-bits, since someone may stand "
                   "between you and the server; if your host says it changed the key, " +
                   "ssh-keygen -R \"" + knownName() + "\" forgets the old one";
        case HostKey::Unknown:
            const std::string prints = scannedFingerprints(keys);
            if (trust && !keys.empty() &&
                trust("The host key of " + at_.origin() + " is not yet known: " + prints +
                      ".\n\nTrust it only if that is the fingerprint your host gives."))
                return trusted(keys);
            return "its host key is not yet known (" + prints +
                   "); if that is the fingerprint your host gives, accept it once in a "
                   "terminal, where OpenSSH shows it and asks: sftp " +
                   (at_.port ? "-P " + std::to_string(*at_.port) + " " : std::string()) +
                   destination(true);
        }
        return said(ran);
    }

    // The keys shown, and no other, are the host's: ssh checks them against
    // a file of those alone, and they are kept where ssh keeps known hosts.
    std::optional<std::string> trusted(const std::string &keys) {
        trustedFile_ = folder_ + "/trusted";
        {
            std::ofstream out(trustedFile_, std::ios::binary | std::ios::trunc);
            out << keys;
        }
        const Ran ran = batch("pwd\n");
        if (ran.exit != 0)
            return "the host key trusted, the host was still not reached: " + said(ran);
        const Ran config =
            runProgram({client("ssh"), "-G", "-p", std::to_string(at_.port.value_or(22)), "--",
                        destination(false)},
                       {}, std::chrono::seconds(5));
        std::istringstream lines(config.out);
        for (std::string line; std::getline(lines, line);)
            if (line.starts_with("userknownhostsfile ")) {
                std::istringstream files(line.substr(19));
                std::string file;
                files >> file;
                if (file.starts_with('~'))
                    continue;  // an OpenSSH that does not expand it: not a path of ours
                std::error_code ignored;
                std::filesystem::create_directories(folderOf(file), ignored);
                std::ofstream(file, std::ios::binary | std::ios::app) << keys;
            }
        return std::nullopt;
    }

    Listing list(const std::string &folder) override {
        std::string path = folder.size() > 1 && folder.ends_with('/')
                               ? folder.substr(0, folder.size() - 1)
                               : folder;
        if (auto why = unquotable(path))
            return *why;
        const Ran ran = batch("ls -la " + q(path) + '\n');
        if (ran.exit != 0)
            return said(ran);
        return listedEntries(ran.out);
    }

    FileText fetch(const std::string &path, std::size_t largest) override {
        FileText text;
        if (auto why = unquotable(path)) {
            text.error = *why;
            return text;
        }
        if (std::optional<FileText> refused = unfetchable(*this, path, largest))
            return *refused;
        const std::string local = folder_ + "/got";
        std::error_code gone;
        const Ran ran = batch("get " + q(path) + " got\n");
        std::ifstream in(local, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        std::filesystem::remove(local, gone);
        if (ran.exit != 0) {
            text.error = said(ran);
            return text;
        }
        text.bytes = std::move(bytes);
        return text;
    }

    // `reget` goes on from the local file's end: one of `from` bytes, all
    // a hole, takes the rest.
    FileText tail(const std::string &path, std::uint64_t from) override {
        FileText text;
        if (auto why = unquotable(path)) {
            text.error = *why;
            return text;
        }
        const std::string local = folder_ + "/tail";
        std::error_code error;
        { std::ofstream(local, std::ios::binary | std::ios::trunc); }
        std::filesystem::resize_file(local, from, error);
        const Ran ran = error ? Ran{} : batch("reget " + q(path) + " tail\n");
        std::ifstream in(local, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(from));
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        std::filesystem::remove(local, error);
        if (ran.exit != 0) {
            text.error = ran.started ? said(ran) : "its end could not be fetched";
            return text;
        }
        text.bytes = std::move(bytes);
        return text;
    }

    std::optional<std::string> store(const std::string &path, std::string_view bytes) override {
        if (auto why = unquotable(path))
            return why;
        const std::string local = folder_ + "/put";
        std::error_code gone;
        {
            std::ofstream out(local, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            if (!out.flush())
                return "could not stage the bytes to send";
        }
        wrote_ = true;
        const Ran ran = batch("put put " + q(path) + '\n');
        std::filesystem::remove(local, gone);
        return ran.exit == 0 ? std::nullopt : std::optional(said(ran));
    }
    std::optional<std::string> chmod(const std::string &path, unsigned mode) override {
        wrote_ = true;
        std::ostringstream octal;
        octal << std::oct << mode;
        return step("chmod " + octal.str() + ' ' + q(path), path);
    }
    std::optional<std::string> rename(const std::string &from, const std::string &to) override {
        if (auto why = unquotable(to))
            return why;
        wrote_ = true;
        return step("rename " + q(from) + ' ' + q(to), from);
    }
    std::optional<std::string> remove(const std::string &path) override {
        wrote_ = true;
        return step("rm " + q(path), path);
    }

private:
    enum class HostKey { Accepted, Unknown, Changed };
    // OpenSSH's own words for the two refusals, which it has kept for decades.
    static HostKey hostKeyOf(const std::string &err) {
        if (err.find("Host key verification failed.") == std::string::npos)
            return HostKey::Accepted;
        return err.find("REMOTE HOST IDENTIFICATION HAS CHANGED") != std::string::npos
                   ? HostKey::Changed
                   : HostKey::Unknown;
    }
    static std::string fingerprintIn(const std::string &err) {
        const std::size_t at = err.find("SHA256:");
        if (at == std::string::npos)
            return "its fingerprint not shown";
        const std::size_t end = err.find_first_of(". \r\n", at);
        return err.substr(at, end == std::string::npos ? std::string::npos : end - at);
    }
    // How known_hosts names the host.
    std::string knownName() const {
        return at_.port && *at_.port != 22 ? '[' + at_.host + "]:" + std::to_string(*at_.port)
                                           : at_.host;
    }
    // The host's keys as it offers them, each "ED25519 SHA256:…"; their
    // lines, as known_hosts holds them, into `keys`.
    std::string scannedFingerprints(std::string &keys) const {
        std::vector<std::string> scan{client("ssh-keyscan"), "-T", "5"};
        if (at_.port) {
            scan.emplace_back("-p");
            scan.push_back(std::to_string(*at_.port));
        }
        scan.emplace_back("--");
        scan.push_back(at_.host);
        const Ran scanned = runProgram(scan, {}, std::chrono::seconds(10));
        const Ran prints = scanned.exit == 0 ? runProgram({client("ssh-keygen"), "-l", "-f", "-"},
                                                          scanned.out, std::chrono::seconds(5))
                                             : Ran{};
        keys = scanned.exit == 0 ? scanned.out : std::string();
        std::string out;
        std::istringstream lines(prints.out);
        for (std::string line; std::getline(lines, line);) {
            // BITS FINGERPRINT NAME (TYPE)
            std::istringstream words(line);
            std::string bits;
            std::string print;
            std::string name;
            std::string type;
            words >> bits >> print >> name >> type;
            if (type.size() > 2)
                (out += out.empty() ? "" : ", ") += type.substr(1, type.size() - 2) + ' ' + print;
        }
        return out.empty() ? std::string("its fingerprint could not be fetched") : out;
    }

    std::optional<std::string> step(const std::string &command, const std::string &path) {
        if (auto why = unquotable(path))
            return why;
        const Ran ran = batch(command + '\n');
        return ran.exit == 0 ? std::nullopt : std::optional(said(ran));
    }

    std::string destination(bool bracketed) const {
        const std::string host =
            bracketed && at_.host.find(':') != std::string::npos ? '[' + at_.host + ']' : at_.host;
        return at_.user.empty() ? host : at_.user + '@' + host;
    }

    Ran batch(const std::string &commands) {
        std::vector<std::string> words{program(),
                                       "-b",
                                       "-",
                                       "-o",
                                       "BatchMode=yes",
                                       "-o",
                                       "ConnectTimeout=10",
                                       "-o",
                                       "ServerAliveInterval=5",
                                       "-o",
                                       "ServerAliveCountMax=2"};
        if (kShared)
            words.insert(words.end(),
                         {"-o", "ControlMaster=auto", "-o", "ControlPath=" + q(folder_ + "/cm"),
                          "-o", "ControlPersist=30"});
        if (at_.port) {
            words.emplace_back("-P");
            words.push_back(std::to_string(*at_.port));
        }
        if (!trustedFile_.empty()) {
            words.emplace_back("-o");
            words.push_back("UserKnownHostsFile=" + q(trustedFile_));  // a path may hold a blank
        }
        words.emplace_back("--");
        words.push_back(destination(true));
        // Local files by their names alone, in our folder: no local path to quote.
        Ran ran = runProgram(words, commands, kStepWithin, std::size_t{1} << 20, folder_,
                             wrote_ ? std::function<bool()>() : givenUp_);
        master_ = kShared && (master_ || ran.exit == 0);
        return ran;
    }

    // What went wrong, in the client's words: its last line of errors.
    std::string said(const Ran &ran) const {
        if (!ran.started)
#ifdef _WIN32
            return "the OpenSSH client \"" + program() +
                   "\" could not be started: Windows ships it as System32\\OpenSSH\\sftp.exe; "
                   "add \"OpenSSH Client\" in Settings, Apps, Optional features, or name "
                   "another sftp in ZELVAR_SFTP";
#else
            return "the OpenSSH client \"" + program() + "\" could not be started; install it";
#endif
        if (ran.stopped)
            return rcon::cancelledWait(at_.origin());
        if (ran.timedOut)
            return "no answer from " + at_.origin() + " within " +
                   std::to_string(kStepWithin.count()) + " s";
        std::string err = ran.err;
        // sftp's own ending says nothing of why.
        for (bool trimmed = true; trimmed;) {
            while (!err.empty() && (err.back() == '\n' || err.back() == '\r'))
                err.pop_back();
            trimmed = err.ends_with("Connection closed");
            if (trimmed)
                err.resize(err.size() - std::string_view("Connection closed").size());
        }
        const std::size_t line = err.find_last_of('\n');
        err = line == std::string::npos ? err : err.substr(line + 1);
        return err.empty() ? "sftp ended with status " + std::to_string(ran.exit.value_or(-1))
                           : err;
    }

    Location at_;
    std::string folder_;
    std::string trustedFile_;  // the keys the user trusted, checked by ssh
    bool master_ = false;
    std::function<bool()> givenUp_;
    bool wrote_ = false;  // from the first write on, no step is cut short
};

}  // namespace

std::variant<std::unique_ptr<FileHost>, std::string> openSftp(const Location &at,
                                                              const HostTerms &terms) {
    // For the shared connection and the bytes on their way.
    const std::optional<std::string> folder = privateFolder(kTempName);
    if (!folder)
        return std::string("no private folder for the connection could be made");
    auto host = std::make_unique<SftpHost>(at, *folder, terms.givenUp);
    if (std::optional<std::string> why = host->connect(terms.trust))
        return *why;
    return std::unique_ptr<FileHost>(std::move(host));
}

}  // namespace zelvar

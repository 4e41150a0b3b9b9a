// FTP, one connection per host where it can be kept: ftps:// is FTP on its
// usual port with TLS required for the login and every transfer (AUTH TLS),
// the certificate checked against the system's authorities, or
// CURL_CA_BUNDLE's file as curl takes it. Paths go from the server's root
// (the URL's "%2F"), each step with the whole path; renames, removals and
// modes are the protocol's own commands. A step is carried by libcurl,
// whose one easy handle keeps the connection, or by the curl program
// (ZELVAR_CURL, or on Windows the curl.exe Windows ships), a connection a
// step, its password given on its standard input, never in its arguments.
#include "program.h"
#include "transports.h"

#include "rcon.h"
#include "remote.h"
#include "serversfile.h"
#include "words.h"

#ifdef ZELVAR_LIBCURL
#include <curl/curl.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

namespace zelvar {

namespace {

constexpr long kConnectWithin = 10;  // s
constexpr long kStepWithin = 60;     // s, a whole transfer
constexpr long kStalledFor = 20;     // s without a byte
constexpr std::size_t kLargestListing = std::size_t{4} << 20;

// A URL's part, each byte outside the unreserved ones and "/" escaped.
std::string escaped(std::string_view part) {
    std::string out;
    for (const char c : part) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) != 0 || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            constexpr std::string_view hex = "0123456789ABCDEF";
            ((out += '%') += hex[u >> 4]) += hex[u & 15];
        }
    }
    return out;
}

// One step: a transfer from or to a path, or commands and no transfer.
struct Step {
    explicit Step(std::string address, std::size_t kept = kLargestListing)
        : url(std::move(address)), largest(kept) {}
    std::string url;
    std::size_t largest = kLargestListing;  // bytes kept of what comes back
    std::vector<std::string> quote;
    const std::string_view *upload = nullptr;
    std::uint64_t resumeFrom = 0;
};

struct Done {
    std::optional<std::string> error;
    std::string bytes;
    bool over = false;  // more came back than was wanted
    bool loginDenied = false;
    bool stopped = false;  // the user gave up
};

struct Login {
    std::string user;
    std::string password;  // empty: ~/.netrc's, if any
    bool tls = true;
};

class Carrier {
public:
    virtual ~Carrier() = default;
    // `givenUp`: none, or whether to end the step at once.
    virtual Done perform(const Step &step, const Login &login,
                         const std::function<bool()> &givenUp) = 0;
};

#ifdef ZELVAR_LIBCURL
struct Into {
    std::string bytes;
    std::size_t largest = 0;
    bool over = false;
};

std::size_t collect(char *data, std::size_t size, std::size_t count, void *to) {
    auto *into = static_cast<Into *>(to);
    if (into->bytes.size() + size * count > into->largest) {
        into->over = true;
        return 0;  // ends the transfer
    }
    into->bytes.append(data, size * count);
    return size * count;
}

struct From {
    std::string_view bytes;
    std::size_t at = 0;
};

int progressed(void *givenUp, curl_off_t /*down*/, curl_off_t /*downNow*/, curl_off_t /*up*/,
               curl_off_t /*upNow*/) {
    const auto *asked = static_cast<const std::function<bool()> *>(givenUp);
    return *asked && (*asked)() ? 1 : 0;  // non-zero ends the transfer
}

std::size_t give(char *data, std::size_t size, std::size_t count, void *from) {
    auto *f = static_cast<From *>(from);
    const std::size_t n = std::min(size * count, f->bytes.size() - f->at);
    std::copy_n(f->bytes.data() + f->at, n, data);
    f->at += n;
    return n;
}

class Libcurl final : public Carrier {
public:
    Libcurl() : curl_(curl_easy_init()) {}
    ~Libcurl() override {
        if (curl_ != nullptr)
            curl_easy_cleanup(curl_);
    }
    Libcurl(const Libcurl &) = delete;
    Libcurl &operator=(const Libcurl &) = delete;
    bool ready() const { return curl_ != nullptr; }

    Done perform(const Step &step, const Login &login,
                 const std::function<bool()> &givenUp) override {
        curl_easy_reset(curl_);  // the connection stays
        char error[CURL_ERROR_SIZE] = {};
        curl_easy_setopt(curl_, CURLOPT_URL, step.url.c_str());
        curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, error);
        curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT, kConnectWithin);
        curl_easy_setopt(curl_, CURLOPT_TIMEOUT, kStepWithin);
        curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_TIME, kStalledFor);
        curl_easy_setopt(curl_, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
        if (login.tls)
            curl_easy_setopt(curl_, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        if (const char *authorities = std::getenv("CURL_CA_BUNDLE"))
            curl_easy_setopt(curl_, CURLOPT_CAINFO, authorities);
        if (!login.user.empty())
            curl_easy_setopt(curl_, CURLOPT_USERNAME, login.user.c_str());
        if (!login.password.empty())
            curl_easy_setopt(curl_, CURLOPT_PASSWORD, login.password.c_str());
        else
            curl_easy_setopt(curl_, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
        if (step.resumeFrom != 0)
            curl_easy_setopt(curl_, CURLOPT_RESUME_FROM_LARGE,
                             static_cast<curl_off_t>(step.resumeFrom));
        if (givenUp) {
            curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, 0L);
            curl_easy_setopt(curl_, CURLOPT_XFERINFOFUNCTION, progressed);
            curl_easy_setopt(curl_, CURLOPT_XFERINFODATA, &givenUp);
        }
        Into into{{}, step.largest};
        curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &into);
        curl_slist *quote = nullptr;
        for (const std::string &line : step.quote)
            quote = curl_slist_append(quote, line.c_str());
        if (quote != nullptr) {
            curl_easy_setopt(curl_, CURLOPT_QUOTE, quote);
            curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
        }
        From from{step.upload != nullptr ? *step.upload : std::string_view()};
        if (step.upload != nullptr) {
            curl_easy_setopt(curl_, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(curl_, CURLOPT_READFUNCTION, give);
            curl_easy_setopt(curl_, CURLOPT_READDATA, &from);
            curl_easy_setopt(curl_, CURLOPT_INFILESIZE_LARGE,
                             static_cast<curl_off_t>(from.bytes.size()));
        }
        const CURLcode code = curl_easy_perform(curl_);
        curl_slist_free_all(quote);
        Done done;
        done.bytes = std::move(into.bytes);
        done.over = into.over;
        done.loginDenied = code == CURLE_LOGIN_DENIED;
        done.stopped = code == CURLE_ABORTED_BY_CALLBACK;
        // libcurl's words; never a URL, which could hold nothing secret but is long.
        if (code != CURLE_OK)
            done.error =
                error[0] != '\0' ? std::string(error) : std::string(curl_easy_strerror(code));
        return done;
    }

private:
    CURL *curl_;
};
#endif

// The curl program: its options those of libcurl above, the login in a
// configuration it reads from its standard input.
class CurlProgram final : public Carrier {
public:
    CurlProgram(std::string program, std::string folder)
        : program_(std::move(program)), folder_(std::move(folder)) {}
    ~CurlProgram() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    CurlProgram(const CurlProgram &) = delete;
    CurlProgram &operator=(const CurlProgram &) = delete;

    Done perform(const Step &step, const Login &login,
                 const std::function<bool()> &givenUp) override {
        std::vector<std::string> words{program_,
                                       "--silent",
                                       "--show-error",
                                       "--config",
                                       "-",
                                       "--proto",
                                       "=ftp",
                                       "--ftp-method",
                                       "nocwd",
                                       "--connect-timeout",
                                       std::to_string(kConnectWithin),
                                       "--max-time",
                                       std::to_string(kStepWithin),
                                       "--speed-limit",
                                       "1",
                                       "--speed-time",
                                       std::to_string(kStalledFor)};
        if (login.tls)
            words.emplace_back("--ssl-reqd");
        if (const char *authorities = std::getenv("CURL_CA_BUNDLE"))
            words.insert(words.end(), {"--cacert", authorities});
        if (login.password.empty())
            words.emplace_back("--netrc-optional");
        if (step.resumeFrom != 0)
            words.insert(words.end(), {"--continue-at", std::to_string(step.resumeFrom)});
        for (const std::string &line : step.quote)
            words.insert(words.end(), {"--quote", line});
        if (!step.quote.empty())
            words.emplace_back("--head");
        const std::string staged = folder_ + "/put";
        if (step.upload != nullptr) {
            std::ofstream out(staged, std::ios::binary | std::ios::trunc);
            out.write(step.upload->data(), static_cast<std::streamsize>(step.upload->size()));
            if (!out.flush()) {
                Done failed;
                failed.error = "could not stage the bytes to send";
                return failed;
            }
            words.insert(words.end(), {"--upload-file", staged});
        }
        words.emplace_back("--");
        // A user without a password is named in the address, so that curl
        // takes the password from ~/.netrc rather than asking for one.
        words.push_back(login.password.empty() && !login.user.empty()
                            ? "ftp://" + escaped(login.user) + '@' + step.url.substr(6)
                            : step.url);
        // The configuration's own quoting: a backslash and a quote escaped.
        std::string config;
        if (!login.password.empty()) {
            config = "user = \"";
            for (const char c : login.user + ':' + login.password)
                ((c == '"' || c == '\\') ? (config += '\\') : config) += c;
            config += "\"\n";
        }
        Ran ran = runProgram(words, config, std::chrono::seconds(kStepWithin + 5), step.largest + 1,
                             {}, givenUp);
        std::fill(config.begin(), config.end(), '\0');
        if (step.upload != nullptr) {
            std::error_code ignored;
            std::filesystem::remove(staged, ignored);
        }
        Done done;
        if (!step.quote.empty())
            ran.out.clear();  // what --head says of the folder
        done.over = ran.out.size() > step.largest;
        done.bytes = std::move(ran.out);
        if (ran.exit == 0 && !done.over)
            return done;
        done.loginDenied = ran.exit == 67;
        done.stopped = ran.stopped;
        std::string err = ran.err;
        while (!err.empty() && (err.back() == '\n' || err.back() == '\r'))
            err.pop_back();
        const std::size_t line = err.find_last_of('\n');
        err = line == std::string::npos ? err : err.substr(line + 1);
        done.error = !ran.started ? "the curl program \"" + program_ +
                                        "\" could not be started (Windows ships it from "
                                        "Windows 10 on); name another in ZELVAR_CURL"
                     : ran.timedOut ? "no answer within " + std::to_string(kStepWithin) + " s"
                     : done.over    ? std::string("more than was asked for came back")
                     : err.empty()
                         ? "curl ended with status " + std::to_string(ran.exit.value_or(-1))
                         : err;
        return done;
    }

private:
    std::string program_;
    std::string folder_;
};

class FtpHost final : public FileHost {
public:
    FtpHost(const Location &at, Login login, std::unique_ptr<Carrier> carrier,
            std::function<bool()> givenUp)
        : origin_(at.origin()), login_(std::move(login)), carrier_(std::move(carrier)),
          givenUp_(std::move(givenUp)) {
        std::string host = at.host.find(':') != std::string::npos ? '[' + at.host + ']' : at.host;
        base_ = "ftp://" + host + (at.port ? ':' + std::to_string(*at.port) : std::string());
    }
    ~FtpHost() override { std::fill(login_.password.begin(), login_.password.end(), '\0'); }
    FtpHost(const FtpHost &) = delete;
    FtpHost &operator=(const FtpHost &) = delete;

    std::optional<std::string> connect() { return perform(Step(url("/"))).error; }

    Listing list(const std::string &folder) override {
        Done done = perform(Step(url(folder.ends_with('/') ? folder : folder + '/')));
        if (done.error)
            return *done.error;
        return listedEntries(done.bytes);
    }

    FileText fetch(const std::string &path, std::size_t largest) override {
        if (std::optional<FileText> refused = unfetchable(*this, path, largest))
            return *refused;
        FileText text;
        Done done = perform(Step(url(path), largest));
        if (done.error)
            text.error =
                done.over ? "larger than " + std::to_string(largest >> 20) + " MiB" : *done.error;
        else
            text.bytes = std::move(done.bytes);
        return text;
    }

    FileText tail(const std::string &path, std::uint64_t from) override {
        Step step(url(path), kLargestListing * 8);
        step.resumeFrom = from;
        FileText text;
        Done done = perform(step);
        if (done.error)
            text.error = *done.error;
        else
            text.bytes = std::move(done.bytes);
        return text;
    }

    std::optional<std::string> store(const std::string &path, std::string_view bytes) override {
        Step step(url(path));
        step.upload = &bytes;
        wrote_ = true;
        return perform(step).error;
    }
    std::optional<std::string> chmod(const std::string &path, unsigned mode) override {
        std::ostringstream octal;
        octal << std::oct << mode;
        return commands({"SITE CHMOD " + octal.str() + ' ' + path});
    }
    std::optional<std::string> rename(const std::string &from, const std::string &to) override {
        return commands({"RNFR " + from, "RNTO " + to});
    }
    std::optional<std::string> remove(const std::string &path) override {
        return commands({"DELE " + path});
    }

private:
    // The URL of a path from the server's root.
    std::string url(const std::string &path) const {
        return base_ + "/%2F" +
               escaped(std::string_view(path).substr(path.starts_with('/') ? 1 : 0));
    }

    // Each a write: a mode, a rename, a removal.
    std::optional<std::string> commands(std::vector<std::string> lines) {
        wrote_ = true;
        Step step(url("/"));
        step.quote = std::move(lines);
        return perform(step).error;
    }

    Done perform(const Step &step) {
        Done done = carrier_->perform(step, login_, wrote_ ? std::function<bool()>() : givenUp_);
        if (done.stopped)
            done.error = rcon::cancelledWait(origin_);
        if (done.loginDenied)
            done.error = std::string("the server refused the login") +
                         (login_.password.empty() ? " (no password was found: set " +
                                                        std::string(kFtpPasswordVariable) +
                                                        ", or name the server's ftp_password_file)"
                                                  : "");
        return done;
    }

    std::string origin_;
    Login login_;
    std::unique_ptr<Carrier> carrier_;
    std::function<bool()> givenUp_;
    bool wrote_ = false;  // from the first write on, no step is cut short
    std::string base_;
};

// The curl program named, or on Windows the one Windows ships; none: libcurl.
std::string curlProgram() {
    if (const char *named = std::getenv("ZELVAR_CURL"); named != nullptr && *named != '\0')
        return named;
#ifdef _WIN32
    return shippedWithWindows("curl.exe").value_or("curl.exe");
#else
    return {};
#endif
}

}  // namespace

std::variant<std::unique_ptr<FileHost>, std::string>
openFtp(const Location &at, const HostTerms &terms, std::vector<std::string> &notices) {
    const bool tls = at.scheme == Scheme::Ftps;
    if (!tls && !terms.plainFtp)
        return std::string("plain FTP sends the password in clear, so it is refused: use "
                           "ftps://, or say plain_ftp = true for that server in the servers file");
    std::unique_ptr<Carrier> carrier;
    if (const std::string program = curlProgram(); !program.empty()) {
        std::optional<std::string> folder = privateFolder("zelvar-ftp-");  // the bytes going up
        if (!folder)
            return std::string("no private folder for the transfers could be made");
        carrier = std::make_unique<CurlProgram>(program, *folder);
    }
#ifdef ZELVAR_LIBCURL
    if (!carrier) {
        static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
        auto libcurl = std::make_unique<Libcurl>();
        if (!ready || !libcurl->ready())
            return std::string("libcurl could not start");
        carrier = std::move(libcurl);
    }
#endif
    std::string password;
    if (terms.passwordFile) {
        auto found = passwordFromFile(*terms.passwordFile, true);
        if (const std::string *why = std::get_if<std::string>(&found))
            return *why;
        password = std::move(std::get<Password>(found).secret);
    } else if (const char *set = std::getenv(std::string(kFtpPasswordVariable).c_str())) {
        password = set;
    } else if (!at.user.empty()) {
        // Standard input a terminal: asked there, as ftp asks; else ~/.netrc or none.
        static std::mutex asking;  // servers are worked at once: one question at a time
        const std::lock_guard<std::mutex> one(asking);
        password = promptHidden("FTP password for " + at.origin() + ':').value_or("");
    }
    auto host = std::make_unique<FtpHost>(at, Login{at.user, std::move(password), tls},
                                          std::move(carrier), terms.givenUp);
    if (std::optional<std::string> why = host->connect())
        return *why;
    if (!tls)
        notices.push_back(at.origin() + ": plain FTP, as the servers file allows: the password "
                                        "and the files went in clear");
    return std::unique_ptr<FileHost>(std::move(host));
}

}  // namespace zelvar

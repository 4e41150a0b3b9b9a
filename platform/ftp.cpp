// FTP through libcurl, one easy handle per host: its connection is kept from
// one step to the next. ftps:// is FTP on its usual port with TLS required
// for the login and every transfer (AUTH TLS), the certificate checked
// against the system's authorities, or CURL_CA_BUNDLE's file as curl takes
// it. Paths go from the server's root (the URL's "%2F"), each step with the
// whole path; renames, removals and modes are the protocol's own commands.
#include "transports.h"

#include "remote.h"
#include "serversfile.h"
#include "words.h"

#include <curl/curl.h>

#include <cstdlib>
#include <mutex>
#include <sstream>

namespace zelvar {

namespace {

constexpr long kConnectWithin = 10;  // s
constexpr long kStepWithin = 60;     // s, a whole transfer
constexpr long kStalledFor = 20;     // s without a byte
constexpr std::size_t kLargestListing = std::size_t{4} << 20;

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

std::size_t give(char *data, std::size_t size, std::size_t count, void *from) {
    auto *f = static_cast<From *>(from);
    const std::size_t n = std::min(size * count, f->bytes.size() - f->at);
    std::copy_n(f->bytes.data() + f->at, n, data);
    f->at += n;
    return n;
}

class FtpHost final : public FileHost {
public:
    FtpHost(const Location &at, std::string password, bool tls)
        : at_(at), password_(std::move(password)), tls_(tls), curl_(curl_easy_init()) {
        std::string host = at.host.find(':') != std::string::npos ? '[' + at.host + ']' : at.host;
        base_ = "ftp://" + host + (at.port ? ':' + std::to_string(*at.port) : std::string());
    }
    ~FtpHost() override {
        if (curl_ != nullptr)
            curl_easy_cleanup(curl_);
        std::fill(password_.begin(), password_.end(), '\0');
    }
    FtpHost(const FtpHost &) = delete;
    FtpHost &operator=(const FtpHost &) = delete;

    std::optional<std::string> connect() {
        if (curl_ == nullptr)
            return std::string("libcurl could not start");
        Into into{{}, kLargestListing};
        return perform(url("/"), into);
    }

    Listing list(const std::string &folder) override {
        std::string path = folder.ends_with('/') ? folder : folder + '/';
        Into into{{}, kLargestListing};
        if (std::optional<std::string> why = perform(url(path), into))
            return *why;
        return listedEntries(into.bytes);
    }

    FileText fetch(const std::string &path, std::size_t largest) override {
        if (std::optional<FileText> refused = unfetchable(list(folderOf(path)), path, largest))
            return *refused;
        FileText text;
        Into into{{}, largest};
        if (std::optional<std::string> why = perform(url(path), into)) {
            text.error = into.over ? "larger than " + std::to_string(largest >> 20) + " MiB" : *why;
            return text;
        }
        text.bytes = std::move(into.bytes);
        return text;
    }

    FileText tail(const std::string &path, std::uint64_t from) override {
        FileText text;
        Into into{{}, kLargestListing * 8};
        resumeFrom_ = from;
        const std::optional<std::string> why = perform(url(path), into);
        resumeFrom_ = 0;
        if (why)
            text.error = *why;
        else
            text.bytes = std::move(into.bytes);
        return text;
    }

    std::optional<std::string> store(const std::string &path, std::string_view bytes) override {
        From from{bytes};
        Into ignored{{}, 0};
        return perform(url(path), ignored, {}, &from);
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
    // The URL of a path from the server's root, each byte outside the
    // unreserved ones escaped.
    std::string url(const std::string &path) const {
        std::string out = base_ + "/%2F";
        for (const char c : path.substr(path.starts_with('/') ? 1 : 0)) {
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

    std::optional<std::string> commands(const std::vector<std::string> &lines) {
        curl_slist *list = nullptr;
        for (const std::string &l : lines)
            list = curl_slist_append(list, l.c_str());
        Into ignored{{}, kLargestListing};
        std::optional<std::string> why = perform(url("/"), ignored, list);
        curl_slist_free_all(list);
        return why;
    }

    std::optional<std::string> perform(const std::string &address, Into &into,
                                       curl_slist *quote = nullptr, From *upload = nullptr) {
        curl_easy_reset(curl_);  // the connection stays
        char error[CURL_ERROR_SIZE] = {};
        curl_easy_setopt(curl_, CURLOPT_URL, address.c_str());
        curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, error);
        curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT, kConnectWithin);
        curl_easy_setopt(curl_, CURLOPT_TIMEOUT, kStepWithin);
        curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_TIME, kStalledFor);
        curl_easy_setopt(curl_, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
        if (tls_)
            curl_easy_setopt(curl_, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        if (const char *authorities = std::getenv("CURL_CA_BUNDLE"))
            curl_easy_setopt(curl_, CURLOPT_CAINFO, authorities);
        if (!at_.user.empty())
            curl_easy_setopt(curl_, CURLOPT_USERNAME, at_.user.c_str());
        if (!password_.empty())
            curl_easy_setopt(curl_, CURLOPT_PASSWORD, password_.c_str());
        else
            curl_easy_setopt(curl_, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
        if (resumeFrom_ != 0)
            curl_easy_setopt(curl_, CURLOPT_RESUME_FROM_LARGE,
                             static_cast<curl_off_t>(resumeFrom_));
        curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &into);
        if (quote != nullptr) {
            curl_easy_setopt(curl_, CURLOPT_QUOTE, quote);
            curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
        }
        if (upload != nullptr) {
            curl_easy_setopt(curl_, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(curl_, CURLOPT_READFUNCTION, give);
            curl_easy_setopt(curl_, CURLOPT_READDATA, upload);
            curl_easy_setopt(curl_, CURLOPT_INFILESIZE_LARGE,
                             static_cast<curl_off_t>(upload->bytes.size()));
        }
        const CURLcode done = curl_easy_perform(curl_);
        if (done == CURLE_OK)
            return std::nullopt;
        if (done == CURLE_LOGIN_DENIED)
            return std::string("the server refused the login") +
                   (password_.empty()
                        ? " (no password was found: set " + std::string(kFtpPasswordVariable) +
                              ", or name the server's ftp_password_file)"
                        : "");
        // libcurl's words; never a URL, which could hold nothing secret but is long.
        return error[0] != '\0' ? std::string(error) : std::string(curl_easy_strerror(done));
    }

    Location at_;
    std::string password_;
    bool tls_;
    CURL *curl_;
    std::string base_;
    std::uint64_t resumeFrom_ = 0;
};

}  // namespace

std::variant<std::unique_ptr<FileHost>, std::string>
openFtp(const Location &at, const HostTerms &terms, std::vector<std::string> &notices) {
    const bool tls = at.scheme == Scheme::Ftps;
    if (!tls && !terms.plainFtp)
        return std::string("plain FTP sends the password in clear, so it is refused: use "
                           "ftps://, or say plain_ftp = true for that server in the servers file");
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!ready)
        return std::string("libcurl could not start");
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
    auto host = std::make_unique<FtpHost>(at, std::move(password), tls);
    if (std::optional<std::string> why = host->connect())
        return *why;
    if (!tls)
        notices.push_back(at.origin() + ": plain FTP, as the servers file allows: the password "
                                        "and the files went in clear");
    return std::unique_ptr<FileHost>(std::move(host));
}

std::variant<std::unique_ptr<FileHost>, std::string>
openHost(const Location &at, const HostTerms &terms, std::vector<std::string> &notices) {
    if (at.scheme == Scheme::Sftp)
        return openSftp(at, terms);
    return openFtp(at, terms, notices);
}

}  // namespace zelvar

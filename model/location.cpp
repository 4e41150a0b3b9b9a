#include "location.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

namespace zelvar {

namespace {

struct SchemeName {
    Scheme scheme;
    std::string_view name;
};
constexpr std::array<SchemeName, 3> kSchemes{
    {{Scheme::Sftp, "sftp"}, {Scheme::Ftps, "ftps"}, {Scheme::Ftp, "ftp"}}};

std::optional<Scheme> schemeOf(std::string_view text, std::size_t &length) {
    for (const SchemeName &s : kSchemes) {
        const std::size_t n = s.name.size() + 3;
        if (text.size() < n || text.substr(s.name.size(), 3) != "://")
            continue;
        if (std::equal(s.name.begin(), s.name.end(), text.begin(),
                       [](char a, char b) { return a == (b | 0x20); })) {
            length = n;
            return s.scheme;
        }
    }
    return std::nullopt;
}

bool control(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

bool hostByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

}  // namespace

std::string_view Location::schemeName() const {
    return std::find_if(kSchemes.begin(), kSchemes.end(),
                        [this](const SchemeName &s) { return s.scheme == scheme; })
        ->name;
}

std::string Location::origin() const {
    std::string out = std::string(schemeName()) + "://";
    if (!user.empty())
        out += user + '@';
    out += host.find(':') == std::string::npos ? host : '[' + host + ']';
    if (port)
        out += ':' + std::to_string(*port);
    return out;
}

bool isLocation(std::string_view text) {
    std::size_t length = 0;
    return schemeOf(text, length).has_value();
}

std::optional<std::string> locationIn(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return std::nullopt;
    text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
    if (!isLocation(text) || text.find_first_of(" \t\r\n") != std::string_view::npos)
        return std::nullopt;
    return std::string(text);
}

std::variant<Location, std::string> parseLocation(std::string_view text) {
    Location at;
    std::size_t length = 0;
    const std::optional<Scheme> scheme = schemeOf(text, length);
    if (!scheme)
        return "a location begins with sftp://, ftps:// or ftp://";
    at.scheme = *scheme;
    if (std::any_of(text.begin(), text.end(), control))
        return "a location holds no control character";
    std::string_view rest = text.substr(length);
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos || slash + 1 == rest.size())
        return "a location names a file after its host: " + std::string(text.substr(0, length)) +
               "HOST/PATH";
    std::string_view authority = rest.substr(0, slash);
    at.path = rest.substr(slash);
    if (at.path.find('\\') != std::string::npos)
        return "a location's path is written with '/'";
    if (const std::size_t atSign = authority.rfind('@'); atSign != std::string_view::npos) {
        at.user = authority.substr(0, atSign);
        authority.remove_prefix(atSign + 1);
        if (at.user.find(':') != std::string::npos)
            return "a location holds no password: it is asked for, or kept in a file of "
                   "your own, as the remote console's is";
        if (at.user.empty() || at.user.front() == '-' ||
            at.user.find_first_of(" /@") != std::string::npos)
            return "the user \"" + at.user + "\" is not a user name";
    }
    std::string_view port;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return "an IPv6 address is closed with ']'";
        at.host = authority.substr(1, close - 1);
        authority.remove_prefix(close + 1);
        if (!authority.empty() && !authority.starts_with(':'))
            return "a port follows the host after ':'";
        port = authority.empty() ? authority : authority.substr(1);
        if (at.host.empty() || !std::all_of(at.host.begin(), at.host.end(), [](char c) {
                return c == ':' || c == '.' || std::isxdigit(static_cast<unsigned char>(c));
            }))
            return "\"" + at.host + "\" is not an IPv6 address";
    } else {
        const std::size_t colon = authority.find(':');
        at.host = authority.substr(0, colon);
        if (colon != std::string_view::npos)
            port = authority.substr(colon + 1);
        if (at.host.empty() || at.host.front() == '-' ||
            !std::all_of(at.host.begin(), at.host.end(), hostByte))
            return "\"" + at.host + "\" is not a host name";
    }
    if (!port.empty() || authority.ends_with(':')) {
        unsigned number = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (error != std::errc() || end != port.data() + port.size() || number == 0 ||
            number > 65535)
            return "\"" + std::string(port) + "\" is not a port";
        at.port = static_cast<std::uint16_t>(number);
    }
    return at;
}

}  // namespace zelvar

#include "reply.h"

#include <algorithm>
#include <charconv>

namespace zelvar::rcon {

namespace {

constexpr std::string_view kOutOfBand = "\xFF\xFF\xFF\xFF";

bool blank(char c) { return c == ' ' || c == '\t'; }

// The text of a quoted word at `at`, blanks before it allowed.
std::optional<std::string_view> quotedAt(std::string_view line, std::size_t at) {
    while (at < line.size() && blank(line[at]))
        ++at;
    if (at >= line.size() || line[at] != '"')
        return std::nullopt;
    const std::size_t end = line.find('"', at + 1);
    if (end == std::string_view::npos)
        return std::nullopt;
    return line.substr(at + 1, end - at - 1);
}

// The value after a name in any of the family's forms: `NAME "V"` (cvarlist),
// `"NAME" is:"V"` and `Cvar NAME = "V"`.
std::optional<std::string_view> valueAfterName(std::string_view line, std::size_t after) {
    if (after < line.size() && line[after] == '"')
        ++after;
    while (after < line.size() && blank(line[after]))
        ++after;
    for (std::string_view joiner : {"is:", "="})
        if (line.substr(after).starts_with(joiner)) {
            after += joiner.size();
            break;
        }
    return quotedAt(line, after);
}

std::optional<std::string_view> latchedIn(std::string_view line) {
    std::size_t at = line.find_first_not_of(" \t");
    if (at == std::string_view::npos || !line.substr(at).starts_with("latched"))
        return std::nullopt;
    at += 7;
    while (at < line.size() && (blank(line[at]) || line[at] == ':' || line[at] == '='))
        ++at;
    return quotedAt(line, at);
}

// Where the line names the variable as a word of its own, if it does.
std::optional<std::size_t> nameIn(std::string_view line, std::string_view name) {
    for (std::size_t at = 0; at + name.size() <= line.size(); ++at) {
        if (!sameIgnoringCase(line.substr(at, name.size()), name))
            continue;
        const bool startsWord = at == 0 || blank(line[at - 1]) || line[at - 1] == '"';
        const std::size_t end = at + name.size();
        const bool endsWord = end == line.size() || blank(line[end]) || line[end] == '"';
        if (startsWord && endsWord)
            return end;
    }
    return std::nullopt;
}

}  // namespace

bool nameByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::optional<std::string> whichAnswer(std::string_view reply) {
    if (reply.find("File not found: \"") != std::string_view::npos)
        return std::string();
    constexpr std::string_view kFile = "File \"";
    const std::size_t file = reply.find(kFile);
    if (file == std::string_view::npos)
        return std::nullopt;
    const std::size_t nameEnd = reply.find('"', file + kFile.size());
    const std::string_view rest =
        nameEnd == std::string_view::npos ? std::string_view() : reply.substr(nameEnd);
    for (const std::string_view how : {"\" found at \"", "\" found in \""}) {
        if (!rest.starts_with(how))
            continue;
        const std::size_t end = rest.find('"', how.size());
        if (end == std::string_view::npos)
            return std::nullopt;
        std::string where(rest.substr(how.size(), end - how.size()));
        if (how.find("at") != std::string_view::npos)
            (where += '/') += reply.substr(file + kFile.size(), nameEnd - file - kFile.size());
        return where;
    }
    return std::nullopt;
}

std::string Address::shown() const {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ':' + std::to_string(port);
}

std::variant<Address, std::string> parseAddress(std::string_view text) {
    Address address;
    std::string_view port;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos)
            return "no ']' after the IPv6 address in " + quoted(text);
        address.host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return "a port goes after ':' in " + quoted(text);
        port = rest.empty() ? rest : rest.substr(1);
        if (!rest.empty() && port.empty())
            return "no port after ':' in " + quoted(text);
    } else if (const std::size_t colon = text.find(':');
               colon != std::string_view::npos &&
               text.find(':', colon + 1) == std::string_view::npos) {
        address.host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.empty())
            return "no port after ':' in " + quoted(text);
    } else {
        address.host = text;  // a name, an IPv4 address or a bare IPv6 one
    }
    if (address.host.empty())
        return "no server named in " + quoted(text);
    if (std::any_of(address.host.begin(), address.host.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; }))
        return "a server's name has no blanks or control bytes: " + quoted(text);
    if (!port.empty()) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535)
            return "the port must be a number from 1 to 65535: " + quoted(text);
        address.port = static_cast<std::uint16_t>(value);
    }
    // What is shown must name the same server when read again: "a]:1" would not.
    const std::string shown = address.shown();
    if (shown != text && shown != std::string(text) + ':' + std::to_string(kDefaultPort)) {
        const auto again = parseAddress(shown);
        const auto *same = std::get_if<Address>(&again);
        if (same == nullptr || same->host != address.host || same->port != address.port)
            return "not a server's address: " + quoted(text);
    }
    return address;
}

std::optional<std::string> unusablePassword(std::string_view password) {
    const auto has = [&](auto test) { return std::any_of(password.begin(), password.end(), test); };
    if (password.empty())
        return "the password is empty";
    if (has(blank))
        return "the password has a blank, where the server cuts it";
    if (password.find("//") != std::string_view::npos ||
        password.find("/*") != std::string_view::npos)
        return "the password has \"//\" or \"/*\", where the server cuts it as a comment";
    if (has([](char c) { return c == '"' || c == '%'; }))
        return "the password has a '\"' or a '%', which the server changes";
    if (has([](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return "the password has a control byte, which the server changes";
    if (has([](char c) { return static_cast<unsigned char>(c) > 0x7F; }))
        return "the password has a byte beyond ASCII, which the server changes";
    return std::nullopt;
}

std::string withoutColours(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '^' && i + 1 < text.size() && text[i + 1] != '^' && nameByte(text[i + 1]) &&
            text[i + 1] != '_') {
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::optional<Held> heldIn(std::string_view reply, std::string_view name) {
    const std::string text = withoutColours(reply);
    std::optional<Held> held;
    bool latest = false;  // the line before named the variable
    for (std::string_view rest = text; !rest.empty();) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (const std::optional<std::string_view> latched = latchedIn(line)) {
            if (latest && held)
                held->latched = std::string(*latched);
            continue;
        }
        latest = false;
        if (const std::optional<std::size_t> after = nameIn(line, name))
            if (const std::optional<std::string_view> value = valueAfterName(line, *after)) {
                held = Held{std::string(*value), std::nullopt};
                latest = true;
            }
    }
    return held;
}

std::string datagram(std::string_view line) { return std::string(kOutOfBand) + std::string(line); }

std::optional<std::string> printedSetting(std::string_view line) {
    const std::string plain = withoutColours(line);
    std::string_view text = plain;
    text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
    std::string_view name;
    if (text.starts_with("Cvar "))
        name = text.substr(5, text.find_first_of(" \t", 5) - 5);
    else if (text.starts_with('"'))
        name = text.substr(1, text.find('"', 1) - 1);
    const std::optional<Variable> variable = findVariable(name);
    if (!variable)
        return std::nullopt;
    const std::optional<Held> held = heldIn(text.substr(0, text.find_first_of("\r\n")), name);
    if (!held || held->value.find('"') != std::string::npos)
        return std::nullopt;
    return std::string(variable->name) + ' ' + held->value;
}

std::optional<std::string_view> printed(std::string_view datagram) {
    constexpr std::string_view kPrint = "\xFF\xFF\xFF\xFFprint\n";
    if (!datagram.starts_with(kPrint))
        return std::nullopt;
    return datagram.substr(kPrint.size());
}

std::optional<Info> infoAnswering(std::string_view datagram, std::string_view challenge) {
    if (!datagram.starts_with(kOutOfBand))
        return std::nullopt;
    datagram.remove_prefix(kOutOfBand.size());
    const std::size_t newline = datagram.find('\n');
    const std::string_view kind = datagram.substr(0, newline);
    if (newline == std::string_view::npos || (kind != "statusResponse" && kind != "infoResponse"))
        return std::nullopt;
    std::string_view info = datagram.substr(newline + 1);
    info = info.substr(0, info.find('\n'));
    Info pairs;
    while (info.starts_with('\\')) {
        info.remove_prefix(1);
        const std::size_t keyEnd = std::min(info.find('\\'), info.size());
        const std::string_view key = info.substr(0, keyEnd);
        info.remove_prefix(std::min(keyEnd + 1, info.size()));
        const std::size_t valueEnd = std::min(info.find('\\'), info.size());
        pairs.emplace_back(key, info.substr(0, valueEnd));
        info.remove_prefix(valueEnd);
    }
    if (infoValue(pairs, "challenge") != challenge)
        return std::nullopt;
    return pairs;
}

std::optional<std::string> infoValue(const Info &info, std::string_view key) {
    for (const auto &[k, v] : info)
        if (sameIgnoringCase(k, key))
            return v;
    return std::nullopt;
}

}  // namespace zelvar::rcon

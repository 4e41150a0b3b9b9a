// The words of the remote-console protocol, whatever engine of the family
// speaks them: a server's address, a password the server can match, the
// datagrams of a request and a reply, the info string of a status reply, and
// a variable's value in any form a reply prints it. Plain text in and out;
// the Session (rcon.h) does the talking.
#pragma once

#include "decode.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace zelvar::rcon {

// A byte of a variable's name: a letter, a digit or '_'.
bool nameByte(char c);

inline constexpr std::uint16_t kDefaultPort = 29070;

struct Address {
    std::string host;
    std::uint16_t port = kDefaultPort;
    std::string shown() const;  // HOST:PORT, an IPv6 address in brackets
    bool operator==(const Address &) const = default;
};
// HOST, HOST:PORT, [IPV6]:PORT or a bare IPv6 address; or why not.
std::variant<Address, std::string> parseAddress(std::string_view text);

// Why a password can never match on a server of the family, which cuts it
// at a blank or a comment and mangles other bytes; none when it can.
std::optional<std::string> unusablePassword(std::string_view password);

// Text as the server printed it, without its colour codes ("^" and a letter
// or digit; "^^" is a caret).
std::string withoutColours(std::string_view text);

// A line as the console prints one of the calculator's variables, in any
// form of the family, colours and all (what admins copy from a console):
// the setting it shows, as a line "NAME VALUE"; none for any other line.
std::optional<std::string> printedSetting(std::string_view line);

// What the server holds of a variable, as a reply prints it.
struct Held {
    std::string value;
    std::optional<std::string> latched;  // waiting for the next map
};
// The variable in a reply of cvarlist or print, in any form of the family,
// the name in any case; none when the reply does not show it.
std::optional<Held> heldIn(std::string_view reply, std::string_view name);

// What "which NAME" printed: the folder's path joined to the name (`File
// "NAME" found at "DIR"`), the archive's path (`found in "PK3"`), "" for
// `File not found`; none where it printed neither (an engine without it).
std::optional<std::string> whichAnswer(std::string_view reply);

// The out-of-band datagram for one request line.
std::string datagram(std::string_view line);
// The text a "print" datagram carries.
std::optional<std::string_view> printed(std::string_view datagram);
// The info string of a statusResponse or infoResponse that echoes
// `challenge`, as key-value pairs; none for any other datagram.
using Info = std::vector<std::pair<std::string, std::string>>;
std::optional<Info> infoAnswering(std::string_view datagram, std::string_view challenge);
// Keys compare without case; a missing key is unknown, never 0.
std::optional<std::string> infoValue(const Info &info, std::string_view key);

}  // namespace zelvar::rcon

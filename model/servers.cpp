#include "servers.h"

#include "location.h"
#include "reply.h"
#include "tree.h"
#include "words.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include <toml++/toml.h>

namespace zelvar {

namespace {

constexpr std::array<std::string_view, 9> kKeys{
    "address",      "configuration", "game_dir",          "password_file", "groups",
    "command_line", "engine",        "ftp_password_file", "plain_ftp"};

std::string at(std::string_view name, const toml::source_region &where) {
    return std::string(name) + " line " + std::to_string(where.begin.line) + ": ";
}

bool plainName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return rcon::nameByte(c) || c == '-' || c == '.';
    });
}

std::string under(const std::string &folder, std::string path) {
    const bool absolute = path.starts_with('/') || path.starts_with('\\') ||
                          (path.size() > 1 && path[1] == ':') || isLocation(path);
    return absolute ? path : folder + path;
}

// A configuration or folder the file names into `place`; or what is wrong
// with the location it is.
std::optional<std::string> placeOf(const std::string &folder, const std::string &text,
                                   std::string &place) {
    if (isLocation(text)) {
        const auto parsed = parseLocation(text);
        if (const auto *why = std::get_if<std::string>(&parsed))
            return *why;
    }
    place = under(folder, text);
    return std::nullopt;
}

// One server's table, or what is wrong with it.
std::variant<NamedServer, std::string> serverOf(std::string_view file, const std::string &folder,
                                                std::string_view name, const toml::node &node) {
    const toml::table *table = node.as_table();
    if (table == nullptr)
        return at(file, node.source()) + "servers." + std::string(name) + " is no table";
    if (!plainName(name) || name == "all")
        return at(file, node.source()) + quoted(name) +
               " cannot name a server: letters, digits, '_', '-' and '.', and not \"all\"";
    NamedServer server;
    server.name = name;
    for (auto &&[key, value] : *table) {
        const std::string where = at(file, key.source());
        if (key.str() == "password")
            return where + "a password does not belong in the servers file, where others may "
                           "read it: name a password_file instead";
        if (std::find(kKeys.begin(), kKeys.end(), key.str()) == kKeys.end())
            return where + "unknown key " + quoted(key.str());
        if (key.str() == "game_dir" && value.is_array()) {
            const toml::array *folders = value.as_array();
            for (std::size_t i = 0; i < folders->size(); ++i) {
                const std::optional<std::string> dir = folders->get(i)->value<std::string>();
                if (!dir || dir->empty())
                    return where + "game_dir holds folders, such as [\"/home/srv/.q3a/zv\"]";
                if (const auto why = placeOf(folder, *dir, server.gameDirs.emplace_back()))
                    return where + *why;
            }
            continue;
        }
        if (key.str() == "command_line" && value.is_array()) {
            std::vector<std::string> words;
            for (const toml::node &word : *value.as_array()) {
                const std::optional<std::string> w = word.value<std::string>();
                if (!w)
                    return where + "command_line holds words, such as [\"+exec\", \"server.cfg\"]";
                words.push_back(*w);
            }
            server.commandLine = joinedCommandLine(words);
            continue;
        }
        if (key.str() == "groups") {
            const toml::array *groups = value.as_array();
            for (std::size_t i = 0; groups != nullptr && i < groups->size(); ++i) {
                const std::optional<std::string> group = groups->get(i)->value<std::string>();
                if (!group || !plainName(*group) || *group == "all")
                    return where + "groups holds names such as \"clan\"";
                server.groups.push_back(*group);
            }
            if (groups == nullptr)
                return where + "groups is a list, such as [\"clan\"]";
            continue;
        }
        if (key.str() == "plain_ftp") {
            const std::optional<bool> plain = value.value<bool>();
            if (!plain || !value.is_boolean())
                return where + "plain_ftp is true or false";
            server.plainFtp = *plain;
            continue;
        }
        std::optional<std::string> text = value.value<std::string>();
        if (!text)
            return where + std::string(key.str()) + " is a string";
        if (key.str() == "address") {
            if (text->empty())
                return where + "the address is empty: name the server, such as \"127.0.0.1:29070\"";
            const auto address = rcon::parseAddress(*text);
            if (const auto *why = std::get_if<std::string>(&address))
                return where + *why;
            server.address = std::get<rcon::Address>(address);
        } else if (key.str() == "configuration" || key.str() == "game_dir") {
            std::string place;
            if (const auto why = placeOf(folder, *text, place))
                return where + *why;
            if (key.str() == "configuration")
                server.configuration = place;
            else
                server.gameDirs = {place};
        } else if (key.str() == "ftp_password_file") {
            server.ftpPasswordFile = under(folder, *text);
        } else if (key.str() == "command_line") {
            server.commandLine = *text;
        } else if (key.str() == "engine") {
            server.order = engineOrder(*text);
            if (!server.order)
                return where + "engine is " + engineNames();
        } else {
            server.passwordFile = under(folder, *text);
            server.passwordFileAt = where;
        }
    }
    if (server.address.host.empty())
        return at(file, node.source()) + "the server " + quoted(name) + " has no address";
    return server;
}

// where it is no such sequence (a stray byte, overlong, a surrogate).
std::optional<std::pair<std::uint32_t, std::size_t>> codePoint(std::string_view text,
                                                               std::size_t i) {
    const auto byte = [&](std::size_t k) {
        return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0U;
    };
    const unsigned lead = byte(0);
    const std::size_t size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead < 0xC2 || lead > 0xF4)
        return std::nullopt;
    std::uint32_t point = lead & (0x7FU >> size);
    for (std::size_t k = 1; k < size; ++k) {
        if ((byte(k) & 0xC0U) != 0x80U)
            return std::nullopt;
        point = point << 6U | (byte(k) & 0x3FU);
    }
    const std::uint32_t least = size == 2 ? 0x80 : size == 3 ? 0x800 : 0x10000;
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        return std::nullopt;
    return std::pair{point, size};
}

// The text as toml++ may read it: each character beyond ASCII in a "..."
// string written as its \u or \U escape, so that the library never meets
// such a byte (toml++ 3.3.0 reads one outside a string past its buffer, and
// reaches code it marks unreachable on others); or the line of one that
// cannot be, outside such a string or not UTF-8. A misjudged string only
// gives the library ASCII to refuse.
std::variant<std::string, int> escapedText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    int line = 1;
    std::string_view closing;  // the quote that ends the string the scan is in
    char before = '\n';        // the last byte not blank outside a string
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        line += c == '\n' ? 1 : 0;
        if (static_cast<unsigned char>(c) > 0x7F) {
            const auto point = closing.starts_with('"') ? codePoint(text, i) : std::nullopt;
            if (!point)
                return line;
            std::array<char, 12> escape{};
            std::snprintf(escape.data(), escape.size(),
                          point->first > 0xFFFF ? "\\U%08X" : "\\u%04X", point->first);
            out += escape.data();
            i += point->second - 1;
            continue;
        }
        out += c;
        if (!closing.empty()) {
            if (c == '\\' && closing.front() == '"' && i + 1 < text.size()) {
                if (static_cast<unsigned char>(text[i + 1]) > 0x7F)
                    return line;                                    // no escape of TOML's
                line += (out += text[++i]).back() == '\n' ? 1 : 0;  // an escaped byte
            } else if (text.substr(i).starts_with(closing))
                out.append(closing.substr(1)), i += closing.size() - 1, closing = {};
            else if (c == '\n' && closing.size() == 1)
                closing = {};  // a string left open: the library says so
            continue;
        }
        // A quote opens a string only where one may start (a key, a value,
        // an item).
        const bool opens = std::string_view("\n=[,{.").find(before) != std::string_view::npos;
        for (std::string_view quote : {"\"\"\"", "'''", "\"", "'"})
            if (opens && text.substr(i).starts_with(quote)) {
                closing = quote;
                out.append(quote.substr(1)), i += quote.size() - 1;
                break;
            }
        if (c != ' ' && c != '\t' && c != '\r')
            before = closing.empty() ? c : '"';
        if (c == '#')  // a comment's quotes open nothing, and it may hold any text
            for (; i + 1 < text.size() && text[i + 1] != '\n'; ++i)
                out += static_cast<unsigned char>(text[i + 1]) > 0x7F ? '?' : text[i + 1];
    }
    return out;
}

}  // namespace

std::variant<Servers, std::string> parseServers(std::string_view text, std::string_view name,
                                                const std::string &folder) {
    const std::variant<std::string, int> escaped = escapedText(text);
    if (const int *line = std::get_if<int>(&escaped))
        return std::string(name) + " line " + std::to_string(*line) +
               ": a character beyond ASCII outside a \"...\" string, or not UTF-8";
    toml::table document;
    try {
        document = toml::parse(std::get<std::string>(escaped), std::string_view(name));
    } catch (const toml::parse_error &error) {
        return at(name, error.source()) + std::string(error.description());
    }
    Servers out;
    out.file = name;
    for (auto &&[key, value] : document) {
        if (key.str() != "servers" || !value.is_table())
            return at(name, key.source()) + "only [servers.NAME] tables belong here, not " +
                   quoted(key.str());
        std::vector<std::pair<std::uint32_t, NamedServer>> lined;  // the table keeps no order
        for (auto &&[serverName, table] : *value.as_table()) {
            auto server = serverOf(name, folder, serverName.str(), table);
            if (auto *why = std::get_if<std::string>(&server))
                return std::move(*why);
            lined.emplace_back(table.source().begin.line, std::get<NamedServer>(std::move(server)));
        }
        std::sort(lined.begin(), lined.end(),
                  [](const auto &a, const auto &b) { return a.first < b.first; });
        for (auto &[line, server] : lined)
            out.servers.push_back(std::move(server));
    }
    return out;
}

namespace {

// How many single edits, a swap of neighbours among them, make `a` into `b`.
std::size_t editsBetween(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        for (std::size_t j = 0; j <= b.size(); ++j) {
            if (i == 0 || j == 0) {
                d[i][j] = i + j;
                continue;
            }
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

std::string noSuchName(const Servers &servers, std::string_view one) {
    std::string said = "no server named " + quoted(one) + " in " +
                       (servers.file.empty() ? std::string("the servers file") : servers.file);
    const NamedServer *nearest = nullptr;
    std::size_t best = std::max<std::size_t>(2, one.size() / 3) + 1;
    constexpr std::size_t kLongestLikeName = 64;  // past it, a word is no slip of a name
    for (const NamedServer &s : servers.servers) {
        if (one.size() > kLongestLikeName || s.name.size() > kLongestLikeName)
            continue;
        if (const std::size_t edits = editsBetween(one, s.name); edits < best)
            best = edits, nearest = &s;
    }
    return said + (nearest != nullptr
                       ? "; did you mean " + nearest->name + "?"
                       : " (an address has a dot or a port: " + std::string(one) + ":29070)");
}

// What follows a group that has no server: the groups there are.
std::string groupsOf(const Servers &servers) {
    std::vector<std::string> groups;
    for (const NamedServer &s : servers.servers)
        for (const std::string &g : s.groups)
            if (std::find(groups.begin(), groups.end(), g) == groups.end())
                groups.push_back(g);
    std::string said = "; the groups are: @all";
    for (const std::string &g : groups)
        said += ", @" + g;
    return said;
}

}  // namespace

std::variant<std::vector<NamedServer>, std::string>
selectServers(const Servers &servers, std::span<const std::string_view> names) {
    std::vector<NamedServer> chosen;
    const auto add = [&chosen](const NamedServer &s) {
        if (std::none_of(chosen.begin(), chosen.end(),
                         [&s](const NamedServer &c) { return c.address == s.address; }))
            chosen.push_back(s);
    };
    for (std::string_view list : names) {
        for (std::size_t start = 0; start <= list.size();) {
            const std::size_t comma = std::min(list.find(',', start), list.size());
            const std::string_view one = list.substr(start, comma - start);
            start = comma + 1;
            const auto &all = servers.servers;
            if (one.starts_with('@')) {
                const std::string_view group = one.substr(1);
                std::size_t found = 0;
                for (const NamedServer &s : all)
                    if (group == "all" ||
                        std::find(s.groups.begin(), s.groups.end(), group) != s.groups.end())
                        ++found, add(s);
                if (found == 0)
                    return "no server in the group " + quoted(group) + groupsOf(servers);
                continue;
            }
            const auto named = std::find_if(all.begin(), all.end(),
                                            [one](const NamedServer &s) { return s.name == one; });
            if (named != all.end()) {
                add(*named);
                continue;
            }
            if (one.find_first_of(".:[]") == std::string_view::npos)
                return noSuchName(servers, one);
            const auto address = rcon::parseAddress(one);
            if (const auto *why = std::get_if<std::string>(&address))
                return quoted(one) + " names no server in the servers file, and " + *why;
            NamedServer byAddress;
            byAddress.address = std::get<rcon::Address>(address);
            byAddress.name = byAddress.address.shown();
            const auto held = std::find_if(all.begin(), all.end(), [&](const NamedServer &s) {
                return s.address == byAddress.address;
            });
            add(held != all.end() ? *held : byAddress);
        }
    }
    return chosen;
}

bool namesServers(std::string_view word) { return !findVariable(splitLine(word).name); }

}  // namespace zelvar

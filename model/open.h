// Opening in the calculator what an administrator already has: lines,
// configuration files, the clipboard's text. The server applies settings in
// order, so for each variable the last setting read wins; each group that
// such a setting names gets its boxes from the value, and the three admin
// variables, which share one set of boxes, open one at a time: the last.
// A setting whose value the calculator cannot make is left out and said so,
// in the words zelvar-bits uses; the others open all the same.
#pragma once

#include "config.h"
#include "decode.h"
#include "rcon.h"
#include "tree.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

// What either window's --help says of what it opens and its keys.
inline constexpr std::string_view kOpeningHelp =
    "Bit-mask calculator for Zelvar server settings.\n\n"
    "Opens what it is given: a configuration file, a line such as\n"
    "'g_weaponDisable 40', or a variable and its value as two arguments.\n"
    "For each variable the last setting wins; the panel of the last one shows.\n"
    "In the window, the paste key opens the clipboard's text, a dropped file\n"
    "opens the same way, and the copy key copies the whole line. The save key\n"
    "writes what changed into the file opened, or the line into a file named.\n";

// What is said when a rank's button shows boxes that the file or server
// opened does not set: `where` is "in \"server.cfg\"" or "on ffa (HOST:PORT)".
std::string rankNotSet(Rank rank, std::string_view where);
inline constexpr std::string_view kRankNotSetDetails =
    "Its boxes show as the calculator starts them.";

struct OpenedGroup {
    Group group = Group::Admin;
    std::uint32_t checked = 0;  // box i is checked when bit i is set
    Rank rank = Rank::Council;  // the admin group's variable
};

struct Opening {
    std::vector<OpenedGroup> groups;   // in the order of their settings: the last one shows
    std::vector<std::string> leftOut;  // what did not open and why, one a line
    bool settingsLeftOut = false;      // of which settings, not only files or servers
    std::optional<std::string> file;   // the path, when all came from one file: where saving writes
    // HOST:PORT, when all came from one server: where saving sends.
    std::optional<std::string> server;
    // Files or servers were opened, so that where saving goes is file or
    // server; an opening of text alone leaves it as it was.
    bool retargets = false;
    // Each admin rank's boxes, for each rank whose setting opens: the boxes
    // hold one rank at a time, and choosing a rank shows its own.
    std::array<std::optional<std::uint32_t>, kRankCount> ranks{};

    // What a message about leftOut says first, and then.
    std::string_view heading() const {
        return groups.empty()    ? "Nothing was opened."
               : settingsLeftOut ? "Some settings were not opened."
                                 : "Not everything could be read.";
    }
    std::string details() const;
};

class Opener {
public:
    // Files are read from `disk` (a file host's locations among them).
    explicit Opener(Disk disk = {}) : disk_(std::move(disk)) {}
    // `name` is what a message calls the text: "the clipboard".
    void openText(std::string_view name, std::string_view text);
    void openFile(const std::string &path);
    // The same, of a configuration already read with its execs.
    void openFile(const std::string &path, Tree tree);
    // FILE | LINE | VARIABLE VALUE, read as zelvar-bits decode reads a line.
    void openArguments(std::span<const std::string> arguments);
    // What a server holds, in variables() order (rcon::Session::read);
    // `named` is what a message calls it ("ffa (HOST:PORT)"), the address
    // itself unless given.
    void openServer(const std::string &server,
                    const std::array<std::optional<rcon::Held>, kVariableCount> &held,
                    const std::string &named = {});
    // A server that could not be read, and why.
    void unreachable(std::string why) { leftOut_.push_back(std::move(why)); }
    Opening finish();

private:
    struct Found {
        Setting setting;
        std::string where;  // "\"server.cfg\" line 3", "argument 2"
    };

    Disk disk_;
    std::vector<Found> found_;
    std::vector<std::string> leftOut_;
    int arguments_ = 0;
    std::vector<std::string> files_;
    std::vector<std::string> servers_;
    bool notFromFiles_ = false;
};

}  // namespace zelvar

#include "bits.h"

#include "cli.h"
#include "help.h"
#include "remote.h"
#include "report.h"
#include "serversfile.h"
#include "version.h"

#include <array>
#include <exception>
#include <ostream>

namespace zelvar::bits {

namespace {

// The options a command takes beyond --help and --version.
enum Takes : unsigned {
    kJson = 1U,
    kDryRun = 2U,
    kPasswordFile = 4U,
    kCreate = 8U,
    kGameDir = 16U,
    kServers = 32U,
    kDirection = 64U,
    kRunning = 128U,
    kCommandLine = 256U,
    kStdout = 512U
};

struct Command {
    std::string_view name;
    std::string_view synopsis;     // the command and its arguments, as --help shows them
    std::string_view description;  // lines, as --help shows them
    unsigned takes;
    std::string_view writes;  // what it writes instead of JSON, where it takes no --json
    bool server;              // talks to a running server
    Status (*run)(Args, const Options &, Streams);
};

// Parsing, --help and "unknown command" all read this table.
constexpr std::array<Command, 11> kCommands{{
    {"decode",
     "LINE...",
     "what a line means: 'g_weaponDisable 524279', or the\nvariable and the value as two arguments",
     kJson,
     {},
     false,
     decodeCommand},
    {"encode", "VARIABLE [OPTION...]",
     "the line for these options (by caption, any case;\n'all' for every option of the group)", 0,
     "a line", false, encodeCommand},
    {"explain",
     "[FILE|-]",
     "every setting of the calculator's variables in a\nserver configuration and the files it "
     "execs,\nread as the server's console reads them\n(standard input for - or none)",
     kJson | kGameDir | kRunning | kCommandLine,
     {},
     false,
     explainCommand},
    {"list",
     "[VARIABLE]",
     "the variables and their groups' options",
     kJson,
     {},
     false,
     listCommand},
    {"set",
     "[--dry-run] [--create] [--stdout] FILE|- LINE...",
     "writes each value into the configuration: the\nsetting that takes effect gets it in place, "
     "or a\nline is added; prints the change as a diff\n(--dry-run: prints it and writes nothing;\n"
     "--create: makes FILE when it does not exist;\n--stdout: prints the edited file instead,\n"
     "the diff on standard error, and writes\nnothing; - reads standard input)",
     kJson | kDryRun | kCreate | kGameDir | kRunning | kCommandLine | kStdout,
     {},
     false,
     setCommand},
    {"status",
     "SERVER...",
     "the masks each server tells anyone, explained",
     kJson | kServers,
     {},
     true,
     statusCommand},
    {"get",
     "SERVER...",
     "all nine variables over the remote console,\nexplained",
     kJson | kPasswordFile | kServers,
     {},
     true,
     getCommand},
    {"send",
     "SERVER... LINE...",
     "sets each value on each server, reads it back and\nsays what became of it",
     kJson | kPasswordFile | kServers,
     {},
     true,
     sendCommand},
    {"check",
     "SERVER...",
     "each server's configuration, as the server reads\nit, against what the server runs",
     kJson | kPasswordFile | kServers | kCommandLine,
     {},
     true,
     checkCommand},
    {"apply",
     "[--dry-run] SERVER... LINE...",
     "writes each value into each server's configuration\n(as set) and sends it there (as send)",
     kJson | kDryRun | kPasswordFile | kServers,
     {},
     true,
     applyCommand},
    {"sync",
     "[--dry-run] --to-server|--to-file SERVER...",
     "where a server and its configuration differ, sends\nthe configuration's values, or writes "
     "the server's\ninto the configuration",
     kJson | kDryRun | kPasswordFile | kServers | kDirection,
     {},
     true,
     syncCommand},
}};

constexpr std::size_t kDescriptionColumn = 29;

const Command *findCommand(std::string_view name) {
    for (const Command &c : kCommands)
        if (c.name == name)
            return &c;
    return nullptr;
}

// "a, b and c": the commands that take `option` (or, `!taking`, that do not).
std::string takers(Takes option, bool taking = true) {
    std::vector<std::string_view> names;
    for (const Command &c : kCommands)
        if (((c.takes & option) != 0) == taking)
            names.push_back(c.name);
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i)
        (out += i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") += names[i];
    return out;
}

// A row of --help: `left` and, from the description column on, `lines`.
void helpRow(Text &out, std::string_view left, std::string_view lines) {
    out << "  " << left;
    const std::size_t used = 2 + left.size();
    if (used >= kDescriptionColumn)
        out << '\n' << std::string(kDescriptionColumn, ' ');
    else
        out << std::string(kDescriptionColumn - used, ' ');
    for (std::size_t at = 0; at < lines.size();) {
        const std::size_t end = std::min(lines.find('\n', at), lines.size());
        if (at > 0)
            out << std::string(kDescriptionColumn, ' ');
        out << lines.substr(at, end - at) << '\n';
        at = end + 1;
    }
}

std::string help() {
    Text out;
    out << "Usage: zelvar-bits COMMAND [--json] ...\n"
           "Reads back the settings that the Zelvar Bitrate Calculator writes.\n";
    bool server = true;
    for (const Command &c : kCommands) {
        if (c.server != server || &c == &kCommands.front())
            out << '\n';
        server = c.server;
        helpRow(out, std::string(c.name) + ' ' + std::string(c.synopsis), c.description);
    }
    out << '\n'
        << wrapped("SERVER is a server's name in the servers file, @GROUP, @all, HOST or "
                   "HOST:PORT ([IPV6]:PORT; the port is " +
                       std::to_string(rcon::kDefaultPort) +
                       " unless named), or a comma-separated list of them; several servers "
                       "are worked at once, each reported whole.",
                   2)
        << wrapped("FILE and DIR may be on a file host: sftp://[USER@]HOST[:PORT]/PATH (through "
                   "OpenSSH's sftp, your ssh config and keys), ftps://... (FTP with TLS; its "
                   "password from the server's ftp_password_file, " +
                       std::string(kFtpPasswordVariable) +
                       ", ~/.netrc or a prompt) or, where the servers file allows it, ftp://.",
                   2)
        << wrapped(serversFileHelp(true), 2)
        << wrapped(passwordHelp(true, "a prompt at the terminal"), 2) << '\n';
    helpRow(out, "--json", "every command but " + takers(kJson, false) + " writes JSON");
    helpRow(out, "--password-file FILE", takers(kPasswordFile) + ":\nwhere the password is");
    helpRow(out, "--game-dir DIR",
            takers(kGameDir) +
                ": where exec finds its files\n(the file's own folder unless named;\ngiven "
                "again, the next folder searched)");
    helpRow(out, "--servers FILE", takers(kServers) + ":\nthe servers file");
    helpRow(out, "--running",
            takers(kRunning) +
                ": read FILE as exec'd on the\nrunning server (rcon exec), where every\n"
                "variable exists; without it, as the server\nstarts, where a bare name "
                "before the first\nmap sets nothing");
    helpRow(out, "--command-line LINE",
            takers(kCommandLine) +
                ": the server's command\nline, such as \"+exec server.cfg +map ffa1\";\n"
                "its start is read whole, start-up files\nfirst (check: else the servers "
                "file's)");
    helpRow(out, "--engine game|ioquake3",
            takers(kCommandLine) +
                ": the engine that runs\nthe server, for where it looks first in a\n"
                "folder: game (its own engines) takes\narchives first, ioquake3 loose files "
                "(else\nthe servers file's, else game)");
    out << "  --help, --version\n\n"
           "Exit status: 0 clean (set: written or unchanged), 1 a value the calculator would\n"
           "not write or a setting that a comment hides from the server (set: a value or a\n"
           "change refused, nothing written), 2 a usage error, a file that cannot be read\n"
           "or written, or a server that does not answer or refuses the password (send: 0\n"
           "each value applied or taking effect at the next map, 1 one refused; check: 0\n"
           "all in step, 1 any differs). Of several servers, the worst.\n";
    return out.s;
}

// The options that take a value, as "--NAME VALUE" or "--NAME=VALUE"; one
// that may be given again (`each`) collects its values in order.
struct Valued {
    std::string_view name;
    std::string_view needs;
    std::optional<std::string> Options::*into;
    std::vector<std::string> Options::*each = nullptr;
};
constexpr std::array<Valued, 5> kValued{
    {{"--game-dir", "a folder", nullptr, &Options::gameDirs},
     {"--password-file", "a file", &Options::passwordFile},
     {"--servers", "a file", &Options::servers},
     {"--command-line", "the server's command line", &Options::commandLine},
     {"--engine", "an engine's name", &Options::engine}}};

const Valued *valued(std::string_view argument) {
    for (const Valued &o : kValued)
        if (argument.starts_with(o.name) &&
            (argument.size() == o.name.size() || argument[o.name.size()] == '='))
            return &o;
    return nullptr;
}

// Each option only some commands take, and whether it was given.
struct Given {
    Takes takes;
    std::string_view names;  // as a refusal names them, with their verb
    bool (*given)(const Options &);
};
constexpr std::array<Given, 10> kGiven{{
    {kStdout, "--stdout goes", [](const Options &o) { return o.toStdout; }},
    {kRunning, "--running goes", [](const Options &o) { return o.running; }},
    {kCommandLine, "--command-line goes",
     [](const Options &o) { return o.commandLine.has_value(); }},
    {kCommandLine, "--engine goes", [](const Options &o) { return o.engine.has_value(); }},
    {kDryRun, "--dry-run goes", [](const Options &o) { return o.dryRun; }},
    {kCreate, "--create goes", [](const Options &o) { return o.create; }},
    {kGameDir, "--game-dir goes", [](const Options &o) { return !o.gameDirs.empty(); }},
    {kPasswordFile, "--password-file goes",
     [](const Options &o) { return o.passwordFile.has_value(); }},
    {kServers, "--servers goes", [](const Options &o) { return o.servers.has_value(); }},
    {kDirection, "--to-server and --to-file go",
     [](const Options &o) { return o.toServer || o.toFile; }},
}};

Status runCommand(Args arguments, Streams io, const rcon::Connect &connect, Hosts &hosts) {
    Options options;
    options.connect = connect;
    options.hosts = &hosts;
    std::vector<std::string_view> words;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view a = arguments[i];
        if (a == "--help" || a == "-h") {
            io.out << help();
            return Clean;
        }
        if (a == "--version") {
            io.out << "zelvar-bits " << kVersion << '\n';
            return Clean;
        }
        if (a == "--json")
            options.json = true;
        else if (a == "--dry-run")
            options.dryRun = true;
        else if (a == "--create")
            options.create = true;
        else if (a == "--running")
            options.running = true;
        else if (a == "--stdout")
            options.toStdout = true;
        else if (const Valued *o = valued(a)) {
            if (a == o->name && i + 1 >= arguments.size())
                return usage(io.err, std::string(o->name) + " needs " + std::string(o->needs));
            std::string value(a == o->name ? arguments[++i] : a.substr(o->name.size() + 1));
            if (o->each != nullptr)
                (options.*o->each).push_back(std::move(value));
            else
                options.*o->into = std::move(value);
        } else if (a == "--to-server")
            options.toServer = true;
        else if (a == "--to-file")
            options.toFile = true;
        else if (a == "--password" || a.starts_with("--password="))
            return usage(io.err, "a password is never an argument, where others can read it: set " +
                                     std::string(kPasswordVariable) + " or use --password-file");
        else if (a.starts_with("-") && a != "-" && !(a.size() > 1 && a[1] >= '0' && a[1] <= '9'))
            return usage(io.err, "unknown option " + quoted(a));  // "-4" is a value
        else
            words.push_back(a);
    }
    if (words.empty())
        return usage(io.err, "no command");
    // A variable as a console prints it, copied from there, is its line.
    std::vector<std::string> printed;
    printed.reserve(words.size());
    for (std::string_view &word : words)
        if (std::optional<std::string> line = rcon::printedSetting(word))
            word = printed.emplace_back(std::move(*line));
    const Command *command = findCommand(words[0]);
    const unsigned takes = command == nullptr ? 0 : command->takes;
    for (const Given &g : kGiven)
        if (g.given(options) && (takes & g.takes) == 0)
            return usage(io.err, std::string(g.names) + " with " + takers(g.takes));
    if (command == nullptr)
        return usage(io.err, "unknown command " + quoted(words[0]));
    if (options.engine && !engineOrder(*options.engine))
        return usage(io.err, "--engine is " + engineNames());
    if (options.running && options.commandLine)
        return usage(io.err, "--running with --command-line: a command line is the server's start");
    if (options.json && (takes & kJson) == 0)
        return usage(io.err, std::string(command->name) + " writes " +
                                 std::string(command->writes) + ", not JSON");
    return command->run(Args(words).subspan(1), options, io);
}

}  // namespace

int run(std::span<const std::string_view> arguments, Streams io, const rcon::Connect &connect,
        const OpenHost &open) {
    try {
        Hosts hosts(open ? open : openHost);  // one connection to each for the whole command
        const Status status = runCommand(arguments, io, connect ? connect : udpConnect(), hosts);
        for (const std::string &notice : hosts.notices())
            io.err << "zelvar-bits: " << notice << '\n';
        // A report that never arrived, on a full disk or a closed output, is no success.
        if (!io.out.flush()) {
            io.err << "zelvar-bits: cannot write the output\n";
            return Failed;
        }
        return status;
    } catch (const std::exception &error) {  // memory running out, or a stream failing
        io.err << "zelvar-bits: " << error.what() << "\n";
        return Failed;
    }
}

}  // namespace zelvar::bits

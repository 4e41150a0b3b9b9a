// What zelvar-bits' commands share: the options the table lets through to
// them, the way each reads LINE arguments and names a variable, and the
// commands themselves, in files.cpp (the calculator's values and a
// configuration) and servers.cpp (a running server).
#pragma once

#include "bits.h"
#include "decode.h"
#include "edit.h"
#include "report.h"
#include "tree.h"
#include "words.h"

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar::bits {

// What every front-end says, zelvar-bits says in its text and JSON.
using namespace zelvar::report;

using Args = std::span<const std::string_view>;

struct Options {
    bool json = false;
    bool dryRun = false;
    bool create = false;
    bool running = false;   // read as exec'd on the running server, not as it starts
    bool toStdout = false;  // set: the edited text on standard output, nothing written
    std::optional<std::string> commandLine;  // the server's, as the engine joins it
    std::optional<std::string> engine;       // which engine runs it: where it looks first
    std::vector<std::string> gameDirs;       // where exec finds its files, in order
    std::optional<std::string> passwordFile;
    std::optional<std::string> servers;  // the servers file named
    bool toServer = false;               // sync: each server takes its configuration's values
    bool toFile = false;                 // sync: each configuration takes its server's values
    rcon::Connect connect;               // how each server is reached
    Hosts *hosts = nullptr;              // where each location's file is read and written
};

// How the configuration comes to run, as the options say.
inline Startup startupOf(const Options &options) {
    return {options.running ? ReadAs::Running : ReadAs::Start, options.commandLine,
            options.engine ? engineOrder(*options.engine) : std::nullopt};
}

// Says why the command cannot run, and how to learn what it takes.
Status usage(std::ostream &err, std::string_view why);

// The variable `name` names, or none, having said so.
std::optional<Variable> variableOrSay(std::string_view name, std::ostream &err);

// LINE... as decode takes them: "NAME VALUE" in one argument (or as a
// configuration writes it: seta NAME "VALUE"), or the two as two. Hands each
// variable, name as written and value to `each`, which may end the command
// with a status; says the status that ended it, if any.
template <class Each> std::optional<Status> eachLine(Args args, std::ostream &err, Each each) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        auto [name, value, oneWord] = splitLine(args[i]);
        if (!oneWord && !findVariable(name)) {
            std::vector<std::string_view> words;
            splitWords(args[i], words);
            if (const std::optional<Setting> set = settingOf(words);
                set && set->hasValue && words.size() == 3)
                name = words[1], value = words[2];
        }
        if (oneWord && i + 1 >= args.size())
            return usage(err, "no value for " + quoted(name));
        if (oneWord)
            value = args[++i];
        const std::optional<Variable> v = variableOrSay(name, err);
        if (!v)
            return Failed;
        if (const std::optional<Status> status = each(*v, name, value))
            return status;
    }
    return std::nullopt;
}

// The changes that LINE... asks for, each a value the calculator writes,
// planned in `result`; or the status that ends the command, having said that
// nothing is `done`, on standard error and, with --json, as `result`'s
// document, so that a script always has one to read.
std::optional<Status> changesAsked(Args args, std::string_view done, const Options &options,
                                   Streams io, Result &result);

Status decodeCommand(Args args, const Options &options, Streams io);
Status encodeCommand(Args args, const Options &options, Streams io);
Status explainCommand(Args args, const Options &options, Streams io);
Status listCommand(Args args, const Options &options, Streams io);
Status setCommand(Args args, const Options &options, Streams io);
Status statusCommand(Args args, const Options &options, Streams io);
Status getCommand(Args args, const Options &options, Streams io);
Status sendCommand(Args args, const Options &options, Streams io);
Status checkCommand(Args args, const Options &options, Streams io);
Status applyCommand(Args args, const Options &options, Streams io);
Status syncCommand(Args args, const Options &options, Streams io);

}  // namespace zelvar::bits

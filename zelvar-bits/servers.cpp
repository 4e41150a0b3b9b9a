// The commands on a running server, over its remote console.
#include "cli.h"
#include "remote.h"
#include "report.h"

#include <fstream>
#include <variant>

namespace zelvar::bits {

namespace {

// The remote-console password, from where the user keeps it: a file named
// on the command line, else the environment, else the terminal; never from
// an argument, and never said back. None when there is none to be had.
std::optional<Password> password(const std::optional<std::string> &file, std::string_view server,
                                 Streams io) {
    if (file) {
        std::ifstream in(*file, std::ios::binary);
        std::string line;
        if (!in || !std::getline(in, line)) {
            io.err << "zelvar-bits: cannot read the password file " << quoted(*file) << '\n';
            return std::nullopt;
        }
        if (line.ends_with('\r'))
            line.pop_back();
        return Password{line, "the password file " + quoted(*file)};
    }
    if (std::optional<Password> set = passwordFromEnvironment())
        return set;
    std::optional<std::string> typed =
        promptHidden("Remote-console password for " + std::string(server) + ": ");
    if (!typed) {
        io.err << "zelvar-bits: no password: set " << kPasswordVariable
               << ", name a file with --password-file, or run at a terminal\n";
        return std::nullopt;
    }
    return Password{std::move(*typed), "the terminal"};
}

// Talks to the server named by `args[0]` through `talk`, with the password
// when one is `needed`; says why not when it cannot.
template <class Talk>
Status withServer(Args args, const Options &options, bool needed, Streams io, Talk talk) {
    std::optional<Password> secret;
    if (needed) {
        const auto address = rcon::parseAddress(args[0]);
        if (const auto *why = std::get_if<std::string>(&address))
            return usage(io.err, *why);
        secret = password(options.passwordFile, std::get<rcon::Address>(address).shown(), io);
        if (!secret)
            return Failed;
    }
    Status status = Clean;
    if (const std::optional<Unreached> failed = talkTo(
            args[0], std::move(secret), [&](rcon::Session &session, const std::string &server) {
                status = talk(session, server);
            })) {
        io.err << "zelvar-bits: " << failed->why << '\n';
        return Failed;
    }
    return status;
}

}  // namespace

Status statusCommand(Args args, const Options &options, Streams io) {
    if (args.size() != 1)
        return usage(io.err, "status needs one server, such as 'localhost:29070'");
    return withServer(
        args, options, false, io, [&](rcon::Session &session, const std::string &server) {
            const std::array<std::optional<std::string>, 2> masks = session.published();
            Reports out(options.json, io.out, &server);
            std::vector<std::string_view> missing;
            for (const Variable &v : variables()) {
                const std::size_t i = indexOf(v);
                if (i < masks.size() && masks.at(i))
                    out.add(reportOn(v, v.name, *masks.at(i), true));
                else
                    missing.push_back(v.name);
            }
            return out.finish("not published", missing);
        });
}

Status getCommand(Args args, const Options &options, Streams io) {
    if (args.size() != 1)
        return usage(io.err, "get needs one server, such as 'localhost:29070'");
    return withServer(args, options, true, io,
                      [&](rcon::Session &session, const std::string &server) {
                          const std::array<std::optional<rcon::Held>, kVariableCount> held =
                              session.read(variables());
                          Reports out(options.json, io.out, &server);
                          std::vector<std::string_view> missing;
                          for (const Variable &v : variables()) {
                              const std::optional<rcon::Held> &h = held.at(indexOf(v));
                              if (!h) {
                                  missing.push_back(v.name);
                                  continue;
                              }
                              SettingReport r = reportOn(v, v.name, h->value, true);
                              r.fromServer = true;
                              if (h->latched)
                                  r.latched = *h->latched;
                              out.add(r);
                          }
                          return out.finish("absent", missing);
                      });
}

Status sendCommand(Args args, const Options &options, Streams io) {
    if (args.size() < 2)
        return usage(io.err, "send needs a server and a line such as 'zv_teamLock 4'");
    std::vector<Change> changes;
    if (const std::optional<Status> status = changesAsked(args.subspan(1), "sent", io.err, changes))
        return *status;
    return withServer(args, options, true, io, [&](rcon::Session &session, const std::string &) {
        const rcon::Sent sent = rcon::sendChanges(session, changes);
        io.out << sent.said;
        return sent.status;
    });
}

}  // namespace zelvar::bits

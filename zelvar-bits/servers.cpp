// The commands on running servers, over their remote consoles: one server
// or many, named in the servers file, by group or by address. Each server is
// worked on its own thread, paced by its own engine's rules; what each says
// is held until it is done and written whole, in the order the servers were
// named, so that sections never interleave; one that fails stops no other.
#include "cli.h"
#include "keyring.h"
#include "learn.h"
#include "remote.h"
#include "report.h"
#include "save.h"
#include "serversfile.h"
#include "tree.h"

#include <sstream>
#include <thread>
#include <variant>

namespace zelvar::bits {

namespace {

struct Target {
    NamedServer server;
    std::string shown;  // "ffa (127.0.0.1:29070)", or the address alone
    std::optional<Password> password;
};

// The remote-console password, in the order every front-end looks, the
// terminal last; never from an argument, and never said back. None, having
// said why, when there is none to be had.
std::optional<Password> password(const Options &options, const Target &t, Streams io) {
    auto known = passwordWithoutAsking(options.passwordFile, t.server);
    if (auto *why = std::get_if<std::string>(&known)) {
        io.err << "zelvar-bits: " << *why << '\n';
        return std::nullopt;
    }
    if (auto *found = std::get_if<Password>(&known))
        return std::move(*found);
    Kept kept;
    systemKeyring().find(t.server.address.shown(), [&kept](Kept k) { kept = std::move(k); });
    if (kept.password)
        return Password{std::move(*kept.password), std::string(kKeyringSource),
                        PasswordFrom::Keyring};
    std::optional<std::string> typed = promptHidden(passwordQuestion(t.shown) + ' ');
    if (!typed) {
        io.err << "zelvar-bits: no password: set " << kPasswordVariable
               << ", name a file with --password-file or in the servers file, or run at a "
                  "terminal\n";
        return std::nullopt;
    }
    return Password{std::move(*typed), "the terminal", PasswordFrom::Terminal};
}

// The servers `names` name, each with its password when one is `needed`;
// none, having said why, when any cannot be had.
std::optional<std::vector<Target>> targets(Args names, const Options &options, bool needed,
                                           Streams io) {
    const auto file = loadServers(options.servers);
    if (const auto *why = std::get_if<std::string>(&file)) {
        io.err << "zelvar-bits: " << *why << '\n';
        return std::nullopt;
    }
    const std::vector<std::string_view> list(names.begin(), names.end());
    auto chosen = selectServers(std::get<Servers>(file), list);
    if (const auto *why = std::get_if<std::string>(&chosen)) {
        usage(io.err, *why);
        return std::nullopt;
    }
    std::vector<Target> out;
    for (NamedServer &s : std::get<std::vector<NamedServer>>(chosen)) {
        Target t{std::move(s), {}, {}};
        t.shown = t.server.shown();
        if (options.commandLine)  // what the host starts them with, given for this command
            t.server.commandLine = options.commandLine;
        if (options.engine)
            t.server.order = engineOrder(*options.engine);
        if (needed && !(t.password = password(options, t, io)))
            return std::nullopt;
        // How its files' host is logged in to, before any is reached.
        const HostTerms terms{t.server.ftpPasswordFile, t.server.plainFtp, {}, {}};
        if (t.server.configuration)
            options.hosts->agree(*t.server.configuration, terms);
        for (const std::string &dir : t.server.gameDirs)
            options.hosts->agree(dir, terms);
        out.push_back(std::move(t));
    }
    return out;
}

// What one server's work says: its output, its errors, its status, and
// the result the work fills as it goes, said once it ends however it ends.
struct Section {
    std::ostringstream out;
    std::ostringstream err;
    Status status = Clean;
    std::string failed;  // why the server could not be worked, as err says it
    std::optional<Result> result;
};

// The section's result, where its work keeps one, said after all it did;
// else a failure alone, as a document with --json.
void close(Section &s, const Target &t, const Options &options, const std::string &who) {
    if (!s.failed.empty() && !s.result && options.json)
        s.result.emplace().server = t.shown;
    if (s.result) {
        if (!s.failed.empty())
            s.result->fail(s.failed);
        render(*s.result, options.json, s.out, s.err);
        s.status = worst(s.status, s.result->status);
        return;
    }
    if (!s.failed.empty()) {
        s.err << "zelvar-bits: " << who << s.failed << '\n';
        s.status = Failed;
    }
}
using Work = std::function<Status(Target &, rcon::Session &, Section &)>;

// `work` on every target at once, through its session; each section
// written whole in the order named; several documents of JSON as an array.
Status onEach(std::vector<Target> &targets, const Options &options, Streams io, const Work &work) {
    std::vector<Section> sections(targets.size());
    // Of several servers, whose a failure is; one server's is plain.
    const auto who = [&targets](const Target &t) {
        return targets.size() > 1 ? t.shown + ": " : std::string();
    };
    {
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < targets.size(); ++i)
            threads.emplace_back([&, i] {
                Target &t = targets[i];
                Section &s = sections[i];
                try {
                    if (const std::optional<Unreached> failed = talkTo(
                            t.server.address, t.password,
                            [&](rcon::Session &session, const std::string &) {
                                s.status = work(t, session, s);
                            },
                            {}, options.connect)) {
                        s.failed = failed->why;
                    }
                } catch (const std::exception &error) {
                    s.failed = error.what();
                }
                close(s, t, options, who(t));
            });
    }
    const bool array = options.json && targets.size() > 1;
    Status status = Clean;
    bool first = true;
    io.out << (array ? "[" : "");
    for (const Section &s : sections) {
        const std::string out = s.out.str();
        if (!out.empty()) {
            io.out << (array && !first ? "," : "") << out;
            first = false;
        }
        io.err << s.err.str();
        status = worst(status, s.status);
    }
    io.out << (array ? "]\n" : "");
    return status;
}

// SERVER... LINE...: where the servers end and the lines begin.
std::size_t serversEnd(Args args) {
    std::size_t i = 0;
    while (i < args.size() && namesServers(args[i]))
        ++i;
    return i;
}

// What the server tells of its engine and folders, taken where the servers
// file says nothing, then its configuration read as the server reads it;
// "cannot tell" in `done` where the server reads a file elsewhere.
Tree readAsServer(Target &t, rcon::Session &session, Result &done, Hosts &hosts) {
    Learnt learnt = learn(session, t.server);
    t.server = std::move(learnt.server);
    std::move(learnt.notes.begin(), learnt.notes.end(), std::back_inserter(done.notes));
    Tree tree =
        readTree(*t.server.configuration, t.server.gameDirs, hosts.disk(), t.server.startup());
    if (learnt.unsure)
        done.error = "cannot tell: " + *learnt.unsure;
    else if (tree.error)
        done.error = *tree.error;
    else if (const std::optional<std::string> elsewhere = readsElsewhere(session, tree))
        done.error = "cannot tell: " + *elsewhere;
    return tree;
}

// A server's configuration, as the server reads it, against what the server
// runs; none, having said why in `done`, when the configuration cannot be read.
std::optional<Drift> drift(Target &t, rcon::Session &session, Result &done, Hosts &hosts) {
    if (!t.server.configuration) {
        done.error = "no configuration in the servers file";
        return std::nullopt;
    }
    const Tree tree = readAsServer(t, session, done, hosts);
    if (tree.error)
        return std::nullopt;
    Drift drift = compare(tree, session.read(variables()));
    if (const Tree::Note *unread = tree.unread())
        done.error = "cannot tell: " + unread->text;
    return drift;
}

// What a command does to a server, begun in its section: whose, and
// whether only shown.
Result &doneOn(Section &s, const Target &t, const Options &options, bool headed = true) {
    Result &done = s.result.emplace();
    done.server = t.shown;
    done.configuration = t.server.configuration;
    done.heading = headed ? "server " + t.shown : std::string();
    done.dryRun = options.dryRun;
    return done;
}

// The work ends with `status`, or worse where it met an error.
Status finish(Result &done, Status status) {
    done.status = worst(done.status, done.error ? Failed : status);
    return done.status;
}

// `changes` written into the server's configuration (shown only, with
// --dry-run), and what became of them kept in `done`.
Status writeInto(const Target &t, std::span<const Change> changes, const Options &options,
                 Result &done) {
    done.saved = saveChanges(*t.server.configuration, changes, options.dryRun, false,
                             t.server.gameDirs, t.server.startup(), options.hosts);
    return done.saved->status;
}

}  // namespace

Status statusCommand(Args args, const Options &options, Streams io) {
    if (args.empty())
        return usage(io.err, "status needs a server, such as 'localhost:29070'");
    auto chosen = targets(args, options, false, io);
    if (!chosen)
        return Failed;
    return onEach(*chosen, options, io, [&](Target &t, rcon::Session &session, Section &s) {
        const std::array<std::optional<std::string>, 2> masks = session.published();
        Reports out(options.json, s.out, &t.shown);
        std::vector<std::string_view> missing;
        for (const Variable &v : variables()) {
            const std::size_t i = indexOf(v);
            if (i < masks.size() && masks.at(i))
                out.add(reportOn(v, v.name, *masks.at(i), true));
            else
                missing.push_back(v.name);
        }
        return out.finish(Missing::NotPublished, missing);
    });
}

Status getCommand(Args args, const Options &options, Streams io) {
    if (args.empty())
        return usage(io.err, "get needs a server, such as 'localhost:29070'");
    auto chosen = targets(args, options, true, io);
    if (!chosen)
        return Failed;
    return onEach(*chosen, options, io, [&](Target &t, rcon::Session &session, Section &s) {
        const std::array<std::optional<rcon::Held>, kVariableCount> held =
            session.read(variables());
        Reports out(options.json, s.out, &t.shown);
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
        return out.finish(Missing::Absent, missing);
    });
}

Status sendCommand(Args args, const Options &options, Streams io) {
    const std::size_t end = serversEnd(args);
    if (end == 0 || end == args.size())
        return usage(io.err, "send needs servers, then lines such as 'zv_teamLock 4'");
    Result asked;
    if (const std::optional<Status> status =
            changesAsked(args.subspan(end), "sent", options, io, asked))
        return *status;
    const std::vector<Change> &changes = asked.planned;
    auto chosen = targets(args.first(end), options, true, io);
    if (!chosen)
        return Failed;
    const bool headed = chosen->size() > 1;
    return onEach(*chosen, options, io, [&](Target &t, rcon::Session &session, Section &s) {
        Result &done = doneOn(s, t, options, headed);
        done.planned = changes;
        done.sent = rcon::sendChanges(session, changes);
        return finish(done, done.sent->status);
    });
}

// Each server's configuration, as the server reads it, against what it runs.
Status checkCommand(Args args, const Options &options, Streams io) {
    if (args.empty())
        return usage(io.err, "check needs a server named in the servers file");
    auto chosen = targets(args, options, true, io);
    if (!chosen)
        return Failed;
    return onEach(*chosen, options, io, [&](Target &t, rcon::Session &session, Section &s) {
        Result &done = doneOn(s, t, options);
        done.drift = drift(t, session, done, *options.hosts);
        if (done.configuration)
            done.heading += ", " + quoted(*done.configuration);
        done.verdictsShown = true;
        // The server may find it where this machine does not look; or run without it.
        if (done.drift)
            for (const std::string &missing : done.drift->missing)
                done.notes.push_back(missing + ": the configuration execs it and it is not here");
        return finish(done, done.drift ? done.drift->status() : Failed);
    });
}

// Writes each value into each server's configuration and sends it there.
Status applyCommand(Args args, const Options &options, Streams io) {
    const std::size_t end = serversEnd(args);
    if (end == 0 || end == args.size())
        return usage(io.err, "apply needs servers, then lines such as 'zv_teamLock 4'");
    Result asked;
    if (const std::optional<Status> status =
            changesAsked(args.subspan(end), "written or sent", options, io, asked))
        return *status;
    const std::vector<Change> &changes = asked.planned;
    auto chosen = targets(args.first(end), options, !options.dryRun, io);
    if (!chosen)
        return Failed;
    const auto work = [&](Target &t, rcon::Session *session, Section &s) {
        Result &done = doneOn(s, t, options);
        done.planned = changes;
        Status status = Clean;
        // A server that does not answer at all leaves the file as the servers
        // file tells it, written all the same, and its failure said after.
        std::optional<std::string> silent;
        if (t.server.configuration && session != nullptr) {
            // Where the server reads its files decides which one is edited.
            bool elsewhere = false;
            silent = rcon::unanswered([&] {
                elsewhere = readAsServer(t, *session, done, *options.hosts).error || done.error;
            });
            if (elsewhere) {
                done.after.emplace_back("nothing written or sent");
                return finish(done, Failed);
            }
        }
        if (t.server.configuration) {
            // A value the configuration did not take is not sent: the server
            // would lose it at its next start, and the admin meant both.
            if ((status = writeInto(t, changes, options, done)) != Clean) {
                done.after.push_back(std::string("nothing ") +
                                     (session == nullptr ? "would be " : "") + "sent to " +
                                     t.shown + ": the configuration is not written");
                return finish(done, status);
            }
        } else {
            done.notes.emplace_back("note: no configuration in the servers file: the values last "
                                    "until the server restarts");
        }
        if (session == nullptr) {
            done.wouldSend = true;
            return finish(done, status);
        }
        if (silent) {
            done.status = status;  // the file's part, kept with the failure
            throw rcon::Failure(*silent);
        }
        done.status = status;  // the file's part, kept should the send fail
        done.sent = rcon::sendChanges(*session, changes);
        return finish(done, worst(status, done.sent->status));
    };
    if (options.dryRun) {  // nothing goes to a server
        Status status = Clean;
        const bool array = options.json && chosen->size() > 1;
        io.out << (array ? "[" : "");
        for (std::size_t i = 0; i < chosen->size(); ++i) {
            Section s;
            s.status = work((*chosen)[i], nullptr, s);
            close(s, (*chosen)[i], options, {});
            status = worst(status, s.status);
            io.out << (array && i > 0 ? "," : "") << s.out.str();
            io.err << s.err.str();
        }
        io.out << (array ? "]\n" : "");
        io.err << "zelvar-bits: a dry run: nothing was written or sent\n";
        return status;
    }
    return onEach(*chosen, options, io, [&](Target &t, rcon::Session &session, Section &s) {
        return work(t, &session, s);
    });
}

// Brings each server and its configuration in line, one way or the other.
Status syncCommand(Args args, const Options &options, Streams io) {
    if (args.empty() || options.toServer == options.toFile)
        return usage(io.err, "sync needs servers and one of --to-server and --to-file");
    auto chosen = targets(args, options, true, io);
    if (!chosen)
        return Failed;
    const Status ended =
        onEach(*chosen, options, io, [&](Target &t, rcon::Session &session, Section &s) {
            Result &done = doneOn(s, t, options);
            done.drift = drift(t, session, done, *options.hosts);
            if (!done.drift || done.error)
                return finish(done, Failed);
            Status status = Clean;
            for (const VariableDrift &d : done.drift->variables) {
                const bool toServer = options.toServer;
                if (d.verdict == Verdict::InStep || (toServer && !d.configured) ||
                    (!toServer && !d.live))
                    continue;
                const std::string_view name = d.variable.name;
                if (toServer && d.verdict == Verdict::ConfigurationOnly) {  // a send is refused
                    done.notes.push_back(std::string(name) +
                                         ": left as it is: the server has no such variable");
                    status = worst(status, Problem);
                    continue;
                }
                const std::string &value = toServer ? d.configured->value : d.live->value;
                if (const std::optional<std::string> why = refusedValue(d.variable, value)) {
                    done.notes.push_back(std::string(name) + ": left as it is: " + *why);
                    status = worst(status, Problem);
                    continue;
                }
                done.planned.push_back({d.variable, value});
            }
            if (done.planned.empty()) {
                done.after.emplace_back("in step");
            } else if (options.toFile) {
                status = worst(status, writeInto(t, done.planned, options, done));
            } else if (options.dryRun) {
                done.wouldSend = true;
            } else {
                done.status = status;
                done.sent = rcon::sendChanges(session, done.planned);
                status = worst(status, done.sent->status);
            }
            return finish(done, status);
        });
    if (options.dryRun)
        io.err << "zelvar-bits: a dry run: nothing was " << (options.toFile ? "written" : "sent")
               << '\n';
    return ended;
}

}  // namespace zelvar::bits

#include "flows.h"

#include "learn.h"

#include "drift.h"
#include "help.h"
#include "layout.h"
#include "opening.h"
#include "remote.h"
#include "report.h"
#include "save.h"
#include "serversfile.h"

#include <memory>
#include <utility>
#include <vector>

namespace zelvar::app {

std::string windowHelp() {
    return "Usage: zelvar-bitrate [--server NAME|HOST[:PORT]]\n"
           "                      [FILE | LINE | VARIABLE VALUE]...\n" +
           std::string(kOpeningHelp) + '\n' +
           wrapped("--server NAME|HOST[:PORT] opens the nine settings of a running server, by "
                   "its name in the servers file or its address (the port is " +
                       std::to_string(rcon::kDefaultPort) +
                       " unless named); the save key sends the changed lines there, written "
                       "first into the configuration the servers file names for it.",
                   2) +
           wrapped(serversFileHelp(false), 2) +
           wrapped(passwordHelp(false, "the password dialog, which can keep it in the system "
                                       "keyring"),
                   2) +
           "\n  -h, --help     this text\n  -v, --version  the version\n\nExamples:\n"
           "  zelvar-bitrate server.cfg\n"
           "  zelvar-bitrate g_weaponDisable 40\n"
           "  zelvar-bitrate --server ffa\n"
           "  zelvar-bitrate --server localhost:29070\n";
}

Flows::~Flows() {
    closing_ = true;
    worker_.request_stop();
}

namespace {

// The stop of the work beside the window on this thread: Escape's.
thread_local std::stop_token besideStop;

}  // namespace

std::shared_ptr<Hosts> Flows::hostsFor(const std::vector<std::string> &paths) const {
    if (std::none_of(paths.begin(), paths.end(),
                     [](const std::string &p) { return isLocation(p); }))
        return nullptr;
    // A host key not yet known is shown, and trusted only as the user says;
    // Escape ends a step that reads, of the work that opened the host.
    return std::make_shared<Hosts>([this, open = openHost_](const Location &at,
                                                            const HostTerms &terms,
                                                            std::vector<std::string> &notices) {
        HostTerms asked = terms;
        asked.trust = [this](const std::string &question) {
            return askBeside("Trust this server's host key?", question, "Trust");
        };
        asked.givenUp = [stop = besideStop] { return stop.stop_requested(); };
        return open(at, asked, notices);
    });
}

bool Flows::askBeside(std::string heading, std::string question, std::string action) const {
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> asked = answer->get_future();
    dialogs_.post([this, answer, heading = std::move(heading), question = std::move(question),
                   action = std::move(action)] {
        answer->set_value(dialogs_.confirm(heading, question, action));
    });
    while (asked.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready)
        if (closing_)
            return false;
    return asked.get();
}

void Flows::beside(bool remote, std::string what, std::function<void(std::stop_token)> work,
                   std::function<void()> then) {
    if (!remote) {
        work({});
        then();
        return;
    }
    wait(std::move(what));
    worker_ =
        std::jthread([this, work = std::move(work), then = std::move(then)](std::stop_token stop) {
            std::function<void()> after = then;
            besideStop = stop;
            try {
                work(std::move(stop));
            } catch (...) {  // reported on the window's thread, as any error is
                after = [error = std::current_exception()] { std::rethrow_exception(error); };
            }
            dialogs_.post([this, after = std::move(after)] {
                if (worker_.joinable())
                    worker_.join();
                endWait();
                after();
            });
        });
}

void Flows::openArguments(std::span<const std::string> arguments) {
    if (arguments.empty())
        return;
    const std::vector<std::string> words(arguments.begin(), arguments.end());
    const std::shared_ptr<Hosts> hosts = hostsFor(words);
    auto opener = std::make_shared<Opener>(hosts ? hosts->disk() : Disk{});
    const auto location = std::find_if(words.begin(), words.end(),
                                       [](const std::string &w) { return isLocation(w); });
    beside(
        hosts != nullptr,
        "Reading " + (location != words.end() ? *location : std::string()) + "\u2026",
        [opener, words, hosts](const std::stop_token & /*stop*/) { opener->openArguments(words); },
        [this, opener] { open(*opener); });
}

// A server's name in the servers file, or an address.
void Flows::openServer(const std::string &named) {
    if (waiting())
        return;
    auto found = oneServer(named);
    if (auto *why = std::get_if<std::string>(&found)) {
        Opener opener;
        opener.unreachable(std::move(*why));
        open(opener);
        return;
    }
    const NamedServer &target = std::get<NamedServer>(found);
    const std::string server = target.address.shown();
    if (target.name != server)
        named_[server] = target.shown();
    auto known = passwordWithoutAsking({}, target);
    if (auto *why = std::get_if<std::string>(&known)) {
        Opener opener;
        opener.unreachable(std::move(*why));
        open(opener);
        return;
    }
    // A password file's is kept for the window's life; the environment is
    // read again at each send, as for a server opened by its address.
    if (auto *found = std::get_if<Password>(&known); found && found->from == PasswordFrom::File)
        passwords_[server] = std::move(*found);
    if (target.configuration)
        configurations_[server] = target;
    std::vector<std::string> places = target.gameDirs;
    if (target.configuration)
        places.push_back(*target.configuration);
    withPassword(server, [this, server, named = target.shown(), target,
                          hosts = hostsFor(places)](Password secret) {
        auto opener = std::make_shared<Opener>();
        auto held = std::make_shared<Live>();
        // Where the server reads its configuration's files, as it tells.
        auto learnt = std::make_shared<Learnt>(Learnt{target, {}, {}});
        auto elsewhere = std::make_shared<std::optional<std::string>>();
        talkBeside(
            server, std::move(secret), "Reading " + named + "\u2026",
            [opener, held, named, learnt, elsewhere, hosts](rcon::Session &session,
                                                            const std::string &shown) {
                *held = session.read(variables());
                opener->openServer(shown, *held, named == shown ? std::string() : named);
                if (const NamedServer &s = learnt->server; s.configuration) {
                    *learnt = learn(session, s);
                    const NamedServer &told = learnt->server;
                    *elsewhere =
                        learnt->unsure
                            ? learnt->unsure
                            : readsElsewhere(session, readTree(*told.configuration, told.gameDirs,
                                                               hosts ? hosts->disk() : Disk{},
                                                               told.startup()));
                }
            },
            [this, opener, held, server, learnt,
             elsewhere](const std::optional<Unreached> &failed) {
                if (failed)
                    opener->unreachable(failed->why);
                else
                    live_[server] = *held;
                if (!failed && learnt->server.configuration)
                    configurations_[server] = learnt->server;
                if (*elsewhere)
                    elsewhere_[server] = **elsewhere;
                else
                    elsewhere_.erase(server);
                unread_ = failed ? std::optional(server) : std::nullopt;
                open(*opener);
            });
    });
}

void Flows::wait(std::string what) {
    waitingFor_ = std::move(what);
    dialogs_.busy(waitingFor_);
    retitle();
}

void Flows::endWait() {
    waitingFor_.clear();
    dialogs_.busy({});
    retitle();
}

void Flows::talkBeside(const std::string &server, Password secret, std::string what, Talk talk,
                       Heard done) {
    auto failed = std::make_shared<std::optional<Unreached>>();
    beside(
        true, std::move(what),
        [this, server, secret = std::move(secret), talk = std::move(talk),
         failed](std::stop_token stop) mutable {
            *failed = talkTo(server, std::move(secret), talk, std::move(stop), connect_);
        },
        [this, server, done = std::move(done), failed] {
            heard(server, *failed, [done, failed] { done(*failed); });
        });
}

// A keyring that does not answer (an unlock prompt left open) is let go, as
// cancelling the password dialog would.
void Flows::escapeKey() {
    worker_.request_stop();
    if (std::exchange(readingKeyring_, false)) {
        ++keyringAsks_;
        endWait();
    }
}

std::string Flows::nameOf(const std::optional<std::string> &opened) const {
    const auto name = opened ? named_.find(*opened) : named_.end();
    return name != named_.end() ? name->second : std::string();
}

void Flows::retitle() {
    // A server that could not be read is named until something else opens.
    const std::optional<std::string> &opened = form_.openedFrom() ? form_.openedFrom() : unread_;
    dialogs_.setTitle(waiting() ? ui::windowTitle(waitingFor_) : titleOf(opened, nameOf(opened)));
}

void Flows::rankClick(Rank rank) {
    if (const auto said = rankClicked(form_, rank, nameOf(form_.openedFrom())))
        say(said->fine, said->heading, said->details);
}

// Opening anything while a server is read or sent to would change what that
// work ends in: the keys and drops wait with the window.
void Flows::pasteKey() {
    if (waiting())
        return;
    const std::string text = dialogs_.clipboardText();
    // A location typed anywhere and copied opens as the file it names.
    if (const std::optional<std::string> location = locationIn(text)) {
        openArguments(std::vector<std::string>{*location});
        return;
    }
    Opener opener;
    opener.openText("the clipboard", text);
    open(opener);
}

void Flows::copyKey() { dialogs_.setClipboardText(dialogs_.line()); }

void Flows::dropFiles(std::span<const std::string> paths) {
    if (waiting())
        return;
    Opener opener;
    for (const std::string &path : paths)
        opener.openFile(path);
    open(opener);
}

void Flows::dropText(const std::string &text) {
    if (waiting())
        return;
    if (const std::optional<std::string> location = locationIn(text)) {
        openArguments(std::vector<std::string>{*location});
        return;
    }
    Opener opener;
    opener.openText("the dropped text", text);
    open(opener);
}

void Flows::open(Opener &opener) {
    const std::optional<report::Message> said = openInto(form_, opener.finish());
    retitle();
    if (said)
        say(said->fine, said->heading, said->details);
}

// Into the file opened, or to the server, what changed since; opened from
// anything else, the line into a file the user names. What will change is
// shown first, and nothing changes unless the user goes ahead; the message
// then says what became of each change, or why nothing did. A server that
// could not be read is offered again instead.
void Flows::saveKey() {
    if (waiting())
        return;
    std::optional<Form::Save> save = form_.saveIntoOpened();
    if (!save && unread_) {
        if (dialogs_.confirm("Read " + *unread_ + " again?",
                             *unread_ + " could not be read when the window opened.", "Try again"))
            openServer(*unread_);
        return;
    }
    if (!save) {
        std::optional<std::string> chosen = dialogs_.askSaveFile();
        if (!chosen)
            return;
        save = Form::Save{};
        save->file = std::move(*chosen);
        save->create = true;
        if (const std::optional<Change> line = lineChange(dialogs_.line())) {
            save->changes.push_back(*line);
            save->was.emplace_back();
        }
    }
    if (save->toServer())
        send(*save, false);
    else if (write(*save))
        form_.markSaved(*save);
}

// "NAME: OLD → NEW", a line each.
std::string Flows::values(const Form::Save &save) {
    std::string out;
    for (std::size_t i = 0; i < save.changes.size(); ++i)
        out += std::string(save.changes[i].variable.name) + ": " + save.was[i].value_or("not set") +
               " \u2192 " + save.changes[i].value + '\n';
    return out;
}

bool Flows::mayClose() {
    if (waiting()) {
        escapeKey();
        return false;
    }
    const std::optional<Form::Save> save = form_.saveIntoOpened();
    if (!save || save->changes.empty())
        return true;
    const std::string heading = std::string(save->toServer() ? "Send" : "Save") + " the changes " +
                                (save->toServer() ? "to " : "into ") + save->target() +
                                " before closing?";
    switch (dialogs_.askUnsaved(heading, values(*save))) {
    case Dialogs::Unsaved::Save:
        if (save->toServer()) {
            send(*save, true);
            return false;
        }
        if (isLocation(save->file)) {
            writeBeside(*save, true);
            return false;
        }
        if (!write(*save))
            return false;
        form_.markSaved(*save);
        return true;
    case Dialogs::Unsaved::Discard:
        return true;
    case Dialogs::Unsaved::Cancel:
        break;
    }
    return false;
}

void Flows::writeBeside(const Form::Save &save, bool thenClose) {
    const std::shared_ptr<Hosts> hosts = hostsFor({save.file});
    auto planned = std::make_shared<FileSave>();
    beside(
        true, "Reading " + save.file + "\u2026",
        [planned, save, hosts](const std::stop_token & /*stop*/) {
            *planned = planFileSave(save, {}, hosts.get());
        },
        [this, planned, save, hosts, thenClose] {
            if (planned->plan.shown.changed &&
                !dialogs_.confirm(planned->heading, planned->plan.shown.said, "Save"))
                return;
            auto result = std::make_shared<report::Result>();
            beside(
                true, "Saving into " + save.file + "\u2026",
                [planned, result, hosts](const std::stop_token & /*stop*/) {
                    *result = commitFileSave(std::move(*planned), hosts.get());
                },
                [this, result, save, thenClose] {
                    const report::Message said = report::messageOf(*result);
                    if (said.fine)
                        form_.markSaved(save);
                    if (said.fine && thenClose)
                        dialogs_.close();
                    else
                        say(said.fine, said.heading, said.details);
                });
        });
}

bool Flows::write(const Form::Save &save) {
    if (isLocation(save.file)) {
        writeBeside(save, false);
        return false;  // said, and marked saved, once written
    }
    FileSave planned = planFileSave(save);
    if (planned.plan.shown.changed &&
        !dialogs_.confirm(planned.heading, planned.plan.shown.said, "Save"))
        return false;
    const report::Result result = commitFileSave(std::move(planned));
    const report::Message said = report::messageOf(result);
    say(said.fine, said.heading, said.details);
    return said.fine;
}

// To the server, and into its configuration when the servers file names
// one: both shown first, the file written before anything is sent.
void Flows::send(const Form::Save &save, bool thenClose) {
    if (save.changes.empty()) {
        say(true, rcon::Sent().heading(), {});
        return;
    }
    const auto configured = configurations_.find(save.server);
    const auto name = named_.find(save.server);
    const std::string server = name != named_.end() ? name->second : save.server;
    if (const auto other = elsewhere_.find(save.server); other != elsewhere_.end()) {
        report::Result refused;
        refused.server = server;
        refused.fail("cannot tell: " + other->second + "; nothing is written or sent");
        const report::Message said = report::messageOf(refused, {});
        say(false, said.heading, said.details);
        return;
    }
    // A configuration on a file host is read, and written, beside the window.
    std::vector<std::string> places;
    if (configured != configurations_.end()) {
        places = configured->second.gameDirs;
        places.push_back(*configured->second.configuration);
    }
    const std::shared_ptr<Hosts> hosts = hostsFor(places);
    const Disk disk = hosts ? hosts->disk() : Disk{};
    auto plan = std::make_shared<std::optional<PlannedSave>>();
    auto differing = std::make_shared<std::string>();
    const DriftInputs inputs = driftInputs(save.server);
    std::optional<NamedServer> told;
    if (configured != configurations_.end())
        told = configured->second;
    beside(
        hosts != nullptr, "Reading " + (places.empty() ? server : places.back()) + "\u2026",
        [plan, differing, told, inputs, disk, hosts,
         changes = save.changes](const std::stop_token & /*stop*/) {
            if (told)
                *plan = planSave(*told->configuration, changes, false, told->gameDirs,
                                 told->startup(), std::nullopt, hosts.get());
            *differing = drifted(inputs, changes, "Before the change, ", disk);
        },
        [this, save, thenClose, server, plan, differing, inputs, disk, hosts] {
            const std::string files = *plan ? filesOf(**plan) : std::string();
            if (!dialogs_.confirm(!files.empty() ? "Save these values into " + files +
                                                       " and send them to " + server + "?"
                                                 : "Send these values to " + server + "?",
                                  (*plan ? (*plan)->shown.said + '\n' : std::string()) +
                                      values(save) + *differing,
                                  !files.empty() ? "Save" : "Send"))
                return;
            auto planned = *plan ? std::make_shared<PlannedSave>(std::move(**plan)) : nullptr;
            withPassword(save.server, [this, save, thenClose, planned, files, server, inputs, disk,
                                       hosts](Password secret) {
                // Filled as the work goes: the file first, then each value sent.
                auto result = std::make_shared<report::Result>();
                result->server = server;
                result->planned = save.changes;
                const auto talk = [this, save, thenClose, result, files, inputs, disk, hosts,
                                   secret = std::move(secret)]() mutable {
                    if (result->saved && result->saved->status != Clean) {
                        const report::Message said = report::messageOf(*result, files);
                        say(false, said.heading, said.details);
                        return;
                    }
                    sendAfterSaving(save, thenClose, result, files, inputs, disk, hosts,
                                    std::move(secret));
                };
                beside(
                    hosts != nullptr && planned, "Saving into " + files + "\u2026",
                    [result, planned, hosts](const std::stop_token & /*stop*/) {
                        if (!planned)
                            return;
                        result->saved = commitSave(std::move(*planned), hosts.get());
                        result->status = result->saved->status;
                    },
                    talk);
            });
        });
}

void Flows::sendAfterSaving(const Form::Save &save, bool thenClose,
                            const std::shared_ptr<report::Result> &result, const std::string &files,
                            DriftInputs inputs, const Disk &disk,
                            const std::shared_ptr<Hosts> &hosts, Password secret) {
    const std::string &server = result->server;
    talkBeside(
        save.server, std::move(secret), "Sending to " + server + "\u2026",
        // `hosts` lives as long as the reads through `disk`.
        [result, changes = save.changes, inputs, disk, hosts](rcon::Session &session,
                                                              const std::string &) mutable {
            result->sent = rcon::sendChanges(session, changes);
            // What the server runs now, as read back, against the file; a
            // value waiting for the next map is said so already.
            std::vector<Change> running;
            for (const rcon::SentValue &v : result->sent->values)
                if (v.held && v.outcome != rcon::Outcome::NextMap && inputs.held) {
                    inputs.held->at(indexOf(v.change.variable)) = rcon::Held{*v.held, {}};
                    running.push_back(v.change);
                }
            if (result->written())
                if (std::string after = drifted(inputs, running, "After the change, ", disk);
                    !after.empty())
                    result->after.push_back(std::move(after));
        },
        [this, save, thenClose, result, files](const std::optional<Unreached> &failed) {
            if (failed)
                result->fail(failed->why);
            if (result->sent)
                result->status = worst(result->status, result->sent->status);
            const bool fine = result->status == Clean;
            if (fine)
                form_.markSaved(save);
            for (const rcon::SentValue &v : result->sent.value_or(rcon::Sent{}).values)
                if (v.held && v.outcome != rcon::Outcome::NextMap)
                    live_[save.server].at(indexOf(v.change.variable)) = rcon::Held{*v.held, {}};
            const report::Message said = report::messageOf(*result, files);
            if (fine && thenClose)
                dialogs_.close();
            else
                say(said.fine && result->after.empty(), said.heading, said.details);
        });
}

Flows::DriftInputs Flows::driftInputs(const std::string &server) const {
    DriftInputs in;
    if (const auto c = configurations_.find(server); c != configurations_.end())
        in.configured = c->second;
    if (const auto h = live_.find(server); h != live_.end())
        in.held = h->second;
    const auto name = named_.find(server);
    in.shown = name != named_.end() ? name->second : server;
    return in;
}

// Of `changes`, those where the configuration the servers file names and
// what the server was last read to run differ, each said as check says it,
// after `lead`; empty when they agree or are not known.
std::string Flows::drifted(const DriftInputs &in, std::span<const Change> changes,
                           std::string_view lead, const Disk &disk) {
    if (!in.configured || !in.held)
        return {};
    const NamedServer &named = *in.configured;
    const Tree tree = readTree(*named.configuration, named.gameDirs, disk, named.startup());
    if (tree.error)
        return {};
    std::string out;
    for (const VariableDrift &d : compare(tree, *in.held).variables)
        if (d.verdict != Verdict::InStep &&
            std::any_of(changes.begin(), changes.end(),
                        [&d](const Change &c) { return c.variable.name == d.variable.name; }))
            out += std::string(d.variable.name) + ": " + describe(d) + '\n';
    return out.empty() ? out
                       : '\n' + std::string(lead) + "the configuration and " + in.shown +
                             " differ:\n" + out;
}

// The server's password file, else the environment, else the system
// keyring, else typed once for the window's life. A kept password the server
// refused is not read again: the dialog asks, its box ticked, and the user
// either keeps the new one or lets the old go.
void Flows::withPassword(const std::string &server, std::function<void(Password)> go) {
    if (const auto known = passwords_.find(server); known != passwords_.end())
        return go(known->second);
    if (auto known = passwordWithoutAsking({}, NamedServer{});
        std::holds_alternative<Password>(known))
        return go(std::get<Password>(std::move(known)));
    if (keyring_ == nullptr)
        return askPassword(server, {}, go);
    wait("Reading the system keyring\u2026");
    readingKeyring_ = true;
    keyring_->find(server, [this, server, go = std::move(go), ask = ++keyringAsks_](Kept kept) {
        if (ask != keyringAsks_)
            return;
        readingKeyring_ = false;
        endWait();
        if (kept.password && !keptRefused_.contains(server))
            go(passwords_[server] =
                   Password{*kept.password, std::string(kKeyringSource), PasswordFrom::Keyring});
        else
            askPassword(server, kept, go);
    });
}

void Flows::askPassword(const std::string &server, const Kept &kept,
                        const std::function<void(Password)> &go) {
    std::optional<bool> keep;
    if (kept.usable)
        keep = kept.password.has_value();
    std::optional<std::string> typed = dialogs_.askPassword(server, keep);
    if (!typed)
        return;
    if (keep.value_or(false))
        toKeep_.insert(server);
    else
        toKeep_.erase(server);
    if (kept.password && !keep.value_or(true)) {
        keptRefused_.erase(server);
        keyring_->forget(server, [this](std::string why) {
            keyringFailed("The password kept in the system keyring was not let go.",
                          std::move(why));
        });
    }
    go(passwords_[server] =
           Password{std::move(*typed), "the password dialog", PasswordFrom::Dialog});
}

void Flows::heard(const std::string &server, const std::optional<Unreached> &failed,
                  const std::function<void()> &then) {
    const auto used = passwords_.find(server);
    if (failed && failed->kind == Unreached::Kind::PasswordRefused && used != passwords_.end()) {
        if (used->second.from == PasswordFrom::Keyring)
            keptRefused_.insert(server);
        passwords_.erase(used);
        toKeep_.erase(server);
    } else if (!failed && used != passwords_.end() && toKeep_.erase(server) != 0) {
        keptRefused_.erase(server);
        keyring_->keep(server, used->second.secret, [this, then](std::string why) {
            keyringFailed("The password was not kept in the system keyring.", std::move(why));
            then();
        });
        return;
    }
    then();
}

void Flows::keyringFailed(std::string_view heading, std::string why) {
    if (!why.empty())
        say(false, heading, std::move(why));
}

void Flows::say(bool fine, std::string_view heading, std::string details) {
    if (shown_)
        dialogs_.message(fine, heading, details);
    else
        held_ = report::Message{fine, std::string(heading), std::move(details)};
}

void Flows::shown() {
    shown_ = true;
    if (std::optional<report::Message> held = std::exchange(held_, std::nullopt))
        dialogs_.message(held->fine, held->heading, held->details);
}

}  // namespace zelvar::app

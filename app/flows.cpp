#include "flows.h"

#include "layout.h"
#include "remote.h"
#include "save.h"
#include "serversfile.h"

#include <memory>
#include <utility>
#include <vector>

namespace zelvar::app {

namespace {

// What a title calls a file: its name, without the folders.
std::string shortName(const std::string &path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

Flows::~Flows() { worker_.request_stop(); }

void Flows::openArguments(std::span<const std::string> arguments) {
    if (arguments.empty())
        return;
    Opener opener;
    opener.openArguments(arguments);
    open(opener);
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
    const std::string server = target.address;
    if (target.name != target.address)
        named_[server] = target.name + " (" + server + ")";
    if (target.passwordFile) {
        auto read = passwordFromFile(*target.passwordFile, true);
        if (auto *why = std::get_if<std::string>(&read)) {
            Opener opener;
            opener.unreachable(std::move(*why));
            open(opener);
            return;
        }
        passwords_[server] = std::get<Password>(std::move(read));
    }
    if (target.configuration)
        configurations_[server] = {*target.configuration, target.gameDir.value_or("")};
    std::optional<Password> secret = password(server);
    if (!secret)
        return;
    inBackground("Reading " + server + "\u2026",
                 [this, server, secret = std::move(*secret)](std::stop_token stop) mutable {
                     auto opener = std::make_shared<Opener>();
                     std::array<std::optional<rcon::Held>, kVariableCount> held;
                     std::string shown;
                     const std::optional<Unreached> failed = talkTo(
                         server, std::move(secret),
                         [&](rcon::Session &session, const std::string &name) {
                             held = session.read(variables());
                             shown = name;
                         },
                         std::move(stop));
                     if (failed)
                         opener->unreachable(failed->why);
                     else
                         opener->openServer(shown, held);
                     return std::function<void()>([this, opener, server, failed] {
                         if (failed && failed->passwordRefused)
                             passwords_.erase(server);
                         unread_ = failed ? std::optional(server) : std::nullopt;
                         open(*opener);
                     });
                 });
}

void Flows::inBackground(std::string what, Work work) {
    waitingFor_ = std::move(what);
    dialogs_.busy(waitingFor_);
    retitle();
    worker_ = std::jthread([this, work = std::move(work)](std::stop_token stop) {
        std::function<void()> then;
        try {
            then = work(std::move(stop));
        } catch (...) {  // reported on the window's thread, as any error is
            then = [error = std::current_exception()] { std::rethrow_exception(error); };
        }
        dialogs_.post([this, then = std::move(then)] {
            if (worker_.joinable())
                worker_.join();
            waitingFor_.clear();
            dialogs_.busy({});
            retitle();
            then();
        });
    });
}

void Flows::escapeKey() { worker_.request_stop(); }

void Flows::retitle() {
    const std::string caption(ui::kForm1Caption);
    const std::optional<std::string> &opened = form_.openedFrom() ? form_.openedFrom() : unread_;
    const auto name = opened ? named_.find(*opened) : named_.end();
    const std::string what = waiting()              ? waitingFor_
                             : name != named_.end() ? name->second
                             : opened               ? shortName(*opened)
                                                    : std::string();
    dialogs_.setTitle(what.empty() ? caption : what + " \u2014 " + caption);
}

// Opening anything while a server is read or sent to would change what that
// work ends in: the keys and drops wait with the window.
void Flows::pasteKey() {
    if (waiting())
        return;
    Opener opener;
    opener.openText("the clipboard", dialogs_.clipboardText());
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
    Opener opener;
    opener.openText("the dropped text", text);
    open(opener);
}

void Flows::open(Opener &opener) {
    const Opening opening = opener.finish();
    form_.open(opening);
    retitle();
    if (opening.leftOut.empty())
        return;
    std::string details;
    for (const std::string &line : opening.leftOut)
        (details += details.empty() ? "" : "\n") += line;
    say(false, opening.heading(), std::move(details));
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
        save = Form::Save{std::move(*chosen), {}, {}, false, true};
        if (const std::optional<Change> line = lineChange(dialogs_.line())) {
            save->changes.push_back(*line);
            save->was.emplace_back();
        }
    }
    if (save->toServer)
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
    const std::string heading = std::string(save->toServer ? "Send" : "Save") + " the changes " +
                                (save->toServer ? "to " : "into ") + save->path +
                                " before closing?";
    switch (dialogs_.askUnsaved(heading, values(*save))) {
    case Dialogs::Unsaved::Save:
        if (save->toServer) {
            send(*save, true);
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

bool Flows::write(const Form::Save &save) {
    PlannedSave plan = planSave(save.path, save.changes, save.create);
    if (plan.shown.changed &&
        !dialogs_.confirm("Save these changes into " + save.path + "?", plan.shown.said, "Save"))
        return false;
    Saved saved = commitSave(std::move(plan));
    const std::string_view heading = saved.heading();
    const bool fine = saved.status == Clean;
    say(fine, heading, std::move(saved.said));
    return fine;
}

// To the server, and into its configuration when the servers file names
// one: both shown first, the file written before anything is sent.
void Flows::send(const Form::Save &save, bool thenClose) {
    if (save.changes.empty()) {
        say(true, rcon::Sent().heading(), {});
        return;
    }
    const auto configured = configurations_.find(save.path);
    std::optional<PlannedSave> plan;
    if (configured != configurations_.end())
        plan = planSave(configured->second.first, save.changes, false, configured->second.second);
    if (!dialogs_.confirm(plan ? "Save these values into " + configured->second.first +
                                     " and send them to " + save.path + "?"
                               : "Send these values to " + save.path + "?",
                          (plan ? plan->shown.said + '\n' : std::string()) + values(save),
                          plan ? "Save" : "Send"))
        return;
    std::optional<Password> secret = password(save.path);
    if (!secret)
        return;
    std::string written;
    if (plan) {
        Saved saved = commitSave(std::move(*plan));
        if (saved.status != Clean) {
            say(false, saved.heading(), saved.said + "\nNothing was sent.");
            return;
        }
        written = std::move(saved.said) + '\n';
    }
    inBackground("Sending to " + save.path + "\u2026",
                 [this, save, thenClose, written,
                  secret = std::move(*secret)](std::stop_token stop) mutable {
                     auto sent = std::make_shared<rcon::Sent>();
                     bool refused = false;
                     if (const std::optional<Unreached> failed = talkTo(
                             save.path, std::move(secret),
                             [&](rcon::Session &session, const std::string &) {
                                 *sent = rcon::sendChanges(session, save.changes);
                             },
                             std::move(stop))) {
                         *sent = {Failed, failed->why};
                         refused = failed->passwordRefused;
                     }
                     return std::function<void()>([this, save, thenClose, written, sent, refused] {
                         if (refused)
                             passwords_.erase(save.path);
                         const bool fine = sent->status == Clean;
                         if (fine)
                             form_.markSaved(save);
                         const std::string_view heading = sent->heading();
                         if (fine && thenClose)
                             dialogs_.close();
                         else
                             say(fine, heading, written + sent->said);
                     });
                 });
}

// The server's password file, else the environment, else typed once for the
// window's life.
std::optional<Password> Flows::password(const std::string &server) {
    if (const auto kept = passwords_.find(server); kept != passwords_.end())
        return kept->second;
    if (std::optional<Password> set = passwordFromEnvironment())
        return set;
    if (std::optional<std::string> typed = dialogs_.askPassword(server))
        return passwords_[server] = Password{std::move(*typed), "the password dialog"};
    return std::nullopt;
}

void Flows::say(bool fine, std::string_view heading, std::string details) {
    if (shown_)
        dialogs_.message(fine, heading, details);
    else
        held_ = Message{fine, heading, std::move(details)};
}

void Flows::shown() {
    shown_ = true;
    if (std::optional<Message> held = std::exchange(held_, std::nullopt))
        dialogs_.message(held->fine, held->heading, held->details);
}

}  // namespace zelvar::app

#include "flows.h"

#include "remote.h"
#include "save.h"

#include <utility>
#include <vector>

namespace zelvar::app {

namespace {

// Sets the window busy for as long as it lives.
class Busy {
public:
    Busy(Dialogs &dialogs, std::string_view what) : dialogs_(dialogs) { dialogs_.busy(what); }
    ~Busy() { dialogs_.busy({}); }
    Busy(const Busy &) = delete;
    Busy &operator=(const Busy &) = delete;

private:
    Dialogs &dialogs_;
};

}  // namespace

void Flows::openArguments(std::span<const std::string> arguments) {
    if (arguments.empty())
        return;
    Opener opener;
    opener.openArguments(arguments);
    open(opener);
}

void Flows::openServer(const std::string &server) {
    std::optional<Password> secret = password(server);
    if (!secret)
        return;
    Opener opener;
    {
        const Busy busy(dialogs_, "Reading " + server + "\u2026");
        std::array<std::optional<rcon::Held>, kVariableCount> held;
        std::string shown;
        if (const std::optional<std::string> why = talkTo(
                server, std::move(*secret), [&](rcon::Session &session, const std::string &name) {
                    held = session.read(variables());
                    shown = name;
                }))
            opener.unreachable(*why);
        else
            opener.openServer(shown, held);
    }
    open(opener);
}

void Flows::pasteKey() {
    Opener opener;
    opener.openText("the clipboard", dialogs_.clipboardText());
    open(opener);
}

void Flows::copyKey() { dialogs_.setClipboardText(dialogs_.line()); }

void Flows::dropFiles(std::span<const std::string> paths) {
    Opener opener;
    for (const std::string &path : paths)
        opener.openFile(path);
    open(opener);
}

void Flows::dropText(const std::string &text) {
    Opener opener;
    opener.openText("the dropped text", text);
    open(opener);
}

void Flows::open(Opener &opener) {
    const Opening opening = opener.finish();
    form_.open(opening);
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
// then says what became of each change, or why nothing did.
void Flows::saveKey() {
    std::optional<Form::Save> save = form_.saveIntoOpened();
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
    this->save(*save);
}

bool Flows::save(const Form::Save &save) {
    const bool done = save.toServer ? send(save) : write(save);
    if (done)
        form_.markSaved();
    return done;
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
    const std::optional<Form::Save> save = form_.saveIntoOpened();
    if (!save || save->changes.empty())
        return true;
    const std::string heading = std::string(save->toServer ? "Send" : "Save") + " the changes " +
                                (save->toServer ? "to " : "into ") + save->path +
                                " before closing?";
    switch (dialogs_.askUnsaved(heading, values(*save))) {
    case Dialogs::Unsaved::Save:
        return this->save(*save);
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

bool Flows::send(const Form::Save &save) {
    rcon::Sent sent;
    if (!save.changes.empty()) {
        if (!dialogs_.confirm("Send these values to " + save.path + "?", values(save), "Send"))
            return false;
        std::optional<Password> secret = password(save.path);
        if (!secret)
            return false;
        const Busy busy(dialogs_, "Sending to " + save.path + "\u2026");
        if (const std::optional<std::string> why = talkTo(
                save.path, std::move(*secret), [&](rcon::Session &session, const std::string &) {
                    sent = rcon::sendChanges(session, save.changes);
                }))
            sent = {Failed, *why};
    }
    const std::string_view heading = sent.heading();
    const bool fine = sent.status == Clean;
    say(fine, heading, std::move(sent.said));
    return fine;
}

// From the environment, else asked for; none when the user cancels.
std::optional<Password> Flows::password(const std::string &server) {
    if (std::optional<Password> set = passwordFromEnvironment())
        return set;
    if (std::optional<std::string> typed = dialogs_.askPassword(server))
        return Password{std::move(*typed), "the password dialog"};
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

// What both windows do beyond their controls, written once: opening the
// program's arguments, a server, pasted or dropped text; the copy key; the
// save key (into the file opened, to the server opened, or into a file the
// user names); finding the password (and keeping it in the system keyring
// when the user asks); and saying what became of each.
//
// How data flows: a window hands its keys and drops to a Flows, which reads
// and writes through the model (Opener, Form), the platform layer (files,
// sockets) and the window's Dialogs, the platform's standard dialogs; the
// steps the web page shares are in opening.h. A save or a send fills one
// report::Result as it goes, and its message is that result's
// (report::messageOf), whatever step it stopped at. Talking
// to a server runs on a worker thread that touches nothing of the window's:
// its result comes back through Dialogs::post, and the window paints and
// answers meanwhile (Escape stops the wait). A message waits until the window
// is on screen (shown()), so that it opens over it. A RuntimeError escaping a
// flow is the window's to report, as one escaping a click procedure is.
#pragma once

#include "drift.h"
#include "form.h"
#include "hosts.h"
#include "keyring.h"
#include "remote.h"
#include "report.h"
#include "servers.h"

#include <atomic>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

namespace zelvar::app {

// Either window's --help: its arguments, the servers file and where the
// password comes from.
std::string windowHelp();

// The password dialog's choice, where a keyring can keep it.
inline constexpr std::string_view kKeepPasswordCaption = "&Keep it in the system keyring";

// What a flow asks of a window; each answers with its platform's standard dialog.
class Dialogs {
public:
    // A file the user names to save the line into; none when cancelled.
    virtual std::optional<std::string> askSaveFile() = 0;
    // The remote-console password for `server`, typed unseen; none when
    // cancelled. `keep`: none where there is no keyring; else whether to keep
    // the password there, shown as it comes and left as the user chose.
    virtual std::optional<std::string> askPassword(const std::string &server,
                                                   std::optional<bool> &keep) = 0;
    // Shows `details`, what will be written or sent, and asks to go ahead
    // with `action` ("Save", "Send"); false when the user cancels.
    virtual bool confirm(std::string_view heading, const std::string &details,
                         std::string_view action) = 0;
    // Changes neither saved nor sent, listed in `details`, as the window
    // closes: save them, let them go, or keep the window open.
    enum class Unsaved { Save, Discard, Cancel };
    virtual Unsaved askUnsaved(std::string_view heading, const std::string &details) = 0;
    // A message over the window: information when `fine`, else a warning.
    virtual void message(bool fine, std::string_view heading, const std::string &details) = 0;
    virtual std::string clipboardText() = 0;
    virtual void setClipboardText(const std::string &text) = 0;
    // Work under way that the window waits for, said in `what`; empty: done.
    virtual void busy(std::string_view what) = 0;
    // The line the text box holds.
    virtual std::string line() const = 0;
    // Runs `then` on the window's thread once it is free; called from any thread.
    virtual void post(std::function<void()> then) = 0;
    virtual void setTitle(const std::string &title) = 0;
    virtual void close() = 0;

protected:
    ~Dialogs() = default;
};

class Flows {
public:
    // Without a `keyring`, a password typed lasts the window's life.
    // `connect` reaches a server, `openHost` a file host: the network,
    // unless a test scripts them.
    Flows(Form &form, Dialogs &dialogs, Keyring *keyring = nullptr,
          rcon::Connect connect = udpConnect(), OpenHost openHost = zelvar::openHost)
        : form_(form), dialogs_(dialogs), keyring_(keyring), connect_(std::move(connect)),
          openHost_(std::move(openHost)) {}
    ~Flows();  // stops a wait under way
    Flows(const Flows &) = delete;
    Flows &operator=(const Flows &) = delete;

    // FILE | LINE | VARIABLE VALUE, as the program's arguments give them;
    // a file on a file host is read beside the window.
    void openArguments(std::span<const std::string> arguments);
    // The nine settings of a server named in the servers file, or of
    // HOST[:PORT]; the save key sends there.
    void openServer(const std::string &named);
    // A rank's button: where the file or server opened does not set that
    // rank, a message says so.
    void rankClick(Rank rank);
    void pasteKey();
    void copyKey();
    // Dropped files open as files; a drop of text alone, as text.
    void dropFiles(std::span<const std::string> paths);
    void dropText(const std::string &text);
    void saveKey();
    // Stops a wait for a server; the message then says what was done.
    void escapeKey();
    // The window is on screen: a message held back until then is said now.
    void shown();
    // The window is asked to close: whether it may, changes saved, sent or
    // let go as the user says. Asked while it waits, it stops the wait.
    bool mayClose();
    bool waiting() const { return !waitingFor_.empty(); }

private:
    void open(Opener &opener);
    // Each says what became of the save; true when all was done. A send
    // goes on beside the window, and closes it after, when `thenClose`.
    bool write(const Form::Save &save);
    // A file on a file host: read, and once confirmed written, beside the window.
    void writeBeside(const Form::Save &save, bool thenClose);
    void send(const Form::Save &save, bool thenClose);
    struct DriftInputs;
    // The values sent, once the configuration took them, and all said.
    void sendAfterSaving(const Form::Save &save, bool thenClose,
                         const std::shared_ptr<report::Result> &result, const std::string &files,
                         DriftInputs inputs, const Disk &disk, const std::shared_ptr<Hosts> &hosts,
                         Password secret);
    static std::string values(const Form::Save &save);
    // What the configuration and what the server was last read to run
    // differ in, of `changes`, after `lead`; read through `disk`.
    struct DriftInputs {
        std::optional<NamedServer> configured;
        std::optional<Live> held;
        std::string shown;
    };
    DriftInputs driftInputs(const std::string &server) const;
    static std::string drifted(const DriftInputs &in, std::span<const Change> changes,
                               std::string_view lead, const Disk &disk);
    // Work that reaches a server or a file host goes beside the window,
    // which shows it waits for `what`, until Escape asks `work` to stop; then
    // `then` follows on the window's thread. Work on this machine's files is
    // done at once.
    void beside(bool remote, std::string what, std::function<void(std::stop_token)> work,
                std::function<void()> then);
    // A file host's connections for one action: none where all is here.
    std::shared_ptr<Hosts> hostsFor(const std::vector<std::string> &paths) const;
    // From the worker: the user's answer to a confirmation the window shows;
    // no, once the window goes.
    bool askBeside(std::string heading, std::string question, std::string action) const;
    // Runs `go` with the password for `server`, at once or once the
    // keyring answered; not when the user cancels.
    void withPassword(const std::string &server, std::function<void(Password)> go);
    void askPassword(const std::string &server, const Kept &kept,
                     const std::function<void(Password)> &go);
    // What the server made of the password: refused, it is let go; taken,
    // it is kept in the keyring if the user chose so. Then `then`, once the
    // keyring answered, so that a window closed after is not closed before.
    void heard(const std::string &server, const std::optional<Unreached> &failed,
               const std::function<void()> &then);
    void keyringFailed(std::string_view heading, std::string why);
    void say(bool fine, std::string_view heading, std::string details);
    // Talks to `server` through `talk` on the worker, the window showing
    // that it waits for `what`; then, on the window's thread and once the
    // password's fate is settled (heard), `done` with what kept the talk
    // from its end.
    using Talk = std::function<void(rcon::Session &, const std::string &server)>;
    using Heard = std::function<void(const std::optional<Unreached> &)>;
    void talkBeside(const std::string &server, Password secret, std::string what, Talk talk,
                    Heard done);
    void wait(std::string what);
    void endWait();
    void retitle();
    // What the servers file calls the server `opened`, if it is one it names.
    std::string nameOf(const std::optional<std::string> &opened) const;

    Form &form_;
    Dialogs &dialogs_;
    Keyring *keyring_;
    rcon::Connect connect_;
    OpenHost openHost_;
    std::atomic<bool> closing_ = false;
    bool shown_ = false;
    std::optional<report::Message> held_;  // said once the window shows
    std::string waitingFor_;               // while the worker runs: "Sending to HOST:PORT…"
    std::optional<std::string> unread_;    // a server that could not be read when opened
    // Typed for a server (or read from its password file), kept in memory
    // for the window's life, until refused.
    std::map<std::string, Password> passwords_;
    std::set<std::string> toKeep_;       // typed to be kept once a server takes it
    std::set<std::string> keptRefused_;  // the keyring's password was refused: ask
    unsigned keyringAsks_ = 0;           // a keyring's answer to an older ask is let go
    bool readingKeyring_ = false;
    // By address: the servers file's server, where it names its configuration.
    std::map<std::string, NamedServer> configurations_;  // with the folders the server told
    // By address: where the server reads another file than its configuration
    // names here, which no save writes past.
    std::map<std::string, std::string> elsewhere_;
    std::map<std::string, std::string> named_;  // address: "ffa (address)", from the servers file
    std::map<std::string, Live> live_;          // by address: what the server was last read to run
    std::jthread worker_;                       // last, so that it stops before the rest goes
};

}  // namespace zelvar::app

// The windows' shared flows, once, without a window: a fake that keeps the
// boxes as bits and answers each dialog from a script. Each real window runs
// them once more through its keys (tst_window, tst_win32), with a rank
// chosen only to look and a server that answers or falls silent.
#include "flows.h"

#include "memoryhost.h"
#include "oracle.h"
#include "scripted.h"

#include <QTemporaryDir>
#include <QTest>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>

using zelvar::Group;
using zelvar::Rank;

namespace {

struct FakeWindow final : zelvar::Controls, zelvar::app::Dialogs {
    std::array<std::uint32_t, zelvar::kGroupCount> on{};
    Rank rank = Rank::Council;
    std::string text;
    std::deque<std::optional<std::string>> answers;  // the user's, in order; none: cancel
    QStringList asked;                               // "file", "password SERVER"
    QStringList said;                                // "warning|information HEADING\nDETAILS"
    QString shown;                                   // what the last confirmation showed

    FakeWindow() {
        for (const zelvar::SettingGroup &g : zelvar::kCatalogue)
            on[std::size_t(g.group)] = startStates(g.group);
    }
    bool checked(Group g, int i) const override { return (on[std::size_t(g)] >> i & 1U) != 0; }
    bool rankSelected(Rank r) const override { return r == rank; }
    void writeLine(std::string_view line) override { text = line; }
    void setPanelVisible(Group /*group*/, bool /*visible*/) override {}
    void setChecked(Group g, int i, bool c) override {
        on[std::size_t(g)] = (on[std::size_t(g)] & ~(1U << i)) | (c ? 1U << i : 0U);
    }
    void setRankSelected(Rank r) override { rank = r; }
    void placePicture(int /*left*/, int /*top*/, int /*width*/, int /*height*/) override {}
    int outerWidth() const override { return 0; }
    int outerHeight() const override { return 0; }
    void setOutputBackground(std::uint32_t /*rgb*/) override {}

    std::optional<std::string> answer(const QString &dialog) {
        asked << dialog;
        if (answers.empty())
            qFatal("a dialog nobody expected: %s", qPrintable(dialog));
        std::optional<std::string> a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> askSaveFile() override { return answer("file"); }
    std::optional<std::string> askPassword(const std::string &server,
                                           std::optional<bool> &keep) override {
        return answer("password " + QString::fromStdString(server) +
                      (keep ? *keep ? " [x] keep" : " [ ] keep" : ""));
    }
    bool confirm(std::string_view heading, const std::string &details,
                 std::string_view action) override {
        shown = QString::fromStdString(details);
        return answer(QString::fromStdString(std::string(action) + ' ' + std::string(heading)))
            .has_value();
    }
    Unsaved askUnsaved(std::string_view /*heading*/, const std::string & /*details*/) override {
        const std::optional<std::string> a = answer("unsaved");
        return !a ? Unsaved::Cancel : *a == "save" ? Unsaved::Save : Unsaved::Discard;
    }
    void message(bool fine, std::string_view heading, const std::string &details) override {
        said << QString::fromStdString((fine ? "information " : "warning ") + std::string(heading) +
                                       '\n' + details);
    }
    std::string clipboard;
    std::string clipboardText() override { return clipboard; }
    void setClipboardText(const std::string & /*text*/) override {}
    void busy(std::string_view /*what*/) override {}
    std::string line() const override { return text; }
    // What the worker hands back, run as the window's loop would.
    void post(std::function<void()> then) override {
        const std::lock_guard<std::mutex> hold(postedLock);
        posted.push_back(std::move(then));
        arrived.notify_one();
    }
    // Runs what the worker posts until `flows` waits no more (5 s at most).
    void settle(const zelvar::app::Flows &flows) {
        while (flows.waiting()) {
            std::unique_lock<std::mutex> hold(postedLock);
            if (!arrived.wait_for(hold, std::chrono::seconds(5),
                                  [this] { return !posted.empty(); }))
                qFatal("the worker never answered");
            std::function<void()> then = std::move(posted.front());
            posted.pop_front();
            hold.unlock();
            then();
        }
    }
    std::mutex postedLock;
    std::condition_variable arrived;
    std::deque<std::function<void()>> posted;
    void setTitle(const std::string &t) override { title = QString::fromStdString(t); }
    void close() override { closed = true; }
    bool closed = false;
    QString title = "unchanged";
};

struct Window {
    FakeWindow fake;
    zelvar::Form form{fake};
    zelvar::app::Flows flows;
    explicit Window(ScriptedServer *server = nullptr, zelvar::Keyring *keyring = nullptr,
                    zelvar::OpenHost open = {})
        : flows(form, fake, keyring,
                server != nullptr ? connectTo(*server) : zelvar::rcon::Connect{}, std::move(open)) {
        form.Form_Load();
    }
};

// The remote commands that set a value, joined by "; ".
QString setsOn(const ScriptedServer &server) {
    QStringList sets;
    for (const std::string &c : server.commands)
        if (c.starts_with("set "))
            sets << QString::fromStdString(c);
    return sets.join("; ");
}

}  // namespace

class TestFlows : public QObject {
    Q_OBJECT

private slots:
    void messageWaitsForTheWindow();
    void saveKey_data();
    void saveKey();
    void closing();
    void changedWhileSending();
    void keyringNeverAnswers();
    void sendToServer_data();
    void sendToServer();
    void openedFromAServer();
    void fileOnAHost();
    void escapeWhileAHostStalls();
};

// Arguments open before the window shows; what they left out is said over
// it once it does, and said once.
void TestFlows::messageWaitsForTheWindow() {
    Window w;
    w.flows.openArguments(std::vector<std::string>{"zv_teamLock", "-4"});
    QVERIFY(w.fake.said.isEmpty());
    w.flows.shown();
    w.flows.shown();
    QCOMPARE(w.fake.said.size(), 1);
    QVERIFY(w.fake.said[0].startsWith("warning Nothing was opened.\nargument 1: zv_teamLock"));
    QCOMPARE(w.fake.title, "Zelvar 1.9 Bitrate Calculator V1.3");
}

// What the save key asks, says and writes, by where the window was opened
// from and what the user changed and answered since.
void TestFlows::saveKey_data() {
    QTest::addColumn<QString>("opened");       // "file", "server" or "" (nothing)
    QTest::addColumn<bool>("change");          // WP_MELEE clicked after opening
    QTest::addColumn<QStringList>("answers");  // "-" cancels; "FILE" names the file
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QString>("said");  // how the one message starts; "" none
    QTest::addColumn<QString>("file");  // the file afterwards; "=" as before
    const QString save = "Save Save these changes into \"FILE\"?";
    const QString send = "Send Send these values to 127.0.0.1:9?";
    QTest::newRow("file, nothing changed")
        << "file" << false << QStringList{} << QStringList{} << "information Nothing to save.\n"
        << "=";
    QTest::newRow("file, a box changed, the diff shown and saved")
        << "file" << true << QStringList{"yes"} << QStringList{save} << "information Saved.\n--- a/"
        << "seta g_weaponDisable \"44\"\nseta zv_teamLock 4\n";
    QTest::newRow("file, a box changed, the diff shown and cancelled")
        << "file" << true << QStringList{"-"} << QStringList{save} << ""
        << "=";
    QTest::newRow("file and the file it execs, a box of each changed: both named, both written")
        << "two files" << true << QStringList{"yes"}
        << QStringList{"Save Save these changes into \"FILE\" and \"ZV\"?"}
        << "information Saved.\n--- a/"
        << "seta g_weaponDisable \"44\"\nexec zv\n";
    QTest::newRow("nothing opened, the file dialog cancelled")
        << "" << true << QStringList{"-"} << QStringList{"file"} << ""
        << "=";
    QTest::newRow("nothing opened, a file named")
        << "" << true << QStringList{"FILE", "yes"} << QStringList{"file", save}
        << "information Saved.\n"
        << "seta g_weaponDisable \"4\"\nseta zv_teamLock 4\n";
    QTest::newRow("server, nothing changed: nothing asked or sent")
        << "server" << false << QStringList{} << QStringList{} << "information Nothing to send.\n"
        << "=";
    QTest::newRow("server, the values shown and cancelled: no password asked, nothing sent")
        << "server" << true << QStringList{"-"} << QStringList{send} << ""
        << "=";
    QTest::newRow("server, the password cancelled: nothing sent or said")
        << "server" << true << QStringList{"yes", "-"} << QStringList{send, "password 127.0.0.1:9"}
        << ""
        << "=";
}

void TestFlows::saveKey() {
    QFETCH(QString, opened);
    QFETCH(bool, change);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, asked);
    QFETCH(QString, said);
    QFETCH(QString, file);
    qunsetenv("ZELVAR_RCON_PASSWORD");
    QTemporaryDir folder;
    const std::string path = folder.filePath("server.cfg").toStdString();
    const std::string zv = folder.filePath("zv.cfg").toStdString();
    const std::string before = opened == "two files"
                                   ? "seta g_weaponDisable \"40\"\nexec zv\n"
                                   : "seta g_weaponDisable \"40\"\nseta zv_teamLock 4\n";
    std::ofstream(path, std::ios::binary) << before;
    std::ofstream(zv, std::ios::binary) << "seta zv_teamLock 4\n";

    asked.replaceInStrings("FILE", QString::fromStdString(path));
    asked.replaceInStrings("ZV", QString::fromStdString(zv));
    Window w;
    w.flows.shown();
    if (opened == "two files") {
        w.flows.openArguments(std::vector<std::string>{path});
        w.fake.on[std::size_t(Group::Lock)] ^= 1U << 3;
        w.form.checkBoxClick(Group::Lock, 3);
    } else if (opened == "file") {
        w.flows.openArguments(std::vector<std::string>{path});
    } else if (opened == "server") {
        zelvar::Opening server;
        server.server = "127.0.0.1:9";
        server.retargets = true;
        w.form.open(server);
    }
    if (change) {
        w.fake.on[std::size_t(Group::Weapon)] ^= 1U << 2;  // as a click leaves it
        w.form.checkBoxClick(Group::Weapon, 2);
    }
    for (const QString &a : answers)
        w.fake.answers.push_back(a == "-" ? std::nullopt
                                          : std::optional(a == "FILE" ? path : a.toStdString()));
    w.flows.saveKey();
    QCOMPARE(w.fake.asked, asked);
    if (!asked.filter("Send ").isEmpty())
        QCOMPARE(w.fake.shown, "g_weaponDisable: 0 \u2192 4\n");
    QCOMPARE(w.fake.said.size(), said.isEmpty() ? 0 : 1);
    if (!said.isEmpty())
        QVERIFY2(w.fake.said[0].startsWith(said), qPrintable(w.fake.said[0]));
    std::ifstream in(path, std::ios::binary);
    QCOMPARE(std::string(std::istreambuf_iterator<char>(in), {}),
             file == "=" ? before : file.toStdString());
}

// A window with changes neither saved nor sent asks before it closes; once
// they are saved, it closes without a word, and the save key has nothing more.
void TestFlows::closing() {
    QTemporaryDir folder;
    const std::string path = folder.filePath("server.cfg").toStdString();
    std::ofstream(path, std::ios::binary) << "seta zv_teamLock 4\n";
    Window w;
    w.flows.shown();
    QVERIFY(w.flows.mayClose());
    w.flows.openArguments(std::vector<std::string>{path});
    QCOMPARE(w.fake.title, "server.cfg \u2014 Zelvar 1.9 Bitrate Calculator V1.3");
    w.fake.on[std::size_t(Group::Lock)] ^= 1U;
    w.form.checkBoxClick(Group::Lock, 0);
    w.fake.answers = {std::nullopt, "discard", "save", "yes"};
    QVERIFY(!w.flows.mayClose());
    QVERIFY(w.flows.mayClose());
    QVERIFY(w.flows.mayClose());
    QVERIFY(w.fake.answers.empty());
    QVERIFY(w.flows.mayClose());
    w.flows.saveKey();
    QCOMPARE(w.fake.said.last(),
             "information Nothing to save.\n" + QString::fromStdString(path) + ": unchanged");
}

// A box changed while a save is under way is a change for the next save:
// what was saved is what the save key compares with, not the boxes now.
void TestFlows::changedWhileSending() {
    Window w;
    zelvar::Opening server;
    server.server = "127.0.0.1:9";
    server.retargets = true;
    w.form.open(server);
    for (int box : {0, 1}) {
        w.fake.on[std::size_t(Group::Lock)] ^= 1U << box;
        w.form.checkBoxClick(Group::Lock, box);
    }
    const std::optional<zelvar::Form::Save> sending = w.form.saveIntoOpened();
    w.fake.on[std::size_t(Group::Lock)] ^= 1U << 2;
    w.form.checkBoxClick(Group::Lock, 2);
    w.form.markSaved(*sending);
    const std::optional<zelvar::Form::Save> next = w.form.saveIntoOpened();
    QCOMPARE(next->changes.size(), 1U);
    QCOMPARE(next->was[0], sending->changes[0].value);
}

// A keyring that never answers (its unlock prompt left open) holds the
// window only until Escape; its answer then comes too late to ask or send.
void TestFlows::keyringNeverAnswers() {
    struct Silent final : zelvar::Keyring {
        std::function<void(zelvar::Kept)> late;
        void find(const std::string & /*server*/, std::function<void(zelvar::Kept)> then) override {
            late = std::move(then);
        }
        void keep(const std::string & /*server*/, const std::string & /*password*/,
                  Done /*then*/) override {}
        void forget(const std::string & /*server*/, Done /*then*/) override {}
    } keyring;
    FakeWindow fake;
    zelvar::Form form{fake};
    zelvar::app::Flows flows{form, fake, &keyring};
    qunsetenv("ZELVAR_RCON_PASSWORD");
    flows.openServer("127.0.0.1:9");
    QVERIFY(flows.waiting() && keyring.late);
    flows.escapeKey();
    QVERIFY(!flows.waiting());
    keyring.late({"s3cret", true});  // a dialog or a talk now would be the fake's fatal error
    QVERIFY(fake.asked.isEmpty());
}

void TestFlows::sendToServer_data() {
    QTest::addColumn<QString>("server");         // how the scripted server behaves
    QTest::addColumn<QString>("configuration");  // in the servers file; "" none
    QTest::addColumn<QString>("shown");          // in the confirmation, besides the values
    QTest::addColumn<QString>("said");           // the message after the save
    QTest::addColumn<QString>("sets");           // what reached the server
    QTest::newRow("a value latched for the next map is sent, and said to wait")
        << ""
        << ""
        << ""
        << "information Sent.\ng_weaponDisable 44: takes effect at the next map"
        << "set g_weaponDisable 44";
    QTest::newRow("a server without the variable: nothing sent, and said")
        << "lacks"
        << ""
        << ""
        << ": not sent: the server has no such variable"
        << "";
    QTest::newRow("written into the configuration, then sent; their drift shown first")
        << "changed live"
        << "seta g_weaponDisable 40\n"
        << "Before the change, the configuration and ffa (127.0.0.1:27960) differ:\n"
           "g_weaponDisable: differs: the configuration \"40\" (\"CFG\" line 1), the server "
           "\"8\"\n"
        << "information Written into \"CFG\" and sent to ffa (127.0.0.1:27960)."
        << "set g_weaponDisable 12";
    QTest::newRow("a configuration on a file host: read and written beside the window, then sent")
        << "changed live"
        << "host:seta g_weaponDisable 40\n"
        << "g_weaponDisable: differs: the configuration \"40\" (\"CFG\" line 1)"
        << "information Written into \"CFG\" and sent to ffa (127.0.0.1:27960)."
        << "set g_weaponDisable 12";
    QTest::newRow("the configuration refuses the edit: nothing is sent")
        << ""
        << "seta g_weaponDisable 40 1\n"
        << ""
        << "warning Nothing was saved.\n"
        << "";
    QTest::newRow("silent once the file is written: the write is said with the failure")
        << "silent"
        << "seta g_weaponDisable 40\n"
        << ""
        << "warning Written into \"CFG\"; not sent to ffa (127.0.0.1:27960): no reply from"
        << "";
    QTest::newRow("Escape while it sends: stopped, and said so")
        << "hangs"
        << ""
        << ""
        << "warning Nothing was applied.\nthe wait for 127.0.0.1:27960 was cancelled"
        << "";
}

// A server's values opened, a box changed, the save key: what is asked,
// written, sent and said, through the scripted server.
void TestFlows::sendToServer() {
    QFETCH(QString, server);
    QFETCH(QString, configuration);
    QFETCH(QString, shown);
    QFETCH(QString, said);
    QFETCH(QString, sets);
    QTemporaryDir folder;
    MemoryHost host;
    const bool onHost = configuration.startsWith("host:");
    configuration.remove(0, onHost ? 5 : 0);
    const std::string cfg =
        onHost ? "sftp://h/g/server.cfg" : folder.filePath("server.cfg").toStdString();
    const std::string servers = folder.filePath("servers.toml").toStdString();
    if (onHost)
        host.files["/g/server.cfg"] = {configuration.toStdString(), 0640};
    else
        std::ofstream(cfg, std::ios::binary) << configuration.toStdString();
    std::ofstream(servers) << "[servers.ffa]\naddress = \"127.0.0.1:27960\"\n"
                           << (configuration.isEmpty() ? "" : "configuration = \"" + cfg + "\"\n");
    qputenv("ZELVAR_SERVERS", servers.c_str());
    qputenv("ZELVAR_RCON_PASSWORD", "s3cret");
    ScriptedServer scripted("s3cret");
    if (server == "lacks")
        scripted.held.erase("g_weaponDisable");
    if (server == "changed live")
        scripted.held["g_weaponDisable"] = "8";
    int opened = 0;
    Window w(&scripted, nullptr, reaching(host, "sftp://h", opened));
    w.flows.shown();
    w.flows.openServer("ffa");
    w.fake.settle(w.flows);
    w.fake.on[std::size_t(Group::Weapon)] ^= 1U << 2;  // as a click leaves it
    w.form.checkBoxClick(Group::Weapon, 2);
    w.fake.answers = {"yes"};
    w.fake.said.clear();  // what opening said of the variables the server lacks
    scripted.hangs = server == "hangs";
    scripted.silent = server == "silent";
    w.flows.saveKey();
    if (scripted.hangs)
        w.flows.escapeKey();
    w.fake.settle(w.flows);
    const QString file = QString::fromStdString(cfg);
    QVERIFY2(w.fake.shown.contains(QString(shown).replace("CFG", file)), qPrintable(w.fake.shown));
    if (!configuration.isEmpty() && !sets.isEmpty())  // the file's diff too, before anything goes
        QVERIFY2(w.fake.shown.contains("+seta g_weaponDisable " + sets.split(' ').last()),
                 qPrintable(w.fake.shown));
    QVERIFY2(w.fake.said.size() == 1 &&
                 w.fake.said[0].contains(QString(said).replace("CFG", QString::fromStdString(cfg))),
             qPrintable(w.fake.said.join("\n---\n")));
    QCOMPARE(setsOn(scripted), sets);
    if (onHost)
        QCOMPARE(QString::fromStdString(host.files.at("/g/server.cfg").bytes),
                 "seta g_weaponDisable 12\n");
    qunsetenv("ZELVAR_SERVERS");
}

// Opened from a server that sets every rank: another rank looked at is no
// change to send; a change saved on closing is sent, and then the window
// closes.
void TestFlows::openedFromAServer() {
    qputenv("ZELVAR_RCON_PASSWORD", "s3cret");
    ScriptedServer scripted("s3cret");
    for (const char *rank :
         {"zv_knightAllowedCMD", "zv_instructorAllowedCMD", "zv_councilAllowedCMD"})
        scripted.held[rank] = "38";
    Window w(&scripted);
    w.flows.shown();
    w.flows.openServer("127.0.0.1:27960");
    w.fake.settle(w.flows);
    w.fake.rank = Rank::Knight;  // as a click leaves it
    w.flows.rankClick(Rank::Knight);
    w.fake.said.clear();
    w.flows.saveKey();
    QCOMPARE(w.fake.said, QStringList{"information Nothing to send.\n"});
    w.fake.on[std::size_t(Group::Lock)] ^= 1U;
    w.form.checkBoxClick(Group::Lock, 0);
    w.fake.answers = {"save", "yes"};
    QVERIFY(!w.flows.mayClose());  // not yet: it sends first
    w.fake.settle(w.flows);
    QVERIFY(w.fake.closed);
    QCOMPARE(setsOn(scripted), "set zv_teamLock 22");
}

// A location pasted opens its file from the host beside the window, and the
// save key writes it back there: the bytes the host ends with, the message.
void TestFlows::fileOnAHost() {
    MemoryHost host;
    host.files["/g/server.cfg"] = {"seta zv_teamLock 4\n", 0640};
    host.renamesOntoFiles = false;
    int opened = 0;
    // A host key not yet known: the window asks, once, and the user trusts it.
    const zelvar::OpenHost reach = reaching(host, "sftp://h", opened);
    Window w(nullptr, nullptr,
             [&](const zelvar::Location &at, const zelvar::HostTerms &terms,
                 std::vector<std::string> &notices)
                 -> std::variant<std::unique_ptr<zelvar::FileHost>, std::string> {
                 if (opened == 0 && !(terms.trust && terms.trust("ED25519 SHA256:x")))
                     return "not trusted";
                 return reach(at, terms, notices);
             });
    w.fake.answers = {"trust"};
    w.flows.shown();
    w.fake.clipboard = "  sftp://h/g/server.cfg\n";
    w.flows.pasteKey();
    QVERIFY(w.flows.waiting());
    w.fake.settle(w.flows);
    QCOMPARE(w.fake.title, "server.cfg \u2014 Zelvar 1.9 Bitrate Calculator V1.3");
    w.fake.on[std::size_t(Group::Lock)] ^= 1U;
    w.form.checkBoxClick(Group::Lock, 0);
    w.fake.answers = {"yes"};
    w.flows.saveKey();
    w.fake.settle(w.flows);  // reading again, then saving, each beside the window
    QCOMPARE(w.fake.asked,
             QStringList({"Trust Trust this server's host key?",
                          "Save Save these changes into \"sftp://h/g/server.cfg\"?"}));
    QCOMPARE(w.fake.said.size(), 1);
    QVERIFY2(w.fake.said[0].startsWith("information Saved.") &&
                 w.fake.said[0].contains("the old was moved aside"),
             qPrintable(w.fake.said[0]));
    QCOMPARE(QString::fromStdString(host.files.at("/g/server.cfg").bytes), "seta zv_teamLock 6\n");
    QCOMPARE(host.files.at("/g/server.cfg").mode, 0640U);
    QCOMPARE(opened, 2);  // one connection to read it, one to save
    w.flows.saveKey();
    QCOMPARE(w.fake.said.size(), 1);  // saved: nothing more, and nothing read again
}

// Escape while a host does not answer ends the wait at once, as it does a
// server's: its client ended, the window says so.
void TestFlows::escapeWhileAHostStalls() {
    QTemporaryDir folder;
    const std::string stalls = folder.filePath("sftp").toStdString();
    std::ofstream(stalls) << "#!/bin/sh\ntouch \"$0.ran\"\nexec sleep 20\n";
    std::filesystem::permissions(stalls, std::filesystem::perms::owner_all);
    qputenv("ZELVAR_SFTP", QByteArray::fromStdString(stalls));
    Window w(nullptr, nullptr, zelvar::openHost);
    w.flows.shown();
    w.fake.clipboard = "sftp://127.0.0.1/g/server.cfg\n";
    w.flows.pasteKey();
    QVERIFY(w.flows.waiting());
    for (int i = 0; i < 500 && !std::filesystem::exists(stalls + ".ran"); ++i)
        QTest::qSleep(10);  // until the client runs
    w.flows.escapeKey();
    w.fake.settle(w.flows);  // within its 5 s, or it fails
    qunsetenv("ZELVAR_SFTP");
    QVERIFY2(!w.fake.said.empty() &&
                 w.fake.said.last().contains("the wait for sftp://127.0.0.1 was cancelled"),
             qPrintable(w.fake.said.join('\n')));
}

QTEST_APPLESS_MAIN(TestFlows)
#include "tst_flows.moc"

// The drift between a configuration and its server, and zelvar-bits' commands
// on servers, in process against a scripted server (scripted.h): no network,
// no engine, no time spent waiting. Each row says the fault it catches; the
// real engine proves the same paths again in contract.py.
#include "bits.h"
#include "drift.h"
#include "scripted.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

std::string readAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// zelvar-bits run with `arguments` against `server`: its status, output and errors.
struct Ran {
    int status;
    std::string out;
    std::string err;
};
Ran run(const std::vector<std::string> &arguments, ScriptedServer &server) {
    const std::vector<std::string_view> views(arguments.begin(), arguments.end());
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    const int status = zelvar::bits::run(views, {in, out, err}, connectTo(server));
    return {status, out.str(), err.str()};
}

}  // namespace

class TestServers : public QObject {
    Q_OBJECT

private slots:
    void verdicts_data();
    void verdicts();
    void commands_data();
    void commands();
    void silence();
    void pacing_data();
    void pacing();
    void passwordOrder_data();
    void passwordOrder();
    void several();
};

void TestServers::verdicts_data() {
    QTest::addColumn<QString>("configuration");
    QTest::addColumn<QString>("live");      // NAME=VALUE[/LATCHED] ...
    QTest::addColumn<QString>("expected");  // NAME VERDICT, one a variable, then the status
    QTest::newRow("the same number, written otherwise") << "seta zv_teamLock 020\n"
                                                        << "zv_teamLock=20"
                                                        << "zv_teamLock in step; 0";
    QTest::newRow("changed live") << "seta zv_teamLock 20\n"
                                  << "zv_teamLock=16"
                                  << "zv_teamLock differs; 1";
    QTest::newRow("running the file's value, another waiting for the next map")
        << "seta g_weaponDisable 8\n"
        << "g_weaponDisable=8/40"
        << "g_weaponDisable differs; 1";
    QTest::newRow("the file's value waiting for the next map") << "seta g_weaponDisable 8\n"
                                                               << "g_weaponDisable=40/8"
                                                               << "g_weaponDisable differs; 1";
    QTest::newRow("the file's value running and latched") << "seta g_weaponDisable 8\n"
                                                          << "g_weaponDisable=8/8"
                                                          << "g_weaponDisable in step; 0";
    QTest::newRow("one side each")
        << "seta zv_wordFilter 2\n"
        << "zv_teamLock=4"
        << "zv_teamLock only on the server, zv_wordFilter only in the configuration; 1";
    QTest::newRow("a hidden setting is not the one in effect")
        << "seta zv_teamLock 4\n// seta zv_teamLock 8\n"
        << "zv_teamLock=4"
        << "zv_teamLock in step; 0";
    QTest::newRow("an exec'd file missing is a difference though all else agrees")
        << "seta zv_teamLock 4\nexec missing\n"
        << "zv_teamLock=4"
        << "zv_teamLock in step; 1";
    QTest::newRow("an exec'd file unread: nothing can be told")
        << "seta zv_teamLock 4\nexec folder\n"
        << "zv_teamLock=4"
        << "every variable cannot tell; 2";
}

void TestServers::verdicts() {
    QFETCH(QString, configuration);
    QFETCH(QString, live);
    QFETCH(QString, expected);
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir("folder.cfg"));  // where a file should be
    const zelvar::Tree tree = zelvar::readTextTree("server.cfg", configuration.toStdString(),
                                                   {folder.path().toStdString()});
    zelvar::Live held{};
    for (const QString &each : live.split(' ')) {
        const QStringList nameValue = each.split('=');
        const QStringList values = nameValue[1].split('/');
        const auto v = std::find_if(zelvar::variables().begin(), zelvar::variables().end(),
                                    [&](auto &v) { return v.name == nameValue[0].toStdString(); });
        held.at(zelvar::indexOf(*v)) = zelvar::rcon::Held{
            values[0].toStdString(),
            values.size() > 1 ? std::optional(values[1].toStdString()) : std::nullopt};
    }
    const zelvar::Drift drift = zelvar::compare(tree, held);
    QStringList got;
    for (const zelvar::VariableDrift &d : drift.variables)
        got << QString::fromStdString(std::string(d.variable.name) + ' ' +
                                      std::string(zelvar::verdictName(d.verdict)));
    if (got.filter(" cannot tell").size() == int(zelvar::kVariableCount))
        got = QStringList{"every variable cannot tell"};
    QCOMPARE(got.join(", ") + "; " + QString::number(drift.status()), expected);
}

void TestServers::commands_data() {
    QTest::addColumn<QStringList>("arguments");  // after --json (and --servers FILE)
    QTest::addColumn<bool>("password");          // in the environment
    QTest::addColumn<QString>("file");           // the configuration, before
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("document");  // a regular expression the JSON must hold
    QTest::addColumn<QString>("after");     // the file after; "=" unchanged
    QTest::addColumn<QString>("sets");      // the remote commands that set, joined by "; "
    QTest::addColumn<QString>("fault");     // "silent", or "refusing after N sets"
    const QString file = "seta zv_teamLock 20\nseta g_weaponDisable 40\n";
    QTest::newRow("check: a value waiting for the next map differs, with where the file sets it")
        << QStringList{"check", "ffa"} << true << file << 1
        << R"("verdicts":\[\{"variable":"g_weaponDisable","verdict":"differs","configured":"40","where":\{"file":".*server.cfg","line":2\},"live":"40","next_map":"8")"
        << "="
        << ""
        << "";
    QTest::newRow("apply: written, then sent and read back")
        << QStringList{"apply", "ffa", "zv_teamLock 4"} << true << file << 0
        << R"("written":true,"written_as":\["replaced"\],"sent":\[\{"variable":"zv_teamLock","value":"4","outcome":"applied","detail":null,"held":"4"\}\])"
        << "seta zv_teamLock 4\nseta g_weaponDisable 40\n"
        << "set zv_teamLock 4"
        << "";
    QTest::newRow("apply --dry-run: no password asked, nothing written or sent")
        << QStringList{"apply", "--dry-run", "ffa", "zv_teamLock 4"} << false << file << 0
        << R"("dry_run":true,.*"diff":"--- a/.*"written":false,"written_as":null,"sent":null)"
        << "="
        << ""
        << "";
    QTest::newRow("apply: a configuration that refuses the edit is not followed by a send")
        << QStringList{"apply", "ffa", "zv_teamLock 4"} << true << "seta zv_teamLock 4 0\n"
        << 1 << R"("notes":\["nothing sent to ffa .*"sent":null)"
        << "="
        << ""
        << "";
    QTest::newRow("sync --to-server: the file's values go, a variable the server lacks stays")
        << QStringList{"sync", "--to-server", "ffa"} << true
        << "seta zv_teamLock 4\nseta zv_wordFilter 2\n"
        << 1 << R"("notes":\["zv_wordFilter: left as it is: the server has no such variable"\])"
        << "="
        << "set zv_teamLock 4"
        << "";
    QTest::newRow("sync --to-file --dry-run: the diff shown, the file kept")
        << QStringList{"sync", "--to-file", "--dry-run", "ffa"} << true << "seta zv_teamLock 4\n"
        << 0 << R"("dry_run":true,.*"diff":"--- a/)"
        << "="
        << ""
        << "";
    QTest::newRow("send: the value held, another latched for the next map, is sent")
        << QStringList{"send", "ffa", "g_weaponDisable 40"} << true << file << 0
        << R"("outcome":"takes effect at the next map")"
        << "="
        << "set g_weaponDisable 40"
        << "";
    // A failure at each step leaves a document of all done before it.
    QTest::newRow("apply to a silent server: the file written is said with the failure")
        << QStringList{"apply", "ffa", "zv_teamLock 4"} << true << file << 2
        << R"("diff":"--- a/.*"written":true,.*"sent":null,"error":"no reply from)"
        << "seta zv_teamLock 4\nseta g_weaponDisable 40\n"
        << ""
        << "silent";
    QTest::newRow("send: the host refuses once a value went: what went, and what did not")
        << QStringList{"send", "ffa", "zv_teamLock 4", "zv_wordFilter 2", "g_weaponDisable 8"}
        << true << file << 2
        << R"("outcome":"not read back","detail":"nothing listens".*"outcome":"not read back".*"outcome":"not sent","detail":"nothing listens")"
        << "="
        << "set zv_teamLock 4"
        << "refusing after 1 sets";
    QTest::newRow("send: a variable the server lacks is not sent, and not a success")
        << QStringList{"send", "ffa", "zv_emotDisallow 2"} << true << file << 1
        << R"("outcome":"no such variable")"
        << "="
        << ""
        << "";
    QTest::newRow("sync --to-server: a file the configuration execs unread, nothing is sent")
        << QStringList{"sync", "--to-server", "ffa"} << true << "seta zv_teamLock 4\nexec sub\n"
        << 2 << R"("verdicts":.*"cannot tell".*"sent":null,"error":"cannot tell: )"
        << "="
        << ""
        << "folder sub.cfg";
    QTest::newRow("sync --to-server: the host refuses once a value went: what went is said")
        << QStringList{"sync", "--to-server", "ffa"} << true
        << "seta zv_teamLock 4\nseta zv_wordFilter 2\n"
        << 2
        << R"("sent":\[\{"variable":"zv_teamLock".*"outcome":"not read back","detail":"nothing listens")"
        << "="
        << "set zv_teamLock 4"
        << "refusing after 1 sets";
    QTest::newRow("set: a value refused before any work is a document too; no diff")
        << QStringList{"set", "CFG", "zv_teamLock 5"} << false << file << 1
        << R"("diff":null,"files":\[\],"written":false,.*"error":"zv_teamLock .*; nothing is written")"
        << "="
        << ""
        << "";
    QTest::newRow("send: a value refused before any work is a document too")
        << QStringList{"send", "ffa", "zv_teamLock 5"} << true << file << 1
        << R"("sent":null,"error":"zv_teamLock .*; nothing is sent")"
        << "="
        << ""
        << "";
}

// Each command's document, what reached the server, and the file after.
void TestServers::commands() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, password);
    QFETCH(QString, file);
    QFETCH(int, status);
    QFETCH(QString, document);
    QFETCH(QString, after);
    QFETCH(QString, sets);
    QFETCH(QString, fault);
    QTemporaryDir folder;
    const std::string cfg = folder.filePath("server.cfg").toStdString();
    const std::string servers = folder.filePath("servers.toml").toStdString();
    std::ofstream(cfg, std::ios::binary) << file.toStdString();
    std::ofstream(servers) << "[servers.ffa]\naddress = \"127.0.0.1:27960\"\nconfiguration = \""
                           << cfg << "\"\n";
    if (fault.startsWith("folder "))  // where a file should be: it cannot be read
        QVERIFY(QDir(folder.path()).mkdir(fault.split(' ')[1]));
    ScriptedServer server("s3cret");
    server.latched["g_weaponDisable"] = "8";
    server.silent = fault == "silent";
    if (fault.startsWith("refusing after")) {
        server.setsBeforeRefusing = fault.split(' ')[2].toInt();
        server.held["zv_wordFilter"] = "0";
    }
    if (password)
        qputenv("ZELVAR_RCON_PASSWORD", "s3cret");
    else
        qunsetenv("ZELVAR_RCON_PASSWORD");
    std::vector<std::string> owned{"--json"};
    if (arguments[0] != "set")
        owned.insert(owned.end(), {"--servers", servers});
    for (const QString &a : arguments)
        owned.push_back(a == "CFG" ? cfg : a.toStdString());
    const Ran r = run(owned, server);
    QVERIFY2(r.status == status, qPrintable(QString::fromStdString(r.out + r.err)));
    QVERIFY2(QRegularExpression(document).match(QString::fromStdString(r.out)).hasMatch(),
             qPrintable(QString::fromStdString(r.out)));
    QCOMPARE(readAll(cfg), after == "=" ? file.toStdString() : after.toStdString());
    QStringList set;
    for (const std::string &c : server.commands)
        if (c.starts_with("set "))
            set << QString::fromStdString(c);
    QCOMPARE(set.join("; "), sets);
    QCOMPARE(nlohmann::json::parse(r.out)["exit_status"].get<int>(), status);
}

// A server that never answers ends in "no reply" after every try, on the
// transport's clock; and one whose host refuses is said so, at once.
void TestServers::silence() {
    qputenv("ZELVAR_RCON_PASSWORD", "s3cret");
    for (const bool refused : {false, true}) {
        ScriptedServer server("s3cret");
        server.silent = !refused;
        server.nothingListens = refused;
        const auto start = server.now;
        const Ran r = run({"get", "127.0.0.1:27960"}, server);
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.find(refused ? "nothing listens" : "no reply") != std::string::npos,
                 r.err.c_str());
        if (!refused)  // three tries of status, each waiting longer
            QVERIFY(server.now - start >= std::chrono::seconds(9));
    }
}

void TestServers::pacing_data() {
    QTest::addColumn<bool>("of2003");
    QTest::addColumn<int>("apart");  // seconds from one run to the next
    QTest::newRow("2003: a remote command within 500 ms of the last is dropped") << true << 4;
    QTest::newRow("today: ten at once, then one a second") << false << 4;
    // What the last run took the server still counts: a read it drops is
    // read again, and no set, which goes once, is dropped.
    QTest::newRow("today: a run straight after another") << false << 0;
}

// Values sent to each engine, every set within its pace, each read back.
void TestServers::pacing() {
    QFETCH(bool, of2003);
    QFETCH(int, apart);
    qputenv("ZELVAR_RCON_PASSWORD", "s3cret");
    ScriptedServer server("s3cret", of2003);
    // Every variable: more requests in one run than today's engine takes at once.
    server.held.clear();
    std::vector<std::string> send{"send", "127.0.0.1:27960"};
    for (const zelvar::Variable &v : zelvar::variables()) {
        server.held[std::string(v.name)] = "0";
        send.push_back(std::string(v.name) + " 4");
    }
    const std::map<std::string, std::string> zeros = server.held;
    for (int round = 0; round < 3; ++round) {
        server.now += std::chrono::seconds(apart);
        const Ran r = run(send, server);
        QVERIFY2(r.status == 0, r.out.c_str());
        server.held = zeros;
    }
    if (apart != 0)  // a new run knows nothing of the last one's pace: none waits out a timeout
        QCOMPARE(server.dropped, 0);
}

void TestServers::passwordOrder_data() {
    QTest::addColumn<QStringList>("sources");  // where a password is: option, file, environment
    QTest::addColumn<QString>("taken");        // which the server sees; "" none, nothing sent
    QTest::newRow("--password-file before all") << QStringList{"option", "file", "env"} << "option";
    QTest::newRow("the server's file before the environment")
        << QStringList{"file", "env"} << "file";
    QTest::newRow("the environment alone") << QStringList{"env"} << "env";
    QTest::newRow("a server's file the group may read: refused, nothing sent")
        << QStringList{"file 640", "env"} << "";
    QTest::newRow("none, and no terminal to ask at: nothing sent") << QStringList{} << "";
    QTest::newRow("a folder above the servers file that others may write: nothing sent")
        << QStringList{"env", "above 777"} << "";
}

// The order every front-end finds a password in, up to the keyring: the
// server hears only the first source's, and a refused file ends it.
void TestServers::passwordOrder() {
    QFETCH(QStringList, sources);
    QFETCH(QString, taken);
    QTemporaryDir folder;
    const auto file = [&folder](const QString &name, QFile::Permissions mode) {
        QFile f(folder.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(name.toUtf8() + "\n");
        f.setPermissions(mode);
        return f.fileName().toStdString();
    };
    const QFile::Permissions own = QFile::ReadOwner | QFile::WriteOwner;
    QDir(folder.path()).mkdir("etc", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    std::ofstream toml(folder.filePath("etc/servers.toml").toStdString());
    toml << "[servers.ffa]\naddress = \"127.0.0.1:27960\"\n";
    std::vector<std::string> owned{"get", "--servers",
                                   folder.filePath("etc/servers.toml").toStdString()};
    qunsetenv("ZELVAR_RCON_PASSWORD");
    for (const QString &source : sources) {
        if (source == "option")
            owned.insert(owned.end(), {"--password-file", file("option", own)});
        else if (source == "above 777")
            std::filesystem::permissions(folder.path().toStdString(), std::filesystem::perms::all);
        else if (source.startsWith("file"))
            toml << "password_file = \""
                 << file("file", source.endsWith("640") ? own | QFile::ReadGroup : own) << "\"\n";
        else
            qputenv("ZELVAR_RCON_PASSWORD", "env");
    }
    toml.close();
    owned.emplace_back("ffa");
    ScriptedServer server(taken.isEmpty() ? "unused" : taken.toStdString());
    QCOMPARE(run(owned, server).status, taken.isEmpty() ? 2 : 0);
    QCOMPARE(server.seen > 0, !taken.isEmpty());
}

// Several servers are worked at once and said in the order named, each once
// however often a name or a group names it: a JSON array, one document each.
void TestServers::several() {
    QTemporaryDir folder;
    const std::string servers = folder.filePath("servers.toml").toStdString();
    std::ofstream(servers) << "[servers.ffa]\naddress = \"127.0.0.1:1\"\ngroups = [\"clan\"]\n"
                              "[servers.duel]\naddress = \"127.0.0.1:2\"\ngroups = [\"clan\"]\n";
    qputenv("ZELVAR_RCON_PASSWORD", "s3cret");
    ScriptedServer server("s3cret");
    const Ran r = run({"--json", "--servers", servers, "get", "duel", "@clan", "ffa"}, server);
    QCOMPARE(r.status, 0);
    const auto documents = nlohmann::json::parse(r.out);
    QVERIFY2(documents.is_array() && documents.size() == 2, r.out.c_str());
    QCOMPARE(documents[0]["server"].get<std::string>(), "duel (127.0.0.1:2)");
    QCOMPARE(documents[1]["server"].get<std::string>(), "ffa (127.0.0.1:1)");
}

QTEST_APPLESS_MAIN(TestServers)
#include "tst_servers.moc"

// The model against oracles that know nothing of its arithmetic: each group's
// boxes are a bit mask, and a line follows from the mask, the group's
// counting state and the rank. ZELVAR_SEED replays a run.
#include "command.h"
#include "config.h"
#include "decode.h"
#include "oracle.h"
#include "rcon.h"
#include "scripted.h"
#include "servers.h"
#include "totals.h"

#include <QTest>

#include <algorithm>
#include <functional>
#include <future>
#include <random>

using zelvar::Group;
using zelvar::Rank;

namespace {

std::size_t slot(auto value) { return static_cast<std::size_t>(value); }

// The window's controls, as far as the totals ask: box states, value texts
// (which a row may replace), the selected rank, and the last line written.
struct Controls final : zelvar::Source, zelvar::Sink {
    std::array<std::uint32_t, zelvar::kGroupCount> on{};  // bit i: box i checked
    std::string tag;                                      // when set, every box's value text
    Rank rank = Rank::Council;
    std::string line;

    Controls() {
        for (const zelvar::SettingGroup &g : zelvar::kCatalogue)
            on[slot(g.group)] = startStates(g.group);
    }
    bool checked(Group g, int i) const override { return (on[slot(g)] >> i & 1U) != 0; }
    std::string_view valueText(Group g, int i) const override {
        return tag.empty() ? zelvar::settingGroup(g).options[slot(i)].valueText : tag;
    }
    int upperBound(Group g) const override {
        return int(zelvar::settingGroup(g).options.size()) - 1;
    }
    bool rankSelected(Rank r) const override { return r == rank; }
    void writeLine(std::string_view text) override { line = text; }
};

unsigned seed() {
    return qEnvironmentVariableIsSet("ZELVAR_SEED") ? qEnvironmentVariable("ZELVAR_SEED").toUInt()
                                                    : 20261207U;
}

}  // namespace

class TestModel : public QObject {
    Q_OBJECT

private slots:
    void valueTexts_data();
    void valueTexts();
    void reader_data();
    void reader();
    void commandEndsAgree();
    void replies_data();
    void replies();
    void serverWords();
    void session();
    void repliesFuzzed();
    void serversFile_data();
    void serversFile();
};

void TestModel::valueTexts_data() {
    QTest::addColumn<Group>("group");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("outcome");  // the line after unchecking box 0, or the error report
    QTest::newRow("leading blank, as amPunish's") << Group::Weapon << " 8192"
                                                  << "g_weaponDisable 8192";
    QTest::newRow("half rounds to even, down") << Group::Weapon << "2.5"
                                               << "g_weaponDisable 2";
    QTest::newRow("letters") << Group::Weapon << "8x"
                             << "Run-time error '13':\n\nType mismatch";
    QTest::newRow("past 32 bits") << Group::Weapon << "2147483648"
                                  << "Run-time error '6':\n\nOverflow";
}

// Value texts the catalogue never holds still convert as the runtime does,
// and what it cannot convert ends in its standard report.
void TestModel::valueTexts() {
    QFETCH(Group, group);
    QFETCH(QString, tag);
    QFETCH(QString, outcome);
    Controls c;
    zelvar::Totals totals(c, c);
    c.tag = tag.toStdString();
    c.on[slot(group)] &= ~1U;
    try {
        totals.toggle(group, 0);
        QCOMPARE(QString::fromStdString(c.line), outcome);
    } catch (const zelvar::RuntimeError &error) {
        QCOMPARE(QString::fromStdString(error.report()), outcome);
        QCOMPARE(error.number(), outcome.contains("'6'") ? 6 : 13);
    }
}

// Configurations as the server's console reads them, and the settings of the
// calculator's variables in them: line, name as written, value; those a
// comment hides, with the lines the server reads as one command. The values
// the server ends with are held to a real engine's by the console test; these
// rows pin what it cannot see: the hidden settings, the notes, the mark.
void TestModel::reader_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("settings");
    QTest::newRow("byte-order mark before the first command")
        << QByteArray("\xEF\xBB\xBFseta g_weaponDisable 8\n") << "1 g_weaponDisable 8";
    QTest::newRow("set and a bare name take every word, one blank between; alone, nothing")
        << QByteArray("set g_weaponDisable 4   0\t\"a b\"\nzv_teamLock\nset ZV_TEAMLOCK\n"
                      "g_weaponDisable 4 0\nzv_teamLock \"\" 4")
        << "1 g_weaponDisable 4 0 a b | 3 ZV_TEAMLOCK (no value) | 4 g_weaponDisable 4 0 | "
           "5 zv_teamLock  4 (a 2003 server: )";
    QTest::newRow("semicolons split outside quotes, straight after a word too")
        << QByteArray("seta zv_teamLock \"4;5\"; SETA g_weaponDisable 8;seta zv_wordFilter 2")
        << "1 zv_teamLock 4;5 | 1 g_weaponDisable 8 | 1 zv_wordFilter 2";
    QTest::newRow("its opening star may close a comment")
        << QByteArray("/*/ seta zv_teamLock 3 */ seta zv_emotDisallow 5")
        << "1 zv_teamLock 3 */ seta zv_emotDisallow 5";
    QTest::newRow("a quote in a comment keeps it open: the next command takes the rest")
        << QByteArray("/* keep the \"old value */\nseta zv_teamLock 4\nseta g_weaponDisable 8\n")
        << "2 zv_teamLock 4 seta g_weaponDisable 8 (within 1-end) | "
           "3 g_weaponDisable 8 (not applied, within 1-end)";
    QTest::newRow("to a \"*/\" after an even count of quotes, which ends the command")
        << QByteArray("seta zv_wordFilter 1 /* \"a */ ; seta zv_teamLock 4\r\n"
                      "// seta zv_votesDisable 2\n\" */ seta g_weaponDisable 8")
        << "1 zv_wordFilter 1 ; seta zv_teamLock 4 (within 1-3) | "
           "1 zv_teamLock 4 (not applied, within 1-3) | 3 g_weaponDisable 8";
    QTest::newRow("the console keeps 1023 bytes of a command and loses the next")
        << "seta g_weaponDisable 1 " + QByteArray(999, 'x') + " Xseta zv_teamLock 4\n" +
               QByteArray(1001, ' ') + "seta zv_wordFilter 2\n"
        << "1 g_weaponDisable 1 " + QString(999, 'x') + " | 1 zv_teamLock 4 | 2 zv_wordFilter 2";
}

void TestModel::reader() {
    QFETCH(QByteArray, text);
    QFETCH(QString, settings);
    QStringList found;
    for (const zelvar::Setting &s : zelvar::ConfigReader().read(
             std::string_view(text.constData(), std::size_t(text.size())))) {
        QString item = QString("%1 %2 ").arg(s.line).arg(QString::fromStdString(s.written)) +
                       (s.hasValue ? QString::fromStdString(s.value) : "(no value)");
        if (s.swallow)
            item += QString(" (%1within %2-%3)")
                        .arg(s.applied ? "" : "not applied, ")
                        .arg(s.swallow->line)
                        .arg(s.swallow->endLine ? QString::number(*s.swallow->endLine) : "end");
        if (s.firstWordOnly)
            item += " (a 2003 server: " + QString::fromStdString(*s.firstWordOnly) + ")";
        found << item;
    }
    QCOMPARE(found.join(" | "), settings);
}

// The console's command-end rule is written twice, a walk and an index kept
// for speed: from every start in random text of the bytes the rule turns on,
// both end each command at the same place, or both run to the text's end.
void TestModel::commandEndsAgree() {
    std::mt19937 random(seed());
    static constexpr std::string_view kBytes = "\"\"/*;\n\rab ";
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 80, ' ');
        for (char &c : text)
            c = kBytes[random() % kBytes.size()];
        zelvar::CommandIndex index(text);
        for (std::size_t from = 0; from < text.size(); ++from) {
            zelvar::Scan walked{from, 0, false, false};
            zelvar::Scan indexed = walked;
            const auto a = zelvar::scanOn(text, walked);
            const auto b = index.endOf(indexed, from);
            QVERIFY2(a == b && (a || walked.inBlock == indexed.inBlock),
                     qPrintable(QString("%1 from %2").arg(QString::fromStdString(text)).arg(from)));
        }
    }
}

// What the server holds, where a reply's lines come close to naming it (the
// forms themselves meet the scripted server).
void TestModel::replies_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("held");
    QTest::newRow("cvarlist, a longer name before it, a caret pair kept")
        << QByteArray("S   zv_teamLockX \"1\"\nS   zv_teamLock \"2^^\"\n") << "2^^";
    QTest::newRow("a latched line of another variable")
        << QByteArray("zv_teamLock \"2\"\nzv_votesDisable \"3\"\nlatched: \"9\"\n") << "2";
    QTest::newRow("absent") << QByteArray("Cvar zv_teamLock does not exist.\n") << "none";
    QTest::newRow("the name in another case, a value waiting for the next map")
        << QByteArray("\"ZV_TEAMLOCK\" is:\"2^7\" default:\"0^7\"\nlatched: \"4\"\n") << "2 (4)";
}

void TestModel::replies() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, held);
    const auto h = zelvar::rcon::heldIn(reply.toStdString(), "zv_teamLock");
    QCOMPARE(!h ? "none"
                : QString::fromStdString(h->value) +
                      (h->latched ? " (" + QString::fromStdString(*h->latched) + ")" : ""),
             held);
}

// Addresses, and passwords that no server of the family can match.
void TestModel::serverWords() {
    const std::vector<std::pair<std::string, std::string>> addresses{
        {"example.org", "example.org:29070"},
        {"127.0.0.1:27961", "127.0.0.1:27961"},
        {"[::1]:5", "[::1]:5"},
        {"::1", "[::1]:29070"},
        {"host:0", ""},
        {"[::1", ""},
        {"a b", ""}};
    for (const auto &[text, shown] : addresses) {
        const auto parsed = zelvar::rcon::parseAddress(text);
        const auto *a = std::get_if<zelvar::rcon::Address>(&parsed);
        QCOMPARE(a ? a->shown() : "", shown);
    }
    for (std::string_view never :
         {"", "a b", "a\tb", "a\"b", "50%", "a//b", "a/*b", "\x01a", "caf\xC3\xA9"})
        QVERIFY2(zelvar::rcon::unusablePassword(never), never.data());
    QVERIFY(!zelvar::rcon::unusablePassword("s3cret!*/;'x"));
}

// What the session must never do, whatever a server answers: retry what a
// server refused for good, send a set twice, or say the password back.
void TestModel::session() {
    using zelvar::rcon::Session;
    const auto failure = [](ScriptedServer &server, const std::string &password, auto act) {
        ScriptedTransport transport(server, {});
        Session session(transport, "server");
        session.setPassword(password);
        try {
            act(session);
        } catch (const zelvar::rcon::Failure &f) {
            return std::string(f.what());
        }
        return std::string();
    };
    const auto read = [](Session &s) { s.read(zelvar::variables()); };
    ScriptedServer unset("pw");
    unset.noPassword = true;
    QVERIFY(failure(unset, "pw", read).find("has no remote-console password") != std::string::npos);
    QCOMPARE(unset.seen, 2);  // the status, then one refused

    ScriptedServer quiet("pw");
    quiet.quietSets = true;
    const std::vector<zelvar::Change> change{{*zelvar::findVariable("zv_teamLock"), "4"}};
    QVERIFY(failure(quiet, "pw", [&change](Session &s) {
                QCOMPARE(zelvar::rcon::sendChanges(s, change).status, zelvar::Failed);
            }).empty());
    QCOMPARE(std::count_if(quiet.commands.begin(), quiet.commands.end(),
                           [](const std::string &c) { return c.starts_with("set "); }),
             1);

    // Echoed back, a password of any bytes is masked, and soon.
    for (const std::string password : {"^1se^7cret", "*", "********", "**"}) {
        ScriptedServer echoing("other");
        echoing.echoes = true;
        auto said =
            std::async(std::launch::async, [&] { return failure(echoing, password, read); });
        if (said.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            qCritical("masking the password %s never ends", password.c_str());
            std::_Exit(1);
        }
        const std::string text = said.get();
        QVERIFY2(text.find("refused") != std::string::npos &&
                     text.find("cret") == std::string::npos &&
                     (password == "********" ||  // the mask itself: nothing to tell
                      text.find("rcon " + password + " ") == std::string::npos),
                 text.c_str());
    }
}

// Random bytes, and valid packets cut anywhere, never trip a parser (the
// sanitized build watches memory), and an info reply counts only with its
// challenge.
void TestModel::repliesFuzzed() {
    std::mt19937 random(seed());
    const std::string status =
        "\xFF\xFF\xFF\xFFstatusResponse\n\\challenge\\42\\g_weaponDisable\\8\n";
    const std::string print = "\xFF\xFF\xFF\xFFprint\n\"zv_teamLock\" is:\"2^7\"\nlatched: \"4\"";
    for (int run = 0; run < 20000; ++run) {
        std::string bytes;
        if (run % 2 == 0) {
            const std::string &whole = run % 4 == 0 ? status : print;
            bytes = whole.substr(0, random() % (whole.size() + 1));
        } else {
            bytes.resize(random() % 64);
            for (char &c : bytes)
                c = "\xFF\\\"^:= \n\rzv_teamLock42latched"[random() % 30];
        }
        if (const auto info = zelvar::rcon::infoAnswering(bytes, "42"))
            QCOMPARE(zelvar::rcon::infoValue(*info, "CHALLENGE"), std::optional<std::string>("42"));
        QVERIFY(zelvar::rcon::withoutColours(bytes).size() <= bytes.size());
        static_cast<void>(zelvar::rcon::printed(bytes));
        static_cast<void>(zelvar::rcon::heldIn(bytes, "zv_teamLock"));
        static_cast<void>(zelvar::rcon::parseAddress(bytes));
    }
}

// The servers file, reviewed: what a command line's names select from it,
// in the order named and each once, or the mistake, with its line.
void TestModel::serversFile_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("names");
    QTest::addColumn<QString>("outcome");  // "name=address[+configuration]" each, or the error
    const QByteArray two = "[servers.ffa]\naddress = \"127.0.0.1\"\ngroups = [\"clan\"]\n\n"
                           "[servers.duel]\naddress = \"127.0.0.1:5\"\nconfiguration = \"d.cfg\"\n"
                           "groups = [\"clan\"]\n";
    QTest::newRow("a group in the file's order, an address beside it")
        << two << "@clan,::1"
        << "ffa=127.0.0.1:29070 duel=127.0.0.1:5+/z/d.cfg [::1]:29070=[::1]:29070";
    QTest::newRow("each server once") << two << "duel,@all"
                                      << "duel=127.0.0.1:5+/z/d.cfg ffa=127.0.0.1:29070";
    QTest::newRow("a mistyped name is refused, never looked up as a host")
        << two << "dule"
        << "no server named \"dule\" in \"s.toml\"; did you mean duel?";
    QTest::newRow("an address the file holds is its server, once however named")
        << two << "127.0.0.1:5,duel"
        << "duel=127.0.0.1:5+/z/d.cfg";
    QTest::newRow("an empty address") << QByteArray("[servers.x]\naddress = \"\"\n") << "x"
                                      << "\"s.toml\" line 2: the address is empty";
    QTest::newRow("beyond ASCII outside a string, before the library reads it")
        << QByteArray("[servers.x]\naddress = \"a.b\"\n\xC2\xA0\n") << "x"
        << "\"s.toml\" line 3: a character beyond ASCII outside a quoted string";
    QTest::newRow("beyond ASCII within a string")
        << QByteArray("[servers.x] # 'a\naddress = '''a.b'''\nconfiguration = \"\\\"\xC3\xA9\"\n")
        << "x"
        << "x=a.b:29070+/z/\"\xC3\xA9";
    QTest::newRow("a group nobody is in") << two << "@none"
                                          << "no server in the group \"none\"";
    QTest::newRow("no address") << QByteArray("[servers.x]\ngroups = []\n") << "x"
                                << "\"s.toml\" line 1: the server \"x\" has no address";
    QTest::newRow("a password in the file")
        << QByteArray("[servers.x]\naddress = \"a\"\npassword = \"s3cret\"\n") << "x"
        << "\"s.toml\" line 3: a password does not belong in the servers file";
    QTest::newRow("a misspelt key") << QByteArray("[servers.x]\nadress = \"a\"\n") << "x"
                                    << "\"s.toml\" line 2: unknown key \"adress\"";
    QTest::newRow("a syntax error") << QByteArray("[servers.x]\naddress = \"a\n") << "x"
                                    << "\"s.toml\" line 2: ";
}

void TestModel::serversFile() {
    QFETCH(QByteArray, text);
    QFETCH(QString, names);
    QFETCH(QString, outcome);
    const auto file = zelvar::parseServers(text.toStdString(), "\"s.toml\"", "/z/");
    std::string got;
    if (const auto *why = std::get_if<std::string>(&file)) {
        got = *why;
    } else {
        const std::string list = names.toStdString();
        const std::string_view name = list;
        const auto chosen = zelvar::selectServers(std::get<zelvar::Servers>(file), {&name, 1});
        if (const auto *no = std::get_if<std::string>(&chosen))
            got = *no;
        else
            for (const zelvar::NamedServer &s : std::get<std::vector<zelvar::NamedServer>>(chosen))
                got += (got.empty() ? "" : " ") + s.name + '=' + s.address.shown() +
                       (s.configuration ? '+' + *s.configuration : "");
    }
    QVERIFY2(got.starts_with(outcome.toStdString()), got.c_str());
}

QTEST_APPLESS_MAIN(TestModel)
#include "tst_model.moc"

// The model, native and compiled to WebAssembly alike, against oracles that know nothing of its
// arithmetic: each group's boxes are a bit mask, and a line follows from the mask, the group's
// counting state and the rank. ZELVAR_SEED replays a run.
#include "command.h"
#include "config.h"
#include "decode.h"
#include "location.h"
#include "open.h"
#include "oracle.h"
#include "rcon.h"
#include "scripted.h"
#include "servers.h"
#include "totals.h"
#include "tree.h"

#include "check.h"

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <string>

using zelvar::Group;
using zelvar::Rank;
using zelvar::slot;

namespace {

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
    bool rankSelected(Rank r) const override { return r == rank; }
    void writeLine(std::string_view text) override { line = text; }
};

unsigned seed() { return check::seed(20261207U); }

std::string joined(const std::vector<std::string> &items) {
    std::string all;
    for (const std::string &item : items)
        (all += all.empty() ? "" : " | ") += item;
    return all;
}

}  // namespace

// Value texts the catalogue never holds still convert as the runtime does,
// and what it cannot convert ends in its standard report.
CHECK_CASE(valueTexts) {
    const struct {
        std::string tag;
        std::string outcome;  // the line after unchecking box 0, or the error report
    } rows[] = {
        {" 8192", "g_weaponDisable 8192"},  // a leading blank, as amPunish's
        {"2.5", "g_weaponDisable 2"},       // half rounds to even, down
        {"8x", "Run-time error '13':\n\nType mismatch"},
        {"2147483648", "Run-time error '6':\n\nOverflow"},  // past 32 bits
    };
    for (const auto &row : rows) {
        Controls c;
        zelvar::Totals totals(c, c);
        c.tag = row.tag;
        c.on[slot(Group::Weapon)] &= ~1U;
        try {
            totals.toggle(Group::Weapon, 0);
            CHECK_EQ(c.line, row.outcome);
        } catch (const zelvar::RuntimeError &error) {
            CHECK_EQ(error.report(), row.outcome);
            CHECK_EQ(int(error.number()), row.outcome.find("'6'") != std::string::npos ? 6 : 13);
        }
    }
}

// Configurations as the server's console reads them, and the settings of the
// calculator's variables in them: line, name as written, value; those a
// comment hides, with the lines the server reads as one command. The values
// the server ends with are held to a real engine's by the console test; these
// rows pin what it cannot see: the hidden settings, the notes, the mark.
CHECK_CASE(reader) {
    const struct {
        std::string text;
        std::string settings;
    } rows[] = {
        // a byte-order mark before the first command
        {"\xEF\xBB\xBFseta g_weaponDisable 8\n", "1 g_weaponDisable 8"},
        // set and a bare name take every word, one blank between; alone, nothing
        {"set g_weaponDisable 4   0\t\"a b\"\nzv_teamLock\nset ZV_TEAMLOCK\n"
         "g_weaponDisable 4 0\nzv_teamLock \"\" 4",
         "1 g_weaponDisable 4 0 a b | 3 ZV_TEAMLOCK (no value) | 4 g_weaponDisable 4 0 | "
         "5 zv_teamLock  4 (a 2003 server: )"},
        // semicolons split outside quotes, straight after a word too
        {"seta zv_teamLock \"4;5\"; SETA g_weaponDisable 8;seta zv_wordFilter 2",
         "1 zv_teamLock 4;5 | 1 g_weaponDisable 8 | 1 zv_wordFilter 2"},
        // its opening star may close a comment
        {"/*/ seta zv_teamLock 3 */ seta zv_emotDisallow 5",
         "1 zv_teamLock 3 */ seta zv_emotDisallow 5"},
        // a quote in a comment keeps it open: the next command takes the rest
        {"/* keep the \"old value */\nseta zv_teamLock 4\nseta g_weaponDisable 8\n",
         "2 zv_teamLock 4 seta g_weaponDisable 8 (within 1-end) | "
         "3 g_weaponDisable 8 (not applied, within 1-end)"},
        // to a "*/" after an even count of quotes, which ends the command
        {"seta zv_wordFilter 1 /* \"a */ ; seta zv_teamLock 4\r\n"
         "// seta zv_votesDisable 2\n\" */ seta g_weaponDisable 8",
         "1 zv_wordFilter 1 ; seta zv_teamLock 4 (within 1-3) | "
         "1 zv_teamLock 4 (not applied, within 1-3) | 3 g_weaponDisable 8"},
        // the console keeps 1023 bytes of a command and loses the next
        {"seta g_weaponDisable 1 " + std::string(999, 'x') + " Xseta zv_teamLock 4\n" +
             std::string(1001, ' ') + "seta zv_wordFilter 2\n",
         "1 g_weaponDisable 1 " + std::string(999, 'x') + " | 1 zv_teamLock 4 | 2 zv_wordFilter 2"},
    };
    for (const auto &row : rows) {
        std::vector<std::string> found;
        for (const zelvar::Setting &s : zelvar::ConfigReader().read(row.text)) {
            std::string item = std::to_string(s.line) + ' ' + s.written + ' ' +
                               (s.hasValue ? s.value : "(no value)");
            if (s.swallow)
                item += std::string(" (") + (s.applied ? "" : "not applied, ") + "within " +
                        std::to_string(s.swallow->line) + '-' +
                        (s.swallow->endLine ? std::to_string(*s.swallow->endLine) : "end") + ')';
            if (s.firstWordOnly)
                item += " (a 2003 server: " + *s.firstWordOnly + ")";
            found.push_back(item);
        }
        CHECK_EQ(joined(found), row.settings);
    }
}

// The console's command-end rule is written twice, a walk and an index kept
// for speed: from every start in random text of the bytes the rule turns on,
// both end each command at the same place, or both run to the text's end.
CHECK_CASE(commandEndsAgree) {
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
            CHECK(a == b && (a || walked.inBlock == indexed.inBlock),
                  text + " from " + std::to_string(from));
        }
    }
}

// What the server holds, where a reply's lines come close to naming it (the
// forms themselves meet the scripted server).
CHECK_CASE(replies) {
    const struct {
        std::string reply;
        std::string held;
    } rows[] = {
        // cvarlist, a longer name before it, a caret pair kept
        {"S   zv_teamLockX \"1\"\nS   zv_teamLock \"2^^\"\n", "2^^"},
        // a latched line of another variable
        {"zv_teamLock \"2\"\nzv_votesDisable \"3\"\nlatched: \"9\"\n", "2"},
        {"Cvar zv_teamLock does not exist.\n", "none"},
        // the name in another case, a value waiting for the next map
        {"\"ZV_TEAMLOCK\" is:\"2^7\" default:\"0^7\"\nlatched: \"4\"\n", "2 (4)"},
    };
    for (const auto &row : rows) {
        const auto h = zelvar::rcon::heldIn(row.reply, "zv_teamLock");
        CHECK_EQ(!h ? "none" : h->value + (h->latched ? " (" + *h->latched + ")" : ""), row.held);
    }
}

// Addresses, and passwords that no server of the family can match.
CHECK_CASE(serverWords) {
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
        CHECK_EQ(a ? a->shown() : "", shown);
    }
    for (std::string_view never :
         {"", "a b", "a\tb", "a\"b", "50%", "a//b", "a/*b", "\x01a", "caf\xC3\xA9"})
        CHECK(zelvar::rcon::unusablePassword(never), std::string(never));
    CHECK(!zelvar::rcon::unusablePassword("s3cret!*/;'x"), "");
}

// What the session must never do, whatever a server answers: retry what a
// server refused for good, send a set twice, or say the password back.
CHECK_CASE(session) {
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
    CHECK(failure(unset, "pw", read).find("has no remote-console password") != std::string::npos,
          "");
    CHECK_EQ(unset.seen, 2);  // the status, then one refused

    ScriptedServer quiet("pw");
    quiet.quietSets = true;
    const std::vector<zelvar::Change> change{{*zelvar::findVariable("zv_teamLock"), "4"}};
    CHECK(failure(quiet, "pw",
                  [&change](Session &s) {
                      CHECK_EQ(zelvar::rcon::sendChanges(s, change).status, zelvar::Failed);
                  })
              .empty(),
          "");
    CHECK_EQ(std::count_if(quiet.commands.begin(), quiet.commands.end(),
                           [](const std::string &c) { return c.starts_with("set "); }),
             1);

    // Echoed back, a password of any bytes is masked (a mask that never
    // ends meets ctest's time limit).
    for (const std::string password : {"^1se^7cret", "*", "********", "**"}) {
        ScriptedServer echoing("other");
        echoing.echoes = true;
        const std::string text = failure(echoing, password, read);
        CHECK(text.find("refused") != std::string::npos && text.find("cret") == std::string::npos &&
                  (password == "********" ||  // the mask itself: nothing to tell
                   text.find("rcon " + password + " ") == std::string::npos),
              text);
    }
}

// Random bytes, and valid packets cut anywhere, never trip a parser (the
// sanitized build watches memory), and an info reply counts only with its
// challenge.
CHECK_CASE(repliesFuzzed) {
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
            CHECK(zelvar::rcon::infoValue(*info, "CHALLENGE") == std::optional<std::string>("42"),
                  bytes);
        CHECK(zelvar::rcon::withoutColours(bytes).size() <= bytes.size(), bytes);
        static_cast<void>(zelvar::rcon::printed(bytes));
        static_cast<void>(zelvar::rcon::heldIn(bytes, "zv_teamLock"));
        static_cast<void>(zelvar::rcon::parseAddress(bytes));
    }
}

// The servers file, reviewed: what a command line's names select from it,
// in the order named and each once, or the mistake, with its line.
CHECK_CASE(serversFile) {
    const std::string two = "[servers.ffa]\naddress = \"127.0.0.1\"\ngroups = [\"clan\"]\n\n"
                            "[servers.duel]\naddress = \"127.0.0.1:5\"\nconfiguration = \"d.cfg\"\n"
                            "groups = [\"clan\"]\n";
    const struct {
        std::string text;
        std::string names;
        std::string outcome;  // "name=address[+configuration]" each, or the error
    } rows[] = {
        // a group in the file's order, an address beside it
        {two, "@clan,::1", "ffa=127.0.0.1:29070 duel=127.0.0.1:5+/z/d.cfg [::1]:29070=[::1]:29070"},
        {two, "duel,@all", "duel=127.0.0.1:5+/z/d.cfg ffa=127.0.0.1:29070"},  // each server once
        // a mistyped name is refused, never looked up as a host
        {two, "dule", "no server named \"dule\" in \"s.toml\"; did you mean duel?"},
        // an address the file holds is its server, once however named
        {two, "127.0.0.1:5,duel", "duel=127.0.0.1:5+/z/d.cfg"},
        {"[servers.x]\naddress = \"\"\n", "x", "\"s.toml\" line 2: the address is empty"},
        // toml++ 3.3.0 reaches code it marks unreachable on a byte beyond
        // ASCII wherever it reads one: it is given each as an escape, in a
        // string, and anywhere else it is refused first (a quote within a
        // bare word opens no string)
        {"[servers.x]\naddress = \"a.b\"\n\xC2\xA0\n", "x",
         "\"s.toml\" line 3: a character beyond ASCII outside a \"...\" string, or not UTF-8"},
        {"[servers.x]\naddress =0'\xC6\x8B'\n", "x", "\"s.toml\" line 2: a character beyond"},
        {"[servers.x]\naddress = \"a\xFF"
         "b\"\n",
         "x", "\"s.toml\" line 2: a character beyond"},
        {"[servers.x]\naddress =+[\"\x01\xC2\xBF\"]\n", "x", "\"s.toml\" line 2: "},
        // beyond ASCII within a string, and in a comment
        {"[servers.x] # 'a \xC3\xA9\naddress = '''a.b'''\n"
         "configuration = \"\\\"\xC3\xA9\xF0\x9F\x8E\xAE\"\n",
         "x", "x=a.b:29070+/z/\"\xC3\xA9\xF0\x9F\x8E\xAE"},
        {two, "@none", "no server in the group \"none\"; the groups are: @all, @clan"},
        // a word like no name is offered none, but how an address is written
        {two, "qqqqqq", "no server named \"qqqqqq\" in \"s.toml\" (an address has a dot"},
        {"[servers.x]\ngroups = []\n", "x", "\"s.toml\" line 1: the server \"x\" has no address"},
        {"[servers.x]\naddress = \"a\"\npassword = \"s3cret\"\n", "x",
         "\"s.toml\" line 3: a password does not belong in the servers file"},
        {"[servers.x]\nadress = \"a\"\n", "x", "\"s.toml\" line 2: unknown key \"adress\""},
        {"[servers.x]\naddress = \"a\n", "x", "\"s.toml\" line 2: "},  // a syntax error
        // a location is no path under the file's folder; a wrong one is said
        {"[servers.x]\naddress = \"a\"\nconfiguration = \"SFTP://h/s.cfg\"\n", "x",
         "x=a:29070+SFTP://h/s.cfg"},
        {"[servers.x]\naddress = \"a\"\ngame_dir = [\"sftp://-oProxyCommand=x/g\"]\n", "x",
         "\"s.toml\" line 3: \"-oProxyCommand=x\" is not a host name"},
        {"[servers.x]\naddress = \"a\"\nplain_ftp = \"yes\"\n", "x",
         "\"s.toml\" line 3: plain_ftp is true or false"},
    };
    for (const auto &row : rows) {
        const auto file = zelvar::parseServers(row.text, "\"s.toml\"", "/z/");
        std::string got;
        if (const auto *why = std::get_if<std::string>(&file)) {
            got = *why;
        } else {
            const std::string_view name = row.names;
            const auto chosen = zelvar::selectServers(std::get<zelvar::Servers>(file), {&name, 1});
            if (const auto *no = std::get_if<std::string>(&chosen))
                got = *no;
            else
                for (const zelvar::NamedServer &s :
                     std::get<std::vector<zelvar::NamedServer>>(chosen))
                    got += (got.empty() ? "" : " ") + s.name + '=' + s.address.shown() +
                           (s.configuration ? '+' + *s.configuration : "");
        }
        CHECK(got.starts_with(row.outcome), got);
    }
}

// A location reaches a program's arguments and a host's commands: what it
// names, and each way one is refused.
CHECK_CASE(locations) {
    const struct {
        std::string_view text;
        std::string_view outcome;  // origin and path, or the refusal's start
    } rows[] = {
        {"sftp://srv@127.0.0.1:2022/home/srv/b/server.cfg",
         "sftp://srv@127.0.0.1:2022 /home/srv/b/server.cfg"},
        {"FTPS://localhost/a b.cfg", "ftps://localhost /a b.cfg"},
        {"sftp://[::1]:22/x", "sftp://[::1]:22 /x"},
        {"sftp://h:/x", "\"\" is not a port"},
        {"sftp://h:65536/x", "\"65536\" is not a port"},
        {"sftp://-h/x", "\"-h\" is not a host name"},
        {"sftp://-l@h/x", "the user \"-l\" is not"},
        {"ftp://u:pw@h/x", "a location holds no password"},
        {"sftp://h", "a location names a file after its host"},
        {"sftp://h/", "a location names a file after its host"},
        {"sftp://h/a\\b", "a location's path is written with '/'"},
        {"sftp://h/a\nb", "a location holds no control character"},
        {"sftp://[::1/x", "an IPv6 address is closed"},
        {"sftp://h;rm/x", "\"h;rm\" is not a host name"},
    };
    for (const auto &row : rows) {
        const auto at = zelvar::parseLocation(row.text);
        const auto *l = std::get_if<zelvar::Location>(&at);
        const std::string got =
            l != nullptr ? l->origin() + ' ' + l->path : std::get<std::string>(at);
        CHECK(got.starts_with(row.outcome), got);
        CHECK(zelvar::isLocation(row.text), std::string(row.text));
    }
    CHECK(!zelvar::isLocation("/srv/sftp://x") && !zelvar::isLocation("C:\\g\\server.cfg"), "");
}

// A text with nowhere to look for what it execs: the exec is missing, not a
// loop; and an opening whose every setting opened is not headed as one that
// left settings out.
CHECK_CASE(openedWithAMissingExec) {
    zelvar::Tree tree = zelvar::readTextTree("it", "seta zv_teamLock 4\nexec gone\n", {});
    CHECK(tree.notes.size() == 1 && tree.notes[0].text == "couldn't exec gone.cfg",
          tree.notes.empty() ? "no note" : tree.notes[0].text);
    zelvar::Opener opener;
    opener.openFile("server.cfg", std::move(tree));
    const zelvar::Opening opening = opener.finish();
    CHECK_EQ(std::string(opening.heading()), "Not everything could be read.");
    CHECK_EQ(joined(opening.leftOut), "\"server.cfg\": couldn't exec gone.cfg");
}

namespace {

void put(std::string &b, std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b[at + std::size_t(i)] = static_cast<char>(v >> (8 * i) & 0xFFU);
}

using Entries = std::vector<std::pair<std::string, std::string>>;  // name, text

// A stored zip, laid out as every zip tool writes one: each entry's header
// and bytes from 0, then the directory, then the end record. One entry
// named in five bytes puts its directory entry at 35 + its size.
std::string zipOf(const Entries &entries) {
    std::string files;
    std::string directory;
    for (const auto &[name, text] : entries) {
        std::uint32_t crc = 0xFFFFFFFFU;  // bit by bit, knowing nothing of the reader's table
        for (const char c : text) {
            crc ^= static_cast<unsigned char>(c);
            for (int k = 0; k < 8; ++k)
                crc = (crc & 1U) != 0 ? 0xEDB88320U ^ (crc >> 1U) : crc >> 1U;
        }
        crc ^= 0xFFFFFFFFU;
        const auto size = static_cast<std::uint32_t>(text.size());
        const auto nameSize = static_cast<std::uint32_t>(name.size());
        std::string local(30, '\0');
        put(local, 0, 0x04034b50, 4), put(local, 14, crc, 4), put(local, 18, size, 4);
        put(local, 22, size, 4), put(local, 26, nameSize, 2);
        std::string central(46, '\0');
        put(central, 0, 0x02014b50, 4), put(central, 16, crc, 4), put(central, 20, size, 4);
        put(central, 24, size, 4), put(central, 28, nameSize, 2);
        put(central, 42, static_cast<std::uint32_t>(files.size()), 4);
        ((files += local) += name) += text;
        (directory += central) += name;
    }
    std::string end(22, '\0');
    const auto count = static_cast<std::uint32_t>(entries.size());
    put(end, 0, 0x06054b50, 4), put(end, 8, count, 2), put(end, 10, count, 2);
    put(end, 12, static_cast<std::uint32_t>(directory.size()), 4);
    put(end, 16, static_cast<std::uint32_t>(files.size()), 4);
    return files + directory + end;
}

// The one game folder "/g/": its loose files and its archives' bytes.
zelvar::Disk gameFolder(const std::map<std::string, std::string> &loose,
                        const std::map<std::string, std::string> &archives) {
    zelvar::Disk disk;
    disk.read = [loose](const std::string &path) {
        zelvar::FileText t;
        if (const auto f = loose.find(path.substr(3)); path.starts_with("/g/") && f != loose.end())
            t.bytes = f->second;
        else
            t.missing = true;
        return t;
    };
    disk.archives = [archives](const std::string &) {
        std::vector<std::string> names;
        names.reserve(archives.size());
        for (const auto &a : archives)
            names.push_back(a.first);
        return names;
    };
    disk.open = [archives](const std::string &path, std::string &) {
        const std::string held = archives.at(path.substr(3));
        return std::optional<zelvar::ArchiveFile>(zelvar::ArchiveFile{
            held.size(), [held](std::uint64_t at, std::size_t n, std::string &into) {
                if (at > held.size() || n > held.size() - at)
                    return false;
                into.assign(held, at, n);
                return true;
            }});
    };
    return disk;
}

// Each setting read, as "FILE VALUE", and each note.
std::string readOut(const zelvar::Tree &tree) {
    std::vector<std::string> out;
    for (const zelvar::Setting &s : tree.settings)
        out.push_back(tree.names.at(std::size_t(s.file)) + ' ' + s.value);
    for (const zelvar::Tree::Note &n : tree.notes)
        out.push_back(n.text);
    return joined(out);
}

}  // namespace

// Archives as exec finds files in them: each way one can be unreadable is
// named, what it cannot read is never taken for nothing, and a sound
// archive beside a broken one is read on.
CHECK_CASE(archives) {
    const std::string text = "seta zv_teamLock 4\n";
    const std::size_t central = 35 + text.size();
    const std::size_t end = central + 51;
    const struct {
        std::function<void(std::string &)> damage;
        std::string said;  // in the note; "" where the entry is read
    } rows[] = {
        {[](std::string &) {}, ""},
        {[&](std::string &b) { put(b, central + 8, 1, 2); }, "encrypted"},
        {[&](std::string &b) { put(b, central + 10, 12, 2); }, "method 12"},
        {[&](std::string &b) { put(b, central + 24, 0xFFFFFFF0U, 4); }, "larger than 4 MiB"},
        {[&](std::string &b) { put(b, end + 10, 0xFFFF, 2); }, "zip64"},
        {[&](std::string &b) { put(b, end + 16, 0xFFFFFF00U, 4); }, "outside the file"},
        {[&](std::string &b) { put(b, end + 4, 1, 2); }, "several disks"},
        {[](std::string &b) { b[35] ^= 1; }, "checksum"},
        {[](std::string &b) { b[0] = 'Q'; }, "header is not where"},
        {[&](std::string &b) { put(b, central + 42, 0x7FFFFFFF, 4); }, "header is not where"},
        {[&](std::string &b) { put(b, central + 20, 0x100, 4), put(b, central + 24, 0x100, 4); },
         "past the end"},
        {[](std::string &b) { b.resize(b.size() - 1); }, "no directory at its end"},
    };
    for (const auto &row : rows) {
        std::string bytes = zipOf({{"x.cfg", text}});
        row.damage(bytes);
        // The damaged archive sorts after b.pk3, and so is looked in first.
        const zelvar::Tree tree =
            zelvar::readTree("/g/t.cfg", {"/g/"},
                             gameFolder({{"t.cfg", "exec x\nexec y\n"}},
                                        {{"b.pk3", zipOf({{"Y.CFG", "seta zv_wordFilter 2\n"}})},
                                         {"c.pk3", bytes}}));
        const std::string out = readOut(tree);
        CHECK(out.find("b.pk3: Y.CFG 2") != std::string::npos &&
                  (row.said.empty() ? out.find("x.cfg 4") != std::string::npos && tree.notes.empty()
                                    : out.find("x.cfg 4") == std::string::npos &&
                                          out.find(row.said) != std::string::npos),
              row.said + ": " + out);
    }
    // Cut anywhere, an archive is named or read, and nothing reads past its end.
    const std::string whole = zipOf({{"x.cfg", text}});
    for (std::size_t size = 0; size < whole.size(); ++size) {
        const zelvar::Disk disk = gameFolder({}, {{"a.pk3", whole.substr(0, size)}});
        std::string why;
        const zelvar::ArchiveIndex index = zelvar::readIndex(*disk.open("/g/a.pk3", why));
        CHECK(index.error.has_value() || index.entries.size() == 1, std::to_string(size));
    }
}

// Which file exec runs where a folder holds it both loose and packed: the
// game's own engines' order, reviewed against their source (no such engine
// is packaged here), beside ioquake3's, which the console test proves.
CHECK_CASE(folderOrder) {
    const zelvar::Disk disk = gameFolder(
        {{"t.cfg", "exec inpak\nexec both\nexec two\n"}, {"both.cfg", "seta zv_wordFilter 2\n"}},
        {{"zz.pk3", zipOf({{"inpak.cfg", "seta zv_teamLock 16\n"},
                           {"both.cfg", "seta zv_wordFilter 4\n"},
                           {"autoexec.cfg", "seta zv_emotDisallow 9\n"}})},
         {"aa.pk3", zipOf({{"two.cfg", "seta zv_votesDisable 8\n"}})},
         {"pak10.pk3", zipOf({{"two.cfg", "seta zv_votesDisable 10\n"}})},
         {"pak2.pk3", zipOf({{"TWO.cfg", "seta zv_votesDisable 16\n"}})}});
    using zelvar::FolderOrder;
    const std::string packed = "zz.pk3: inpak.cfg 16 | zz.pk3: both.cfg 4 | pak2.pk3: TWO.cfg 16";
    const std::string loose = "zz.pk3: inpak.cfg 16 | both.cfg 2 | pak2.pk3: TWO.cfg 16";
    const auto start = [](std::optional<FolderOrder> order, const char *line = nullptr) {
        zelvar::Startup s;
        s.order = order;
        if (line != nullptr)
            s.commandLine = line;
        return s;
    };
    const struct {
        zelvar::Startup startup;
        std::string read;
    } rows[] = {
        // the game's own engines, assumed and said
        {start({}), packed +
                        " | exec both.cfg runs \"zz.pk3: both.cfg\", not the loose \"both.cfg\" "
                        "beside it: a folder's archives come first in the game's own engines, "
                        "whose order is taken here"},
        {start(FolderOrder::ArchivesFirst), packed + " | exec both.cfg"},
        {start(FolderOrder::LooseFirst), loose},
        // told to read loose files first; an autoexec.cfg packed is never run
        {start({}, "+set fs_dirbeforepak 1 +exec t.cfg"), loose},
    };
    for (const auto &row : rows) {
        const std::string out = readOut(zelvar::readTree("/g/t.cfg", {"/g/"}, disk, row.startup));
        CHECK(out.starts_with(row.read) && out.find("autoexec") == std::string::npos, out);
    }
}

// The engine a status reply's "version" names decides the pacing and where a
// reply ends: the forms servers of each kind print, and near misses.
CHECK_CASE(engines) {
    using zelvar::rcon::Engine;
    const struct {
        std::string_view version;
        Engine engine;
    } rows[] = {
        {"Zelvar Arena 1.0 win-x86 Oct 24 2003", Engine::Of2003},
        {"JAmp: v1.0.1.0 linux-i386 Jan  8 2004  ", Engine::Of2003},  // two blanks, one after
        {"JAmp: v1.0.1.1 linux-x86_64 Mar 30 2024", Engine::Today},
        {"ioq3 1.36 linux-x86_64", Engine::Today},  // no build date: by its name
        {"ioq3 1.36_GIT_70d07d9 linux-x86_64 Nov 23 2022", Engine::Today},
        {"", Engine::Unknown},
        {"a server of 2003", Engine::Unknown},                 // a year with no month before it
        {"Build Foo 12 2003", Engine::Unknown},                // no month's name
        {"JAmp: v1.0 win-x86 Oct 24 20030", Engine::Unknown},  // not a year's four digits
    };
    for (const auto &row : rows)
        CHECK(zelvar::rcon::engineOf(row.version) == row.engine, std::string(row.version));
}

int main(int argc, char **argv) { return check::main(argc, argv); }

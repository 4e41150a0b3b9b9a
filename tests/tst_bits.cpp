// zelvar-bits run in process: a reviewed session of commands, and a seeded
// run of random configurations (run under the sanitizers in CI too).
#include "bits.h"
#include "config.h"
#include "memoryhost.h"
#include "replace.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

struct Result {
    int status;
    QString out;
    QString err;
    std::string bytes;  // what was written, as it was written
};

// The strict reader: a raw control byte in a string, a byte that is not
// UTF-8 or anything after the document fails it.
bool strictJson(const std::string &text, nlohmann::json *into = nullptr) {
    nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
    if (into != nullptr)
        *into = parsed;
    return parsed.is_object();
}

// Writes nowhere and says so, as a full disk does.
struct Refusing : std::streambuf {
    int_type overflow(int_type /*c*/) override { return traits_type::eof(); }
};

Result run(const QStringList &arguments, const QByteArray &input = {}, bool writable = true,
           const zelvar::OpenHost &open = {}) {
    std::vector<std::string> owned;
    for (const QString &a : arguments)
        owned.push_back(a.toStdString());
    const std::vector<std::string_view> views(owned.begin(), owned.end());
    std::istringstream in(input.toStdString());
    std::ostringstream out;
    Refusing refusing;
    std::ostream unwritable(&refusing);
    std::ostringstream err;
    const int status = zelvar::bits::run(
        views, {in, writable ? static_cast<std::ostream &>(out) : unwritable, err}, {}, open);
    return {status, QString::fromStdString(out.str()), QString::fromStdString(err.str()),
            out.str()};
}

}  // namespace

class TestBits : public QObject {
    Q_OBJECT

private slots:
    void transcript();
    void randomConfigurations();
    void unwritableOutput();
    void set_data();
    void set();
    void diff_data();
    void diff();
    void changedOnDisk();
    void onFileHost_data();
    void onFileHost();
    void noLineAddedInAnExecdComment();
};

// data/zelvar-bits.transcript is a reviewed session: "$ zelvar-bits ARGS
// [< FILE]", what it writes, then "[STATUS]". Each command runs again here,
// from the tests folder; those that write a report must also write valid JSON.
void TestBits::transcript() {
    // On a copy of the data, which must end byte for byte as it began: a dry
    // run that writes fails here rather than rewriting the project's files.
    QTemporaryDir copy;
    const auto data = std::filesystem::path(ZELVAR_TESTS_DIR) / "data";
    std::filesystem::copy(data, std::filesystem::path(copy.path().toStdString()) / "data",
                          std::filesystem::copy_options::recursive);
    QVERIFY(QDir::setCurrent(copy.path()));
    const auto unchanged = [&data] {
        for (const auto &entry : std::filesystem::recursive_directory_iterator("data")) {
            const auto bytes = [](const std::filesystem::path &p) {
                std::ifstream in(p, std::ios::binary);
                return std::string(std::istreambuf_iterator<char>(in), {});
            };
            if (entry.is_regular_file() &&
                bytes(entry.path()) != bytes(data / entry.path().lexically_relative("data")))
                return false;
        }
        return true;
    };
    QFile file("data/zelvar-bits.transcript");
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    static const QRegularExpression word("'([^']*)'|(\\S+)");
    for (qsizetype i = 0; i < lines.size() && lines[i].startsWith("$ zelvar-bits");) {
        QStringList arguments;
        for (auto m = word.globalMatch(lines[i].mid(13)); m.hasNext();) {
            const auto match = m.next();
            arguments << match.captured(1) + match.captured(2);
        }
        QByteArray input;
        if (arguments.size() >= 2 && arguments[arguments.size() - 2] == "<") {
            QFile in(arguments.takeLast());
            QVERIFY(in.open(QIODevice::ReadOnly));
            input = in.readAll();
            arguments.removeLast();
        }
        QString expected;
        for (++i; !lines[i].startsWith('['); ++i)
            expected += lines[i] + '\n';
        const Result r = run(arguments, input);
        QCOMPARE(r.out + r.err, expected);
        QCOMPARE(QString("[%1]").arg(r.status), lines[i++]);
        if (r.status != 2 &&
            QStringList{"decode", "explain", "list"}.contains(arguments.value(0))) {
            const Result json = run(arguments + QStringList{"--json"}, input);
            QVERIFY2(strictJson(json.bytes), qPrintable(json.out));
        }
    }
    QVERIFY(unchanged());
}

namespace {

// As the library judges it, which is what decides what it writes.
bool isUtf8(const std::string &text) {
    try {
        (void)nlohmann::json(text).dump();
        return true;
    } catch (const nlohmann::json::type_error &) {
        return false;
    }
}

QStringList listed(const std::vector<zelvar::Setting> &settings) {
    QStringList out;
    for (const auto &s : settings)
        out << QString("%1 %2 %3 %4 %5 %6")
                   .arg(s.line)
                   .arg(QString::fromStdString(s.written), QString::fromStdString(s.value))
                   .arg(s.hasValue)
                   .arg(s.applied)
                   .arg(s.swallow ? s.swallow->endLine.value_or(-1) : 0);
    return out;
}

}  // namespace

// Configurations made of the reader's own words and of stray bytes: every
// one ends with a status and, where it was read, with JSON that a strict
// parser takes, each value as the same characters (U+FFFD where its bytes
// are not UTF-8); and the quick search for the calculator's names finds
// the same settings as reading every command.
void TestBits::randomConfigurations() {
    static const QByteArrayList words =
        QByteArray(
            "seta|set|SETU|g_weaponDisable|zv_teamLock|ZV_COUNCILALLOWEDCMD|sv_hostname|\"|;|"
            "//|\r\n|\n|\t| |0|-|+|12|4095|2147483648|99999999999999999999|\xEF\xBB\xBF|\xFF|"
            "\\|\"8\"|\xC3\xA9|/*|*/|/*/|\r")
            .split('|');
    const unsigned seed = qEnvironmentVariableIsSet("ZELVAR_SEED")
                              ? qEnvironmentVariable("ZELVAR_SEED").toUInt()
                              : 20261207U;
    std::mt19937 random(seed);
    for (int round = 0; round < 20000; ++round) {
        QByteArray input(round % 4 == 0 ? "\xEF\xBB\xBF" : "");
        for (int n = int(random() % 200); n > 0; --n)
            input += random() % 8 != 0 ? words[qsizetype(random() % words.size())]
                                       : QByteArray(1, char(random() % 256));
        const QByteArray shown = input.toPercentEncoding();
        // The console reads no further than a NUL byte.
        const std::string_view text = std::string_view(input.constData(), std::size_t(input.size()))
                                          .substr(0, std::size_t(input.indexOf('\0')));
        const std::vector<zelvar::Setting> settings = zelvar::ConfigReader().read(text);
        QVERIFY2(listed(settings) == listed(zelvar::ConfigReader(true).read(text)),
                 shown.constData());

        const Result r = run({"explain", "--json"}, input);
        const Result report = run({"explain"}, input);
        QVERIFY2(r.status >= 0 && r.status <= 2 && report.status == r.status, shown.constData());
        nlohmann::json json;
        QVERIFY2(strictJson(r.bytes, &json), shown.constData());
        QCOMPARE(json["settings"].size(), settings.size());
        for (std::size_t i = 0; i < settings.size(); ++i) {
            const std::string &value = settings[i].value;
            const auto written = json["settings"][i]["text"].get<std::string>();
            QVERIFY2(isUtf8(value) ? written == value
                                   : written.find("\xEF\xBF\xBD") != std::string::npos,
                     shown.constData());
        }
    }
}

// Output lost on the way is an error, whatever the command found.
void TestBits::unwritableOutput() {
    QVERIFY(QDir::setCurrent(ZELVAR_TESTS_DIR));
    for (const QStringList &arguments : {QStringList{"list"}, {"explain", "--json", "-"}}) {
        const Result r = run(arguments, "zv_teamLock oops\n", false);
        QCOMPARE(r.status, int(zelvar::Failed));
        QCOMPARE(r.err, "zelvar-bits: cannot write the output\n");
    }
}

// Reviewed edits, byte for byte: only the value's bytes change, or a line is
// added in the file's own line ending; a refusal leaves the file as it was.
void TestBits::set_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("after");  // empty: refused, the file as it was
    QTest::newRow("CRLF after a byte-order mark, quoted, the last setting, a tab in the line")
        << QByteArray("\xEF\xBB\xBFseta g_weaponDisable \"8\"\r\nSETA G_WEAPONDISABLE \"8\"\r\n")
        << QStringList{"g_weaponDisable\t40"}
        << QByteArray("\xEF\xBB\xBFseta g_weaponDisable \"8\"\r\nSETA G_WEAPONDISABLE \"40\"\r\n");
    QTest::newRow("a ; chain, a bare value the start drops made a seta before a comment")
        << QByteArray("seta zv_teamLock 4;zv_wordFilter 2// old\n")
        << QStringList{"zv_wordFilter", "6", "zv_teamLock 20"}
        << QByteArray("seta zv_teamLock 20;seta zv_wordFilter \"6\"// old\n");
    QTest::newRow("added with the file's line ending, after the last line's own")
        << QByteArray("seta zv_teamLock 4\r\n// end") << QStringList{"zv_emotDisallow 12"}
        << QByteArray("seta zv_teamLock 4\r\n// end\r\nseta zv_emotDisallow \"12\"\r\n");
    QTest::newRow("one admin rank, the others as they are")
        << QByteArray("seta zv_knightAllowedCMD 38\nseta zv_councilAllowedCMD 6\n")
        << QStringList{"zv_councilAllowedCMD 2"}
        << QByteArray("seta zv_knightAllowedCMD 38\nseta zv_councilAllowedCMD 2\n");
    QTest::newRow("a value of several words")
        << QByteArray("seta zv_teamLock 4 0\n") << QStringList{"zv_teamLock 20"} << QByteArray();
    QTest::newRow("a bare name whose value a comment left open gives")
        << QByteArray("zv_teamLock /* \"a */\n4\n") << QStringList{"zv_teamLock 8"} << QByteArray();
    QTest::newRow("a value a comment swallows")
        << QByteArray("/* \"old */\nseta zv_teamLock 4\nseta zv_wordFilter 2\n")
        << QStringList{"zv_teamLock 20"} << QByteArray();
    // "20" moves the console's 1023-byte cut onto the blank before the "s":
    // the rest, read as a command of its own, would set sv_hostname.
    QTest::newRow("a longer value that moves the cut and so sets another server setting")
        << "seta zv_teamLock 4" + QByteArray(1005, ' ') + "sv_hostname x\n"
        << QStringList{"zv_teamLock 20"} << QByteArray();
    QTest::newRow("a file that ends in an open comment")
        << QByteArray("seta zv_teamLock 4\n/* a \"note */") << QStringList{"zv_wordFilter 2"}
        << QByteArray();
}

void TestBits::set() {
    QFETCH(QByteArray, before);
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, after);
    QTemporaryDir folder;
    const QString path = folder.filePath("server.cfg");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
    file.close();
    const Result r = run(QStringList{"set", path} + lines);
    QCOMPARE(r.status, after.isEmpty() ? 1 : 0);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), after.isEmpty() ? before : after);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"server.cfg"});
    if (!after.isEmpty())  // once written, the same again changes nothing
        QCOMPARE(run(QStringList{"set", path} + lines).out, path + ": unchanged\n");
}

// The diff set prints, to the byte; where the file has no CR (which it shows
// as ^M), patch and git apply both take it and make what set writes.
void TestBits::diff_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("diff");
    QTest::newRow("the last line, without its line end")
        << QByteArray("a\nb\nc\nd\nseta zv_teamLock 4") << "zv_teamLock 20"
        << "@@ -2,4 +2,4 @@\n b\n c\n d\n-seta zv_teamLock 4\n\\ No newline at end of file\n"
           "+seta zv_teamLock 20\n\\ No newline at end of file\n";
    QTest::newRow("a line added after a last line without its line end")
        << QByteArray("// end") << "zv_wordFilter 2"
        << "@@ -1 +1,2 @@\n-// end\n\\ No newline at end of file\n+// end\n"
           "+seta zv_wordFilter \"2\"\n";
    QTest::newRow("CR shown as ^M")
        << QByteArray("seta zv_teamLock 4\r\n") << "zv_teamLock 20"
        << "@@ -1 +1 @@\n-seta zv_teamLock 4^M\n+seta zv_teamLock 20^M\n";
    // Admins paste diffs into tickets: no password byte, context or changed.
    QTest::newRow("passwords beside the change, and on its line")
        << QByteArray("set rconpassword \"s3cret-1\"\nseta g_password pw2; seta zv_wordFilter 1 "
                      "// \"x\" pw2\nsv_privatePassword \"p;3\" // was x\nSETA SV_PASSWORD p4\n")
        << "zv_wordFilter 2"
        << "@@ -1,4 +1,4 @@\n set rconpassword (sensitive value)\n"
           "-seta g_password (sensitive value); seta zv_wordFilter 1 // (sensitive value)\n"
           "+seta g_password (sensitive value); seta zv_wordFilter 2 // (sensitive value)\n"
           " sv_privatePassword (sensitive value)\n SETA SV_PASSWORD (sensitive value)\n";
}

void TestBits::diff() {
    QFETCH(QByteArray, before);
    QFETCH(QString, line);
    QFETCH(QString, diff);
    QTemporaryDir folder;
    QVERIFY(QDir::setCurrent(folder.path()));
    const auto write = [](const QString &name, const QByteArray &bytes) {
        QFile f(name);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    QVERIFY(write("server.cfg", before));
    const Result shown = run({"set", "--dry-run", "server.cfg", line});
    QCOMPARE(shown.out, "--- a/server.cfg\n+++ b/server.cfg\n" + diff);
    // --stdout: the bytes set writes, passwords and all, the diff masked
    // beside them, and the file left as it was.
    const Result printed = run({"set", "--stdout", "server.cfg", line});
    QVERIFY(printed.err.startsWith(shown.out));
    QFile untouched("server.cfg");
    QVERIFY(untouched.open(QIODevice::ReadOnly) && untouched.readAll() == before);
    QCOMPARE(run({"set", "server.cfg", line}).status, 0);
    QFile set("server.cfg");
    QVERIFY(set.open(QIODevice::ReadOnly));
    const QByteArray after = set.readAll();
    QCOMPARE(QByteArray::fromStdString(printed.bytes), after);
    if (before.contains('\r') || shown.out.contains("(sensitive value)"))
        return;
    QVERIFY(write("change.diff", shown.out.toUtf8()));
    for (const QStringList &tool : {QStringList{"patch", "-s", "-p1", "-i", "change.diff"},
                                    {"git", "apply", "change.diff"}}) {
        QVERIFY(write("server.cfg", before));
        QCOMPARE(QProcess::execute(tool[0], tool.mid(1)), 0);
        QFile patched("server.cfg");
        QVERIFY(patched.open(QIODevice::ReadOnly));
        QCOMPARE(patched.readAll(), after);
    }
}

// Another program writes the file between reading and replacing it, even
// bytes of the same size at the same time: its bytes win, and nothing of
// ours is left.
void TestBits::changedOnDisk() {
    QTemporaryDir folder;
    const std::string path = folder.filePath("server.cfg").toStdString();
    std::ofstream(path, std::ios::binary) << "seta zv_teamLock 4\n";
    auto was = std::get<zelvar::Snapshot>(zelvar::takeSnapshot(path, "it", 1 << 20));
    std::string().swap(was.bytes);  // let go, as a planned save does once it has its diff
    const auto time = std::filesystem::last_write_time(path);
    std::ofstream(path, std::ios::binary) << "seta zv_teamLock 5\n";
    std::filesystem::last_write_time(path, time);
    const auto replaced = zelvar::replaceFile(was, "it", "seta zv_teamLock 20\n");
    QCOMPARE(std::get<std::string>(replaced),
             "it changed on disk since it was read; it is as it was");
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"server.cfg"});
}

// set of a location, on each kind of host: the bytes it ends with, whole,
// and what the result says of the file.
void TestBits::onFileHost_data() {
    QTest::addColumn<QString>("quirk");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("said");
    QTest::newRow("posix-rename") << "" << true << "\"replaced\"";
    QTest::newRow("no file may be made") << "noCreate" << true << "not in one step";
    QTest::newRow("no rename at all") << "noRename" << true << "not in one step";
    QTest::newRow("the upload cut short") << "drops" << true << "not in one step";
    QTest::newRow("the connection lost for good mid-upload")
        << "lost" << false << "stopped answering as the new bytes went";
    QTest::newRow("changed on the server since it was read")
        << "edited" << false << "changed on the server since";
    QTest::newRow("a dry run reaches the host and writes nothing")
        << "dry" << false << "\"dry_run\":true";
    // What was done before a failure is said with it.
    QTest::newRow("the second file refused: the first written, and said")
        << "second" << false << "\"written\":true,\"written_as\":[\"replaced\"]";
}

void TestBits::onFileHost() {
    QFETCH(QString, quirk);
    QFETCH(bool, written);
    QFETCH(QString, said);
    const std::string before = "seta zv_teamLock 2\nexec zv\n";
    const std::string after = "seta zv_teamLock 4\nexec zv\n";
    MemoryHost server;
    MemoryHost *host = &server;
    host->files["/srv/base/server.cfg"] = {before, 0640};
    host->files["/srv/base/zv.cfg"] = {"seta zv_wordFilter 2\n", 0640};
    host->renames = quirk != "noRename";
    host->creates = quirk != "noCreate";
    host->dropsUploads = quirk == "drops" || quirk == "lost";
    host->staysGone = quirk == "lost";
    host->edited = quirk == "edited" ? "/srv/base/server.cfg" : "";
    host->refusing = quirk == "second" ? "zv.cfg" : "";
    int opened = 0;
    const zelvar::OpenHost open = reaching(server, "sftp://srv@h:2022", opened);
    const Result r = run(QStringList{"set", "--json", "sftp://srv@h:2022/srv/base/server.cfg",
                                     "zv_teamLock 4", "zv_wordFilter 6"} +
                             (quirk == "dry" ? QStringList{"--dry-run"} : QStringList{}),
                         {}, true, open);
    nlohmann::json json;
    QVERIFY2(strictJson(r.bytes, &json), qPrintable(r.out));
    QVERIFY2(r.out.contains(said), qPrintable(r.out));
    QCOMPARE(opened, 1);  // one connection for both files
    QCOMPARE(r.status, written || quirk == "dry" ? 0 : 2);
    QCOMPARE(host->files.at("/srv/base/server.cfg").bytes,
             written || quirk == "second"
                 ? after
                 : before + (quirk == "edited" ? "seta zv_chatMask 1\n" : ""));
    QCOMPARE(host->files.at("/srv/base/server.cfg").mode, 0640U);
    QCOMPARE(host->files.at("/srv/base/zv.cfg").bytes,
             written ? "seta zv_wordFilter 6\n" : "seta zv_wordFilter 2\n");
    // Nothing left beside them, but what a lost connection left.
    QCOMPARE(host->files.size(), std::size_t(quirk == "lost" ? 3 : 2));
}

// A file the configuration execs leaves a comment open to the end, which the
// configuration alone does not show: a line added at its end would be read
// on into whatever the server runs next. Refused, nothing written.
void TestBits::noLineAddedInAnExecdComment() {
    QTemporaryDir folder;
    const std::string main = folder.filePath("main.cfg").toStdString();
    std::ofstream(main, std::ios::binary) << "seta zv_teamLock 4\nexec open\n";
    std::ofstream(folder.filePath("open.cfg").toStdString(), std::ios::binary)
        << "/* keep the \"old value */\n";
    const Result r = run({"set", QString::fromStdString(main), "zv_wordFilter 2"});
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("ends inside a comment that the server keeps open"), qPrintable(r.err));
    std::ifstream in(main, std::ios::binary);
    QCOMPARE(std::string(std::istreambuf_iterator<char>(in), {}),
             "seta zv_teamLock 4\nexec open\n");
}

QTEST_APPLESS_MAIN(TestBits)
#include "tst_bits.moc"

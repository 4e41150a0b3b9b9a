// zelvar-bits run in process: a reviewed session of commands, and a seeded
// run of random configurations (run under the sanitizers in CI too).
#include "bits.h"
#include "config.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

#include <random>
#include <sstream>

namespace {

struct Result {
    int status;
    QString out;
    QString err;
};

// Writes nowhere and says so, as a full disk does.
struct Refusing : std::streambuf {
    int_type overflow(int_type /*c*/) override { return traits_type::eof(); }
};

Result run(const QStringList &arguments, const QByteArray &input = {}, bool writable = true) {
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
        views, {in, writable ? static_cast<std::ostream &>(out) : unwritable, err});
    return {status, QString::fromStdString(out.str()), QString::fromStdString(err.str())};
}

}  // namespace

class TestBits : public QObject {
    Q_OBJECT

private slots:
    void transcript();
    void randomConfigurations();
    void unwritableOutput_data();
    void unwritableOutput();
};

// data/zelvar-bits.transcript is a reviewed session: "$ zelvar-bits ARGS
// [< FILE]", what it writes, then "[STATUS]". Each command runs again here,
// from the tests folder; those that write a report must also write valid JSON.
void TestBits::transcript() {
    QVERIFY(QDir::setCurrent(ZELVAR_TESTS_DIR));
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
            QVERIFY2(QJsonDocument::fromJson(json.out.toUtf8()).isObject(), qPrintable(json.out));
        }
    }
}

// Configurations made of the reader's own words and of stray bytes: every
// one ends with a status and, where it was read, with valid JSON; and the
// reader finds the same settings whether the text comes whole or cut into
// small pieces anywhere, as a file is read.
void TestBits::randomConfigurations() {
    static const QByteArrayList words =
        QByteArray(
            "seta|set|SETU|g_weaponDisable|zv_teamLock|ZV_COUNCILALLOWEDCMD|sv_hostname|\"|;|"
            "//|\r\n|\n|\t| |0|-|+|12|4095|2147483648|99999999999999999999|\xEF\xBB\xBF|\xFF|"
            "\\|\"8\"")
            .split('|');
    const unsigned seed = qEnvironmentVariableIsSet("ZELVAR_SEED")
                              ? qEnvironmentVariableIntValue("ZELVAR_SEED")
                              : 20261207U;
    std::mt19937 random(seed);
    for (int round = 0; round < 20000; ++round) {
        QByteArray input;
        for (int n = int(random() % 200); n > 0; --n)
            input += random() % 8 != 0 ? words[qsizetype(random() % words.size())]
                                       : QByteArray(1, char(random() % 256));
        const Result r = run({"explain", "--json"}, input);
        const QByteArray shown = input.toPercentEncoding();
        QVERIFY2(r.status >= 0 && r.status <= 2, shown.constData());
        if (r.status != 2)
            QVERIFY2(QJsonDocument::fromJson(r.out.toUtf8()).isObject(), shown.constData());
        QVERIFY2(run({"explain"}, input).status == r.status, shown.constData());

        zelvar::bits::ConfigReader whole;
        zelvar::bits::ConfigReader cut;
        const std::string_view text(input.constData(), std::size_t(input.size()));
        whole.read(text);
        for (std::size_t at = 0, n = 0; at < text.size(); at += n)
            cut.read(text.substr(at, n = random() % 16 + 1));
        auto listed = [](const std::vector<zelvar::bits::Setting> &settings) {
            QStringList out;
            for (const auto &s : settings)
                out << QString("%1 %2 %3 %4")
                           .arg(s.line)
                           .arg(QString::fromStdString(s.written), QString::fromStdString(s.value))
                           .arg(s.hasValue);
            return out;
        };
        QVERIFY2(listed(whole.finish()) == listed(cut.finish()), shown.constData());
    }
}

// Output lost on the way is an error, whatever the command found.
void TestBits::unwritableOutput_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("list") << QStringList{"list"};
    QTest::newRow("encode") << QStringList{"encode", "zv_teamLock", "Red"};
    QTest::newRow("explain a file") << QStringList{"explain", "data/server.cfg"};
    QTest::newRow("explain standard input as JSON") << QStringList{"explain", "--json", "-"};
}

void TestBits::unwritableOutput() {
    QFETCH(QStringList, arguments);
    QVERIFY(QDir::setCurrent(ZELVAR_TESTS_DIR));
    const Result r = run(arguments, "zv_teamLock oops\n", false);
    QCOMPARE(r.status, int(zelvar::bits::Usage));
    QCOMPARE(r.err, "zelvar-bits: cannot write the output\n");
}

QTEST_APPLESS_MAIN(TestBits)
#include "tst_bits.moc"

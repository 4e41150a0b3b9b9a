// The windows' shared flows, once, without a window: a fake that keeps the
// controls' states as bits and answers each dialog from a script. Each real
// window runs these flows once more through its keys (tst_window, tst_win32).
#include "flows.h"

#include "oracle.h"

#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <fstream>
#include <sstream>

using zelvar::Group;
using zelvar::Rank;

namespace {

std::size_t slot(auto value) { return static_cast<std::size_t>(value); }

struct FakeWindow final : zelvar::Controls, zelvar::app::Dialogs {
    std::array<std::uint32_t, zelvar::kGroupCount> on{};
    Rank rank = Rank::Council;
    std::string text;
    // The answers the user gives, in order; a dialog with none left is a fault.
    std::deque<std::optional<std::string>> answers;
    std::vector<std::string> asked;  // each dialog, in order: "file", "password SERVER"
    std::vector<std::string> said;   // each message: "warning|information HEADING\nDETAILS"
    std::string clipboard;

    FakeWindow() {
        for (const zelvar::SettingGroup &g : zelvar::kCatalogue)
            on[slot(g.group)] = startStates(g.group);
    }
    bool checked(Group g, int i) const override { return (on[slot(g)] >> i & 1U) != 0; }
    std::string_view valueText(Group g, int i) const override {
        return zelvar::settingGroup(g).options[slot(i)].valueText;
    }
    int upperBound(Group g) const override {
        return int(zelvar::settingGroup(g).options.size()) - 1;
    }
    bool rankSelected(Rank r) const override { return r == rank; }
    void writeLine(std::string_view line) override { text = line; }
    void setPanelVisible(Group, bool) override {}
    void setChecked(Group g, int i, bool c) override {
        on[slot(g)] = (on[slot(g)] & ~(1U << i)) | (c ? 1U << i : 0U);
    }
    void setRankSelected(Rank r) override { rank = r; }
    void placePicture(int, int, int, int) override {}
    int outerWidth() const override { return 0; }
    int outerHeight() const override { return 0; }
    void setOutputBackground(std::uint32_t) override {}

    std::optional<std::string> answer(std::string dialog) {
        asked.push_back(std::move(dialog));
        if (answers.empty())
            qFatal("a dialog nobody expected: %s", asked.back().c_str());
        std::optional<std::string> a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> askSaveFile() override { return answer("file"); }
    std::optional<std::string> askPassword(const std::string &server) override {
        return answer("password " + server);
    }
    bool confirm(std::string_view, const std::string &, std::string_view) override {
        return answer("confirm").has_value();
    }
    void message(bool fine, std::string_view heading, const std::string &details) override {
        said.push_back((fine ? "information " : "warning ") + std::string(heading) + '\n' +
                       details);
    }
    std::string clipboardText() override { return clipboard; }
    void setClipboardText(const std::string &t) override { clipboard = t; }
    void busy(std::string_view) override {}
    std::string line() const override { return text; }
};

struct Window {
    FakeWindow fake;
    zelvar::Form form{fake};
    zelvar::app::Flows flows{form, fake};
    Window() {
        form.Form_Load();
        flows.shown();
    }
};

std::string contents(const QString &path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

class TestFlows : public QObject {
    Q_OBJECT

private slots:
    void messageWaitsForTheWindow();
    void pasteAndCopy();
    void saveKey_data();
    void saveKey();
};

// Said over the window only once it shows, and said once.
void TestFlows::messageWaitsForTheWindow() {
    FakeWindow fake;
    zelvar::Form form(fake);
    zelvar::app::Flows flows(form, fake);
    form.Form_Load();
    const std::vector<std::string> arguments{"zv_teamLock", "-4"};
    flows.openArguments(arguments);
    QVERIFY(fake.said.empty());
    flows.shown();
    QCOMPARE(fake.said.size(), 1U);
    QVERIFY(fake.said[0].starts_with("warning Nothing was opened.\nargument 1: zv_teamLock"));
    flows.shown();
    QCOMPARE(fake.said.size(), 1U);
}

void TestFlows::pasteAndCopy() {
    Window w;
    w.fake.clipboard = "seta zv_teamLock \"20\"\r\n";
    w.flows.pasteKey();
    QCOMPARE(w.fake.text, "zv_teamLock 20");
    w.fake.clipboard.clear();
    w.flows.copyKey();
    QCOMPARE(w.fake.clipboard, "zv_teamLock 20");
    QVERIFY(w.fake.said.empty());
}

// What the save key asks, says and writes, by where the window was opened
// from and what the user changed and answered since.
void TestFlows::saveKey_data() {
    QTest::addColumn<QString>("opened");       // "file", "server" or "" (nothing)
    QTest::addColumn<bool>("change");          // a weapon box clicked after opening
    QTest::addColumn<QStringList>("answers");  // "-" cancels
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QString>("said");  // how the one message starts; "" none
    QTest::addColumn<QString>("file");  // the file afterwards; "=" as before
    QTest::newRow("file, nothing changed")
        << "file" << false << QStringList{} << QStringList{} << "information Nothing to save.\n"
        << "=";
    QTest::newRow("file, a box changed")
        << "file" << true << QStringList{} << QStringList{} << "information Saved.\n--- a/"
        << "seta g_weaponDisable \"44\"\nseta zv_teamLock 4\n";
    QTest::newRow("nothing opened, the file dialog cancelled")
        << "" << true << QStringList{"-"} << QStringList{"file"} << ""
        << "=";
    QTest::newRow("nothing opened, a file named")
        << "" << true << QStringList{"FILE"} << QStringList{"file"} << "information Saved.\n"
        << "seta g_weaponDisable \"4\"\nseta zv_teamLock 4\n";
    QTest::newRow("server, nothing changed: no password asked, nothing sent")
        << "server" << false << QStringList{} << QStringList{} << "information Nothing to send.\n"
        << "=";
    QTest::newRow("server, the password cancelled: nothing sent or said")
        << "server" << true << QStringList{"-"} << QStringList{"password 127.0.0.1:9"} << ""
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
    const QString path = folder.filePath("server.cfg");
    const std::string before = "seta g_weaponDisable \"40\"\nseta zv_teamLock 4\n";
    std::ofstream(path.toStdString(), std::ios::binary) << before;

    Window w;
    if (opened == "file") {
        const std::vector<std::string> arguments{path.toStdString()};
        w.flows.openArguments(arguments);
    } else if (opened == "server") {
        zelvar::Opening server;
        server.server = "127.0.0.1:9";
        w.form.open(server);
    }
    if (change) {
        w.form.panelButtonClick(Group::Weapon);
        w.fake.on[slot(Group::Weapon)] ^= 1U << 2;  // WP_MELEE, as a click leaves it
        w.form.checkBoxClick(Group::Weapon, 2);
    }
    for (const QString &a : answers)
        w.fake.answers.push_back(
            a == "-" ? std::nullopt
                     : std::optional(a == "FILE" ? path.toStdString() : a.toStdString()));
    w.flows.saveKey();
    QStringList wereAsked;
    for (const std::string &a : w.fake.asked)
        wereAsked << QString::fromStdString(a);
    QCOMPARE(wereAsked, asked);
    QCOMPARE(w.fake.said.size(), said.isEmpty() ? 0U : 1U);
    if (!said.isEmpty())
        QVERIFY2(w.fake.said[0].starts_with(said.toStdString()), w.fake.said[0].c_str());
    QCOMPARE(contents(path), file == "=" ? before : file.toStdString());
}

QTEST_APPLESS_MAIN(TestFlows)
#include "tst_flows.moc"

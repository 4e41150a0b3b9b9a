// The real program under strace on a real (virtual) X display: a few clicks,
// a close from the window manager's button, and then a look at every file
// and socket call it made. Run by ctest under xvfb-run.
#include "layout.h"
#include "xsession.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kTitle = QStringLiteral("Zelvar 1.9 Bitrate Calculator V1.3");

// Where a person clicks to reach a control: its caption, a little right of the box.
QPoint onCaption(const zelvar::TwipRect &panel, const zelvar::TwipRect &control) {
    using zelvar::ui::pixels;
    return {pixels(panel.left + control.left) + 30,
            pixels(panel.top + control.top + control.height / 2)};
}

QPoint box(zelvar::Group group, int index) {
    return onCaption(zelvar::ui::kPanelRect,
                     zelvar::settingGroup(group).options[std::size_t(index)].rect);
}

QPoint control(std::string_view name) {
    for (const zelvar::ui::Control &c : zelvar::ui::kForm1) {
        if (c.name == name)
            return onCaption(zelvar::ui::kForm1ClientArea, c.rect);
        for (const zelvar::ui::Control &inner : c.contents)
            if (inner.name == name)
                return onCaption(c.rect, inner.rect);
    }
    qFatal("no control %s", std::string(name).c_str());
}

const char *kTraced = "trace=open,openat,creat,rename,renameat,renameat2,unlink,unlinkat,mkdir,"
                      "mkdirat,rmdir,link,linkat,symlink,symlinkat,truncate,socket,connect,bind,"
                      "listen";

// Caches that others keep on the program's behalf, allowed by name.
const QList<QRegularExpression> &allowed() {
    static const QList<QRegularExpression> patterns = {
        // Qt makes its runtime folder when XDG_RUNTIME_DIR is unset.
        QRegularExpression("^mkdir\\(\"/tmp/runtime-[^/\"]+\","),
        // fontconfig refreshes its own cache when the fonts changed.
        QRegularExpression("/\\.cache/fontconfig/"),
    };
    return patterns;
}

// Successful calls that create, write, rename or delete a file, or open a
// connection other than the display's.
QStringList trespasses(const QString &log) {
    static const QRegularExpression call("^\\d+\\s+(\\w+)\\((.*)\\)\\s+=\\s+(-?\\d+)");
    static const QRegularExpression writes("O_WRONLY|O_RDWR|O_CREAT|O_TRUNC|O_APPEND");
    static const QRegularExpression display("sun_path=@?\"/tmp/\\.X11-unix/X\\d+\"");
    static const QStringList changesFiles = {
        "creat",   "rename", "renameat", "renameat2", "unlink",  "unlinkat",  "mkdir",
        "mkdirat", "rmdir",  "link",     "linkat",    "symlink", "symlinkat", "truncate"};
    QStringList found;
    for (const QString &line : log.split('\n')) {
        const QRegularExpressionMatch m = call.match(line);
        if (!m.hasMatch() || m.captured(3).toLongLong() < 0)
            continue;
        const QString name = m.captured(1);
        const QString arguments = m.captured(2);
        bool bad = changesFiles.contains(name) ||
                   ((name == "open" || name == "openat") && writes.match(arguments).hasMatch() &&
                    !arguments.contains("\"/dev/null\"")) ||
                   (name == "connect" && !display.match(arguments).hasMatch()) || name == "bind" ||
                   name == "listen" || (name == "socket" && !arguments.startsWith("AF_UNIX"));
        const QString what = name + "(" + arguments + ")";
        for (const QRegularExpression &pattern : allowed())
            bad = bad && !pattern.match(what).hasMatch();
        if (bad)
            found << line.trimmed();
    }
    return found;
}

}  // namespace

class TestFootprint : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void leavesNoTrace();
    void secondRunStartsTheSame();

private:
    struct Run {
        QImage atStart;
        QImage afterClicks;
        QStringList trespasses;
        int exitCode = -1;
    };
    Run run(bool withClicks);

    QTemporaryDir scratch;
    Run first;
    int runs = 0;
};

void TestFootprint::initTestCase() {
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run me under xvfb-run");
    QVERIFY2(!QStandardPaths::findExecutable("strace").isEmpty(), "strace is not installed");
    QVERIFY(scratch.isValid());
    first = run(true);
}

TestFootprint::Run TestFootprint::run(bool withClicks) {
    Run result;
    const QString log = scratch.filePath(QString("strace-%1.log").arg(++runs));
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("QT_QPA_PLATFORM");
    // In a sanitized build: LeakSanitizer cannot work under ptrace.
    environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start("strace", {"-f", "-qq", "-o", log, "-e", kTraced, ZELVAR_PROGRAM});

    XSession x;
    if (!x.connected() || !x.waitForWindow(kTitle, 20000)) {
        program.kill();
        program.waitForFinished();
        return result;
    }
    result.atStart = x.settledCapture();
    if (withClicks) {
        x.click(box(zelvar::Group::Admin, 27));  // amVstr off
        x.click(control("optJK"));
        x.click(control("Command5"));
        x.click(box(zelvar::Group::Lock, 2));  // Red on
        result.afterClicks = x.changedCapture(result.atStart, 10000);
    }
    x.requestClose();
    if (!program.waitForFinished(20000))
        program.kill();
    result.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    QFile file(log);
    if (file.open(QIODevice::ReadOnly))
        result.trespasses = trespasses(QString::fromLocal8Bit(file.readAll()));
    return result;
}

void TestFootprint::leavesNoTrace() {
    QVERIFY2(!first.atStart.isNull(), "the window did not appear");
    QVERIFY2(first.afterClicks != first.atStart, "the clicks changed nothing on screen");
    QCOMPARE(first.exitCode, 0);
    QVERIFY2(first.trespasses.isEmpty(), qPrintable(first.trespasses.join('\n')));
}

void TestFootprint::secondRunStartsTheSame() {
    const Run second = run(false);
    QVERIFY2(!second.atStart.isNull(), "the window did not appear");
    QCOMPARE(second.exitCode, 0);
    QVERIFY2(second.trespasses.isEmpty(), qPrintable(second.trespasses.join('\n')));
    QVERIFY2(second.atStart == first.atStart, "the second run started in another state");
}

QTEST_GUILESS_MAIN(TestFootprint)
#include "tst_footprint.moc"

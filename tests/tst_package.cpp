// The Debian package: built with CPack, unpacked into a scratch root, its
// desktop files validated and its program started under a virtual display.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kAppId = QStringLiteral("net.zelvar.BitrateCalculator");

struct Run {
    int exitCode = -1;
    QString output;
};

Run run(const QString &program, const QStringList &arguments, const QString &directory = {},
        int timeoutMs = 60000) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!directory.isEmpty())
        process.setWorkingDirectory(directory);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAll())};
}

}  // namespace

class TestPackage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void files_data();
    void files();
    void dependencies_data();
    void dependencies();
    void validators_data();
    void validators();
    void installedProgramOpensItsWindow();

private:
    QTemporaryDir scratch;
    QString package;
    QString root;
};

void TestPackage::initTestCase() {
    QVERIFY(scratch.isValid());
    const Run cpack = run("cpack", {"-B", scratch.filePath("out")}, ZELVAR_BUILD_DIR, 180000);
    QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.output));
    const QStringList debs = QDir(scratch.filePath("out")).entryList({"*.deb"});
    QCOMPARE(debs.size(), 1);
    package = scratch.filePath("out/" + debs.constFirst());
    root = scratch.filePath("root");
    const Run unpack = run("dpkg-deb", {"-x", package, root});
    QVERIFY2(unpack.exitCode == 0, qPrintable(unpack.output));
}

void TestPackage::files_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("program") << "usr/bin/zelvar-bitrate";
    QTest::newRow("desktop entry") << "usr/share/applications/" + kAppId + ".desktop";
    QTest::newRow("metainfo") << "usr/share/metainfo/" + kAppId + ".metainfo.xml";
    QTest::newRow("icon") << "usr/share/icons/hicolor/32x32/apps/" + kAppId + ".png";
}

void TestPackage::files() {
    QFETCH(QString, path);
    QVERIFY2(QFileInfo::exists(root + "/" + path), qPrintable(path));
}

void TestPackage::dependencies_data() {
    QTest::addColumn<QString>("package");
    QTest::newRow("Qt Widgets, found by dpkg-shlibdeps") << "libqt6widgets6";
    QTest::newRow("the platform plugins, loaded at run time") << "qt6-qpa-plugins";
}

void TestPackage::dependencies() {
    QFETCH(QString, package);
    const Run depends = run("dpkg-deb", {"-f", this->package, "Depends"});
    QCOMPARE(depends.exitCode, 0);
    QVERIFY2(depends.output.contains(package), qPrintable(depends.output));
}

void TestPackage::validators_data() {
    QTest::addColumn<QString>("validator");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("desktop-file-validate")
        << "desktop-file-validate"
        << QStringList{root + "/usr/share/applications/" + kAppId + ".desktop"};
    QTest::newRow("appstreamcli") << "appstreamcli"
                                  << QStringList{"validate", "--no-net",
                                                 root + "/usr/share/metainfo/" + kAppId +
                                                     ".metainfo.xml"};
}

void TestPackage::validators() {
    QFETCH(QString, validator);
    QFETCH(QStringList, arguments);
    const Run check = run(validator, arguments);
    qInfo("%s: %s", qPrintable(validator), qPrintable(check.output.trimmed()));
    QVERIFY2(check.exitCode == 0, qPrintable(check.output));
}

// Waits for the window's title on a virtual display, then closes the program.
void TestPackage::installedProgramOpensItsWindow() {
    const QString script = QStringLiteral(R"(
        "$1" & program=$!
        for _ in $(seq 100); do
            if xwininfo -root -tree | grep -q 'Zelvar 1.9 Bitrate Calculator V1.3'; then
                kill "$program"; exit 0
            fi
            sleep 0.1
        done
        kill "$program"; exit 1
    )");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("QT_QPA_PLATFORM");
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start("xvfb-run", {"-a", "bash", "-c", script, "_", root + "/usr/bin/zelvar-bitrate"});
    QVERIFY(process.waitForFinished(60000));
    QVERIFY2(process.exitCode() == 0, process.readAll().constData());
}

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"

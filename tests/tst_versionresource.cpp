// The Windows version record, compiled here with the MinGW resource compiler
// and read back from the compiled resource file.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdint>

namespace {

std::uint16_t word(const QByteArray &data, qsizetype at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(data[at]) |
                                      static_cast<std::uint8_t>(data[at + 1]) << 8);
}

std::uint32_t dword(const QByteArray &data, qsizetype at) {
    return word(data, at) | static_cast<std::uint32_t>(word(data, at + 2)) << 16;
}

struct Resource {
    int type = 0;
    int language = 0;
    QByteArray data;
};

// A .res file is a run of entries: sizes, a type and a name (numeric here),
// flags and language, then the data, each part aligned to four bytes.
QList<Resource> readResources(const QByteArray &file) {
    QList<Resource> resources;
    qsizetype at = 0;
    while (at + 32 <= file.size()) {
        const std::uint32_t dataSize = dword(file, at);
        const std::uint32_t headerSize = dword(file, at + 4);
        Resource r;
        if (word(file, at + 8) == 0xFFFF)
            r.type = word(file, at + 10);
        r.language = word(file, at + headerSize - 10);
        r.data = file.mid(at + headerSize, dataSize);
        if (dataSize > 0)
            resources << r;
        at += (headerSize + dataSize + 3) & ~3U;
    }
    return resources;
}

QByteArray utf16(const QString &text) {
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2) +
           QByteArray(2, '\0');
}

// A VALUE's text follows its key's terminating null and up to two bytes of padding.
QString valueOf(const QByteArray &data, const QString &key) {
    qsizetype at = data.indexOf(utf16(key));
    if (at < 0)
        return {};
    at += utf16(key).size();
    while (at < data.size() && word(data, at) == 0)
        at += 2;
    QString value;
    for (; at + 1 < data.size() && word(data, at) != 0; at += 2)
        value += QChar(word(data, at));
    return value;
}

constexpr int kIcon = 3;
constexpr int kGroupIcon = 14;
constexpr int kVersion = 16;

}  // namespace

class TestVersionResource : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void holdsTheIcon();
    void fixedNumbers_data();
    void fixedNumbers();
    void strings_data();
    void strings();
    void translation();

private:
    QByteArray version;
    QList<Resource> resources;
};

void TestVersionResource::initTestCase() {
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString compiled = scratch.filePath("zelvar-bitrate.res");
    QProcess windres;
    windres.setProcessChannelMode(QProcess::MergedChannels);
    windres.setWorkingDirectory(ZELVAR_ASSETS_DIR);
    // The host's preprocessor stands in for the MinGW compiler's.
    windres.start("x86_64-w64-mingw32-windres",
                  {"--preprocessor=cpp", "-i", "zelvar-bitrate.rc", "-O", "res", "-o", compiled});
    QVERIFY(windres.waitForFinished(60000));
    QVERIFY2(windres.exitCode() == 0, windres.readAll().constData());
    QFile file(compiled);
    QVERIFY(file.open(QIODevice::ReadOnly));
    resources = readResources(file.readAll());
    for (const Resource &r : resources)
        if (r.type == kVersion) {
            QCOMPARE(r.language, 0x0409);
            version = r.data;
        }
    QVERIFY(!version.isEmpty());
}

void TestVersionResource::holdsTheIcon() {
    int icons = 0;
    int groups = 0;
    for (const Resource &r : resources) {
        icons += r.type == kIcon;
        groups += r.type == kGroupIcon;
    }
    QCOMPARE(icons, 1);
    QCOMPARE(groups, 1);
}

void TestVersionResource::fixedNumbers_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<uint>("value");
    // VS_FIXEDFILEINFO follows the 6-byte header and the padded key "VS_VERSION_INFO".
    QTest::newRow("signature") << 40 << 0xFEEF04BDU;
    QTest::newRow("file version 1.3") << 48 << 0x00010003U;
    QTest::newRow("file version .0.0") << 52 << 0U;
    QTest::newRow("product version 1.3") << 56 << 0x00010003U;
    QTest::newRow("product version .0.0") << 60 << 0U;
    QTest::newRow("an application") << 76 << 1U;
}

void TestVersionResource::fixedNumbers() {
    QFETCH(int, offset);
    QFETCH(uint, value);
    QCOMPARE(version.mid(6, 32), utf16("VS_VERSION_INFO"));
    QCOMPARE(dword(version, offset), value);
}

void TestVersionResource::strings_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("FileVersion") << "FileVersion"
                                 << "1.03";
    QTest::newRow("ProductVersion") << "ProductVersion"
                                    << "1.03";
    QTest::newRow("Comments") << "Comments"
                              << "Bitrate Calculator for Zelvar 1.9";
}

void TestVersionResource::strings() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    QVERIFY2(version.contains(utf16("040904B0")), "no U.S. English Unicode string table");
    QCOMPARE(valueOf(version, key), value);
}

void TestVersionResource::translation() {
    const qsizetype at = version.indexOf(utf16("Translation"));
    QVERIFY(at > 0);
    const QByteArray value = version.mid(at + utf16("Translation").size(), 6);
    // Two words after up to two bytes of padding: 0409 (U.S. English), 04B0 (Unicode).
    QVERIFY2(value.contains(QByteArray::fromHex("0904b004")), value.toHex().constData());
}

QTEST_APPLESS_MAIN(TestVersionResource)
#include "tst_versionresource.moc"

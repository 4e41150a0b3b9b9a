#include "fakecontrols.h"
#include "totals.h"

#include <QTest>

using zelvar::Group;
using zelvar::Rank;
using zelvar::RuntimeError;

Q_DECLARE_METATYPE(zelvar::Group)
Q_DECLARE_METATYPE(zelvar::Rank)

namespace {

// The model as the window holds it right after start-up.
struct Started {
    FakeControls controls;
    zelvar::Totals totals{controls, controls};
    Started() { totals.setAdminTotal(zelvar::kAdminTotalAtStart); }

    // A user's click: the box flips, then its click event toggles the total.
    void click(Group group, int index) {
        controls.flip(group, index);
        totals.toggle(group, index);
    }
};

}  // namespace

class TestTotals : public QObject {
    Q_OBJECT

private slots:
    void recountFromDefaults_data();
    void recountFromDefaults();
    void clicks_data();
    void clicks();
    void adminLineFollowsRank_data();
    void adminLineFollowsRank();
    void selectRankIgnoresButtons_data();
    void selectRankIgnoresButtons();
    void valueTexts_data();
    void valueTexts();
    void runtimeErrors_data();
    void runtimeErrors();
    void recountConvertsAfterEveryAddition();
};

void TestTotals::recountFromDefaults_data() {
    QTest::addColumn<Group>("group");
    QTest::addColumn<QString>("line");
    QTest::newRow("weapons count unchecked boxes") << Group::Weapon << "g_weaponDisable 0";
    QTest::newRow("force powers count unchecked boxes") << Group::Force << "g_forcePowerDisable 0";
    QTest::newRow("admin commands count checked boxes")
        << Group::Admin << "zv_councilAllowedCMD 536870910";
    QTest::newRow("votes count unchecked boxes") << Group::Poll << "zv_votesDisable 0";
    QTest::newRow("team lock counts checked boxes") << Group::Lock << "zv_teamLock 0";
    QTest::newRow("emotes count unchecked boxes") << Group::Emote << "zv_emotDisallow 0";
    QTest::newRow("word filter counts checked boxes") << Group::Say << "zv_wordFilter 0";
}

void TestTotals::recountFromDefaults() {
    QFETCH(Group, group);
    QFETCH(QString, line);
    FakeControls controls;
    zelvar::Totals totals(controls, controls);
    totals.recount(group);
    QCOMPARE(QString::fromStdString(controls.line), line);
    QCOMPARE(controls.writes, 1);
}

void TestTotals::clicks_data() {
    QTest::addColumn<Group>("group");
    QTest::addColumn<QList<int>>("indices");
    QTest::addColumn<Rank>("rank");
    QTest::addColumn<QString>("line");

    QList<int> all28;
    for (int i = 0; i < 28; ++i)
        all28 << i;

    QTest::newRow("WP_SABER unchecked")
        << Group::Weapon << QList<int>{5} << Rank::Council << "g_weaponDisable 8";
    QTest::newRow("WP_SABER and WP_BLASTER unchecked")
        << Group::Weapon << QList<int>{5, 3} << Rank::Council << "g_weaponDisable 40";
    QTest::newRow("WP_SABER checked again")
        << Group::Weapon << QList<int>{5, 3, 5} << Rank::Council << "g_weaponDisable 32";
    QTest::newRow("every weapon unchecked")
        << Group::Weapon
        << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}
        << Rank::Council << "g_weaponDisable 524287";
    QTest::newRow("Heal unchecked")
        << Group::Force << QList<int>{8} << Rank::Council << "g_forcePowerDisable 1";
    QTest::newRow("every force power unchecked")
        << Group::Force << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}
        << Rank::Council << "g_forcePowerDisable 262143";
    QTest::newRow("amVstr unchecked as council")
        << Group::Admin << QList<int>{27} << Rank::Council << "zv_councilAllowedCMD 268435454";
    QTest::newRow("amVstr unchecked as knight")
        << Group::Admin << QList<int>{27} << Rank::Knight << "zv_knightAllowedCMD 268435454";
    QTest::newRow("amPunish, whose tag starts with a blank")
        << Group::Admin << QList<int>{8} << Rank::Instructor << "zv_instructorAllowedCMD 536862718";
    QTest::newRow("every admin command unchecked")
        << Group::Admin << all28 << Rank::Council << "zv_councilAllowedCMD 0";
    QTest::newRow("every vote unchecked")
        << Group::Poll << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10} << Rank::Council
        << "zv_votesDisable 4094";
    QTest::newRow("Red and FFA checked")
        << Group::Lock << QList<int>{2, 3} << Rank::Council << "zv_teamLock 20";
    QTest::newRow("every team locked")
        << Group::Lock << QList<int>{0, 1, 2, 3} << Rank::Council << "zv_teamLock 30";
    QTest::newRow("every emote unchecked")
        << Group::Emote << all28 << Rank::Council << "zv_emotDisallow 536870910";
    QTest::newRow("Player Name and Say All filtered")
        << Group::Say << QList<int>{5, 0} << Rank::Council << "zv_wordFilter 66";
    QTest::newRow("every chat channel filtered")
        << Group::Say << QList<int>{0, 1, 2, 3, 4, 5} << Rank::Council << "zv_wordFilter 126";
}

// Each click writes its group's line, and a recount afterwards agrees with
// what the clicks left.
void TestTotals::clicks() {
    QFETCH(Group, group);
    QFETCH(QList<int>, indices);
    QFETCH(Rank, rank);
    QFETCH(QString, line);
    Started s;
    s.controls.rank = rank;
    for (int index : indices)
        s.click(group, index);
    QCOMPARE(QString::fromStdString(s.controls.line), line);
    QCOMPARE(s.controls.writes, indices.size());
    s.totals.recount(group);
    QCOMPARE(QString::fromStdString(s.controls.line), line);
}

void TestTotals::adminLineFollowsRank_data() {
    QTest::addColumn<Rank>("rank");
    QTest::addColumn<QString>("line");
    QTest::newRow("knight") << Rank::Knight << "zv_knightAllowedCMD 536870908";
    QTest::newRow("instructor") << Rank::Instructor << "zv_instructorAllowedCMD 536870908";
    QTest::newRow("council") << Rank::Council << "zv_councilAllowedCMD 536870908";
}

// The rank is asked afresh on every admin toggle and recount, never remembered.
void TestTotals::adminLineFollowsRank() {
    QFETCH(Rank, rank);
    QFETCH(QString, line);
    Started s;
    s.controls.rank = rank;
    s.totals.selectRank(rank);
    s.click(Group::Admin, 15);  // amKick, 2
    QCOMPARE(QString::fromStdString(s.controls.line), line);
    s.totals.recount(Group::Admin);
    QCOMPARE(QString::fromStdString(s.controls.line), line);
    QCOMPARE(QString::fromStdString(s.totals.adminLine()), line);
}

void TestTotals::selectRankIgnoresButtons_data() {
    QTest::addColumn<Rank>("chosen");
    QTest::addColumn<QString>("line");
    QTest::newRow("knight") << Rank::Knight << "zv_knightAllowedCMD 536870910";
    QTest::newRow("instructor") << Rank::Instructor << "zv_instructorAllowedCMD 536870910";
    QTest::newRow("council") << Rank::Council << "zv_councilAllowedCMD 536870910";
}

// Each rank button writes its own variable with the admin total as it
// stands, without a recount and whatever the other buttons say.
void TestTotals::selectRankIgnoresButtons() {
    QFETCH(Rank, chosen);
    QFETCH(QString, line);
    Started s;
    s.controls.states[FakeControls::index(Group::Admin)].assign(28, false);
    for (Rank other : {Rank::Knight, Rank::Instructor, Rank::Council}) {
        s.controls.rank = other;
        s.totals.selectRank(chosen);
        QCOMPARE(QString::fromStdString(s.controls.line), line);
    }
}

void TestTotals::valueTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    QTest::newRow("leading blank") << " 8192"
                                   << "zv_teamLock 8192";
    QTest::newRow("trailing blanks") << "8192  "
                                     << "zv_teamLock 8192";
    QTest::newRow("plus sign") << "+4"
                               << "zv_teamLock 4";
    QTest::newRow("exponent") << "1e3"
                              << "zv_teamLock 1000";
    QTest::newRow("half rounds to even, down") << "2.5"
                                               << "zv_teamLock 2";
    QTest::newRow("half rounds to even, up") << "3.5"
                                             << "zv_teamLock 4";
    QTest::newRow("negative half rounds to even") << "-2.5"
                                                  << "zv_teamLock -2";
    QTest::newRow("negative total keeps its minus sign") << "-32768"
                                                         << "zv_teamLock -32768";
    QTest::newRow("largest 16-bit total") << "32767.4"
                                          << "zv_teamLock 32767";
}

void TestTotals::valueTexts() {
    QFETCH(QString, text);
    QFETCH(QString, line);
    Started s;
    s.controls.valueTexts[{Group::Lock, 0}] = text.toStdString();
    s.click(Group::Lock, 0);
    QCOMPARE(QString::fromStdString(s.controls.line), line);
}

void TestTotals::runtimeErrors_data() {
    QTest::addColumn<Group>("group");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("message");
    const int mismatch = RuntimeError::TypeMismatch;
    const int overflow = RuntimeError::Overflow;
    QTest::newRow("letters") << Group::Weapon << "abc" << mismatch << "Type mismatch";
    QTest::newRow("empty tag") << Group::Weapon << "" << mismatch << "Type mismatch";
    QTest::newRow("blanks only") << Group::Weapon << "   " << mismatch << "Type mismatch";
    QTest::newRow("digits then letters") << Group::Weapon << "8x" << mismatch << "Type mismatch";
    QTest::newRow("sign alone") << Group::Weapon << "-" << mismatch << "Type mismatch";
    QTest::newRow("inf is no number") << Group::Weapon << "inf" << mismatch << "Type mismatch";
    QTest::newRow("nan is no number") << Group::Weapon << "nan" << mismatch << "Type mismatch";
    QTest::newRow("beyond double") << Group::Weapon << "1e400" << overflow << "Overflow";
    QTest::newRow("32-bit total past 2147483647")
        << Group::Weapon << "2147483648" << overflow << "Overflow";
    QTest::newRow("16-bit total past 32767") << Group::Poll << "32768" << overflow << "Overflow";
    QTest::newRow("16-bit total rounded past 32767")
        << Group::Poll << "32767.5" << overflow << "Overflow";
    QTest::newRow("16-bit total below -32768") << Group::Lock << "-32769" << overflow << "Overflow";
}

// A bad tag or a total outside its width stops the operation before it
// stores a total or writes a line.
void TestTotals::runtimeErrors() {
    QFETCH(Group, group);
    QFETCH(QString, text);
    QFETCH(int, number);
    QFETCH(QString, message);
    Started s;
    s.controls.valueTexts[{group, 0}] = text.toStdString();
    const auto before = s.totals.total(group);
    s.controls.flip(group, 0);
    try {
        s.totals.toggle(group, 0);
        QFAIL("no error raised");
    } catch (const RuntimeError &e) {
        QCOMPARE(int(e.number()), number);
        QCOMPARE(QString::fromUtf8(e.what()), message);
    }
    QCOMPARE(s.totals.total(group), before);
    QCOMPARE(s.controls.writes, 0);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, s.totals.recount(group));
}

// 30000 + 30000 - 30000 fits a 16-bit total at the end but not on the way.
void TestTotals::recountConvertsAfterEveryAddition() {
    Started s;
    s.controls.valueTexts[{Group::Poll, 0}] = "30000";
    s.controls.valueTexts[{Group::Poll, 1}] = "30000";
    s.controls.valueTexts[{Group::Poll, 2}] = "-30000";
    for (int index : {0, 1, 2})
        s.controls.flip(Group::Poll, index);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, s.totals.recount(Group::Poll));

    s.controls.valueTexts[{Group::Poll, 0}] = "-30000";
    s.controls.valueTexts[{Group::Poll, 2}] = "30000";
    s.totals.recount(Group::Poll);
    QCOMPARE(QString::fromStdString(s.controls.line), "zv_votesDisable 30000");
}

QTEST_APPLESS_MAIN(TestTotals)
#include "tst_totals.moc"

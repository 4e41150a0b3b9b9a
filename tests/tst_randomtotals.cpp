// Random clicks, recounts and rank choices against an oracle that knows
// nothing of the model's arithmetic: each group's checked boxes are a bit
// mask, and the line follows from the mask, the group's counting state and
// the rank.
#include "fakecontrols.h"
#include "totals.h"

#include <QElapsedTimer>
#include <QTest>

#include <random>

using zelvar::Group;
using zelvar::Rank;

namespace {

struct Oracle {
    std::array<std::int64_t, zelvar::kGroupCount> checkedMask{};
    std::array<std::int64_t, zelvar::kGroupCount> allBits{};
    Rank rank = Rank::Council;

    Oracle() {
        for (const zelvar::SettingGroup &g : zelvar::kCatalogue)
            for (const zelvar::Option &o : g.options) {
                const std::int64_t bit = std::int64_t{1} << bitNumber(o);
                allBits[FakeControls::index(g.group)] |= bit;
                if (g.defaultChecked)
                    checkedMask[FakeControls::index(g.group)] |= bit;
            }
    }

    static int bitNumber(const zelvar::Option &o) {
        const std::int64_t value = std::stoll(std::string(o.valueText));
        int bit = 0;
        while ((std::int64_t{1} << bit) != value)
            ++bit;
        return bit;
    }

    void flip(Group group, int index) {
        const auto &option = zelvar::settingGroup(group).options[static_cast<std::size_t>(index)];
        checkedMask[FakeControls::index(group)] ^= std::int64_t{1} << bitNumber(option);
    }

    std::string line(Group group) const {
        const zelvar::SettingGroup &g = zelvar::settingGroup(group);
        const std::size_t i = FakeControls::index(group);
        const std::int64_t mask =
            g.counts == zelvar::Counts::Checked ? checkedMask[i] : allBits[i] & ~checkedMask[i];
        const std::size_t variable = group == Group::Admin ? static_cast<std::size_t>(rank) : 0;
        return std::string(g.variables[variable]) + std::to_string(mask);
    }
};

}  // namespace

class TestRandomTotals : public QObject {
    Q_OBJECT

private slots:
    void randomOperations();
};

void TestRandomTotals::randomOperations() {
    const unsigned seed = qEnvironmentVariableIsSet("ZELVAR_SEED")
                              ? qEnvironmentVariableIntValue("ZELVAR_SEED")
                              : 20261206U;
    constexpr int operations = 200000;
    std::mt19937 random(seed);

    FakeControls controls;
    zelvar::Totals totals(controls, controls);
    totals.setAdminTotal(zelvar::kAdminTotalAtStart);
    Oracle oracle;

    QElapsedTimer timer;
    timer.start();
    for (int step = 0; step < operations; ++step) {
        const auto group = static_cast<Group>(random() % zelvar::kGroupCount);
        const int roll = static_cast<int>(random() % 100);
        std::string expected;
        if (roll < 85) {
            const int count = static_cast<int>(zelvar::settingGroup(group).options.size());
            const int index = static_cast<int>(random() % static_cast<unsigned>(count));
            controls.flip(group, index);
            oracle.flip(group, index);
            totals.toggle(group, index);
            expected = oracle.line(group);
        } else if (roll < 95) {
            totals.recount(group);
            expected = oracle.line(group);
        } else {
            const auto rank = static_cast<Rank>(random() % 3);
            controls.rank = oracle.rank = rank;
            totals.selectRank(rank);
            expected = oracle.line(Group::Admin);
        }
        if (controls.line != expected)
            QFAIL(qPrintable(
                QStringLiteral("seed %1, step %2: line \"%3\", expected \"%4\"")
                    .arg(seed)
                    .arg(step)
                    .arg(QString::fromStdString(controls.line), QString::fromStdString(expected))));
    }
    qInfo("%d operations in %lld ms (seed %u)", operations, timer.elapsed(), seed);
}

QTEST_APPLESS_MAIN(TestRandomTotals)
#include "tst_randomtotals.moc"

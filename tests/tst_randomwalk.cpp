// A seeded random walk through the real window: clicks on panel buttons,
// boxes and rank buttons, Space on whatever has the focus, and Tab. After
// every action the line must be what an oracle written from the behaviour
// expects, and exactly one panel must show. ZELVAR_SEED replays a walk.
#include "form1.h"
#include "hitpoint.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <random>

using zelvar::Group;
using zelvar::Rank;

namespace {

constexpr int kActions = 5000;

struct Action {
    enum Kind : std::uint8_t { Click, Space, Tab } kind;
    QString control;  // for Click
};

QString describe(const QList<Action> &actions) {
    QStringList words;
    for (const Action &a : actions)
        words << (a.kind == Action::Click ? a.control : a.kind == Action::Space ? "Space" : "Tab");
    return words.join(' ');
}

std::size_t slot(auto value) { return static_cast<std::size_t>(value); }

// Knows the boxes only as bits, the rank only as a name, and the line only
// as what the last action must have written.
struct Oracle {
    std::array<quint32, zelvar::kGroupCount> checked{};
    Rank rank = Rank::Council;
    Group visible = Group::Admin;
    QString line = "zv_councilAllowedCMD 536870910";

    Oracle() {
        for (const zelvar::SettingGroup &g : zelvar::kCatalogue)
            for (std::size_t i = 0; i < g.options.size(); ++i)
                if (g.defaultChecked)
                    checked[slot(g.group)] |= bit(g.group, int(i));
    }

    static quint32 bit(Group group, int index) {
        const std::string_view text = zelvar::settingGroup(group).options[slot(index)].valueText;
        return QString::fromLatin1(text.data(), qsizetype(text.size())).trimmed().toUInt();
    }

    QString lineOf(Group group) const {
        const zelvar::SettingGroup &g = zelvar::settingGroup(group);
        quint32 all = 0;
        for (std::size_t i = 0; i < g.options.size(); ++i)
            all |= bit(group, int(i));
        const quint32 mask = checked[slot(group)];
        const quint32 counted = g.counts == zelvar::Counts::Checked ? mask : all & ~mask;
        const std::string_view variable = g.variables[group == Group::Admin ? slot(rank) : 0];
        return QString::fromLatin1(variable.data(), qsizetype(variable.size())) +
               QString::number(counted);
    }

    // What a click (or Space) on the named control must do.
    void press(const QString &name) {
        if (name.startsWith("Command")) {
            visible = Group(name.mid(7).toInt() - 1);
            line = lineOf(visible);
        } else if (name.startsWith("opt")) {
            rank = name == "optJK"           ? Rank::Knight
                   : name == "optInstructor" ? Rank::Instructor
                                             : Rank::Council;
            line = lineOf(Group::Admin);
        } else if (name.startsWith("chk")) {
            const qsizetype open = name.indexOf('(');
            const Group group = *zelvar::groupByArray(name.left(open).toStdString());
            checked[slot(group)] ^= bit(group, name.mid(open + 1).chopped(1).toInt());
            line = lineOf(group);
        }
    }
};

class Walk {
public:
    Walk() {
        form.show();
        form.activateWindow();
        if (!QTest::qWaitForWindowActive(&form))
            qFatal("the window never became active");
        for (QGroupBox *panel : form.findChildren<QGroupBox *>())
            panels << panel;
    }

    void apply(const Action &action) {
        QWidget *focus = QApplication::focusWidget();
        switch (action.kind) {
        case Action::Click: {
            auto *button = form.findChild<QAbstractButton *>(action.control);
            QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {},
                              button->mapTo(&form, hitPoint(button)));
            oracle.press(action.control);
            break;
        }
        case Action::Space:
            QTest::keyClick(focus != nullptr ? focus : &form, Qt::Key_Space);
            if (focus != nullptr && qobject_cast<QAbstractButton *>(focus) != nullptr)
                oracle.press(focus->objectName());
            break;
        case Action::Tab:
            QTest::keyClick(focus != nullptr ? focus : &form, Qt::Key_Tab);
            break;
        }
    }

    // Empty when the window agrees with the oracle.
    QString disagreement() const {
        QStringList shown;
        for (QGroupBox *panel : panels)
            if (panel->isVisible())
                shown << panel->objectName();
        const QString expectedPanel(zelvar::settingGroup(oracle.visible).panel.data());
        if (shown != QStringList{expectedPanel})
            return QString("panels shown: %1, expected %2").arg(shown.join(','), expectedPanel);
        const QString line = form.findChild<QLineEdit *>("txtBitRate")->text();
        if (line != oracle.line)
            return QString("line \"%1\", expected \"%2\"").arg(line, oracle.line);
        return {};
    }

    // A random action among those a person could take now.
    Action next(std::mt19937 &random) const {
        const int roll = int(random() % 100);
        if (roll < 15)
            return {Action::Click, QString("Command%1").arg(random() % 7 + 1)};
        if (roll < 25 && oracle.visible == Group::Admin) {
            static const char *const ranks[] = {"optam", "optJK", "optInstructor"};
            return {Action::Click, ranks[random() % 3]};
        }
        if (roll < 80) {
            const zelvar::SettingGroup &g = zelvar::settingGroup(oracle.visible);
            return {Action::Click,
                    QString("%1(%2)")
                        .arg(QLatin1String(g.array.data(), qsizetype(g.array.size())))
                        .arg(random() % g.options.size())};
        }
        return {roll < 90 ? Action::Space : Action::Tab, {}};
    }

private:
    Form1 form;
    QList<QGroupBox *> panels;
    Oracle oracle;
};

}  // namespace

class TestRandomWalk : public QObject {
    Q_OBJECT

private slots:
    void walk();
};

void TestRandomWalk::walk() {
    const unsigned seed = qEnvironmentVariableIsSet("ZELVAR_SEED")
                              ? qEnvironmentVariableIntValue("ZELVAR_SEED")
                              : std::random_device{}();
    std::mt19937 random(seed);
    QList<Action> actions;
    QElapsedTimer timer;
    timer.start();
    {
        Walk walk;
        for (int step = 0; step < kActions; ++step) {
            actions << walk.next(random);
            walk.apply(actions.back());
            if (walk.disagreement().isEmpty())
                continue;
            // The walk checks after every action, so this prefix is the
            // shortest that fails; replay it on a fresh window to be sure.
            Walk replay;
            QString why;
            for (const Action &a : actions) {
                replay.apply(a);
                why = replay.disagreement();
            }
            QFAIL(qPrintable(QString("seed %1, after %2 actions%3: %4\nactions: %5")
                                 .arg(seed)
                                 .arg(actions.size())
                                 .arg(why.isEmpty() ? " (not reproduced on replay)" : "")
                                 .arg(walk.disagreement(), describe(actions))));
        }
    }
    qInfo("%d actions in %lld ms (seed %u)", kActions, timer.elapsed(), seed);
}

QTEST_MAIN(TestRandomWalk)
#include "tst_randomwalk.moc"

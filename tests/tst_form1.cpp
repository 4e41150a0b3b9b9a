// The window driven as a person drives it: mouse clicks through the window's
// own hit-testing and keys on whatever has the focus.
#include "form1.h"
#include "hitpoint.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>

namespace {

const QStringList kPanels = {"Frame1(0)", "Frame1(1)", "Frame1(2)", "Frame2(0)",
                             "Frame2(1)", "Frame2(2)", "Frame3"};

}  // namespace

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startState();
    void window();
    void pictureCoversTheWindow();
    void panelButtons_data();
    void panelButtons();
    void clicks_data();
    void clicks();
    void stateSetFromCodeRaisesNothing();
    void keyboard_data();
    void keyboard();
    void tabOrder_data();
    void tabOrder();
    void panelsShareOneRectangle();
    void panelCaptionsCannotBeRead();
    void controlsLieInsideTheirContainers();
    void captionsAreNotClipped();
    void lineCopiesCleanly();
    void lineCannotBeEdited();

private:
    template <class T = QWidget> T *control(const QString &name) const {
        T *widget = form->findChild<T *>(name);
        if (widget == nullptr)
            qFatal("no control %s", qPrintable(name));
        return widget;
    }
    QString line() const { return control<QLineEdit>("txtBitRate")->text(); }
    void click(const QString &name);
    QStringList visiblePanels() const;

    std::unique_ptr<Form1> form;
};

void TestForm1::init() {
    form = std::make_unique<Form1>();
    form->show();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
}

void TestForm1::cleanup() { form.reset(); }

void TestForm1::click(const QString &name) {
    auto *button = control<QAbstractButton>(name);
    QVERIFY2(button->isVisible(), qPrintable(name + " is not visible"));
    const QPoint at = button->mapTo(form.get(), hitPoint(button));
    QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {}, at);
}

QStringList TestForm1::visiblePanels() const {
    QStringList shown;
    for (const QString &name : kPanels)
        if (control(name)->isVisible())
            shown << name;
    return shown;
}

void TestForm1::startState() {
    QCOMPARE(visiblePanels(), QStringList{"Frame1(1)"});
    QCOMPARE(line(), "zv_councilAllowedCMD 536870910");
    for (const zelvar::SettingGroup &g : zelvar::kCatalogue)
        for (std::size_t i = 0; i < g.options.size(); ++i) {
            const QString name = QString("%1(%2)").arg(QLatin1String(g.array)).arg(i);
            QCOMPARE(control<QCheckBox>(name)->isChecked(), g.defaultChecked);
        }
    QVERIFY(control<QRadioButton>("optam")->isChecked());
    QVERIFY(!control<QRadioButton>("optJK")->isChecked());
    QVERIFY(!control<QRadioButton>("optInstructor")->isChecked());
    const QPalette box = control("txtBitRate")->palette();
    QCOMPARE(box.color(QPalette::Base), QColor(0x20, 0x00, 0x00));
    QCOMPARE(box.color(QPalette::Text), QColor(0x00, 0xFF, 0x00));
}

void TestForm1::window() {
    QCOMPARE(form->windowTitle(), "Zelvar 1.9 Bitrate Calculator V1.3");
    QCOMPARE(form->size(), QSize(565, 391));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    const Qt::WindowFlags flags = form->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!form->windowIcon().isNull());

    // The picture lies beneath everything and covers the whole window.
    QWidget *picture = control("PicBack");
    QCOMPARE(form->children().constFirst(), picture);
    QCOMPARE(picture->geometry(), QRect(QPoint(0, 0), form->frameGeometry().size()));
}

// Drawn at the screen's scale, the window keeps its proportions and the
// picture shows in every corner, never the window's own colour.
void TestForm1::pictureCoversTheWindow() {
    const QImage shot = form->grab().toImage();
    const qreal ratio = form->devicePixelRatioF();
    QVERIFY(qAbs(shot.width() - 565 * ratio) <= 1);
    QVERIFY(qAbs(shot.height() - 391 * ratio) <= 1);
    const int right = shot.width() - 2;
    const int bottom = shot.height() - 2;
    for (const QPoint corner :
         {QPoint(1, 1), QPoint(right, 1), QPoint(1, bottom), QPoint(right, bottom)})
        QVERIFY2(shot.pixelColor(corner) != QColor(0x00, 0x00, 0x40),
                 qPrintable(QString("window colour at %1,%2").arg(corner.x()).arg(corner.y())));
}

void TestForm1::panelButtons_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("line");
    QTest::newRow("Weapon Disable") << "Command1"
                                    << "Frame1(0)"
                                    << "g_weaponDisable 0";
    QTest::newRow("Force Power Disable") << "Command2"
                                         << "Frame1(2)"
                                         << "g_forcePowerDisable 0";
    QTest::newRow("Admin Command Disable") << "Command3"
                                           << "Frame1(1)"
                                           << "zv_councilAllowedCMD 536870910";
    QTest::newRow("Poll Disable") << "Command4"
                                  << "Frame2(0)"
                                  << "zv_votesDisable 0";
    QTest::newRow("Team Lock") << "Command5"
                               << "Frame3"
                               << "zv_teamLock 0";
    QTest::newRow("Emote Disable") << "Command6"
                                   << "Frame2(1)"
                                   << "zv_emotDisallow 0";
    QTest::newRow("Word Filter") << "Command7"
                                 << "Frame2(2)"
                                 << "zv_wordFilter 0";
}

// Each button, pressed after every other one, leaves its own panel alone on show.
void TestForm1::panelButtons() {
    QFETCH(QString, button);
    QFETCH(QString, panel);
    QFETCH(QString, line);
    for (int before = 1; before <= 7; ++before) {
        click(QString("Command%1").arg(before));
        click(button);
        QCOMPARE(visiblePanels(), QStringList{panel});
        QCOMPARE(this->line(), line);
    }
}

void TestForm1::clicks_data() {
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QString>("line");
    QTest::newRow("open weapons, uncheck WP_SABER")
        << QStringList{"Command1", "chkWeapon(5)"} << "g_weaponDisable 8";
    QTest::newRow("WP_SABER and WP_BLASTER, then WP_SABER back")
        << QStringList{"Command1", "chkWeapon(5)", "chkWeapon(3)", "chkWeapon(5)"}
        << "g_weaponDisable 32";
    QTest::newRow("a hidden panel keeps its boxes")
        << QStringList{"Command1", "chkWeapon(5)", "Command5", "Command1"} << "g_weaponDisable 8";
    QTest::newRow("Red and FFA locked")
        << QStringList{"Command5", "chkLock(2)", "chkLock(3)"} << "zv_teamLock 20";
    QTest::newRow("Knight straight after start")
        << QStringList{"optJK"} << "zv_knightAllowedCMD 536870910";
    QTest::newRow("amVstr unchecked, then Knight")
        << QStringList{"chkAdmin(27)", "optJK"} << "zv_knightAllowedCMD 268435454";
    QTest::newRow("Instructor stays with later admin toggles")
        << QStringList{"optInstructor", "chkAdmin(15)", "chkAdmin(8)"}
        << "zv_instructorAllowedCMD 536862716";
    QTest::newRow("Knight, away and back: the recount uses the rank")
        << QStringList{"optJK", "chkAdmin(0)", "Command7", "Command3"}
        << "zv_knightAllowedCMD 536739838";
    QTest::newRow("Heal and Grip under their headings")
        << QStringList{"Command2", "chkForce(8)", "chkForce(13)"} << "g_forcePowerDisable 65";
    QTest::newRow("Restart Map over Next Map")
        << QStringList{"Command4", "chkPoll(0)", "chkPoll(3)"} << "zv_votesDisable 6";
    QTest::newRow("amNoisy at the foot of the first column")
        << QStringList{"Command6", "chkEmote(27)"} << "zv_emotDisallow 268435456";
    QTest::newRow("Player Name filtered")
        << QStringList{"Command7", "chkSay(5)"} << "zv_wordFilter 64";
    QTest::newRow("the open panel's button writes its line again")
        << QStringList{"Command5", "chkLock(0)", "Command5"} << "zv_teamLock 2";
}

void TestForm1::clicks() {
    QFETCH(QStringList, clicks);
    QFETCH(QString, line);
    for (const QString &name : clicks)
        click(name);
    QCOMPARE(this->line(), line);
}

void TestForm1::stateSetFromCodeRaisesNothing() {
    control<QCheckBox>("chkAdmin(0)")->setChecked(false);
    control<QCheckBox>("chkAdmin(1)")->click();  // a programmatic click is still a click
    QCOMPARE(line(), "zv_councilAllowedCMD 536346622");
    control<QRadioButton>("optJK")->setChecked(true);
    QCOMPARE(line(), "zv_councilAllowedCMD 536346622");
}

void TestForm1::keyboard_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("line");
    QTest::newRow("Space unchecks amVstr")
        << "chkAdmin(27)" << QList<int>{Qt::Key_Space} << "zv_councilAllowedCMD 268435454";
    QTest::newRow("Space twice restores amVstr")
        << "chkAdmin(27)" << QList<int>{Qt::Key_Space, Qt::Key_Space}
        << "zv_councilAllowedCMD 536870910";
    QTest::newRow("Right from Council selects Knight")
        << "optam" << QList<int>{Qt::Key_Right} << "zv_knightAllowedCMD 536870910";
    QTest::newRow("Right twice selects Instructor")
        << "optam" << QList<int>{Qt::Key_Right, Qt::Key_Right}
        << "zv_instructorAllowedCMD 536870910";
}

void TestForm1::keyboard() {
    QFETCH(QString, focus);
    QFETCH(QList<int>, keys);
    QFETCH(QString, line);
    control(focus)->setFocus(Qt::TabFocusReason);
    for (int key : keys)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    QCOMPARE(this->line(), line);
}

void TestForm1::tabOrder_data() {
    QTest::addColumn<QString>("panelButton");
    QTest::addColumn<QStringList>("order");
    auto range = [](const QString &array, int from, int to) {
        QStringList names;
        for (int i = from; i <= to; ++i)
            names << QString("%1(%2)").arg(array).arg(i);
        return names;
    };
    const QStringList buttons = {"Command1", "Command2", "Command3", "txtBitRate", "Command4"};
    QTest::newRow("admin panel") << "Command3"
                                 << range("chkAdmin", 0, 27) + QStringList{"optam"} + buttons +
                                        QStringList{"Command5", "Command6", "Command7"};
    QTest::newRow("weapon panel") << "Command1"
                                  << QStringList{"chkWeapon(0)"} + range("chkWeapon", 1, 18) +
                                         buttons + QStringList{"Command5", "Command6", "Command7"};
    QTest::newRow("vote panel, where Silence comes last")
        << "Command4"
        << buttons + range("chkPoll", 0, 9) + QStringList{"Command5", "Command6", "Command7"} +
               QStringList{"chkPoll(10)"};
    QTest::newRow("word filter panel") << "Command7"
                                       << buttons + QStringList{"Command5", "Command6"} +
                                              range("chkSay", 0, 5) + QStringList{"Command7"};
}

// Tab walks the visible focusable controls by tab index, round and round.
void TestForm1::tabOrder() {
    QFETCH(QString, panelButton);
    QFETCH(QStringList, order);
    click(panelButton);
    control(order.constFirst())->setFocus(Qt::TabFocusReason);
    QStringList walked;
    for (qsizetype i = 0; i <= order.size(); ++i) {
        walked << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(walked, order + QStringList{order.constFirst()});
}

void TestForm1::panelsShareOneRectangle() {
    for (const QString &name : kPanels)
        QCOMPARE(control(name)->geometry(), QRect(144, 24, 385, 321));
}

// A panel's caption keeps the standard text colour on the black panel, as
// the design has it: nothing of it shows.
void TestForm1::panelCaptionsCannotBeRead() {
    for (const QString &name : kPanels) {
        auto *panel = control<QGroupBox>(name);
        const QImage shot = panel->grab(QRect(0, 0, panel->width(), 14)).toImage();
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                QVERIFY2(
                    qGray(shot.pixel(x, y)) < 16,
                    qPrintable(QString("%1 shows something at %2,%3").arg(name).arg(x).arg(y)));
    }
}

void TestForm1::controlsLieInsideTheirContainers() {
    for (QWidget *widget : form->findChildren<QWidget *>()) {
        if (widget->objectName().isEmpty() || widget->objectName() == "PicBack" ||
            widget->parentWidget() == nullptr)
            continue;
        QVERIFY2(widget->parentWidget()->rect().contains(widget->geometry()),
                 qPrintable(widget->objectName()));
    }
}

void TestForm1::captionsAreNotClipped() {
    int checked = 0;
    for (QWidget *widget : form->findChildren<QWidget *>()) {
        QString text;
        QRect room;
        QStyleOptionButton option;
        option.initFrom(widget);
        if (auto *box = qobject_cast<QCheckBox *>(widget)) {
            text = box->text();
            room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        } else if (auto *radio = qobject_cast<QRadioButton *>(widget)) {
            text = radio->text();
            room = radio->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, radio);
        } else if (auto *button = qobject_cast<QPushButton *>(widget)) {
            text = button->text();
            room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        } else if (auto *label = qobject_cast<QLabel *>(widget);
                   label && !label->text().isEmpty()) {
            text = label->text();
            room = label->contentsRect();
        } else {
            continue;
        }
        const QFontMetrics metrics = widget->fontMetrics();
        const QString where = widget->objectName() + ": " + text;
        QVERIFY2(metrics.horizontalAdvance(text) <= room.width(), qPrintable(where));
        QVERIFY2(metrics.height() <= room.height(), qPrintable(where));
        ++checked;
    }
    QCOMPARE(checked, 114 + 3 + 7 + 4);

    // The longest line the box can show must show whole.
    auto *box = control<QLineEdit>("txtBitRate");
    const int longest = box->fontMetrics().horizontalAdvance("zv_instructorAllowedCMD 536870910");
    QVERIFY(longest < box->contentsRect().width() - 4);
}

// What a user copies is exactly the line, in plain ASCII, ready for a config file.
void TestForm1::lineCopiesCleanly() {
    click("chkAdmin(27)");
    auto *box = control<QLineEdit>("txtBitRate");
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    const QString copied = QGuiApplication::clipboard()->text();
    QCOMPARE(copied, "zv_councilAllowedCMD 268435454");
    for (QChar c : copied)
        QVERIFY(c.unicode() >= 0x20 && c.unicode() < 0x7F);
}

void TestForm1::lineCannotBeEdited() {
    auto *box = control<QLineEdit>("txtBitRate");
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(box, "123");
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    QCOMPARE(line(), "zv_councilAllowedCMD 536870910");
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"

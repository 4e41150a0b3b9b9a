// What assistive technology reads from the window, through Qt's
// accessibility interfaces.
#include "form1.h"

#include <QAccessible>
#include <QCheckBox>
#include <QTest>

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void names_data();
    void names();
    void checkBoxesTellTheirBit_data();
    void checkBoxesTellTheirBit();
    void outputBoxIsNamedForItsLine();

private:
    QAccessibleInterface *accessible(const QString &name) const {
        auto *widget = form->findChild<QWidget *>(name);
        return widget == nullptr ? nullptr : QAccessible::queryAccessibleInterface(widget);
    }
    Form1 *form = nullptr;
};

void TestAccessibility::initTestCase() {
    form = new Form1;
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
}

void TestAccessibility::cleanupTestCase() { delete form; }

void TestAccessibility::names_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QAccessible::Role>("role");
    QTest::addColumn<QString>("name");
    QTest::newRow("weapon box") << "chkWeapon(5)" << QAccessible::CheckBox << "WP_SABER";
    QTest::newRow("lower-case npc") << "chkAdmin(2)" << QAccessible::CheckBox << "npc";
    QTest::newRow("rank button") << "optJK" << QAccessible::RadioButton << "Knight";
    QTest::newRow("panel button") << "Command3" << QAccessible::Button << "Admin Command Disable";
    QTest::newRow("force heading") << "Label1(1)" << QAccessible::StaticText << "Light Side";
    QTest::newRow("word filter caption")
        << "Label2" << QAccessible::StaticText << "Set word filter to:";
    QTest::newRow("panel") << "Frame3" << QAccessible::Grouping << "Team Lock";
}

void TestAccessibility::names() {
    QFETCH(QString, control);
    QFETCH(QAccessible::Role, role);
    QFETCH(QString, name);
    QAccessibleInterface *iface = accessible(control);
    QVERIFY(iface != nullptr);
    QCOMPARE(iface->role(), role);
    QCOMPARE(iface->text(QAccessible::Name), name);
}

void TestAccessibility::checkBoxesTellTheirBit_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("description");
    QTest::newRow("WP_SABER") << "chkWeapon(5)"
                              << "bit 3, value 8";
    QTest::newRow("Heal, the lowest bit") << "chkForce(8)"
                                          << "bit 0, value 1";
    QTest::newRow("amPunish, whose tag starts with a blank") << "chkAdmin(8)"
                                                             << "bit 13, value 8192";
    QTest::newRow("amNoisy, the highest bit") << "chkEmote(27)"
                                              << "bit 28, value 268435456";
    QTest::newRow("Silence, the last vote") << "chkPoll(10)"
                                            << "bit 11, value 2048";
}

void TestAccessibility::checkBoxesTellTheirBit() {
    QFETCH(QString, control);
    QFETCH(QString, description);
    QAccessibleInterface *iface = accessible(control);
    QVERIFY(iface != nullptr);
    QCOMPARE(iface->text(QAccessible::Description), description);
    QCOMPARE(form->findChild<QWidget *>(control)->toolTip(), description);
}

void TestAccessibility::outputBoxIsNamedForItsLine() {
    QAccessibleInterface *iface = accessible("txtBitRate");
    QVERIFY(iface != nullptr);
    QCOMPARE(iface->role(), QAccessible::EditableText);
    QCOMPARE(iface->text(QAccessible::Name), "Server setting line");
    QCOMPARE(iface->text(QAccessible::Value), "zv_councilAllowedCMD 536870910");
    QVERIFY(iface->state().readOnly);
}

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"

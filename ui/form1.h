// The calculator's one window.
//
// How a click flows: the window is built by walking the layout table and the
// option catalogue. Each check-box array is a QButtonGroup whose id is the
// box's index; its idClicked signal, which only a user's click or key raises,
// runs the array's click procedure (chkWeapon_Click(index) ...), which asks
// the totals to toggle that option. The totals read the boxes and the rank
// buttons back through this window (it is their Source) and write the line
// into txtBitRate (it is their Sink). Panel buttons run ShowPanel and then
// recount their group; rank buttons select the admin line's variable.
// Setting a state from code raises nothing. A run-time error from the totals
// ends the program with the runtime's standard report.
//
// Opening what an administrator already has (arguments, the paste key, a
// drop) sets the boxes and the rank from code, as start-up sets its state,
// then recounts each group it names through the totals; the last group's
// panel shows and its line stands in txtBitRate. What could not be opened is
// said in a message over the window. The copy key copies the whole line.
#pragma once

#include "layout.h"
#include "open.h"
#include "totals.h"

#include <QWidget>

#include <array>

class QAbstractButton;
class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class Picture;

class Form1 final : public QWidget, private zelvar::Source, private zelvar::Sink {
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);

    // FILE | LINE | VARIABLE VALUE, as the program's arguments give them.
    void openArguments(const QStringList &arguments);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Event procedures.
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void chkWeapon_Click(int index);
    void chkForce_Click(int index);
    void chkAdmin_Click(int index);
    void chkPoll_Click(int index);
    void chkLock_Click(int index);
    void chkEmote_Click(int index);
    void chkSay_Click(int index);
    void optJK_Click();
    void optInstructor_Click();
    void optam_Click();
    void Form_Load();
    void Form_Resize();

    void ShowPanel(const bool &blnWeapon, const bool &blnAdmin, const bool &blnForce,
                   const bool &blnPoll, const bool &blnLock, const bool &blnEmote,
                   const bool &blnSay);

    // Building from the tables.
    struct Building;
    void build(std::span<const zelvar::ui::Control> controls, QWidget *container, Building &b);
    void buildBoxes(zelvar::Group group, QWidget *panel, Building &b);
    template <class Procedure> void connectClick(QAbstractButton *button, Procedure procedure);

    // The design binds procedures to controls by name; these tables do it by group and rank.
    static const std::array<void (Form1::*)(), zelvar::kGroupCount> kPanelButtonClick;
    static const std::array<void (Form1::*)(int), zelvar::kGroupCount> kCheckBoxClick;
    static const std::array<void (Form1::*)(), 3> kRankClick;

    // What the totals ask of the controls.
    bool checked(zelvar::Group group, int index) const override;
    std::string_view valueText(zelvar::Group group, int index) const override;
    int upperBound(zelvar::Group group) const override;
    bool rankSelected(zelvar::Rank rank) const override;
    void writeLine(std::string_view line) override;

    template <class Body> void run(Body body);

    // Opening and copying.
    void open(zelvar::Opener &opener);
    void showGroup(zelvar::Group group);
    void pasteKey();
    void copyKey();

    std::array<QButtonGroup *, zelvar::kGroupCount> chk_{};  // the check-box arrays, by group
    std::array<QGroupBox *, zelvar::kGroupCount> panels_{};  // Frame1(0) ..., by group
    std::array<QRadioButton *, 3> opt_{};                    // optJK, optInstructor, optam, by rank
    QLineEdit *txtBitRate = nullptr;
    Picture *PicBack = nullptr;
    bool painted_ = false;  // the first frame is on screen
    zelvar::Totals totals_{*this, *this};
};

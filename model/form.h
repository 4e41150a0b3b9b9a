// The window's event procedures, once for every front-end. A front-end
// builds its controls by walking the layout table and the catalogue, binds
// each control's event to its procedure by group and rank, and answers for
// its controls through Controls. Only a user's click or key reaches a
// procedure; setting a state through Controls raises nothing.
//
// How a click flows: a check box of an array runs the array's procedure
// (chkWeapon_Click(index) ...), which asks the totals to toggle that option;
// a panel button runs ShowPanel and then recounts its group; a rank button
// writes the admin line of its rank. The totals read the boxes and the rank
// buttons back through Controls and write the line into the text box. A
// RuntimeError that escapes a procedure is the front-end's to report.
//
// The names are the design's, kept so that code and design read alike:
//   CommandN        the seven panel buttons, N = 1 ... 7 in Group order
//   FrameN(i)       the panels that hold the check boxes
//   chkWeapon ...   a group's check-box array, indexed from 0
//   optJK, optInstructor, optam   the rank buttons: Knight, Instructor, Council
//   txtBitRate      the text box that holds the line; PicBack the picture
//   lngWeapon ...   a group's total: lng a 32-bit one, int a 16-bit one
//   blnWeapon ...   a panel's visibility as ShowPanel takes it
//   X_Click, Form_Load, Form_Resize   the event procedures, by control and event
#pragma once

#include "edit.h"
#include "open.h"
#include "totals.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelvar {

// The output box's background once start-up has set it, as #RRGGBB.
inline constexpr std::uint32_t kOutputBackgroundAtStart = 0x200000;

class Controls : public Source, public Sink {
public:
    virtual void setPanelVisible(Group group, bool visible) = 0;
    virtual void setChecked(Group group, int index, bool checked) = 0;
    virtual void setRankSelected(Rank rank) = 0;
    // In the window's pixels, from the client area's top-left corner.
    virtual void placePicture(int left, int top, int width, int height) = 0;
    virtual int outerWidth() const = 0;  // frame and title bar included
    virtual int outerHeight() const = 0;
    virtual void setOutputBackground(std::uint32_t rgb) = 0;

protected:
    ~Controls() = default;
};

class Form {
public:
    explicit Form(Controls &controls) : controls_(controls), totals_(controls, controls) {}

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

    // The design binds procedures to controls by name; these do it by group
    // and rank. Opened from a file or a server, the window knows each admin
    // rank's setting there: a rank's button then shows that rank's boxes and
    // line, the boxes left under the rank before kept for it.
    void panelButtonClick(Group group) { (this->*kPanelButtonClick.at(slot(group)))(); }
    void checkBoxClick(Group group, int index);
    // True when the file or server opened does not set the rank chosen: its
    // boxes then show as the calculator starts them, never another rank's.
    bool rankClick(Rank rank);

    // Each group opened gets its boxes (and the admin group its rank) set,
    // raising nothing, and is recounted, so that its total and line are
    // those its boxes give by hand; the last one's panel shows and its line
    // stays. Opened from files or a server, that is what the save key
    // compares with; opened from text, what it opens counts as changed.
    void open(const Opening &opening);

    // What the save key writes: into the one file, or to the one server, the
    // window was last opened from, the line of each group the user changed
    // since, and of each admin rank under which a box was clicked. None when
    // it was opened from anything else: the front-end then asks for a file
    // and writes the line there.
    struct Save {
        std::string file;    // where the values are written; or
        std::string server;  // HOST:PORT, where they are sent
        std::vector<Change> changes;
        std::vector<std::optional<std::string>> was;  // each value then, where known
        bool create = false;                          // a file named to save into, which may be new
        bool toServer() const { return !server.empty(); }
        const std::string &target() const { return toServer() ? server : file; }
    };
    std::optional<Save> saveIntoOpened() const;
    // What saveIntoOpened gave was saved: what the save key compares with
    // now, whatever boxes changed since it was given.
    void markSaved(const Save &save);
    // The file or the server the window was last opened from, if one.
    const std::optional<std::string> &openedFrom() const {
        return openedServer_ ? openedServer_ : openedFile_;
    }

private:
    void ShowPanel(const bool &blnWeapon, const bool &blnAdmin, const bool &blnForce,
                   const bool &blnPoll, const bool &blnLock, const bool &blnEmote,
                   const bool &blnSay);
    void showGroup(Group group);

    static const std::array<void (Form::*)(), kGroupCount> kPanelButtonClick;
    static const std::array<void (Form::*)(int), kGroupCount> kCheckBoxClick;
    static const std::array<void (Form::*)(), kRankCount> kRankClick;

    std::optional<Change> lineOf(Group group) const;
    std::uint32_t adminBoxes() const;
    std::uint32_t boxesOf(Rank rank) const;
    Rank selectedRank() const;
    Change rankLine(const Variable &variable, std::uint32_t boxes) const;
    void rememberOpened(const Opening *opening);

    Controls &controls_;
    Totals totals_;
    std::array<std::optional<Change>, kGroupCount> opened_{};  // each group's line then
    std::optional<std::string> openedFile_;
    std::optional<std::string> openedServer_;
    // Opened from a file or a server: each admin rank's line then, its boxes
    // as the user last left them, and whether a box was clicked under it.
    bool knowsRanks_ = false;
    Rank shownRank_ = Rank::Council;
    std::array<std::optional<Change>, kRankCount> openedRanks_{};
    std::array<std::optional<std::uint32_t>, kRankCount> rankBoxes_{};
    std::array<bool, kRankCount> touched_{};
};

}  // namespace zelvar

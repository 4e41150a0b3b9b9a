#include "form.h"

#include <algorithm>
#include <utility>

namespace zelvar {

const std::array<void (Form::*)(), kGroupCount> Form::kPanelButtonClick{
    &Form::Command1_Click, &Form::Command2_Click, &Form::Command3_Click, &Form::Command4_Click,
    &Form::Command5_Click, &Form::Command6_Click, &Form::Command7_Click};

const std::array<void (Form::*)(int), kGroupCount> Form::kCheckBoxClick{
    &Form::chkWeapon_Click, &Form::chkForce_Click, &Form::chkAdmin_Click, &Form::chkPoll_Click,
    &Form::chkLock_Click,   &Form::chkEmote_Click, &Form::chkSay_Click};

const std::array<void (Form::*)(), kRankCount> Form::kRankClick{
    &Form::optJK_Click, &Form::optInstructor_Click, &Form::optam_Click};

void Form::Command1_Click() {
    ShowPanel(true, false, false, false, false, false, false);
    totals_.recount(Group::Weapon);
}

void Form::Command2_Click() {
    ShowPanel(false, false, true, false, false, false, false);
    totals_.recount(Group::Force);
}

void Form::Command3_Click() {
    ShowPanel(false, true, false, false, false, false, false);
    totals_.recount(Group::Admin);
}

void Form::Command4_Click() {
    ShowPanel(false, false, false, true, false, false, false);
    totals_.recount(Group::Poll);
}

void Form::Command5_Click() {
    ShowPanel(false, false, false, false, true, false, false);
    totals_.recount(Group::Lock);
}

void Form::Command6_Click() {
    ShowPanel(false, false, false, false, false, true, false);
    totals_.recount(Group::Emote);
}

void Form::Command7_Click() {
    ShowPanel(false, false, false, false, false, false, true);
    totals_.recount(Group::Say);
}

void Form::chkWeapon_Click(int index) { totals_.toggle(Group::Weapon, index); }
void Form::chkForce_Click(int index) { totals_.toggle(Group::Force, index); }
void Form::chkAdmin_Click(int index) { totals_.toggle(Group::Admin, index); }
void Form::chkPoll_Click(int index) { totals_.toggle(Group::Poll, index); }
void Form::chkLock_Click(int index) { totals_.toggle(Group::Lock, index); }
void Form::chkEmote_Click(int index) { totals_.toggle(Group::Emote, index); }
void Form::chkSay_Click(int index) { totals_.toggle(Group::Say, index); }

void Form::optJK_Click() { totals_.selectRank(Rank::Knight); }
void Form::optInstructor_Click() { totals_.selectRank(Rank::Instructor); }
void Form::optam_Click() { totals_.selectRank(Rank::Council); }

// The first input that is set wins; with none set nothing changes. Every
// panel is set each time, so one panel shows once the click is handled.
void Form::ShowPanel(const bool &blnWeapon, const bool &blnAdmin, const bool &blnForce,
                     const bool &blnPoll, const bool &blnLock, const bool &blnEmote,
                     const bool &blnSay) {
    const std::array<std::pair<bool, Group>, kGroupCount> inputs{{
        {blnWeapon, Group::Weapon},
        {blnAdmin, Group::Admin},
        {blnForce, Group::Force},
        {blnPoll, Group::Poll},
        {blnLock, Group::Lock},
        {blnEmote, Group::Emote},
        {blnSay, Group::Say},
    }};
    const auto chosen =
        std::find_if(inputs.begin(), inputs.end(), [](const auto &input) { return input.first; });
    if (chosen == inputs.end())
        return;
    for (const auto &[input, group] : inputs)
        controls_.setPanelVisible(group, group == chosen->second);
}

void Form::showGroup(Group group) {
    ShowPanel(group == Group::Weapon, group == Group::Admin, group == Group::Force,
              group == Group::Poll, group == Group::Lock, group == Group::Emote,
              group == Group::Say);
}

// The start line is always the council line: the rank buttons are not asked.
void Form::Form_Load() {
    Form_Resize();
    totals_.setAdminTotal(kAdminTotalAtStart);
    totals_.selectRank(Rank::Council);
    controls_.setOutputBackground(kOutputBackgroundAtStart);
    rememberOpened(nullptr);
}

// The picture takes the window's outer size, frame and title bar included;
// what reaches past the client area is simply not seen.
void Form::Form_Resize() {
    controls_.placePicture(0, 0, controls_.outerWidth(), controls_.outerHeight());
}

void Form::checkBoxClick(Group group, int index) {
    if (group == Group::Admin)
        touched_.at(slot(shownRank_)) = true;
    (this->*kCheckBoxClick.at(slot(group)))(index);
}

bool Form::rankClick(Rank rank) {
    if (!knowsRanks_) {
        (this->*kRankClick.at(slot(rank)))();
        return false;
    }
    rankBoxes_.at(slot(shownRank_)) = adminBoxes();
    const bool unset = shownRank_ != rank && !rankBoxes_.at(slot(rank));
    shownRank_ = rank;
    const std::uint32_t atStart = settingGroup(Group::Admin).defaultChecked ? ~0U : 0U;
    const std::uint32_t boxes = rankBoxes_.at(slot(rank)).value_or(atStart);
    for (int index = 0; index <= controls_.upperBound(Group::Admin); ++index)
        controls_.setChecked(Group::Admin, index, (boxes >> index & 1U) != 0);
    totals_.recount(Group::Admin);
    return unset;
}

void Form::open(const Opening &opening) {
    if (knowsRanks_)
        rankBoxes_.at(slot(shownRank_)) = adminBoxes();
    for (const OpenedGroup &opened : opening.groups) {
        const int count = static_cast<int>(settingGroup(opened.group).options.size());
        for (int index = 0; index < count; ++index)
            controls_.setChecked(opened.group, index, (opened.checked >> index & 1U) != 0);
        if (opened.group == Group::Admin)
            controls_.setRankSelected(opened.rank);
        if (&opened == &opening.groups.back())
            showGroup(opened.group);
        totals_.recount(opened.group);
    }
    if (opening.retargets) {
        openedFile_ = opening.file;
        openedServer_ = opening.server;
        rememberOpened(&opening);
        return;
    }
    // Text opened over a file or a server: its ranks are the user's changes.
    for (std::size_t r = 0; r < kRankCount; ++r)
        if (opening.ranks.at(r)) {
            rankBoxes_.at(r) = opening.ranks.at(r);
            touched_.at(r) = true;
        }
    shownRank_ = selectedRank();
}

// A group's line as its total and, for the admin group, the selected rank
// make it.
std::optional<Change> Form::lineOf(Group group) const {
    const std::int32_t total = totals_.total(group);
    for (const Variable &v : variables())
        if (v.group == group && (group != Group::Admin || controls_.rankSelected(v.rank)))
            return Change{v, std::to_string(total)};
    return std::nullopt;
}

std::uint32_t Form::adminBoxes() const {
    std::uint32_t boxes = 0;
    for (int index = 0; index <= controls_.upperBound(Group::Admin); ++index)
        boxes |= controls_.checked(Group::Admin, index) ? 1U << index : 0U;
    return boxes;
}

void Form::rememberOpened(const Opening *opening) {
    for (const SettingGroup &g : kCatalogue)
        opened_.at(slot(g.group)) = lineOf(g.group);
    knowsRanks_ = openedFile_ || openedServer_;
    touched_ = {};
    rankBoxes_ = {};
    openedRanks_ = {};
    shownRank_ = selectedRank();
    if (opening == nullptr)
        return;
    rankBoxes_ = opening->ranks;
    for (const Variable &v : variables())
        if (v.group == Group::Admin && rankBoxes_.at(slot(v.rank)))
            openedRanks_.at(slot(v.rank)) = rankLine(v, *rankBoxes_.at(slot(v.rank)));
    rankBoxes_.at(slot(shownRank_)) = adminBoxes();
}

// The rank whose button is selected.
Rank Form::selectedRank() const {
    for (std::size_t r = 0; r < kRankCount; ++r)
        if (controls_.rankSelected(static_cast<Rank>(r)))
            return static_cast<Rank>(r);
    return Rank::Council;
}

// The rank's boxes: those on show, or as they were last left.
std::uint32_t Form::boxesOf(Rank rank) const {
    return rank == shownRank_ ? adminBoxes() : rankBoxes_.at(slot(rank)).value_or(0);
}

Change Form::rankLine(const Variable &variable, std::uint32_t boxes) const {
    std::vector<int> checked;
    for (int index = 0; index <= controls_.upperBound(Group::Admin); ++index)
        if ((boxes >> index & 1U) != 0)
            checked.push_back(index);
    const std::string line = encode(variable, checked);
    return {variable, line.substr(line.find(' ') + 1)};
}

void Form::markSaved(const Save &save) {
    for (const Change &c : save.changes)
        if (knowsRanks_ && c.variable.group == Group::Admin)
            openedRanks_.at(slot(c.variable.rank)) = c;
        else
            opened_.at(slot(c.variable.group)) = c;
}

std::optional<Form::Save> Form::saveIntoOpened() const {
    if (!openedFile_ && !openedServer_)
        return std::nullopt;
    Save save;
    (openedServer_ ? save.server : save.file) = openedServer_ ? *openedServer_ : *openedFile_;
    const auto add = [&save](const Change &now, const std::optional<Change> &then) {
        if (then && then->variable.name == now.variable.name && then->value == now.value)
            return;
        save.changes.push_back(now);
        save.was.push_back(then && then->variable.name == now.variable.name
                               ? std::optional(then->value)
                               : std::nullopt);
    };
    for (const SettingGroup &g : kCatalogue)
        if (g.group != Group::Admin || !knowsRanks_)
            if (const std::optional<Change> now = lineOf(g.group))
                add(*now, opened_.at(slot(g.group)));
    if (!knowsRanks_)
        return save;
    for (const Variable &v : variables()) {
        const std::size_t r = slot(v.rank);
        if (v.group != Group::Admin || !touched_.at(r))
            continue;
        add(rankLine(v, boxesOf(v.rank)), openedRanks_.at(r));
    }
    return save;
}

}  // namespace zelvar

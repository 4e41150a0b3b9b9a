// Where every control of the window stands, in twips, and what it looks like
// before the first event. The check boxes' own places are in the option
// catalogue; a CheckBoxes row here stands for the whole array.
#pragma once

#include "catalogue.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zelvar::ui {

// The one place where twips become Qt's device-independent pixels.
inline constexpr int kTwipsPerPixel = 15;
constexpr int pixels(int twips) { return twips / kTwipsPerPixel; }

enum class Kind : std::uint8_t {
    PanelButton,
    TextBox,
    Panel,
    Picture,
    OptionButton,
    Label,
    CheckBoxes
};

// PanelButton: the window's default face; Green: the green-on-black style;
// GreenLarge: the same at 9.75 pt.
enum class Look : std::uint8_t { Standard, Green, GreenLarge };

struct Control {
    Kind kind;
    std::string_view name;
    std::string_view caption;
    TwipRect rect;
    int tabIndex;  // -1: the control has none
    Look look = Look::Green;
    // Panel, PanelButton, CheckBoxes: the group it shows, opens or holds.
    Group group = Group::Admin;
    Rank rank = Rank::Council;  // OptionButton: the rank it selects
    bool designState = false;   // Panel: visible at start; OptionButton: selected at start
    bool centred = false;       // Label: text alignment
    std::span<const Control> contents{};  // Panel: its own controls, front to back
};

// All seven panels stand on this one rectangle of the window.
inline constexpr TwipRect kPanelRect{2160, 360, 5775, 4815};

namespace detail {

inline constexpr TwipRect kOff{};  // a CheckBoxes row: each box has its own rectangle

constexpr Control boxes(Group group) {
    return {.kind = Kind::CheckBoxes,
            .name = settingGroup(group).array,
            .caption = {},
            .rect = kOff,
            .tabIndex = -1,
            .group = group};
}

constexpr Control rankButton(std::string_view name, int left, int width, int tabIndex, Rank rank,
                             bool selected) {
    return {.kind = Kind::OptionButton,
            .name = name,
            .caption = kRankCaptions[static_cast<std::size_t>(rank)],
            .rect = {left, 4200, width, 375},
            .tabIndex = tabIndex,
            .rank = rank,
            .designState = selected};
}

constexpr Control heading(std::string_view name, std::string_view caption, int left, int tabIndex) {
    return {.kind = Kind::Label,
            .name = name,
            .caption = caption,
            .rect = {left, 480, 1095, 375},
            .tabIndex = tabIndex,
            .centred = true};
}

inline constexpr Control kAdminPanel[] = {
    rankButton("optInstructor", 3720, 1335, 135, Rank::Instructor, false),
    rankButton("optJK", 2400, 975, 72, Rank::Knight, false),
    rankButton("optam", 720, 1095, 71, Rank::Council, true),
    boxes(Group::Admin),
};
inline constexpr Control kWeaponPanel[] = {boxes(Group::Weapon)};
inline constexpr Control kLockPanel[] = {boxes(Group::Lock)};
inline constexpr Control kSayPanel[] = {
    boxes(Group::Say),
    {.kind = Kind::Label,
     .name = "Label2",
     .caption = "Set word filter to:",
     .rect = {240, 360, 1935, 495},
     .tabIndex = 126,
     .look = Look::GreenLarge},
};
inline constexpr Control kEmotePanel[] = {boxes(Group::Emote)};
inline constexpr Control kPollPanel[] = {boxes(Group::Poll)};
inline constexpr Control kForcePanel[] = {
    boxes(Group::Force),
    heading("Label1(2)", "Dark Side", 3960, 5),
    heading("Label1(1)", "Light Side", 2160, 4),
    heading("Label1(0)", "Neutral", 360, 3),
};

// A panel button and its panel carry the caption of the group they stand for.
constexpr Control panelButton(std::string_view name, int top, int tabIndex, Group opens) {
    return {.kind = Kind::PanelButton,
            .name = name,
            .caption = settingGroup(opens).caption,
            .rect = {120, top, 1935, 375},
            .tabIndex = tabIndex,
            .look = Look::Standard,
            .group = opens};
}

// The catalogue says which group a panel holds.
constexpr Control panel(std::string_view name, int tabIndex, std::span<const Control> contents,
                        bool visible = false) {
    const Group holds = groupByPanel(name).value();
    return {.kind = Kind::Panel,
            .name = name,
            .caption = settingGroup(holds).caption,
            .rect = kPanelRect,
            .tabIndex = tabIndex,
            .look = Look::Standard,
            .group = holds,
            .designState = visible,
            .contents = contents};
}

}  // namespace detail

// The window's own controls, front to back; the picture lies beneath them all.
inline constexpr Control kForm1[] = {
    detail::panelButton("Command7", 4560, 133, Group::Say),
    detail::panelButton("Command6", 3960, 95, Group::Emote),
    detail::panelButton("Command5", 3360, 89, Group::Lock),
    detail::panelButton("Command4", 2760, 77, Group::Poll),
    {.kind = Kind::TextBox,
     .name = "txtBitRate",
     .caption = "\\",
     .rect = {3480, 5280, 3255, 375},
     .tabIndex = 76},
    detail::panelButton("Command3", 960, 75, Group::Admin),
    detail::panelButton("Command2", 1560, 74, Group::Force),
    detail::panelButton("Command1", 2160, 73, Group::Weapon),
    detail::panel("Frame1(1)", 1, detail::kAdminPanel, true),
    detail::panel("Frame1(0)", 0, detail::kWeaponPanel),
    detail::panel("Frame3", 90, detail::kLockPanel),
    detail::panel("Frame2(2)", 125, detail::kSayPanel),
    detail::panel("Frame2(1)", 96, detail::kEmotePanel),
    detail::panel("Frame2(0)", 78, detail::kPollPanel),
    detail::panel("Frame1(2)", 2, detail::kForcePanel),
    {.kind = Kind::Picture,
     .name = "PicBack",
     .caption = {},
     .rect = {360, 1200, 10335, 8655},
     .tabIndex = -1},
};

inline constexpr TwipRect kForm1ClientArea{0, 0, 8475, 5865};
inline constexpr std::string_view kForm1Caption = "Zelvar 1.9 Bitrate Calculator V1.3";

// The title with what the window holds first: a file's name, a server.
inline std::string windowTitle(std::string_view holds) {
    std::string title(holds);
    return (title.empty() ? title : title += " \u2014 ") += kForm1Caption;
}

// The colours every front-end paints, #RRGGBB: the green-on-black look of
// the boxes, labels and text box, and the window behind the picture.
inline constexpr std::uint32_t kGreen = 0x00FF00;
inline constexpr std::uint32_t kBlack = 0x000000;
inline constexpr std::uint32_t kWindowBackground = 0x000040;

// What a screen reader calls the text box, which has no caption of its own.
inline constexpr std::string_view kLineBoxName = "Server setting line";

namespace detail {

// Every tab index, each used once, between this table and the options.
constexpr bool tabIndicesCoverOnce() {
    std::array<int, kTabStops> uses{};
    auto use = [&](int tab) {
        if (tab >= 0 && static_cast<std::size_t>(tab) < kTabStops)
            ++uses[static_cast<std::size_t>(tab)];
    };
    auto walk = [&](std::span<const Control> controls, auto &self) -> void {
        for (const Control &c : controls) {
            use(c.tabIndex);
            if (c.kind == Kind::CheckBoxes)
                for (const Option &o : settingGroup(c.group).options)
                    use(o.tabIndex);
            self(c.contents, self);
        }
    };
    walk(kForm1, walk);
    return std::all_of(uses.begin(), uses.end(), [](int n) { return n == 1; });
}

constexpr bool twipsArePixels(std::span<const Control> controls) {
    for (const Control &c : controls) {
        for (int v : {c.rect.left, c.rect.top, c.rect.width, c.rect.height})
            if (v % kTwipsPerPixel != 0)
                return false;
        if (!twipsArePixels(c.contents))
            return false;
    }
    return true;
}

constexpr bool optionTwipsArePixels() {
    for (const SettingGroup &g : kCatalogue)
        for (const Option &o : g.options)
            for (int v : {o.rect.left, o.rect.top, o.rect.width, o.rect.height})
                if (v % kTwipsPerPixel != 0)
                    return false;
    return true;
}

// Where the design's rectangles overlap, which control stands in front is
// ours to choose: every container stacks its controls as its table lists
// them, front to back, and a CheckBoxes row its boxes from the last to the
// first. This walks each container in that order and holds that no control
// stands over the indicator of a check box or the circle of an option button
// behind it: 13 pixels square at the control's left, centred from top to bottom.
constexpr bool indicatorsShowWhole(std::span<const Control> controls) {
    constexpr int kIndicator = 13 * kTwipsPerPixel;
    std::array<TwipRect, 40> front{};  // a container holds no more than 32 boxes and 3 more
    std::size_t n = 0;
    auto place = [&](const TwipRect &r, bool hasIndicator) {
        const int top = r.top + (r.height - kIndicator) / 2;
        for (std::size_t i = 0; hasIndicator && i < n; ++i)
            if (front[i].left < r.left + kIndicator && front[i].left + front[i].width > r.left &&
                front[i].top < top + kIndicator && front[i].top + front[i].height > top)
                return false;
        front.at(n++) = r;
        return true;
    };
    for (const Control &c : controls) {
        if (c.kind == Kind::CheckBoxes) {
            const auto options = settingGroup(c.group).options;
            for (std::size_t i = options.size(); i-- > 0;)
                if (!place(options[i].rect, true))
                    return false;
        } else if (!place(c.rect, c.kind == Kind::OptionButton) ||
                   !indicatorsShowWhole(c.contents)) {
            return false;
        }
    }
    return true;
}

}  // namespace detail

static_assert(detail::tabIndicesCoverOnce());
static_assert(detail::indicatorsShowWhole(kForm1),
              "a control stands over a check box's indicator or an option button's circle");
static_assert(detail::twipsArePixels(kForm1) && detail::optionTwipsArePixels(),
              "at 96 dpi every coordinate is a whole pixel");

}  // namespace zelvar::ui

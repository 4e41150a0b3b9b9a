// The built-in description of the seven server settings. Nothing here changes
// at run time; the window builds one check box per option from it and the
// totals read the options back through those boxes.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zelvar {

// In the order of the panel buttons that open the groups (Command1 to Command7).
enum class Group : std::uint8_t { Weapon, Force, Admin, Poll, Lock, Emote, Say };
inline constexpr std::size_t kGroupCount = 7;
// An enumerator's place in the tables it indexes (a group's, a rank's).
template <class Enum> constexpr std::size_t slot(Enum value) {
    return static_cast<std::size_t>(value);
}

// Which admin variable the admin-command line uses.
enum class Rank : std::uint8_t { Knight, Instructor, Council };
// The rank option buttons' captions, indexed by Rank.
inline constexpr std::size_t kRankCount = 3;
inline constexpr std::array<std::string_view, kRankCount> kRankCaptions{"Knight", "Instructor",
                                                                        "Council"};

// The window's controls that the Tab key may stop at: indices 0 to 135.
inline constexpr std::size_t kTabStops = 136;

enum class Width : std::uint8_t { Signed16, Signed32 };

// A group's total sums the bit values of the options in this state.
enum class Counts : std::uint8_t { Checked, Unchecked };

// Twips: 1440 to the inch, measured from the container's top-left corner.
struct TwipRect {
    int left;
    int top;
    int width;
    int height;
};

struct Option {
    std::string_view caption;
    std::string_view valueText;  // the box's tag: decimal text, read as a number when used
    TwipRect rect;               // inside the group's panel
    int tabIndex;
};

struct SettingGroup {
    Group group;
    std::string_view name;                        // what an administrator calls it
    std::string_view caption;                     // its panel's and its panel button's caption
    std::string_view array;                       // the check-box array's name in the window
    std::string_view panel;                       // the frame that holds the array
    std::span<const std::string_view> variables;  // one per rank for the admin group, else one
    std::string_view total;
    Width width;
    Counts counts;
    bool defaultChecked;  // every option of a group starts in the same state
    std::span<const Option> options;
    std::int64_t sumOfValues;
};

namespace detail {

inline constexpr std::string_view kWeaponVariable[] = {"g_weaponDisable "};
inline constexpr std::string_view kForceVariable[] = {"g_forcePowerDisable "};
// Indexed by Rank.
inline constexpr std::string_view kAdminVariables[] = {
    "zv_knightAllowedCMD ", "zv_instructorAllowedCMD ", "zv_councilAllowedCMD "};
inline constexpr std::string_view kPollVariable[] = {"zv_votesDisable "};
inline constexpr std::string_view kLockVariable[] = {"zv_teamLock "};
inline constexpr std::string_view kEmoteVariable[] = {"zv_emotDisallow "};
inline constexpr std::string_view kSayVariable[] = {"zv_wordFilter "};

inline constexpr Option kWeapons[] = {
    {"WP_NONE", "1", {240, 360, 1575, 255}, 24},
    {"WP_STUN_BATON", "2", {240, 720, 2055, 255}, 53},
    {"WP_MELEE", "4", {240, 1080, 1575, 255}, 54},
    {"WP_BLASTER", "32", {240, 2160, 1575, 255}, 55},
    {"WP_BRYAR_PISTOL", "16", {240, 1800, 2175, 255}, 56},
    {"WP_SABER", "8", {240, 1440, 1575, 255}, 57},
    {"WP_DISRUPTOR", "64", {240, 2520, 2175, 255}, 58},
    {"WP_BOWCASTER", "128", {240, 2880, 1935, 255}, 59},
    {"WP_REPEATER", "256", {240, 3240, 1815, 255}, 60},
    {"WP_FLECHETTE", "1024", {2400, 360, 1815, 255}, 61},
    {"WP_ROCKET_LAUNCHER", "2048", {2400, 720, 3015, 255}, 62},
    {"WP_THERMAL", "4096", {2400, 1080, 2295, 255}, 63},
    {"WP_TRIP_MINE", "8192", {2400, 1440, 1935, 255}, 64},
    {"WP_DET_PACK", "16384", {2400, 1800, 2055, 255}, 65},
    {"WP_CONCUSSION", "32768", {2400, 2160, 2055, 255}, 66},
    {"WP_BRYAR_OLD", "65536", {2400, 2520, 2055, 255}, 67},
    {"WP_EMPLACED_GUN", "131072", {2400, 2880, 2655, 255}, 68},
    {"WP_TURRET", "262144", {2400, 3240, 1575, 255}, 69},
    {"WP_DEMP2", "512", {240, 3600, 1575, 255}, 70},
};

// Indices 0-7 stand under "Neutral", 8-12 under "Light Side", 13-17 under "Dark Side".
inline constexpr Option kForcePowers[] = {
    {"Jump", "2", {600, 840, 1335, 255}, 6},
    {"Push", "8", {600, 1200, 1335, 255}, 7},
    {"Pull", "16", {600, 1560, 1335, 255}, 8},
    {"Speed", "4", {600, 1920, 1335, 255}, 9},
    {"Seeing", "16384", {600, 2280, 1335, 255}, 10},
    {"Saber Attack", "32768", {600, 2640, 1695, 255}, 11},
    {"Saber Defend", "65536", {600, 3000, 1575, 255}, 12},
    {"Saber Throw", "131072", {600, 3360, 1575, 255}, 13},
    {"Heal", "1", {2280, 840, 1335, 255}, 14},
    {"Absorb", "1024", {2280, 1200, 1335, 255}, 15},
    {"Protect", "512", {2280, 1560, 1335, 255}, 16},
    {"Mind Trick", "32", {2280, 1920, 1335, 255}, 17},
    {"Team Heal", "2048", {2280, 2280, 1335, 255}, 18},
    {"Grip", "64", {4080, 840, 1335, 255}, 19},
    {"Drain", "8192", {4080, 1200, 1335, 255}, 20},
    {"Lightning", "128", {4080, 1560, 1335, 255}, 21},
    {"Dark Rage", "256", {4080, 1920, 1335, 255}, 22},
    {"Team Energize", "4096", {4080, 2280, 1695, 255}, 23},
};

inline constexpr Option kAdminCommands[] = {
    {"amMindTrick", "131072", {240, 480, 1695, 375}, 25},
    {"amStatus", "524288", {240, 840, 1335, 375}, 26},
    {"npc", "8388608", {240, 1200, 1335, 375}, 27},
    {"amPSay", "4194304", {240, 1560, 1335, 375}, 28},
    {"amMap", "2097152", {4080, 2280, 1335, 375}, 29},
    {"amSlap", "32", {240, 1920, 1335, 375}, 30},
    {"amSilence", "2048", {2280, 3000, 1335, 375}, 31},
    {"amUnPunish", "16384", {2280, 2640, 1575, 375}, 32},
    {"amPunish", " 8192", {2280, 2280, 1335, 375}, 33},  // the leading blank is the tag's own
    {"amWake", "128", {2280, 1920, 1335, 375}, 34},
    {"amSleep", "64", {2280, 1560, 1335, 375}, 35},
    {"amSlay", "8", {2280, 1200, 1335, 375}, 36},
    {"amDenyVote", "512", {2280, 840, 1455, 375}, 37},
    {"amGhost", "256", {2280, 480, 1335, 375}, 38},
    {"amBan", "4", {240, 2640, 1335, 375}, 39},
    {"amKick", "2", {240, 2280, 1335, 375}, 40},
    {"amProtect", "1024", {240, 3000, 1335, 375}, 41},
    {"amUnSilence", "4096", {2280, 3360, 1575, 375}, 42},
    {"amWhoIs", "1048576", {2280, 3720, 1335, 375}, 43},
    {"amOrigin", "16", {240, 3360, 1335, 375}, 44},
    {"amTele", "262144", {240, 3720, 1335, 375}, 45},
    {"amEmpower", "32768", {4080, 480, 1335, 375}, 46},
    {"amRename", "16777216", {4080, 3000, 1335, 375}, 47},
    {"amMerc", "65536", {4080, 840, 1335, 375}, 48},
    {"amLockTeam", "33554432", {4080, 1200, 1575, 375}, 49},
    {"amForceTeam", "67108864", {4080, 1560, 1575, 375}, 50},
    {"amKillVote", "134217728", {4080, 1920, 1335, 375}, 51},
    {"amVstr", "268435456", {4080, 2640, 1335, 375}, 52},
};

// No vote owns bit value 1. "Silence" came last and was given tab index 134.
inline constexpr Option kVotes[] = {
    {"Restart Map", "2", {1080, 1320, 1455, 615}, 79},
    {"Map", "8", {1080, 2160, 1455, 375}, 80},
    {"Do Warmup", "64", {3120, 1440, 1455, 375}, 81},
    {"Next Map", "4", {1080, 1800, 1455, 375}, 82},
    {"Frag Limit", "256", {3120, 2160, 1455, 375}, 83},
    {"Sleep", "512", {3120, 2520, 1455, 375}, 84},
    {"Poll", "1024", {3120, 2880, 1455, 375}, 85},
    {"Kick", "32", {1080, 2880, 1455, 375}, 86},
    {"Game Type", "16", {1080, 2520, 1455, 375}, 87},
    {"Time Limit", "128", {3120, 1800, 1455, 375}, 88},
    {"Silence", "2048", {3120, 3240, 1455, 375}, 134},
};

inline constexpr Option kTeams[] = {
    {"Spectator", "2", {2160, 1560, 1455, 375}, 91},
    {"Blue", "8", {2160, 2640, 1455, 375}, 92},
    {"Red", "16", {2160, 2280, 1455, 375}, 93},
    {"FFA", "4", {2160, 1920, 1455, 375}, 94},
};

inline constexpr Option kEmotes[] = {
    {"amKneel", "2", {600, 360, 1335, 375}, 97},
    {"amDie", "4", {600, 720, 1335, 375}, 98},
    {"amDie2", "8", {600, 1080, 1335, 375}, 99},
    {"amFinishHim", "16", {600, 1440, 1695, 375}, 100},
    {"amPower", "32", {600, 1800, 1335, 375}, 101},
    {"amNod", "64", {600, 2160, 1335, 375}, 102},
    {"amShake", "128", {600, 2520, 1335, 375}, 103},
    {"amHiltThrow1", "256", {600, 2880, 1695, 375}, 104},
    {"amHiltThrow2", "512", {600, 3240, 1575, 375}, 105},
    {"amComeOn", "1024", {2160, 360, 1335, 375}, 106},
    {"amWon", "2048", {2160, 720, 1335, 375}, 107},
    {"amHello", "4096", {2160, 1080, 1335, 375}, 108},
    {"amHug", "8192", {2160, 1440, 1335, 375}, 109},
    {"amSleep", "16384", {2160, 1800, 1335, 375}, 110},
    {"amATease", "32768", {2160, 2160, 1335, 375}, 111},
    {"amSurrender", "65536", {2160, 2520, 1455, 375}, 112},
    {"amSit", "131072", {2160, 2880, 1335, 375}, 113},
    {"amSit2", "262144", {2160, 3240, 1335, 375}, 114},
    {"amSit3", "524288", {3720, 360, 1335, 375}, 115},
    {"amSit4", "1048576", {3720, 720, 1335, 375}, 116},
    {"amBeg", "2097152", {3720, 1080, 1335, 375}, 117},
    {"amWait", "4194304", {3720, 1440, 1335, 375}, 118},
    {"amHips", "8388608", {3720, 1800, 1335, 375}, 119},
    {"amVictory", "16777216", {3720, 2160, 1335, 375}, 120},
    {"amNeo", "33554432", {3720, 2520, 1335, 375}, 121},
    {"amBreakDance", "67108864", {3720, 2880, 1695, 375}, 122},
    {"amBreakDance2", "134217728", {3720, 3240, 1815, 375}, 123},
    {"amNoisy", "268435456", {600, 3600, 1335, 375}, 124},
};

inline constexpr Option kChatChannels[] = {
    {"Say All", "2", {480, 960, 1575, 255}, 127},
    {"Say Team", "4", {480, 1320, 1575, 255}, 128},
    {"Say Tell", "8", {480, 1680, 1575, 255}, 129},
    {"Say Clan", "16", {480, 2040, 1575, 255}, 130},
    {"AM Say", "32", {480, 2400, 1575, 255}, 131},
    {"Player Name", "64", {480, 2760, 1575, 255}, 132},
};

}  // namespace detail

// Indexed by Group.
inline constexpr std::array<SettingGroup, kGroupCount> kCatalogue{{
    {Group::Weapon, "weapons", "Weapon Disable", "chkWeapon", "Frame1(0)", detail::kWeaponVariable,
     "lngWeapon", Width::Signed32, Counts::Unchecked, true, detail::kWeapons, 524287},
    {Group::Force, "force powers", "Force Power Disable", "chkForce", "Frame1(2)",
     detail::kForceVariable, "lngForce", Width::Signed32, Counts::Unchecked, true,
     detail::kForcePowers, 262143},
    {Group::Admin, "admin commands", "Admin Command Disable", "chkAdmin", "Frame1(1)",
     detail::kAdminVariables, "lngAdmin", Width::Signed32, Counts::Checked, true,
     detail::kAdminCommands, 536870910},
    {Group::Poll, "votes", "Poll Disable", "chkPoll", "Frame2(0)", detail::kPollVariable, "intPoll",
     Width::Signed16, Counts::Unchecked, true, detail::kVotes, 4094},
    {Group::Lock, "team lock", "Team Lock", "chkLock", "Frame3", detail::kLockVariable, "intLock",
     Width::Signed16, Counts::Checked, false, detail::kTeams, 30},
    {Group::Emote, "emotes", "Emote Disable", "chkEmote", "Frame2(1)", detail::kEmoteVariable,
     "lngEmote", Width::Signed32, Counts::Unchecked, true, detail::kEmotes, 536870910},
    {Group::Say, "word filter", "Word Filter", "chkSay", "Frame2(2)", detail::kSayVariable,
     "lngSay", Width::Signed32, Counts::Checked, false, detail::kChatChannels, 126},
}};

// The server variables the calculator writes: one a group, one a rank for the admin commands.
inline constexpr std::size_t kVariableCount = [] {
    std::size_t n = 0;
    for (const SettingGroup &g : kCatalogue)
        n += g.variables.size();
    return n;
}();

constexpr const SettingGroup &settingGroup(Group group) {
    return kCatalogue[static_cast<std::size_t>(group)];
}

constexpr std::optional<Group> groupByArray(std::string_view array) {
    for (const SettingGroup &g : kCatalogue)
        if (g.array == array)
            return g.group;
    return std::nullopt;
}

constexpr std::optional<Group> groupByPanel(std::string_view panel) {
    for (const SettingGroup &g : kCatalogue)
        if (g.panel == panel)
            return g.group;
    return std::nullopt;
}

// The catalogue's own value texts are blanks followed by digits; this reads
// them at compile time so the checks below can see the numbers.
constexpr std::int64_t catalogueValue(std::string_view text) {
    std::int64_t value = 0;
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string_view::npos)
        return -1;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

constexpr int widthBits(Width w) { return w == Width::Signed16 ? 16 : 32; }
constexpr std::int64_t widthMax(Width w) { return w == Width::Signed16 ? 32767 : 2147483647; }

// The bit an option's value sets: 0 for 1, 1 for 2 ...
constexpr int bitNumber(const Option &o) {
    int bit = 0;
    for (std::int64_t v = catalogueValue(o.valueText); v > 1; v >>= 1)
        ++bit;
    return bit;
}

namespace detail {

constexpr bool valuesArePowersOfTwo(const SettingGroup &g) {
    return std::all_of(g.options.begin(), g.options.end(), [](const Option &o) {
        const std::int64_t v = catalogueValue(o.valueText);
        return v > 0 && (v & (v - 1)) == 0;
    });
}

constexpr bool valuesAreDistinct(const SettingGroup &g) {
    std::int64_t seen = 0;
    for (const Option &o : g.options) {
        const std::int64_t v = catalogueValue(o.valueText);
        if ((seen & v) != 0)
            return false;
        seen |= v;
    }
    return true;
}

constexpr std::int64_t sumOfValues(const SettingGroup &g) {
    std::int64_t sum = 0;
    for (const Option &o : g.options)
        sum += catalogueValue(o.valueText);
    return sum;
}

constexpr bool catalogueIsSound() {
    for (std::size_t i = 0; i < kCatalogue.size(); ++i) {
        const SettingGroup &g = kCatalogue[i];
        if (static_cast<std::size_t>(g.group) != i || !valuesArePowersOfTwo(g) ||
            !valuesAreDistinct(g) || sumOfValues(g) != g.sumOfValues ||
            g.sumOfValues > widthMax(g.width))
            return false;
        if (g.variables.size() != (g.group == Group::Admin ? 3U : 1U))
            return false;
        for (std::string_view v : g.variables)
            if (v.empty() || v.back() != ' ')
                return false;
    }
    return true;
}

// Every option has one of the window's tab indices, none used twice.
constexpr bool optionTabIndicesAreDistinct() {
    std::array<bool, kTabStops> used{};
    for (const SettingGroup &g : kCatalogue)
        for (const Option &o : g.options) {
            if (o.tabIndex < 0 || static_cast<std::size_t>(o.tabIndex) >= kTabStops ||
                used[static_cast<std::size_t>(o.tabIndex)])
                return false;
            used[static_cast<std::size_t>(o.tabIndex)] = true;
        }
    return true;
}

}  // namespace detail

static_assert(detail::catalogueIsSound(),
              "every group: ordered by Group, powers of two, none twice, its stated sum, "
              "within its width, variables ending in one blank");
static_assert(detail::optionTabIndicesAreDistinct());
static_assert(catalogueValue(" 8192") == 8192);

}  // namespace zelvar

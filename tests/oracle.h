// What a line must read, worked out from bits alone: box i of a group is bit
// i of `checked`; the boxes in the group's counting state give their values,
// or-ed together (no arithmetic of the model's), after the variable.
#pragma once

#include "catalogue.h"

#include <array>
#include <random>
#include <string>
#include <string_view>

inline std::uint32_t startStates(zelvar::Group group) {
    const zelvar::SettingGroup &g = zelvar::settingGroup(group);
    return g.defaultChecked ? (1U << g.options.size()) - 1 : 0;
}

inline std::string oracleLine(zelvar::Group group, std::uint32_t checked, zelvar::Rank rank) {
    const zelvar::SettingGroup &g = zelvar::settingGroup(group);
    std::uint32_t counted = 0;
    for (std::size_t i = 0; i < g.options.size(); ++i)
        if (((checked >> i & 1U) != 0) == (g.counts == zelvar::Counts::Checked))
            counted |= std::uint32_t(std::stoul(std::string(g.options[i].valueText)));
    const std::size_t variable = group == zelvar::Group::Admin ? std::size_t(rank) : 0;
    return std::string(g.variables[variable]) + std::to_string(counted);
}

// What a click (or Space) on a control must leave: the boxes as bits, the
// rank, the panel on show and the line the last action wrote. Controls go
// by their names in the window: CommandN, optJK, chkWeapon(3) ...
struct Oracle {
    std::array<std::uint32_t, zelvar::kGroupCount> on{};
    zelvar::Rank rank = zelvar::Rank::Council;
    zelvar::Group visible = zelvar::Group::Admin;
    std::string line = "zv_councilAllowedCMD 536870910";

    Oracle() {
        for (const zelvar::SettingGroup &g : zelvar::kCatalogue)
            on[std::size_t(g.group)] = startStates(g.group);
    }
    void press(std::string_view name) {
        auto wrote = zelvar::Group::Admin;
        if (name.starts_with("Command")) {
            wrote = visible = zelvar::Group(std::stoi(std::string(name.substr(7))) - 1);
        } else if (name.starts_with("opt")) {
            rank = name == "optJK"           ? zelvar::Rank::Knight
                   : name == "optInstructor" ? zelvar::Rank::Instructor
                                             : zelvar::Rank::Council;
        } else {
            const std::size_t open = name.find('(');
            wrote = *zelvar::groupByArray(name.substr(0, open));
            on[std::size_t(wrote)] ^= 1U << std::stoi(std::string(name.substr(open + 1)));
        }
        line = oracleLine(wrote, on[std::size_t(wrote)], rank);
    }
    // A user's next action: a panel button, a rank while the admin panel
    // shows, a box of the panel on show, Space or Tab.
    std::string randomAction(std::mt19937 &random) const {
        const auto roll = random() % 100;
        if (roll < 15)
            return "Command" + std::to_string(random() % 7 + 1);
        if (roll < 25 && visible == zelvar::Group::Admin)
            return std::array{"optam", "optJK", "optInstructor"}.at(random() % 3);
        if (roll < 80) {
            const zelvar::SettingGroup &g = zelvar::settingGroup(visible);
            return std::string(g.array) + '(' + std::to_string(random() % g.options.size()) + ')';
        }
        return roll < 90 ? "Space" : "Tab";
    }
};

// What a line must read, worked out from bits alone: box i of a group is bit
// i of `checked`; the boxes in the group's counting state give their values,
// or-ed together (no arithmetic of the model's), after the variable.
#pragma once

#include "catalogue.h"

#include <string>

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

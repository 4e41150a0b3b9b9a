// Stands in for the window's controls: check-box states that start at the
// catalogue's defaults, value texts that a test may replace, a selected rank
// and the last line written.
#pragma once

#include "totals.h"

#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

class FakeControls final : public zelvar::Source, public zelvar::Sink {
public:
    FakeControls() {
        for (const zelvar::SettingGroup &g : zelvar::kCatalogue)
            states[index(g.group)].assign(g.options.size(), g.defaultChecked);
    }

    static std::size_t index(zelvar::Group group) { return static_cast<std::size_t>(group); }

    bool checked(zelvar::Group group, int i) const override {
        return states[index(group)][static_cast<std::size_t>(i)];
    }
    std::string_view valueText(zelvar::Group group, int i) const override {
        if (auto it = valueTexts.find({group, i}); it != valueTexts.end())
            return it->second;
        return zelvar::settingGroup(group).options[static_cast<std::size_t>(i)].valueText;
    }
    int upperBound(zelvar::Group group) const override {
        return static_cast<int>(states[index(group)].size()) - 1;
    }
    bool rankSelected(zelvar::Rank r) const override { return r == rank; }
    void writeLine(std::string_view text) override {
        line.assign(text);
        ++writes;
    }

    // What a user's click does to a box before its click event runs.
    void flip(zelvar::Group group, int i) {
        states[index(group)][static_cast<std::size_t>(i)].flip();
    }

    std::array<std::vector<bool>, zelvar::kGroupCount> states;
    std::map<std::pair<zelvar::Group, int>, std::string> valueTexts;
    zelvar::Rank rank = zelvar::Rank::Council;
    std::string line;
    int writes = 0;
};

// The model's operations, with a source that answers from plain arrays.
#include "totals.h"

#include <benchmark/benchmark.h>

#include <array>
#include <string>

namespace {

class Boxes final : public zelvar::Source, public zelvar::Sink {
public:
    Boxes() {
        for (const zelvar::SettingGroup &g : zelvar::kCatalogue)
            for (std::size_t i = 0; i < g.options.size(); ++i)
                states[static_cast<std::size_t>(g.group)][i] = g.defaultChecked;
    }
    bool checked(zelvar::Group group, int index) const override {
        return states[static_cast<std::size_t>(group)][static_cast<std::size_t>(index)];
    }
    bool rankSelected(zelvar::Rank rank) const override { return rank == zelvar::Rank::Council; }
    void writeLine(std::string_view text) override { line.assign(text); }

    std::array<std::array<bool, 28>, zelvar::kGroupCount> states{};
    std::string line;
};

void toggle(benchmark::State &state) {
    Boxes boxes;
    zelvar::Totals totals(boxes, boxes);
    totals.setAdminTotal(zelvar::kAdminTotalAtStart);
    bool &box = boxes.states[static_cast<std::size_t>(zelvar::Group::Admin)][8];  // " 8192"
    for (auto _ : state) {
        box = !box;
        totals.toggle(zelvar::Group::Admin, 8);
        benchmark::DoNotOptimize(boxes.line.data());
    }
}

void recount(benchmark::State &state) {
    Boxes boxes;
    zelvar::Totals totals(boxes, boxes);
    for (auto _ : state) {
        totals.recount(zelvar::Group::Emote);  // 28 boxes, the largest group
        benchmark::DoNotOptimize(boxes.line.data());
    }
}

}  // namespace

BENCHMARK(toggle);
BENCHMARK(recount);
BENCHMARK_MAIN();

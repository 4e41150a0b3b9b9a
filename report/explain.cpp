#include "explain.h"

#include <optional>
#include <vector>

namespace zelvar::report {

namespace {

// Of each setting, in the order the server runs them, the settings of the
// same variable just before and after it that it overrides or is overridden by.
struct Neighbours {
    std::vector<std::optional<std::size_t>> overrides;
    std::vector<std::optional<std::size_t>> overriddenBy;
};
Neighbours neighboursOf(const std::vector<Setting> &settings) {
    Neighbours n{std::vector<std::optional<std::size_t>>(settings.size()),
                 std::vector<std::optional<std::size_t>>(settings.size())};
    TakesEffect effect;
    for (std::size_t i = 0; i < settings.size(); ++i)
        if (const std::optional<std::size_t> earlier = effect.take(settings[i], i)) {
            n.overrides[i] = earlier;
            n.overriddenBy[*earlier] = i;
        }
    return n;
}

}  // namespace

void explain(const Tree &tree, Reports &out) {
    const std::vector<Setting> &settings = tree.settings;
    const auto nameOf = [&](const Setting &s) {
        return std::string_view(tree.names.at(static_cast<std::size_t>(s.file)));
    };
    out.reading(tree.as == ReadAs::Start ? "start" : "running",
                readingName(tree.as, tree.commandLine.has_value()));
    const auto [overrides, overriddenBy] = neighboursOf(settings);
    auto note = tree.notes.begin();
    for (std::size_t i = 0; i <= settings.size(); ++i) {
        for (; note != tree.notes.end() && note->before == i; ++note)
            out.note(note->text, weightOf(note->kind));
        if (i == settings.size())
            break;
        const Setting &s = settings[i];
        // A comment that hides settings is said before the first of them.
        if (s.swallow && (i == 0 || !settings[i - 1].swallow ||
                          settings[i - 1].swallow->line != s.swallow->line)) {
            HiddenReport hidden{*s.swallow, {}};
            for (std::size_t j = i; j < settings.size() && settings[j].swallow &&
                                    settings[j].swallow->line == s.swallow->line;
                 ++j)
                if (!settings[j].applied && !settings[j].beforeMap)
                    hidden.hidden.push_back(&settings[j]);
            out.hidden(hidden);
        }
        SettingReport r = reportOn(s.variable, s.written, s.value, s.hasValue, &s);
        const bool onCommandLine = tree.commandLine && s.file == *tree.commandLine;
        if (!onCommandLine)  // the line there is one the reading makes, not the host's
            r.line = s.line;
        r.file = s.file == 0 ? std::string_view() : nameOf(s);
        // The command line's settings have no line of the host's: 0.
        const auto lineOf = [&](const Setting &o) {
            return tree.commandLine && o.file == *tree.commandLine ? 0 : o.line;
        };
        if (const std::optional<std::size_t> o = overrides[i]) {
            r.overrides = lineOf(settings[*o]);
            r.overridesFile =
                settings[*o].file == s.file ? std::string_view() : nameOf(settings[*o]);
        }
        if (const std::optional<std::size_t> o = overriddenBy[i]) {
            r.overriddenBy = lineOf(settings[*o]);
            r.overriddenByFile =
                settings[*o].file == s.file ? std::string_view() : nameOf(settings[*o]);
        }
        out.add(r);
    }
}

}  // namespace zelvar::report

// The commands on the calculator's values and on a configuration.
#include "cli.h"
#include "config.h"
#include "report.h"
#include "save.h"
#include "textfile.h"
#include "tree.h"

#include <array>

#include <istream>

namespace zelvar::bits {

Status decodeCommand(Args args, const Options &options, Streams io) {
    if (args.empty())
        return usage(io.err, "decode needs a line such as 'g_weaponDisable 524279'");
    std::vector<SettingReport> reports;
    if (const auto status = eachLine(args, io.err, [&](const Variable &v, auto name, auto value) {
            reports.push_back(reportOn(v, name, value, true));
            return std::optional<Status>();
        }))
        return *status;
    Reports out(options.json, io.out);
    for (const SettingReport &r : reports)
        out.add(r);
    return out.finish();
}

Status encodeCommand(Args args, const Options & /*options*/, Streams io) {
    if (args.empty())
        return usage(io.err, "encode needs a variable");
    const std::optional<Variable> v = variableOrSay(args[0], io.err);
    if (!v)
        return Failed;
    const SettingGroup &g = settingGroup(v->group);
    std::vector<int> options;
    for (std::string_view caption : args.subspan(1)) {
        if (sameIgnoringCase(caption, "all")) {
            for (std::size_t i = 0; i < g.options.size(); ++i)
                options.push_back(static_cast<int>(i));
        } else if (const std::optional<int> i = findOption(v->group, caption)) {
            options.push_back(*i);
        } else {
            Text text;
            text << "zelvar-bits: no option ";
            appendQuoted(text.s, caption);
            text << " in the " << g.name << " group; its options are: ";
            joined(text, g.options, [](const Option &o) { return o.caption; });
            io.err << text.s << '\n';
            return Failed;
        }
    }
    io.out << encode(*v, options) << "\n";
    // A value that lists what is disabled reads easily as what is allowed.
    if (g.counts == Counts::Unchecked) {
        Text note;
        note << "zelvar-bits: note: the " << g.name << " value lists what it disables: ";
        if (options.empty())
            note << "nothing";
        joined(note, options,
               [&g](int i) { return g.options[static_cast<std::size_t>(i)].caption; });
        io.err << note.s << '\n';
    }
    return Clean;
}

namespace {

// The configuration `file` names (standard input for "-"), read with its
// execs as the server reads it.
Tree treeOf(std::string_view file, const Options &options, Streams io) {
    if (file != "-")
        return readTree(std::string(file), options.gameDirs);
    // Standard input read whole; its execs from --game-dir, else here.
    std::string text;
    std::array<char, 1 << 16> chunk{};
    while (io.in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) ||
           io.in.gcount() > 0) {
        text.append(chunk.data(), static_cast<std::size_t>(io.in.gcount()));
        if (text.size() > kLargestConfiguration)
            break;
    }
    return readTextTree("standard input", text,
                        options.gameDirs.empty() ? SearchPath{"."} : options.gameDirs);
}

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

Status explainCommand(Args args, const Options &options, Streams io) {
    if (args.size() > 1)
        return usage(io.err, "explain reads one file");
    const std::string_view file = args.empty() ? "-" : args[0];
    const Tree tree = treeOf(file, options, io);
    if (tree.error) {
        io.err << "zelvar-bits: " << *tree.error << "\n";
        return Failed;
    }
    const std::vector<Setting> &settings = tree.settings;
    const auto nameOf = [&](const Setting &s) {
        return std::string_view(tree.names.at(static_cast<std::size_t>(s.file)));
    };
    const auto [overrides, overriddenBy] = neighboursOf(settings);
    Reports out(options.json, io.out);
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
                if (!settings[j].applied)
                    hidden.hidden.push_back(&settings[j]);
            out.hidden(hidden);
        }
        SettingReport r = reportOn(s.variable, s.written, s.value, s.hasValue, &s);
        r.line = s.line;
        r.file = s.file == 0 ? std::string_view() : nameOf(s);
        if (const std::optional<std::size_t> o = overrides[i]) {
            r.overrides = settings[*o].line;
            r.overridesFile =
                settings[*o].file == s.file ? std::string_view() : nameOf(settings[*o]);
        }
        if (const std::optional<std::size_t> o = overriddenBy[i]) {
            r.overriddenBy = settings[*o].line;
            r.overriddenByFile =
                settings[*o].file == s.file ? std::string_view() : nameOf(settings[*o]);
        }
        out.add(r);
    }
    const Status status = out.finish();  // the notes first, as they came
    if (!out.any() && !options.json)
        io.out << noSettingIn(file == "-" ? "standard input" : quoted(file)) << '\n';
    return status;
}

Status listCommand(Args args, const Options &options, Streams io) {
    if (args.size() > 1)
        return usage(io.err, "list takes at most one variable");
    std::optional<Variable> only;
    if (!args.empty() && !(only = variableOrSay(args[0], io.err)))
        return Failed;
    std::vector<const SettingGroup *> groups;
    for (const SettingGroup &g : kCatalogue)
        if (!only || only->group == g.group)
            groups.push_back(&g);
    if (options.json) {
        io.out << dumpedList(groups);
        return Clean;
    }
    Text text;
    for (const SettingGroup *g : groups) {
        joined(text << g->name << " (\"" << g->caption << "\"): ", variableNames(g),
               [](std::string_view name) { return name; });
        text << "\n  a " << widthBits(g->width) << "-bit total of the " << counted(*g)
             << " boxes; every box starts " << (g->defaultChecked ? "checked" : "unchecked")
             << "\n";
        for (std::size_t i = 0; i < g->options.size(); ++i)
            optionRow(text, g->options[i], static_cast<int>(i));
    }
    io.out << text.s;
    return Clean;
}

Status setCommand(Args args, const Options &options, Streams io) {
    if (args.size() < 2)
        return usage(io.err, "set needs a file and a line such as 'g_weaponDisable 40'");
    const std::string path(args[0]);
    std::vector<Change> changes;
    if (const std::optional<Status> status =
            changesAsked(args.subspan(1), "written", io.err, changes))
        return *status;
    Done done;
    done.configuration = path;
    done.dryRun = options.dryRun;
    done.planned = changes;
    done.saved = saveChanges(path, changes, options.dryRun, options.create, options.gameDirs);
    done.status = done.saved->status;
    if (done.status != Clean)  // said as an error, on its own
        done.error = done.saved->said;
    render(done, options.json, io.out, io.err);
    if (options.dryRun && done.status == Clean && done.saved->changed)
        io.err << "zelvar-bits: a dry run: nothing was written\n";
    return done.status;
}

}  // namespace zelvar::bits

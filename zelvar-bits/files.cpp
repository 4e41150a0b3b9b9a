// The commands on the calculator's values and on a configuration.
#include "cli.h"
#include "config.h"
#include "explain.h"
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

constexpr std::string_view kCommandLineNeedsFile =
    "--command-line needs a FILE: the command line execs files by name";

// Standard input read whole, or as much as shows it too large.
std::string input(Streams io) {
    std::string text;
    std::array<char, 1 << 16> chunk{};
    while (io.in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) ||
           io.in.gcount() > 0) {
        text.append(chunk.data(), static_cast<std::size_t>(io.in.gcount()));
        if (text.size() > kLargestConfiguration)
            break;
    }
    return text;
}

// Where standard input's execs are found: --game-dir, else here.
SearchPath inputSearch(const Options &options) {
    return options.gameDirs.empty() ? SearchPath{"."} : options.gameDirs;
}

// The configuration `file` names (standard input for "-"), read with its
// execs as the server reads it.
Tree treeOf(std::string_view file, const Options &options, Streams io) {
    if (file != "-")
        return readTree(std::string(file), options.gameDirs, options.hosts->disk(),
                        startupOf(options));
    return readTextTree("standard input", input(io), inputSearch(options), startupOf(options));
}

// `set --stdout` (or of standard input): the edit planned into
// `done.saved`, never written; with --stdout, the text standard output
// gets, byte for byte, when the edit is of one file.
std::optional<std::string> setShown(const std::string &path, const Options &options, Streams io,
                                    Result &done) {
    const bool fromInput = path == "-";
    const std::optional<std::string> given = fromInput ? std::optional(input(io)) : std::nullopt;
    PlannedSave plan = planSave(path, done.planned, options.create,
                                fromInput ? inputSearch(options) : options.gameDirs,
                                startupOf(options), given, options.hosts);
    std::optional<std::string> text;
    if (plan.shown.status == Clean && options.toStdout) {
        if (plan.files.size() > 1 || (plan.files.size() == 1 && plan.shown.files[0] != path)) {
            const std::string other = plan.shown.files.back();
            plan.shown = Saved{};
            plan.shown.status = Problem;
            plan.shown.said = "the edit is of " + quoted(other) +
                              ", which --stdout does not give: it gives the configuration alone; "
                              "nothing is written";
        } else if (!plan.files.empty()) {
            text = std::move(plan.files[0].bytes);
        } else if (given) {
            text = *given;
        } else if (FileText now = options.hosts->disk().read(path); !now.bytes) {
            plan.shown = Saved{};  // unchanged, and gone since: nothing to print
            plan.shown.status = Failed;
            plan.shown.said = quoted(path) + ": " + now.error;
        } else {
            text = std::move(*now.bytes);  // unchanged: the file as it is
        }
    }
    done.saved = std::move(plan.shown);
    return text;
}

}  // namespace

Status explainCommand(Args args, const Options &options, Streams io) {
    if (args.size() > 1)
        return usage(io.err, "explain reads one file");
    const std::string_view file = args.empty() ? "-" : args[0];
    if (file == "-" && options.commandLine)
        return usage(io.err, kCommandLineNeedsFile);
    const Tree tree = treeOf(file, options, io);
    if (tree.error) {
        io.err << "zelvar-bits: " << *tree.error << "\n";
        return Failed;
    }
    Reports out(options.json, io.out);
    explain(tree, out);
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
    Result done;
    done.configuration = path;
    done.readAs = startupOf(options).as;
    done.dryRun = options.dryRun;
    if (path == "-" && !options.toStdout && !options.dryRun)
        return usage(io.err,
                     "set - writes nowhere: add --stdout for the edited text, or --dry-run");
    if (options.toStdout && (options.json || options.dryRun))
        return usage(io.err, "--stdout writes the edited text alone: no JSON, nothing to dry-run");
    if (path == "-" && options.commandLine)
        return usage(io.err, kCommandLineNeedsFile);
    if (const std::optional<Status> status =
            changesAsked(args.subspan(1), "written", options, io, done))
        return *status;
    std::optional<std::string> text;
    if (options.toStdout || path == "-")
        text = setShown(path, options, io, done);
    else
        done.saved = saveChanges(path, done.planned, options.dryRun, options.create,
                                 options.gameDirs, startupOf(options), options.hosts);
    done.status = done.saved->status;
    // With --stdout, standard output is the file's: what is said goes to
    // standard error; else the diff alone is on standard output, as a patch.
    render(done, options.json, options.toStdout ? io.err : io.out, io.err);
    if (!options.json)
        io.err << "zelvar-bits: read " << readingName(*done.readAs, options.commandLine.has_value())
               << '\n';
    if (text)
        io.out << *text;
    else if (options.dryRun && done.status == Clean && done.saved->changed)
        io.err << "zelvar-bits: a dry run: nothing was written\n";
    return done.status;
}

}  // namespace zelvar::bits

#include "save.h"

#include "textfile.h"
#include "tree.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <utility>
#include <variant>

namespace zelvar {

namespace {

// The file as it is, ready to be replaced; or why it cannot be.
std::optional<std::string> snapshot(const std::string &path, bool create, PlannedSave::File &file,
                                    Hosts *hosts) {
    file.name = zelvar::quoted(path);
    auto taken = !isLocation(path)  ? takeSnapshot(path, file.name, kLargestConfiguration)
                 : hosts != nullptr ? hosts->snapshot(path)
                                    : std::string(file.name + ": a location is not read here");
    if (const std::string *why = std::get_if<std::string>(&taken))
        return *why;
    file.was = std::move(std::get<Snapshot>(taken));
    if (!file.was.exists && (!create || isLocation(path)))
        return file.name + " does not exist" +
               (isLocation(path) ? " on its host, where nothing here makes a file" : "") +
               "; nothing is written";
    std::error_code error;
    const auto permissions = std::filesystem::status(file.was.target, error).permissions();
    if (file.was.exists && !isLocation(path) && !error &&
        (permissions & std::filesystem::perms::owner_write) == std::filesystem::perms::none)
        return file.name + " is read-only; nothing is written";
    return refusedText(file.name, file.was.bytes);
}

// Nothing to write, and why: refused, or already so.
Saved saidOnly(Status status, std::string said) {
    Saved saved;
    saved.status = status;
    saved.said = std::move(said);
    return saved;
}

// Why a setting inside an archive is not edited, and what the admin can do.
std::string inArchive(const Tree &tree, const Setting &in) {
    return std::string(in.variable.name) + ' ' + zelvar::quoted(in.value) + " is set in " +
           zelvar::quoted(tree.names.at(std::size_t(in.file))) + " line " +
           std::to_string(in.line) +
           ", inside an archive, which nothing here edits; a setting after the exec that runs "
           "it, or a loose " +
           fileNameOf(tree.members.at(std::size_t(in.file))) +
           " where the engine looks first (for ioquake3 beside the archive; for the game's own "
           "engines in a folder looked in before it, or with fs_dirbeforepak 1), takes its "
           "place; nothing is written";
}

using Values = std::array<std::optional<std::string>, kVariableCount>;

// Of each variable, the value of the setting that takes effect in `tree`.
Values valuesOf(const Tree &tree) {
    const auto last = takingEffect(tree.settings);
    Values values;
    for (const Variable &v : variables())
        if (const std::optional<std::size_t> i = last.at(indexOf(v)))
            values.at(indexOf(v)) = tree.settings[*i].value;
    return values;
}

// Whether the configuration, read again with the planned edits as the
// server would run them, ends with `expected`: each value asked for, and
// every other as it was.
bool readsAsPlanned(const std::string &path, const SearchPath &search, const Startup &startup,
                    const Disk &disk, const PlannedSave &plan, const Values &expected) {
    Disk planned = disk;
    planned.read = [&plan, &disk](const std::string &p) {
        for (std::size_t i = 0; i < plan.files.size(); ++i)
            if (plan.shown.files.at(i) == p) {
                std::string text;
                text.reserve(plan.files[i].bytes.size() + 1);  // the read adds a line end
                text = plan.files[i].bytes;
                return FileText{std::move(text), {}};
            }
        return disk.read(p);
    };
    return valuesOf(readTree(path, search, planned, startup)) == expected;
}

}  // namespace

PlannedSave planSave(const std::string &path, std::span<const Change> changes, bool create,
                     const SearchPath &search, const Startup &startup,
                     const std::optional<std::string> &given, Hosts *hosts) {
    PlannedSave plan;
    PlannedSave::File top;
    Disk disk = hosts != nullptr ? hosts->disk() : Disk{};
    if (given) {  // as the file would be read, its execs found on the disk
        top.name = path == "-" ? std::string("standard input") : zelvar::quoted(path);
        top.was.exists = true;
        top.was.bytes = *given;
        disk.read = [&path, &given, read = disk.read](const std::string &p) {
            return p == path ? FileText{*given, {}} : read(p);
        };
    }
    if (const std::optional<std::string> why =
            given ? refusedText(top.name, *given) : snapshot(path, create, top, hosts)) {
        plan.shown = saidOnly(Failed, *why);
        return plan;
    }
    // Which file holds each variable's setting that takes effect.
    Tree tree = top.was.exists ? readTree(path, search, disk, startup) : Tree{};
    // A file it execs that cannot be read may set the same variables later.
    if (const Tree::Note *unread = tree.unread()) {
        plan.shown = saidOnly(Failed, unread->text + "; nothing is written");
        return plan;
    }
    // What the server runs is another file: an edit here would change nothing.
    for (const Tree::Note &note : tree.notes)
        if (note.kind == Tree::Kind::Shadowed || note.kind == Tree::Kind::NotRun) {
            plan.shown = saidOnly(Problem, note.text + "; nothing is written");
            return plan;
        }
    const auto effect = takingEffect(tree.settings);
    std::map<int, std::vector<Change>> byFile;
    for (const Change &change : changes) {
        const std::optional<std::size_t> last = effect.at(indexOf(change.variable));
        // A file it execs may leave a comment open to the end, which the
        // configuration alone does not show: a line added there is read on
        // into whatever the server runs next.
        if (!last && tree.endsInComment) {
            plan.shown = saidOnly(Problem, endsInOpenComment(top.name) + "; nothing is written");
            return plan;
        }
        if (last && tree.commandLine && tree.settings[*last].file == *tree.commandLine) {
            plan.shown =
                saidOnly(Problem, std::string(change.variable.name) + ' ' +
                                      zelvar::quoted(tree.settings[*last].value) +
                                      " is set on the server's command line, which no "
                                      "file overrides; change it there; nothing is written");
            return plan;
        }
        // The setting to edit: the one that takes effect, else the last the start drops.
        const Setting *edited = last ? &tree.settings[*last] : nullptr;
        const auto dropped =
            std::find_if(tree.settings.rbegin(), tree.settings.rend(), [&](const Setting &s) {
                return s.beforeMap && s.variable.name == change.variable.name;
            });
        if (!last && dropped != tree.settings.rend())
            edited = &*dropped;
        if (edited != nullptr && tree.archived(edited->file)) {
            plan.shown = saidOnly(Problem, inArchive(tree, *edited));
            return plan;
        }
        if (last) {
            byFile[tree.settings[*last].file].push_back(change);
            continue;
        }
        // Only bare lines the server drops as it starts: the last becomes a seta.
        Change asked = change;
        asked.asSet = dropped != tree.settings.rend();
        byFile[asked.asSet ? dropped->file : 0].push_back(asked);
    }
    // What each variable must end with once edited: the value asked for, or
    // the one it has. The settings themselves go before the edit reads on.
    Values expected = valuesOf(tree);
    for (const Change &c : changes)
        expected.at(indexOf(c.variable)) = c.value;
    std::vector<Setting>().swap(tree.settings);
    for (auto &[file, asked] : byFile) {
        const std::string &filePath = file == 0 ? path : tree.paths.at(std::size_t(file));
        PlannedSave::File planned;
        if (file == 0)
            planned = std::exchange(top, {});  // file 0 comes once
        else if (const std::optional<std::string> why = snapshot(filePath, false, planned, hosts)) {
            plan.shown = saidOnly(Failed, *why);
            return plan;
        }
        Edit edit = planEdit(planned.was.bytes, planned.name, asked);
        if (edit.refused) {
            plan.shown = saidOnly(Problem, *edit.refused + "; nothing is written");
            return plan;
        }
        if (edit.bytes == planned.was.bytes)
            continue;
        plan.shown.said += unifiedDiff(filePath, planned.was.bytes, edit.bytes);
        std::string().swap(planned.was.bytes);  // its digest tells a change on disk
        plan.shown.files.push_back(filePath);
        planned.bytes = std::move(edit.bytes);
        plan.files.push_back(std::move(planned));
    }
    if (plan.files.empty()) {
        plan.shown = saidOnly(Clean, path + ": unchanged");
        return plan;
    }
    if (!readsAsPlanned(path, search, startup, disk, plan, expected)) {
        plan.shown = saidOnly(Problem, "these values would change how the server reads " +
                                           zelvar::quoted(path) +
                                           " and the files it execs; nothing is written");
        plan.files.clear();
        return plan;
    }
    plan.shown.status = Clean;
    plan.shown.changed = true;
    return plan;
}

Saved commitSave(PlannedSave plan, Hosts *hosts) {
    if (!plan.shown.changed)
        return std::move(plan.shown);
    Saved saved = std::move(plan.shown);
    for (const PlannedSave::File &file : plan.files) {
        auto how = !isLocation(file.was.target) ? replaceFile(file.was, file.name, file.bytes)
                   : hosts != nullptr           ? hosts->replace(file.was, file.name, file.bytes)
                                      : std::string(file.name + ": a location is not written here");
        if (auto *why = std::get_if<std::string>(&how)) {
            saved.status = Failed;
            saved.stopped = std::move(*why);
            break;
        }
        saved.written.push_back(std::get<WrittenAs>(how));
    }
    return saved;
}

Saved saveChanges(const std::string &path, std::span<const Change> changes, bool dryRun,
                  bool create, const SearchPath &search, const Startup &startup, Hosts *hosts) {
    PlannedSave plan = planSave(path, changes, create, search, startup, std::nullopt, hosts);
    return dryRun ? std::move(plan.shown) : commitSave(std::move(plan), hosts);
}

}  // namespace zelvar

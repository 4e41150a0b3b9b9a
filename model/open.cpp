#include "open.h"

#include "edit.h"
#include "seen.h"
#include "textfile.h"

#include <algorithm>
#include <array>
#include <optional>

namespace zelvar {

namespace {

// The boxes that make a value: an option counts when its bit is set, and a
// box that counts is in the group's counting state.
std::uint32_t checkedBoxes(const Decoded &d) {
    const SettingGroup &g = settingGroup(d.variable.group);
    std::uint32_t set = 0;
    for (int i : d.options)
        set |= std::uint32_t{1} << i;
    const std::uint32_t all = (std::uint32_t{1} << g.options.size()) - 1;
    return g.counts == Counts::Checked ? set : ~set & all;
}

std::string described(const Setting &s) {
    return std::string(s.variable.name) + ' ' + quoted(s.value);
}

}  // namespace

void Opener::openText(std::string_view name, std::string_view text) {
    notFromFiles_ = true;
    // Lines copied from a console's print stand for the settings they show.
    std::string console;
    bool printedAny = false;
    for (std::string_view rest = text; !rest.empty();) {
        const std::size_t end = std::min(rest.find('\n'), rest.size() - 1) + 1;
        const std::string_view line = rest.substr(0, end);
        const std::optional<std::string> setting = rcon::printedSetting(line);
        printedAny = printedAny || setting;
        console += setting ? *setting + '\n' : std::string(line);
        rest.remove_prefix(end);
    }
    const std::string_view read = printedAny ? std::string_view(console) : text;
    if (std::optional<std::string> refused = refusedText(name, read)) {
        leftOut_.push_back(std::move(*refused));
        return;
    }
    std::vector<Setting> settings = ConfigReader().read(read);
    if (settings.empty())
        leftOut_.push_back(noSettingIn(name));
    for (Setting &s : settings) {
        std::string where = std::string(name) + " line " + std::to_string(s.line);
        found_.push_back({std::move(s), std::move(where)});
    }
}

// With the files it execs, as the server runs them.
void Opener::openFile(const std::string &path) { openFile(path, readTree(path, {}, disk_)); }

void Opener::openFile(const std::string &path, Tree tree) {
    if (tree.error) {  // a file that could not be read is no place to save into
        leftOut_.push_back(*tree.error);
        return;
    }
    files_.push_back(path);
    if (tree.settings.empty() && tree.notes.empty())
        leftOut_.push_back(noSettingIn(quoted(path)));
    auto note = tree.notes.begin();
    for (std::size_t i = 0; i <= tree.settings.size(); ++i) {
        for (; note != tree.notes.end() && note->before == i; ++note)
            if (note->kind != Tree::Kind::FirstMap)  // the way a server starts, not news
                leftOut_.push_back(quoted(path) + ": " + note->text);
        if (i == tree.settings.size())
            break;
        Setting &s = tree.settings[i];
        std::string where = quoted(tree.names.at(static_cast<std::size_t>(s.file))) + " line " +
                            std::to_string(s.line);
        found_.push_back({std::move(s), std::move(where)});
    }
}

void Opener::openArguments(std::span<const std::string> arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::optional<std::string> printed = rcon::printedSetting(arguments[i]);
        const LineWords words = splitLine(printed ? *printed : arguments[i]);
        const std::optional<Variable> variable = findVariable(words.name);
        if (!variable) {
            openFile(arguments[i]);
            continue;
        }
        Setting s;
        s.written = words.name;
        s.variable = *variable;
        s.hasValue = !words.oneWord || i + 1 < arguments.size();
        s.value = !words.oneWord ? words.value : s.hasValue ? arguments[++i] : std::string_view();
        notFromFiles_ = true;
        found_.push_back({std::move(s), "argument " + std::to_string(++arguments_)});
    }
}

void Opener::openServer(const std::string &server,
                        const std::array<std::optional<rcon::Held>, kVariableCount> &held,
                        const std::string &named) {
    servers_.push_back(server);
    const std::string &shown = named.empty() ? server : named;
    for (const Variable &v : variables()) {
        const std::optional<rcon::Held> &h = held.at(indexOf(v));
        if (!h) {
            leftOut_.push_back(shown + ": " + std::string(v.name) + ": absent on the server");
            continue;
        }
        Setting s;
        s.written = v.name;
        s.variable = v;
        s.hasValue = true;
        s.value = h->value;
        found_.push_back({std::move(s), shown});
    }
}

Opening Opener::finish() {
    // The setting of each variable that takes effect, read as the server
    // reads it; the others never apply, and one without a value is said so.
    // Of the admin ones that can open, the last does.
    TakesEffect effect;
    std::vector<std::optional<Reading>> readings(found_.size());
    for (std::size_t i = 0; i < found_.size(); ++i) {
        const Setting &s = found_[i].setting;
        effect.take(s, i);
        if (s.applied && !s.hasValue)
            readings[i] = readSetting(s.variable, s.value, false);
    }
    std::optional<std::size_t> admin;
    for (const std::optional<std::size_t> &i : effect.last()) {
        if (!i)
            continue;
        const Setting &s = found_[*i].setting;
        readings[*i] = readSetting(s.variable, s.value, s.hasValue);
        if (!hasProblems(*readings[*i]) && !s.swallow && s.variable.group == Group::Admin &&
            (!admin || *admin < *i))
            admin = *i;
    }

    Opening opening;
    opening.leftOut = std::move(leftOut_);
    if (files_.size() == 1 && servers_.empty() && !notFromFiles_)
        opening.file = files_.front();
    if (servers_.size() == 1 && files_.empty() && !notFromFiles_)
        opening.server = servers_.front();
    opening.retargets = !files_.empty() || !servers_.empty();
    files_.clear();
    servers_.clear();
    notFromFiles_ = false;
    for (std::size_t i = 0; i < found_.size(); ++i) {
        const Found &f = found_[i];
        const Setting &s = f.setting;
        if (!s.applied) {
            opening.settingsLeftOut = true;
            opening.leftOut.push_back(
                withoutSecrets(f.where + ": " + described(s) + ": " +
                               (s.beforeMap ? ignoredAtStart(s) : notApplied(*s.swallow))));
        }
        if (!readings[i])
            continue;
        const Reading &reading = *readings[i];
        std::string why = s.swallow ? readOnInto(*s.swallow) : "";
        for (const std::string &problem : problems(reading))
            why += (why.empty() ? "" : "; ") + problem;
        if (!why.empty()) {  // a value a comment runs on into a password's setting: hidden
            opening.settingsLeftOut = true;
            opening.leftOut.push_back(withoutSecrets(f.where + ": " + described(s) + ": " + why));
            continue;
        }
        if (s.variable.group == Group::Admin) {
            opening.ranks.at(static_cast<std::size_t>(s.variable.rank)) =
                checkedBoxes(reading.decoded);
            if (admin != i)
                continue;  // the boxes show the last; the others wait for their rank
        }
        opening.groups.push_back(
            {s.variable.group, checkedBoxes(reading.decoded), s.variable.rank});
    }
    found_.clear();
    return opening;
}

std::string rankNotSet(Rank rank, std::string_view where) {
    const Variable &v = *std::find_if(variables().begin(), variables().end(), [rank](auto &v) {
        return v.group == Group::Admin && v.rank == rank;
    });
    return std::string(v.name) + " is not set " + std::string(where) + ".";
}

std::string Opening::details() const {
    std::string all;
    for (const std::string &line : leftOut)
        (all += all.empty() ? "" : "\n") += line;
    return all;
}

}  // namespace zelvar

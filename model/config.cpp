#include "config.h"

#include "command.h"
#include "seen.h"
#include "textfile.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace zelvar {

namespace {

// Whether one of the calculator's names, an "exec", a "vstr", a map's
// loading or a "/*" comment, may start at `p`: "g_" and a 'w' or an 'f',
// "zv_", "exe", "vst" or "map", in any case, or "/*". Free of
// branches, so that a loop of these over a block of text becomes vector
// instructions. It may say yes where there is neither: the caller looks.
constexpr unsigned char mayStartName(const char *p) {
    // Folded so: letters to lower case, and '_' to 0x7F, as DEL is.
    const auto a = static_cast<unsigned char>(p[0] | 0x20);
    const auto b = static_cast<unsigned char>(p[1] | 0x20);
    const auto c = static_cast<unsigned char>(p[2] | 0x20);
    return ((a == 'g') & (b == 0x7F) & ((c == 'w') | (c == 'f'))) |
           ((a == 'z') & (b == 'v') & (c == 0x7F)) | ((a == 'e') & (b == 'x') & (c == 'e')) |
           ((a == 'v') & (b == 's') & (c == 't')) | ((a == 'm') & (b == 'a') & (c == 'p')) |
           ((a == '/') & (b == '*'));
}

constexpr std::size_t kShortestName = [] {
    std::size_t shortest = std::string_view::npos;
    for (const SettingGroup &g : kCatalogue)
        for (std::string_view v : g.variables)
            shortest = std::min(shortest, v.size() - 1);  // less the blank the line puts after it
    return shortest;
}();

static_assert(std::all_of(kCatalogue.begin(), kCatalogue.end(),
                          [](const SettingGroup &g) {
                              return std::all_of(
                                  g.variables.begin(), g.variables.end(),
                                  [](std::string_view v) { return mayStartName(v.data()) != 0; });
                          }),
              "the search passes over a name of the calculator's");

struct Found {
    std::size_t at;  // npos when no name starts at or after `from`
    int lineEnds;    // passed on the way
};

// Where the next name of the calculator's may start, from `from` on, and how
// many lines end before it. Blocks of 64 bytes are tested and counted whole,
// in vector instructions, as almost none holds a name; only a block that may
// is looked at byte by byte.
Found nextName(std::string_view text, std::size_t from) {
    constexpr std::size_t kBlock = 64;  // fewer than 256 line ends: a byte counts them
    const char *p = text.data();
    int ends = 0;
    std::size_t i = from;
    for (; i + kBlock + 2 <= text.size(); i += kBlock) {  // mayStartName reads two bytes on
        unsigned char places = 0;  // summed, not or-ed: a sum is the cheaper of the two to end
        unsigned char inBlock = 0;
        for (std::size_t k = 0; k < kBlock; ++k) {
            places = static_cast<unsigned char>(places + mayStartName(p + i + k));
            inBlock = static_cast<unsigned char>(inBlock + (p[i + k] == '\n' ? 1 : 0));
        }
        if (places != 0)
            break;
        ends += inBlock;
    }
    for (; i < text.size(); ++i) {
        if ((i + std::min(kShortestName, std::size_t{4}) <= text.size() &&  // or "exec"
             mayStartName(p + i) != 0) ||
            startsAt(text, i, "/*"))
            return {i, ends};
        ends += p[i] == '\n' ? 1 : 0;
    }
    return {std::string_view::npos, ends};
}

// Whether a name of the calculator's, or a command that runs more text or
// loads a map ("map" ends "devmap", "spmap" and "spdevmap" too), is spelled at `at`.
bool spellsVariable(std::string_view text, std::size_t at) {
    if (sameIgnoringCase(text.substr(at, 4), "exec") ||
        sameIgnoringCase(text.substr(at, 4), "vstr") || sameIgnoringCase(text.substr(at, 3), "map"))
        return true;
    return std::any_of(variables().begin(), variables().end(), [&](const Variable &v) {
        return sameIgnoringCase(text.substr(at, v.name.size()), v.name);
    });
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

std::uint64_t ConfigReader::hashOf(std::string_view word) { return digestOf(word); }

ConfigReader::Words ConfigReader::wordsOf(std::span<const std::string_view> words) {
    Words w{words.size(), words.empty() ? 0 : hashOf(words.back())};
    for (std::size_t i = 0; i + 1 < words.size(); ++i)
        w.head = w.head * 0x9E3779B97F4A7C15U ^ hashOf(words[i]);
    return w;
}

std::uint64_t ConfigReader::addedBy(std::size_t index, const Words &words) {
    // splitmix64's finish, over the command's place and its words.
    std::uint64_t x = words.head ^ (words.last * 0xBF58476D1CE4E5B9U) ^
                      (static_cast<std::uint64_t>(index) * 0x9E3779B97F4A7C15U);
    x = (x ^ (x >> 30U)) * 0xBF58476D1CE4E5B9U;
    x = (x ^ (x >> 27U)) * 0x94D049BB133111EBU;
    return x ^ (x >> 31U);
}

std::vector<Setting> ConfigReader::read(std::string_view text,
                                        std::span<const std::size_t> restarts, bool fileStart) {
    std::string ended;
    ended.reserve(text.size() + 1);
    (ended = text) += '\n';  // as the console adds to a file it runs
    return readEnded(ended, restarts, fileStart);
}

std::vector<Setting> ConfigReader::readEnded(std::string_view ended,
                                             std::span<const std::size_t> restarts,
                                             bool fileStart) {
    if (fileStart && ended.starts_with(kByteOrderMark)) {
        ended.remove_prefix(kByteOrderMark.size());
        textAt_ = kByteOrderMark.size();
    }
    std::vector<std::size_t> within;  // in the text read, past the mark
    for (const std::size_t r : restarts)
        if (r >= textAt_)
            within.push_back(r - textAt_);
    // Room for every setting there may be, each at a name spelled: a vector
    // grown by doubling holds up to twice its settings while it moves them.
    std::size_t names = 0;
    for (Found at = nextName(ended, 0); at.at != std::string_view::npos;
         at = nextName(ended, at.at + 1))
        names += spellsVariable(ended, at.at) ? 1 : 0;
    settings_.reserve(names);
    run(ended, within);
    return std::move(settings_);
}

int ConfigReader::lineAt(std::string_view text, std::size_t at) {
    const auto counted = [&](std::size_t a, std::size_t b) {
        return static_cast<int>(std::count(text.begin() + static_cast<std::ptrdiff_t>(a),
                                           text.begin() + static_cast<std::ptrdiff_t>(b), '\n'));
    };
    lineAtLine_ += at >= lineAt_ ? counted(lineAt_, at) : -counted(at, lineAt_);
    lineAt_ = at;
    return lineAtLine_;
}

// Reads the commands of `text`, which ends with a line end. Only lines that
// may set one of the variables, or open a comment, are read command by
// command; the others leave the console as it was and are passed over.
void ConfigReader::run(std::string_view text, std::span<const std::size_t> restarts) {
    std::size_t from = 0;    // where the console's next command starts
    std::size_t search = 0;  // where the next name may stand: past a word that is none
    bool cut = false;        // the last command was cut: the next is read from within its text
    bool underWay = false;   // a command starts at `from`, within a line already begun
    Scan scan;
    std::optional<CommandIndex> index;
    while (from < text.size()) {
        if (!underWay && everyCommand_) {
            scan = {from, 0, false, false};
        } else if (!underWay) {
            const Found next = nextName(text, std::max(from, search));
            lineAtLine_ = lineAt(text, std::max(from, search)) + next.lineEnds;
            lineAt_ = next.at == std::string_view::npos ? text.size() : next.at;
            if (next.at == std::string_view::npos)
                break;
            cut = false;
            if (!spellsVariable(text, next.at) && !startsAt(text, next.at, "/*")) {
                search = next.at + 1;  // the commands still start where they did
                continue;
            }
            // The line's commands, each read whole from its start, as quotes
            // before the name decide where it stands.
            from = std::max(text.rfind('\n', next.at) + 1, from);  // 0 on the first line
            scan = {from, 0, false, false};
        }
        // Where the console ends the command that starts at `from`: it runs
        // a command that holds all it has, and the exec'd text after it.
        while (!restarts.empty() && restarts.front() <= from)
            restarts = restarts.subspan(1);
        const std::size_t held = restarts.empty() ? text.size() : restarts.front();
        const std::optional<std::size_t> end =
            cut && held == text.size() ? (index ? *index : index.emplace(text)).endOf(scan, from)
                                       : scanOn(text.substr(0, held), scan);
        const bool restart = !end && held < text.size();
        const std::size_t to = end.value_or(held);
        endsInComment_ = !end && scan.inBlock;
        cut = to - from >= kLongestCommand;
        const std::size_t execs = execs_.size();
        command(text, from, cut ? from + kLongestCommand : to, !end);
        from = cut ? from + kLongestCommand + 1 : restart ? to : to + 1;
        if (execs_.size() > execs)
            execs_.back() = {std::move(execs_.back().name), textAt_ + from, end && !cut && !restart,
                             execs_.back().vstr};
        if (from >= text.size())
            break;
        scan = {from, 0, (cut || restart) && !end && scan.inBlock, false};
        underWay = restart || scan.inBlock || text[from - 1] != '\n';
    }
}

void ConfigReader::assign(std::string_view text, std::size_t first) {
    const bool set = isSetCommand(words_[0]);
    const std::size_t name = set ? 1 : 0;
    if (words_.size() < name + 2)
        return;
    Assign a{std::string(words_[name]),
             {},
             textAt_ + first,
             textAt_ + static_cast<std::size_t>(words_[name + 1].data() - text.data()),
             words_.size() == name + 2,
             !set};
    for (std::size_t i = name + 1; i < words_.size(); ++i)
        (a.value += i > name + 1 ? " " : "") += words_[i];
    assigns_.push_back(std::move(a));
}

// Adds the setting that the command text[from, to) makes. A command that
// spans lines is one that a comment kept open: what a person reads as
// settings after the comment's first "*/" is reported, as not applied.
void ConfigReader::command(std::string_view text, std::size_t from, std::size_t to, bool toTheEnd) {
    const std::string_view command = text.substr(from, to - from);
    words_.clear();
    splitWords(command, words_);
    Words words;
    if (everyCommand_ && !words_.empty()) {
        words = wordsOf(words_);
        commands_.sum += addedBy(commands_.count++, words);
    }
    // The console runs an exec'd file's text right after this command; with
    // any other number of words, exec only says how it is used.
    const bool vstr = words_.size() == 2 && sameIgnoringCase(words_[0], "vstr");
    if (vstr || (words_.size() == 2 && sameIgnoringCase(words_[0], "exec")))
        execs_.push_back({std::string(words_[1]), 0, false, vstr});  // the place: the caller's
    std::optional<Setting> applied = settingOf(words_);
    const std::size_t first = words_.empty() ? 0 : words_[0].data() - text.data();
    if (startsMap(words_)) {
        Map map{textAt_ + first, {}};
        for (const std::string_view w : words_)
            (map.command += map.command.empty() ? "" : " ") += w;
        maps_.push_back(std::move(map));
    }
    if (!applied && words_.size() >= 2)
        assign(text, first);
    if (applied) {
        applied->at = textAt_ + first;
        applied->command = commands_.count == 0 ? 0 : commands_.count - 1;
        applied->commandHead = words.head;
        applied->commandLast = words.last;
        applied->line = lineAt(text, first);
        const std::string_view value = words_.back();
        applied->valueAt = textAt_ + static_cast<std::size_t>(value.data() - text.data());
        applied->valueSize = value.size();
    }
    if (std::none_of(command.begin(), command.end(), isLineEnd)) {
        if (applied)
            settings_.push_back(std::move(*applied));
        return;
    }
    std::vector<Setting> seen;
    bool changed = false;
    personsCommands(command, [&](std::size_t a, std::size_t b) {
        words_.clear();
        splitWords(command.substr(a, b - a), words_);
        if (words_.empty())
            return;
        std::optional<Setting> s = settingOf(words_);
        const std::size_t at = words_[0].data() - text.data();
        if (applied && at == first) {
            // A bare name alone sets nothing for a person: its value is the server's alone.
            changed = !s || s->value != applied->value;
            return;
        }
        if (!s)
            return;
        s->line = lineAt(text, at);
        s->at = textAt_ + at;
        s->applied = false;
        seen.push_back(std::move(*s));
    });
    if (!seen.empty() || changed) {
        const std::size_t opens = command.find("/*");
        Swallow swallow{lineAt(text, opens == std::string_view::npos ? from : from + opens),
                        std::nullopt};
        if (!toTheEnd)
            swallow.endLine = lineAt(text, to);
        for (Setting &s : seen)
            s.swallow = swallow;
        if (applied && changed)
            applied->swallow = swallow;
    }
    if (applied)
        settings_.push_back(std::move(*applied));
    std::move(seen.begin(), seen.end(), std::back_inserter(settings_));
}

}  // namespace zelvar

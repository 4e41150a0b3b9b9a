#include "edit.h"

#include "seen.h"

#include <algorithm>
#include <array>

namespace zelvar {

namespace {

// The value each of the nine variables ends with, as the server applies the
// text's settings in order; none for a variable the text does not set.
struct Outcome {
    std::array<std::optional<std::string>, kVariableCount> values;
    std::array<const Setting *, kVariableCount> last{};  // the setting that gives each
};

Outcome outcomeOf(const std::vector<Setting> &settings) {
    const auto last = takingEffect(settings);
    Outcome o;
    for (std::size_t v = 0; v < kVariableCount; ++v)
        if (const std::optional<std::size_t> i = last.at(v)) {
            o.values.at(v) = settings[*i].value;
            o.last.at(v) = &settings[*i];
        }
    return o;
}

using Commands = ConfigReader::Commands;

// The settings, and with `commands` every command's words. The line end the
// console adds goes on `text` for the read alone: a large text is not copied.
std::vector<Setting> settingsOf(std::string &text, bool *endsInComment = nullptr,
                                Commands *commands = nullptr) {
    ConfigReader reader(commands != nullptr);
    text += '\n';
    std::vector<Setting> settings = reader.readEnded(text);
    text.pop_back();
    if (endsInComment != nullptr)
        *endsInComment = reader.endsInComment();
    if (commands != nullptr)
        *commands = reader.commands();
    return settings;
}

// The file's own line ending: its last line's, LF for a file without one.
std::string_view lineEndingOf(std::string_view text) {
    const std::size_t lf = text.rfind('\n');
    return lf != std::string_view::npos && lf > 0 && text[lf - 1] == '\r' ? "\r\n" : "\n";
}

std::string where(std::string_view name, const Setting &s) {
    return std::string(name) + " line " + std::to_string(s.line) + ": " +
           std::string(s.variable.name) + ' ' + quoted(s.value);
}

// One step: the variable's setting that takes effect, or a new line.
std::optional<std::string> apply(std::string &bytes, std::string_view name, const Change &change) {
    bool openComment = false;
    Commands commands;
    std::vector<Setting> settings = settingsOf(bytes, &openComment, &commands);
    const Outcome before = outcomeOf(settings);
    const std::size_t v = indexOf(change.variable);
    // The one setting an edit needs; the others go before the text is read
    // again, so that a large file's settings are held once at a time.
    const std::optional<Setting> kept =
        before.last.at(v) != nullptr ? std::optional(*before.last.at(v)) : std::nullopt;
    const Setting *last = kept ? &*kept : nullptr;
    std::vector<Setting>().swap(settings);
    if (last != nullptr && last->swallow)
        return where(name, *last) + ": " + readOnInto(*last->swallow);
    // The whole command rewritten: its name, as the file spells it, made by seta.
    const bool asSet = change.asSet && last != nullptr && last->bare;
    if (last != nullptr && last->valueWords != 1 && !asSet)
        return where(name, *last) + ": the server takes this value from " +
               std::to_string(last->valueWords) + " words, which one value cannot replace cleanly";
    const std::string openEnd = endsInOpenComment(name);
    if (last == nullptr && openComment)
        return openEnd;
    // In place: a refusal below leaves `bytes` to be let go, as planEdit does.
    std::string &after = bytes;
    const std::string asSetLine =
        asSet ? "seta " + last->written + " \"" + change.value + '"' : std::string();
    if (asSet) {
        std::size_t end = last->valueAt + last->valueSize;
        end += end < after.size() && after[end] == '"' ? 1 : 0;
        after.replace(last->at, end - last->at, asSetLine);
    } else if (last != nullptr) {
        after.replace(last->valueAt, last->valueSize, change.value);
    } else {
        const std::string end(lineEndingOf(after));
        if (!after.empty() && after.back() != '\n' && after.back() != '\r')
            after += end;
        after += "seta " + std::string(change.variable.name) + " \"" + change.value + '"';
        after += end;
    }
    // Every command as the console reads it, not only the calculator's: all
    // as they were, but the one value, or the one line added.
    if (last != nullptr) {
        const std::uint64_t head = last->commandHead;
        const std::array<std::string_view, 3> set{"seta", last->written, change.value};
        commands.sum += ConfigReader::addedBy(
                            last->command,
                            asSet ? ConfigReader::wordsOf(set)
                                  : ConfigReader::Words{head, ConfigReader::hashOf(change.value)}) -
                        ConfigReader::addedBy(last->command, {head, last->commandLast});
    } else {
        const std::array<std::string_view, 3> added{"seta", change.variable.name, change.value};
        commands.sum += ConfigReader::addedBy(commands.count++, ConfigReader::wordsOf(added));
    }
    Outcome expected = before;
    expected.values.at(v) = change.value;
    Commands commandsAfter;
    if (outcomeOf(settingsOf(after, nullptr, &commandsAfter)).values != expected.values ||
        commandsAfter != commands)
        return last != nullptr ? where(name, *last) +
                                     ": a new value here would change how the server reads the file"
                               : openEnd;
    return std::nullopt;
}

// A text's lines, each with its line end, reached in order: a diff of a
// large file needs no list of its millions of lines.
class Lines {
public:
    explicit Lines(std::string_view text)
        : text_(text), size_(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) +
                             (text.empty() || text.back() == '\n' ? 0 : 1)) {}
    std::size_t size() const { return size_; }
    // The `i`th line, from 0; `i` never below the one asked before.
    std::string_view at(std::size_t i) {
        for (; index_ < i; ++index_)
            at_ += line().size();
        return line();
    }

private:
    std::string_view line() const {
        const std::size_t end = text_.find('\n', at_);
        return text_.substr(at_, end == std::string_view::npos ? end : end + 1 - at_);
    }
    std::string_view text_;
    std::size_t size_;
    std::size_t at_ = 0;
    std::size_t index_ = 0;
};

// A word that may end another's value: a blank, a ';' or a quote.
bool endsWord(char c) { return isBlank(c) || c == ';' || c == '"'; }

// A variable's name, not the word in prose: something stands before it.
bool secretName(std::string_view word) {
    constexpr std::string_view kSecret = "password";
    return word.size() > kSecret.size() &&
           sameIgnoringCase(word.substr(word.size() - kSecret.size()), kSecret);
}

}  // namespace

bool mayHoldSecret(std::string_view text) {
    constexpr std::string_view kPart = "assword";  // the P in either case
    return std::search(text.begin(), text.end(), kPart.begin(), kPart.end(),
                       [](char a, char b) { return (a | 0x20) == b; }) != text.end();
}

std::string withoutSecrets(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    // A comment later on the line of a password's setting, after other
    // commands: hidden too, as it may hold the password or an old one.
    std::size_t comment = std::string_view::npos;
    for (std::size_t i = 0; i < text.size();) {
        if (i == comment) {
            out += "// ";
            out += kSensitive;
            while (i < text.size() && !isLineEnd(text[i]))
                ++i;
            comment = std::string_view::npos;
            continue;
        }
        if (endsWord(text[i])) {
            out += text[i++];
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !endsWord(text[end]) && end != comment)
            ++end;
        out += text.substr(i, end - i);
        if (!secretName(text.substr(i, end - i))) {
            i = end;
            continue;
        }
        // The value runs to the command's end: a line end, or a ';' outside
        // quotes; a comment after it is hidden too, as it may hold an old one.
        while (end < text.size() && text[end] == ' ')
            out += text[end++];
        std::size_t to = end;
        for (unsigned quotes = 0;
             to < text.size() && !isLineEnd(text[to]) && !(text[to] == ';' && quotes % 2 == 0);
             ++to)
            quotes += text[to] == '"' ? 1 : 0;
        if (to > end)
            out += kSensitive;
        i = to;
        if (comment == std::string_view::npos)
            for (unsigned quotes = 0; to + 1 < text.size() && !isLineEnd(text[to]); ++to) {
                quotes += text[to] == '"' ? 1 : 0;
                if (quotes % 2 == 0 && text[to] == '/' && text[to + 1] == '/') {
                    comment = to;
                    break;
                }
            }
    }
    return out;
}

namespace {

void diffLine(std::string &out, char mark, std::string_view raw) {
    out += mark;
    const std::string line = withoutSecrets(raw);
    const bool ended = line.ends_with('\n');
    for (const char c :
         ended ? std::string_view(line).substr(0, line.size() - 1) : std::string_view(line))
        out += c == '\r' ? std::string_view("^M") : std::string_view(&c, 1);
    out += ended ? "\n" : "\n\\ No newline at end of file\n";
}

// "start,count" of a hunk; an empty side names the line before it.
std::string range(std::size_t from, std::size_t count) {
    return std::to_string(count == 0 ? from : from + 1) +
           (count == 1 ? "" : ',' + std::to_string(count));
}

}  // namespace

std::optional<std::string> refusedValue(const Variable &variable, std::string_view value) {
    const Reading r = readSetting(variable, value, true);
    const std::vector<std::string> all = problems(r);
    std::string why;
    for (const std::string &problem : all)
        why += (why.empty() ? "" : "; ") + problem;
    if (why.empty() && (value.empty() || !std::all_of(value.begin(), value.end(),
                                                      [](char c) { return c >= '0' && c <= '9'; })))
        why = quoted(value) + " is not a plain decimal number";
    if (why.empty())
        return std::nullopt;
    return std::string(variable.name) + ' ' + quoted(value) + ": " + why;
}

std::optional<Change> lineChange(std::string_view line) {
    const LineWords words = splitLine(line);
    const std::optional<Variable> variable = findVariable(words.name);
    if (!variable || words.oneWord)
        return std::nullopt;
    return Change{*variable, std::string(words.value)};
}

std::string endsInOpenComment(std::string_view name) {
    return std::string(name) +
           " ends inside a comment that the server keeps open, where a line added at the end "
           "would not apply as written";
}

Edit planEdit(std::string_view original, std::string_view name, std::span<const Change> changes) {
    // Room for every value and line added, and the line end a read adds:
    // the text is edited in place, never copied on growing.
    std::size_t room = original.size() + 1;
    for (const Change &c : changes)
        room += c.value.size() + c.variable.name.size() + 16;
    Edit edit;
    edit.bytes.reserve(room);
    edit.bytes = original;
    for (const Change &change : changes)
        if ((edit.refused = apply(edit.bytes, name, change)))
            return {std::string(original), edit.refused};
    return edit;
}

// Old and new lines pair one for one but at the end, where lines are added:
// a value changes within its line, and a line end only where the last line
// had none.
std::string unifiedDiff(std::string_view path, std::string_view before, std::string_view after) {
    Lines a(before);
    Lines b(after);
    std::vector<std::size_t> changed;  // line indices, in `b`
    for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i)
        if (i >= a.size() || i >= b.size() || a.at(i) != b.at(i))
            changed.push_back(i);
    if (changed.empty())
        return {};
    a = Lines(before);  // walked again, from the first hunk on
    b = Lines(after);
    constexpr std::size_t kContext = 3;
    // An absolute path as git writes it: "a/tmp/x", not "a//tmp/x".
    std::string under(path);
    if (!under.starts_with('/'))
        under.insert(0, 1, '/');
    std::string out = "--- " + (before.empty() ? std::string("/dev/null") : "a" + under) +
                      "\n+++ b" + under + '\n';
    for (std::size_t k = 0; k < changed.size();) {
        const std::size_t from = changed[k] > kContext ? changed[k] - kContext : 0;
        std::size_t last = changed[k];
        while (k + 1 < changed.size() && changed[k + 1] <= last + 2 * kContext + 1)
            last = changed[++k];
        ++k;
        const std::size_t to = std::min(last + kContext + 1, std::max(a.size(), b.size()));
        const std::size_t aTo = std::min(to, a.size());
        const std::size_t bTo = std::min(to, b.size());
        out += "@@ -" + range(from, aTo > from ? aTo - from : 0) + " +" +
               range(from, bTo > from ? bTo - from : 0) + " @@\n";
        for (std::size_t i = from; i < to; ++i) {
            const std::string_view was = i < a.size() ? a.at(i) : std::string_view();
            const std::string_view now = i < b.size() ? b.at(i) : std::string_view();
            if (i < a.size() && i < b.size() && was == now) {
                diffLine(out, ' ', was);
                continue;
            }
            if (i < a.size())
                diffLine(out, '-', was);
            if (i < b.size())
                diffLine(out, '+', now);
        }
    }
    return out;
}

}  // namespace zelvar

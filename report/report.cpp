#include "report.h"

#include "edit.h"
#include "seen.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <ostream>

namespace zelvar::report {

void Text::spill(std::ostream &out, std::size_t enough) {
    if (s.size() >= enough) {
        out << s;
        s.clear();
    }
}

namespace {

// A value shown with any password in it hidden: a comment the server keeps
// open can run a value on into the setting of one.
std::string_view shownValue(std::string_view text, std::string &scratch) {
    return mayHoldSecret(text) ? scratch = withoutSecrets(text) : text;
}

}  // namespace

SettingReport reportOn(const Variable &variable, std::string_view written, std::string_view text,
                       bool hasValue, const Setting *read) {
    const Reading reading = readSetting(variable, text, hasValue);
    const Decoded &d = reading.decoded;
    SettingReport r;
    r.variable = variable;
    r.written = written;
    r.text = text;
    r.hasValue = hasValue;
    if (d.value > -kBeyondAnyTotal && d.value < kBeyondAnyTotal)
        r.value = d.value;
    r.options = d.options;
    r.unknownBits = d.unknownBits;
    if (hasValue && writable(d))
        r.calculator = SettingReport::Calculator{d.selectRank, d.toChange};
    if (read != nullptr) {
        r.applied = read->applied;
        r.ignoredAtStart = read->beforeMap;
        r.swallow = read->swallow;
        r.firstWordOnly = read->firstWordOnly;
        if (read->beforeMap)
            r.problems.push_back(ignoredAtStart(*read));
        if (read->swallow)  // one ignored at start is the server's reading, dropped
            r.problems.push_back(read->applied || read->beforeMap ? readOnInto(*read->swallow)
                                                                  : notApplied(*read->swallow));
    }
    if (hasProblems(reading)) {
        // Said of the value with any password in it hidden; read the same.
        std::string scratch;
        const std::string_view shown = shownValue(text, scratch);
        for (std::string &problem :
             problems(shown == text ? reading : readSetting(variable, shown, hasValue)))
            r.problems.push_back(std::move(problem));
    }
    return r;
}

void column(Text &out, std::string_view text, std::size_t width) {
    out.s.append(width - std::min(width, text.size()), ' ');
    out.s += text;
}

void optionRow(Text &out, const Option &o, std::optional<int> index) {
    const std::string_view value = o.valueText.substr(o.valueText.find_first_not_of(' '));
    if (index)
        column(out << "    ", std::to_string(*index), 2);
    column(out << (index ? "  bit " : "    bit "), std::to_string(bitNumber(o)), 2);
    column(out << "  ", value, 10);
    out << "  " << o.caption << '\n';
}

std::string_view counted(const SettingGroup &g) {
    return g.counts == Counts::Checked ? "checked" : "unchecked";
}

std::vector<std::string_view> variableNames(const SettingGroup *only) {
    std::vector<std::string_view> names;
    for (const Variable &v : variables())
        if (only == nullptr || only->group == v.group)
            names.push_back(v.name);
    return names;
}

void Reports::add(const SettingReport &report) {
    renderer_->add(report);
    any_ = true;
    if (!report.problems.empty())
        status_ = worst(status_, Problem);
}

void Reports::note(const std::string &text, Status weight) {
    renderer_->note(text);
    status_ = worst(status_, weight);
}

Status Reports::finish(Missing why, const std::vector<std::string_view> &missing) {
    renderer_->finish(why, missing);
    return status_;
}

namespace {

// Printable ASCII: what reaches a terminal as it is.
bool printable(char c) { return c >= 0x20 && c < 0x7F; }

void shown(Text &out, std::string_view text) { appendQuoted(out.s, text); }

std::string_view captionOf(const SettingGroup &g, int index) {
    return g.options[static_cast<std::size_t>(index)].caption;
}

std::string_view rankCaption(const Variable &v) {
    return kRankCaptions[static_cast<std::size_t>(v.rank)];
}

class TextRenderer final : public Renderer {
public:
    TextRenderer(std::ostream &out, const std::string *server) : out_(out) {
        if (server != nullptr)
            text_ << "server " << *server << '\n';
    }

    void hidden(const HiddenReport &r) override {
        text_ << "comment on line " << r.swallow.line << ", which the server ends at "
              << (r.swallow.endLine ? "line " + std::to_string(*r.swallow.endLine)
                                    : "the end of the file")
              << "\n  problem: " << swallowed(r.swallow) << '\n';
        for (const Setting *s : r.hidden) {
            std::string scratch;
            shown(text_ << "  not applied: line " << s->line << ": " << s->written << ' ',
                  shownValue(s->value, scratch));
            text_ << '\n';
        }
    }

    void add(const SettingReport &r) override {
        if (!r.applied && !r.ignoredAtStart)
            return;  // said with the comment that hides it
        const SettingGroup &g = r.group();
        if (!r.line && r.file == kCommandLine)
            text_ << kCommandLine << ": ";
        else if (!r.file.empty())
            shown(text_, r.file), text_ << ' ';
        std::string scratch;
        const std::string_view text = shownValue(r.text, scratch);
        if (r.line) {
            shown(text_ << "line " << *r.line << ": " << r.written << ' ', text);
        } else if (std::all_of(text.begin(), text.end(), printable)) {
            // An argument is shown as typed unless it would reach the terminal as control codes.
            text_ << r.variable.name << ' ' << text;
        } else {
            shown(text_ << r.variable.name << ' ', text);
        }
        text_ << "\n  " << g.name << ", a " << widthBits(g.width) << "-bit total of the "
              << counted(g) << " boxes\n";
        if (r.hasValue)
            value(r);
        for (const std::string &problem : r.problems)
            text_ << "  problem: " << problem << '\n';
        if (r.firstWordOnly)
            text_ << "  note: " << firstWordOnlyNote(*r.firstWordOnly) << '\n';
        if (r.overrides)
            place(text_ << "  note: overrides ", r.overridesFile, *r.overrides);
        if (r.overriddenBy)
            place(text_ << "  note: overridden by ", r.overriddenByFile, *r.overriddenBy);
        if (r.latched)
            shown(text_ << "  note: takes effect at the next map: ", *r.latched), text_ << '\n';
        text_.spill(out_);
    }

    void note(const std::string &text) override {
        text_ << text << '\n';
        text_.spill(out_);
    }

    void reading(std::string_view /*key*/, std::string_view said) override {
        text_ << "read " << said << '\n';
    }

    void finish(Missing why, const std::vector<std::string_view> &missing) override {
        for (std::string_view name : missing)
            text_ << name << ": " << (why == Missing::Absent ? "absent" : "not published") << '\n';
        text_.spill(out_, 0);
    }

private:
    // Line 0: the command line's, which has none.
    void place(Text &out, std::string_view file, int line) {
        if (line == 0) {
            out << file << '\n';
            return;
        }
        if (!file.empty())
            shown(out, file), out << ' ';
        out << "line " << line << '\n';
    }

    // What the value sets and how the calculator makes it.
    void value(const SettingReport &r) {
        const SettingGroup &g = r.group();
        text_ << "  value ";
        if (r.value)
            text_ << *r.value;
        else
            text_ << "too large for any total";
        if (r.options.empty())
            text_ << ": no option set\n";
        else
            text_ << ": " << r.options.size() << " of " << g.options.size()
                  << (g.counts == Counts::Unchecked ? " disabled\n" : " options set\n");
        for (int i : r.options)
            optionRow(text_, g.options[static_cast<std::size_t>(i)], std::nullopt);
        if (!r.calculator) {
            text_ << "  in the calculator: no boxes make this value\n";
            return;
        }
        text_ << "  in the calculator: press \"" << g.caption << '"';
        if (r.calculator->selectRank)
            text_ << ", select \"" << rankCaption(r.variable) << '"';
        if (r.calculator->toChange.empty()) {
            text_ << ", leave every box as it starts\n";
        } else {
            joined(text_ << ", " << (g.defaultChecked ? "uncheck " : "check "),
                   r.calculator->toChange, [&g](int i) { return captionOf(g, i); });
            text_ << '\n';
        }
    }

    std::ostream &out_;
    Text text_;
};

// JSON through nlohmann's writer, keys in the order they are set. Text from a
// file or an argument reaches it as it is: valid UTF-8 keeps its characters,
// and a byte that is not UTF-8 becomes U+FFFD rather than another character.
using Json = nlohmann::ordered_json;

std::string dumped(const Json &json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

template <class T> Json orNull(const std::optional<T> &value) {
    return value ? Json(*value) : Json(nullptr);
}

Json jsonOption(const SettingGroup &g, int index) {
    const Option &o = g.options[static_cast<std::size_t>(index)];
    return {{"index", index},
            {"caption", o.caption},
            {"bit", bitNumber(o)},
            {"value", catalogueValue(o.valueText)}};
}

// A setting's document, written straight into the text: the one a
// configuration of millions of lines holds hundreds of thousands of, where a
// document tree built for each would take several times the text's time.
// Keys in the order the manual gives.
class JsonWriter {
public:
    explicit JsonWriter(Text &out) : out_(out) {}
    JsonWriter &key(std::string_view name) {
        out_ << (first_ ? "" : ",") << '"' << name << "\":";
        first_ = false;
        return *this;
    }
    // Plain printable ASCII as it is; anything else as nlohmann writes it,
    // escaped, a byte that is not UTF-8 as U+FFFD.
    void text(std::string_view s) {
        if (std::all_of(s.begin(), s.end(),
                        [](char c) { return c >= ' ' && c < 0x7F && c != '"' && c != '\\'; }))
            out_ << '"' << s << '"';
        else
            out_ << dumped(Json(s));
    }
    template <class T> void maybe(const std::optional<T> &value) {
        if (!value)
            out_ << "null";
        else if constexpr (std::is_integral_v<T>)
            out_ << *value;
        else
            text(*value);
    }
    void texts(const auto &items) {
        out_ << '[';
        bool first = true;
        for (const auto &item : items) {
            out_ << (first ? "" : ",");
            text(item);
            first = false;
        }
        out_ << ']';
    }
    Text &out() { return out_; }
    void open() {
        out_ << '{';
        first_ = true;
    }
    void close() {
        out_ << '}';
        first_ = false;
    }

private:
    Text &out_;
    bool first_ = true;
};

void writeReport(Text &out, const SettingReport &r) {
    std::string scratch;
    const SettingGroup &g = r.group();
    JsonWriter w(out);
    w.open();
    w.key("file").maybe(r.file.empty() ? std::nullopt : std::optional(r.file));
    w.key("line").maybe(r.line);
    w.key("variable").text(r.variable.name);
    w.key("written").text(r.written);
    w.key("text").text(shownValue(r.text, scratch));
    w.key("value").maybe(r.value);
    w.key("group").text(g.name);
    w.key("width");
    out << widthBits(g.width);
    w.key("options");
    out << '[';
    for (std::size_t k = 0; k < r.options.size(); ++k) {
        const int i = r.options[k];
        const Option &o = g.options[static_cast<std::size_t>(i)];
        out << (k == 0 ? "" : ",") << "{\"index\":" << i << ",\"caption\":";
        w.text(o.caption);
        out << ",\"bit\":" << bitNumber(o) << ",\"value\":" << catalogueValue(o.valueText) << '}';
    }
    out << ']';
    w.key("unknown_bits");
    out << r.unknownBits;
    w.key("calculator");
    if (r.calculator) {
        const std::vector<int> none;
        const std::vector<int> &change = r.calculator->toChange;
        const auto captions = [&g](const std::vector<int> &indices) {
            std::vector<std::string_view> out;
            out.reserve(indices.size());
            for (int i : indices)
                out.push_back(captionOf(g, i));
            return out;
        };
        JsonWriter c(out);
        c.open();
        c.key("panel").text(g.caption);
        c.key("rank").maybe(r.variable.group == Group::Admin
                                ? std::optional<std::string_view>(rankCaption(r.variable))
                                : std::nullopt);
        c.key("check").texts(captions(g.defaultChecked ? none : change));
        c.key("uncheck").texts(captions(g.defaultChecked ? change : none));
        c.close();
    } else {
        out << "null";
    }
    w.key("problems").texts(r.problems);
    // Each with the file it stands in, where that is another than this one's.
    const auto file = [](std::string_view f) {
        return f.empty() ? std::nullopt : std::optional<std::string_view>(f);
    };
    w.key("overrides").maybe(r.overrides);
    w.key("overrides_file").maybe(file(r.overridesFile));
    w.key("overridden_by").maybe(r.overriddenBy);
    w.key("overridden_by_file").maybe(file(r.overriddenByFile));
    w.key("applied");
    out << (r.applied ? "true" : "false");
    w.key("ignored_at_start");
    out << (r.ignoredAtStart ? "true" : "false");
    w.key("swallowed_by");
    if (r.swallow) {
        out << "{\"line\":" << r.swallow->line << ",\"ends\":";
        w.maybe(r.swallow->endLine);
        out << '}';
    } else {
        out << "null";
    }
    w.key("first_word_only").maybe(r.firstWordOnly);
    if (r.fromServer)
        w.key("latched").maybe(r.latched);
    w.close();
}

class JsonRenderer final : public Renderer {
public:
    JsonRenderer(std::ostream &out, const std::string *server) : out_(out) {
        if (server != nullptr)
            text_ << "{\"server\":" << dumped(*server) << ",\"settings\":[";
        else
            text_ << "{\"settings\":[";
    }

    // Each setting a comment hides says so itself.
    void hidden(const HiddenReport & /*report*/) override {}

    void note(const std::string &text) override { notes_.push_back(text); }

    void reading(std::string_view key, std::string_view /*said*/) override { reading_ = key; }

    void add(const SettingReport &r) override {
        text_ << (any_ ? "," : "");
        writeReport(text_, r);
        any_ = true;
        text_.spill(out_);
    }

    void finish(Missing why, const std::vector<std::string_view> &missing) override {
        if (!reading_.empty())
            text_ << "],\"reading\":" << dumped(reading_) << ",\"notes\":" << dumped(Json(notes_))
                  << "}\n";
        else if (!notes_.empty())
            text_ << "],\"notes\":" << dumped(Json(notes_)) << "}\n";
        else if (why == Missing::None)
            text_ << "]}\n";
        else
            text_ << "]," << dumped(why == Missing::Absent ? "absent" : "not_published") << ':'
                  << dumped(Json(missing)) << "}\n";
        text_.spill(out_, 0);
    }

private:
    std::ostream &out_;
    Text text_;
    bool any_ = false;
    std::vector<std::string> notes_;
    std::string_view reading_;  // a configuration's: how it was read
};

}  // namespace

std::unique_ptr<Renderer> textRenderer(std::ostream &out, const std::string *server) {
    return std::make_unique<TextRenderer>(out, server);
}

std::unique_ptr<Renderer> jsonRenderer(std::ostream &out, const std::string *server) {
    return std::make_unique<JsonRenderer>(out, server);
}

namespace {

Json jsonVerdict(const VariableDrift &d) {
    return {{"variable", d.variable.name},
            {"verdict", verdictName(d.verdict)},
            {"configured", d.configured ? Json(d.configured->value) : Json(nullptr)},
            {"where",
             d.configured ? Json{{"file", d.file}, {"line", d.configured->line}} : Json(nullptr)},
            {"live", d.live ? Json(d.live->value) : Json(nullptr)},
            {"next_map", d.live ? orNull(d.live->latched) : Json(nullptr)},
            {"why", d.why.empty() ? Json(nullptr) : Json(d.why)}};
}

Json jsonSent(const rcon::SentValue &v) {
    return {{"variable", v.change.variable.name},
            {"value", v.change.value},
            {"outcome", rcon::outcomeName(v.outcome)},
            {"detail", v.detail.empty() ? Json(nullptr) : Json(v.detail)},
            {"held", orNull(v.held)}};
}

// What a save says after its diff: each file not simply replaced, and why
// writing stopped where it did. Empty when every file was simply replaced.
std::string afterWrite(const Saved &saved) {
    std::string out;
    for (std::size_t i = 0; i < saved.written.size(); ++i) {
        const std::string name = zelvar::quoted(saved.files.at(i));
        switch (saved.written[i]) {
        case WrittenAs::InPlace:
            out += name + ": rewritten in place, so that it keeps its owner and group\n";
            break;
        case WrittenAs::AsideFirst:
            out += name + ": the server renames nothing onto a file: the old was moved aside, "
                          "the new renamed in, the old removed once the new read back whole\n";
            break;
        case WrittenAs::Rewritten:
            out += name + ": nothing could be made beside it on the server: rewritten in place, "
                          "not in one step, and read back whole\n";
            break;
        case WrittenAs::ThroughLink:
            out += name + ": a link whose target the server does not show: rewritten through "
                          "it, not in one step, and read back whole; it stays a link\n";
            break;
        case WrittenAs::Replaced:
            break;
        }
    }
    if (saved.stopped && !saved.written.empty())
        for (std::size_t i = 0; i < saved.written.size(); ++i)
            out += zelvar::quoted(saved.files.at(i)) + " is written\n";
    return out;
}

// Why the work stopped, of all the Result holds, in the order it came: a
// write refused or stopped, a send refused before anything went, the error
// that ended the work.
std::vector<std::string> failures(const Result &d) {
    std::vector<std::string> out;
    if (d.saved && d.saved->stopped)
        out.push_back(*d.saved->stopped);
    else if (d.saved && d.saved->status != Clean)
        out.push_back(d.saved->said);
    if (d.sent && d.sent->values.empty() && d.sent->status != Clean)
        out.push_back(d.sent->said.substr(0, d.sent->said.find_last_not_of('\n') + 1));
    if (d.error)
        out.push_back(*d.error);
    return out;
}

void renderJson(const Result &d, std::ostream &out) {
    Json planned = Json::array();
    for (const Change &c : d.planned)
        planned.push_back({{"variable", c.variable.name}, {"value", c.value}});
    Json verdicts = nullptr;
    if (d.drift) {
        verdicts = Json::array();
        for (const VariableDrift &v : d.drift->variables)
            verdicts.push_back(jsonVerdict(v));
    }
    std::vector<std::string> notes = d.notes;
    notes.insert(notes.end(), d.after.begin(), d.after.end());
    // In the words the text says on standard error.
    const std::vector<std::string> failed = failures(d);
    Json error = nullptr;
    if (!failed.empty()) {
        std::string joined;
        for (const std::string &why : failed)
            joined += (joined.empty() ? "" : "; ") + why;
        error = joined;
    }
    Json sent = nullptr;
    if (d.sent && !d.sent->values.empty()) {
        sent = Json::array();
        for (const rcon::SentValue &v : d.sent->values)
            sent.push_back(jsonSent(v));
    }
    Json how = nullptr;
    if (d.saved && !d.saved->written.empty()) {
        how = Json::array();
        for (const WrittenAs w : d.saved->written)
            how.push_back(writtenAsName(w));
    }
    const bool planned_ = d.saved && d.saved->planned();
    const bool unchanged = d.saved && d.saved->status == Clean && !d.saved->changed;
    out << dumped(Json{{"server", d.server.empty() ? Json(nullptr) : Json(d.server)},
                       {"configuration", orNull(d.configuration)},
                       {"reading", !d.readAs                    ? Json(nullptr)
                                   : *d.readAs == ReadAs::Start ? Json("start")
                                                                : Json("running")},
                       {"dry_run", d.dryRun},
                       {"planned", std::move(planned)},
                       {"verdicts", std::move(verdicts)},
                       {"notes", notes},
                       {"diff", planned_    ? Json(d.saved->said)
                                : unchanged ? Json("")
                                            : Json(nullptr)},
                       {"files", planned_ ? Json(d.saved->files) : Json::array()},
                       {"written", d.saved && !d.saved->written.empty()},
                       {"written_as", std::move(how)},
                       {"sent", std::move(sent)},
                       {"error", std::move(error)},
                       {"exit_status", static_cast<int>(d.status)}})
        << '\n';
}

}  // namespace

void render(const Result &done, bool asJson, std::ostream &out, std::ostream &err) {
    if (asJson)
        return renderJson(done, out);
    Text text;
    if (!done.heading.empty())
        text << done.heading << '\n';
    for (const std::string &note : done.notes)
        text << note << '\n';
    if (done.drift && done.verdictsShown)
        for (const VariableDrift &v : done.drift->variables)
            text << v.variable.name << ": " << describe(v) << '\n';
    // The diff where it was written, or is only shown; a refusal is the error.
    if (done.saved && (done.saved->status == Clean || !done.saved->written.empty()))
        text << done.saved->said << (done.saved->said.ends_with('\n') ? "" : "\n");
    if (done.saved)
        text << afterWrite(*done.saved);
    for (const std::string &note : done.after)
        text << note << '\n';
    if (done.wouldSend)
        for (const Change &c : done.planned)
            text << "would send " << c.variable.name << ' ' << c.value << '\n';
    if (done.sent && !done.sent->values.empty())
        text << done.sent->said;
    out << text.s;
    const std::string who = done.server.empty() ? "" : done.server + ": ";
    const auto said = [&](const std::string &why) {
        err << "zelvar-bits: " << who << why << (why.ends_with('\n') ? "" : "\n");
    };
    for (const std::string &why : failures(done))
        said(why);
}

Message messageOf(const Result &done, std::string_view files) {
    Message m;
    m.fine = done.status == Clean;
    const bool wrote = done.saved && !done.saved->written.empty();
    // A send was tried where something came back from it, or it failed.
    const bool toServer = done.sent || (done.error && !done.server.empty());
    if (!toServer) {  // a save alone, or a save that kept the send from going
        m.heading = done.saved ? done.saved->heading() : "Nothing to save.";
        if (done.saved && (wrote || !done.saved->stopped))  // the diff, or why not
            m.details = done.saved->said + (done.saved->said.ends_with('\n') ? "" : "\n") +
                        afterWrite(*done.saved);
        if (done.saved && done.saved->stopped)
            m.details += *done.saved->stopped + '\n';
        if (!done.server.empty())
            m.details += "Nothing was sent.";
        while (m.details.ends_with('\n'))
            m.details.pop_back();
        return m;
    }
    const rcon::Sent sent = done.sent.value_or(rcon::Sent{});
    const bool nothingWent = sent.values.empty();
    m.heading = done.error && nothingWent ? "Nothing was applied." : std::string(sent.heading());
    if (wrote)
        m.heading =
            "Written into " + std::string(files) +
            (m.fine                      ? " and sent to " + done.server + "."
             : done.error && nothingWent ? "; not sent to " + done.server + ": " + *done.error
                                         : "; not all was applied on " + done.server + ".");
    // The file's part first, even where it already held the values.
    m.details = done.saved ? done.saved->said + '\n' + afterWrite(*done.saved) : std::string();
    m.details += sent.said;
    // A failure the heading says is not said again.
    if (done.error && !(wrote && nothingWent))
        m.details += *done.error + '\n';
    for (const std::string &note : done.after)
        m.details += note;
    return m;
}

std::string dumpedList(const std::vector<const SettingGroup *> &groups) {
    Json all = Json::array();
    for (const SettingGroup *g : groups) {
        Json options = Json::array();
        for (std::size_t i = 0; i < g->options.size(); ++i)
            options.push_back(jsonOption(*g, static_cast<int>(i)));
        all.push_back({{"name", g->name},
                       {"panel", g->caption},
                       {"variables", variableNames(g)},
                       {"width", widthBits(g->width)},
                       {"counts", counted(*g)},
                       {"starts_checked", g->defaultChecked},
                       {"options", std::move(options)}});
    }
    return dumped(Json{{"groups", std::move(all)}}) + '\n';
}

}  // namespace zelvar::report

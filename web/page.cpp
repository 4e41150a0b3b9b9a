// The web page's side in WebAssembly: the window's event procedures, the
// opener, the explanation and the edit planner, the same code the windows
// and zelvar-bits run, and the windows' own steps around them (app/opening.h). The page's controls
// are real form controls that page.js builds from zelvarLayout(); their states live on them, and
// the Form reads and sets them through the functions below, which call into the page
// (window.zelvarControls). Files the admin opens are copied byte for byte into the module's own
// memory file system, in one folder, so that exec finds them there as the server finds them in its
// game folder.
//
// Every function answers in JSON text or in bytes that stay valid until the
// next call; nothing here reaches a network.
#include "explain.h"
#include "form.h"
#include "layout.h"
#include "opening.h"
#include "save.h"

#include <emscripten.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <bit>
#include <map>
#include <memory>
#include <set>
#include <sstream>

using zelvar::Group;
using zelvar::Rank;
using Json = nlohmann::ordered_json;

namespace {

// clang-format off
EM_JS(int, jsChecked, (int group, int index), {
    return zelvarControls.box(group, index).checked ? 1 : 0;
});
EM_JS(void, jsSetChecked, (int group, int index, int on), {
    zelvarControls.box(group, index).checked = on !== 0;
});
EM_JS(int, jsRankSelected, (int rank), { return zelvarControls.rank(rank).checked ? 1 : 0; });
EM_JS(void, jsSetRankSelected, (int rank), { zelvarControls.rank(rank).checked = true; });
EM_JS(void, jsSetPanelVisible, (int group, int visible), {
    zelvarControls.panel(group).hidden = visible === 0;
});
EM_JS(void, jsWriteLine, (const char *line, int size), {
    zelvarControls.line.value = UTF8ToString(line, size);
});
EM_JS(void, jsPlacePicture, (int left, int top, int width, int height), {
    zelvarControls.placePicture(left, top, width, height);
});
EM_JS(int, jsOuterWidth, (), { return zelvarControls.outerWidth(); });
EM_JS(int, jsOuterHeight, (), { return zelvarControls.outerHeight(); });
EM_JS(void, jsSetOutputBackground, (int rgb), {
    zelvarControls.line.style.backgroundColor = "#" + rgb.toString(16).padStart(6, "0");
});
// clang-format on

// A group's or rank's place, as the page's JavaScript numbers it.
int jsSlot(auto value) { return static_cast<int>(zelvar::slot(value)); }

class PageControls final : public zelvar::Controls {
public:
    bool checked(Group group, int index) const override {
        return jsChecked(jsSlot(group), index) != 0;
    }
    bool rankSelected(Rank rank) const override { return jsRankSelected(jsSlot(rank)) != 0; }
    void writeLine(std::string_view line) override {
        jsWriteLine(line.data(), static_cast<int>(line.size()));
    }
    void setPanelVisible(Group group, bool visible) override {
        jsSetPanelVisible(jsSlot(group), visible ? 1 : 0);
    }
    void setChecked(Group group, int index, bool on) override {
        jsSetChecked(jsSlot(group), index, on ? 1 : 0);
    }
    void setRankSelected(Rank rank) override { jsSetRankSelected(jsSlot(rank)); }
    void placePicture(int left, int top, int width, int height) override {
        jsPlacePicture(left, top, width, height);
    }
    int outerWidth() const override { return jsOuterWidth(); }
    int outerHeight() const override { return jsOuterHeight(); }
    void setOutputBackground(std::uint32_t rgb) override {
        jsSetOutputBackground(static_cast<int>(rgb));
    }
};

struct Page {
    PageControls controls;
    zelvar::Form form{controls};
    // The save key's plan belongs to the opening it was made from: each
    // opening counts on, and a plan of an earlier one is never downloaded.
    unsigned opening = 0;
    std::optional<zelvar::app::FileSave> plan;
    unsigned planned = 0;  // the opening the plan was made from
    std::string answer;    // what the last call hands back
};
Page *page = nullptr;

std::string colour(std::uint32_t rgb) {
    std::string text = "#000000";
    for (std::size_t i = text.size(); rgb != 0; rgb >>= 4U)
        text[--i] = "0123456789abcdef"[rgb & 0xFU];
    return text;
}

Json rect(const zelvar::TwipRect &r) {
    using zelvar::ui::pixels;
    return Json::array({pixels(r.left), pixels(r.top), pixels(r.width), pixels(r.height)});
}

Json controlsOf(std::span<const zelvar::ui::Control> controls) {
    using zelvar::ui::Kind;
    static constexpr std::array<std::string_view, 7> kKinds{
        "panelButton", "textBox", "panel", "picture", "optionButton", "label", "checkBoxes"};
    Json list = Json::array();
    for (const zelvar::ui::Control &c : controls) {
        Json j{{"kind", kKinds.at(static_cast<std::size_t>(c.kind))},
               {"name", c.name},
               {"caption", c.caption},
               {"rect", rect(c.rect)},
               {"tabIndex", c.tabIndex},
               {"large", c.look == zelvar::ui::Look::GreenLarge},
               {"group", jsSlot(c.group)},
               {"rank", jsSlot(c.rank)},
               {"designState", c.designState},
               {"centred", c.centred}};
        if (c.kind == Kind::CheckBoxes) {
            const zelvar::SettingGroup &g = zelvar::settingGroup(c.group);
            Json options = Json::array();
            for (const zelvar::Option &o : g.options) {
                const auto value = static_cast<std::uint64_t>(zelvar::catalogueValue(o.valueText));
                options.push_back({{"caption", o.caption},
                                   {"value", o.valueText},
                                   {"bit", std::countr_zero(value)},
                                   {"rect", rect(o.rect)},
                                   {"tabIndex", o.tabIndex}});
            }
            j["array"] = g.array;
            j["checked"] = g.defaultChecked;
            j["options"] = std::move(options);
        }
        if (!c.contents.empty())
            j["contents"] = controlsOf(c.contents);
        list.push_back(std::move(j));
    }
    return list;
}

Json message(bool fine, std::string_view heading, const std::string &details) {
    return {{"fine", fine}, {"heading", heading}, {"details", details}};
}
Json message(const zelvar::report::Message &m) { return message(m.fine, m.heading, m.details); }

// What the page shows once something opened: the message, if any, and the
// title, which names the file opened as the window's does. Any plan made
// before is let go with the opening it belonged to.
Json opened(const zelvar::Opening &opening) {
    const std::optional<zelvar::report::Message> said = zelvar::app::openInto(page->form, opening);
    ++page->opening;
    page->plan.reset();
    Json j{{"title", zelvar::app::titleOf(page->form.openedFrom())}, {"opening", page->opening}};
    if (said)
        j["message"] = message(*said);
    return j;
}

// What explain says of a configuration, as its JSON document: the page lays
// it out in its own HTML.
Json explained(const std::string &file, const zelvar::Tree &tree) {
    std::ostringstream out;
    zelvar::report::Reports reports(true, out);
    zelvar::report::explain(tree, reports);
    const zelvar::Status status = reports.finish();
    return {{"file", file},
            {"status", status},
            {"reading", zelvar::readingName(tree.as, tree.commandLine.has_value())},
            {"report", Json::parse(out.str())}};
}

// Every call answers in JSON, whatever happens within. A run-time error
// ends the calculator as it ends the window: the page shows the runtime's
// report instead ("report"). Anything else (memory running out) is said,
// and the page goes on.
template <class Work> const char *respond(Work work) {
    Json j;
    try {
        j = work();
    } catch (const zelvar::RuntimeError &error) {
        j = {{"report", error.report()}};
    } catch (const std::exception &error) {
        j = {{"message", message(false, "That could not be done.", error.what())}};
    }
    page->answer = j.is_null() ? "{}" : j.dump();
    return page->answer.c_str();
}

std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        if (end > 0)
            lines.emplace_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

}  // namespace

extern "C" {

// The window's controls, as page.js builds them: the tables, in pixels.
EMSCRIPTEN_KEEPALIVE const char *zelvarLayout() {
    using namespace zelvar::ui;
    if (page == nullptr)
        page = new Page();
    return respond([] {
        return Json{{"caption", kForm1Caption},
                    {"client", rect(kForm1ClientArea)},
                    {"green", colour(kGreen)},
                    {"black", colour(kBlack)},
                    {"window", colour(kWindowBackground)},
                    {"lineBoxName", kLineBoxName},
                    {"controls", controlsOf(kForm1)}};
    });
}

// Once the controls exist: the window's start-up.
EMSCRIPTEN_KEEPALIVE const char *zelvarLoad() {
    return respond([] {
        page->form.Form_Load();
        return Json();
    });
}

EMSCRIPTEN_KEEPALIVE const char *zelvarPanelButton(int group) {
    return respond([group] {
        page->form.panelButtonClick(static_cast<Group>(group));
        return Json();
    });
}

EMSCRIPTEN_KEEPALIVE const char *zelvarCheckBox(int group, int index) {
    return respond([=] {
        page->form.checkBoxClick(static_cast<Group>(group), index);
        return Json();
    });
}

// A rank's button; a message when the file opened does not set that rank.
EMSCRIPTEN_KEEPALIVE const char *zelvarRank(int rank) {
    return respond([rank] {
        const auto said = zelvar::app::rankClicked(page->form, static_cast<Rank>(rank));
        return said ? Json{{"message", message(*said)}} : Json();
    });
}

// Text pasted or dropped: a line, several, the console's print form.
EMSCRIPTEN_KEEPALIVE const char *zelvarOpenText(const char *name, const char *text) {
    return respond([=] {
        zelvar::Opener opener;
        opener.openText(name, text);
        return opened(opener.finish());
    });
}

// Files the page copied into the current folder, one name a line. Those
// no other of them execs are the configurations, opened in the order given;
// the rest are read where exec reads them. What explain says of each
// configuration comes back with the opening. Each file is read from the
// page's memory once, however many of the trees exec it.
EMSCRIPTEN_KEEPALIVE const char *zelvarOpenFiles(const char *names) {
    return respond([=] {
        const std::vector<std::string> files = linesOf(names);
        std::map<std::string, zelvar::FileText> read;
        zelvar::Disk once;
        once.read = [&read](const std::string &path) {
            auto at = read.find(path);
            if (at == read.end())
                at = read.emplace(path, zelvar::fileFromDisk(path)).first;
            return at->second;
        };
        std::vector<zelvar::Tree> trees;
        std::set<std::string> execd;  // one file alone is the configuration, whatever
        for (const std::string &file : files) {
            trees.push_back(zelvar::readTree(file, {}, once));
            const zelvar::Tree &tree = trees.back();
            if (files.size() > 1 && tree.paths.size() > 1)
                execd.insert(std::next(tree.paths.begin()), tree.paths.end());
        }
        zelvar::Opener opener;
        Json explanations = Json::array();
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (execd.contains(files[i]))
                continue;
            if (!trees[i].error)
                explanations.push_back(explained(files[i], trees[i]));
            opener.openFile(files[i], std::move(trees[i]));
        }
        Json j = opened(opener.finish());
        j["explained"] = std::move(explanations);
        return j;
    });
}

// The save key: the changes since the file opened, planned as set plans
// them and shown as its diff; nothing is written until zelvarSaved. The
// plan is of this opening (its number comes back) and of no other.
EMSCRIPTEN_KEEPALIVE const char *zelvarPlan() {
    return respond([] {
        page->plan.reset();
        std::optional<zelvar::Form::Save> save = page->form.saveIntoOpened();
        if (!save || save->toServer())
            return Json{{"message", message(true, "Nothing to save.",
                                            "Open one configuration first, with the files it "
                                            "execs: the page edits it and downloads it.")}};
        page->plan = zelvar::app::planFileSave(std::move(*save));
        page->planned = page->opening;
        const zelvar::Saved &shown = page->plan->plan.shown;
        return Json{{"changed", shown.changed},
                    {"heading", shown.changed ? page->plan->heading : shown.heading()},
                    {"fine", shown.status == zelvar::Clean},
                    {"said", shown.said},
                    {"files", shown.files},
                    {"opening", page->planned}};
    });
}

// The bytes of file `index` of the plan made in `opening`, for the
// download, its size first; none (a size of -1) where that plan is gone.
EMSCRIPTEN_KEEPALIVE const char *zelvarPlannedBytes(unsigned opening, int index, int *size) {
    *size = -1;
    if (!page->plan || page->planned != opening || index < 0 ||
        static_cast<std::size_t>(index) >= page->plan->plan.files.size())
        return nullptr;
    const std::string &bytes = page->plan->plan.files[static_cast<std::size_t>(index)].bytes;
    *size = static_cast<int>(bytes.size());
    return bytes.data();
}

// The download of the plan made in `opening` was offered: the page's copy
// takes the edit, so that the next save starts from the file as
// downloaded. Where the file goes is the browser's to say, so the message
// says what is left to do, not "Saved".
EMSCRIPTEN_KEEPALIVE const char *zelvarSaved(unsigned opening) {
    return respond([opening] {
        if (!page->plan || page->planned != opening)
            return Json{{"message", message(false, "Nothing was downloaded.",
                                            "Something else opened while the changes were "
                                            "shown; press the save key again.")}};
        const zelvar::Form::Save save = page->plan->save;
        const zelvar::report::Result result = zelvar::app::commitFileSave(std::move(*page->plan));
        page->plan.reset();
        if (!result.written() || result.status != zelvar::Clean)
            return Json{{"message", message(zelvar::report::messageOf(result))}};
        page->form.markSaved(save);
        std::string names;
        for (const std::string &file : result.saved->files)
            (names += names.empty() ? "" : ", ") += zelvar::fileNameOf(file);
        return Json{{"message", message(true, "Downloading the edited " + names + ".",
                                        "Put it in place of the server's own, and have the "
                                        "server read it again (exec, or the next map).\n\n" +
                                            result.saved->said)}};
    });
}

}  // extern "C"

int main() { return 0; }

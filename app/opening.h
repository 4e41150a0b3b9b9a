// What every front-end does around its controls when something opens or is
// saved into a file, written once: the window's title, the opening's
// message, a rank's message, the save key's plan and what became of it.
//
// How data flows: a front-end (the windows' Flows, the web page) hands an
// Opening or the save key to these functions, which work through the Form
// and the save's platform layer and answer in Messages the front-end shows
// its own way. No socket, thread or dialog here: the page links it as it is.
#pragma once

#include "form.h"
#include "open.h"
#include "report.h"
#include "save.h"

#include <optional>
#include <string>
#include <string_view>

namespace zelvar::app {

// The form takes what was opened; the message that says what did not open, if any.
std::optional<report::Message> openInto(Form &form, const Opening &opening);

// The title naming what was `opened`: `named` (a server's name) where
// given, else the file's own name, else the design's caption alone.
std::string titleOf(const std::optional<std::string> &opened, std::string_view named = {});

// A rank's button: where what was opened (a file, or the server `named`)
// does not set that rank, the message that says so.
std::optional<report::Message> rankClicked(Form &form, Rank rank, std::string_view named = {});

// The save key over a file: the edit planned as zelvar-bits set plans it,
// and the heading of the confirmation that shows its diff.
struct FileSave {
    Form::Save save;
    PlannedSave plan;
    std::string heading;  // "Save these changes into "server.cfg"?"
};
// A file on a file host is read, and written, through `hosts`.
FileSave planFileSave(Form::Save save, const SearchPath &search = {}, Hosts *hosts = nullptr);
// Every file a planned edit changes, as a message names them: "A", "B" and "C".
std::string filesOf(const PlannedSave &plan);
// The plan written; what became of it, and whether all was written.
report::Result commitFileSave(FileSave planned, Hosts *hosts = nullptr);

}  // namespace zelvar::app

// Saving values into a configuration, the one way every front-end does it:
// the file is read whole (links followed, its state remembered), the edit is
// planned by the model and shown as a diff; then, unless only shown, exactly
// those bytes are written in one step by replaceFile, which refuses when the
// file changed since it was read. What is said is in the words of
// zelvar-bits set.
#pragma once

#include "edit.h"
#include "hosts.h"
#include "replace.h"
#include "status.h"
#include "tree.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zelvar {

struct Saved {
    Status status = Clean;           // Problem: a value or a change refused; Failed: not written
    std::string said;                // the diff, "FILE: unchanged", or why nothing may be written
    bool changed = false;            // bytes were, or with a dry run would be, written
    std::vector<std::string> files;  // the paths the edit changes, in order
    // How each of `files` took its bytes, in order; fewer where writing
    // stopped, and why it did: the files before it stay written.
    std::vector<WrittenAs> written;
    std::optional<std::string> stopped;

    // A change planned and shown: `said` is its diff.
    bool planned() const { return changed && (status == Clean || stopped); }
    // What a window's message says first.
    std::string_view heading() const {
        return stopped && !written.empty() ? "Not all was saved."
               : !written.empty()          ? "Saved."
               : status == Clean           ? "Nothing to save."
                                           : "Nothing was saved.";
    }
};

// The edit planned and shown, not yet written: `shown.changed` when there is
// something to write. Each value goes into the file that holds the setting
// that takes effect, the configuration or a file it execs; a variable no
// file sets gets its line at the end of the configuration.
struct PlannedSave {
    Saved shown;
    struct File {
        std::string name;  // what a message calls it
        Snapshot was;
        std::string bytes;
    };
    std::vector<File> files;  // each file to write, in order
};
// A file that does not exist is made only when `create`; exec finds its
// files along `search`, or in the configuration's folder; `startup` says how
// the server comes to run it. Read as the server starts, a bare line it
// drops there becomes a seta, and a value the command line sets is refused:
// no file can change it.
// With `given`, the configuration is that text (standard input, named
// "-"), never read from disk: such a plan is shown, never written. A
// location is read, and written, through `hosts`.
PlannedSave planSave(const std::string &path, std::span<const Change> changes, bool create = false,
                     const SearchPath &search = {}, const Startup &startup = {},
                     const std::optional<std::string> &given = std::nullopt,
                     Hosts *hosts = nullptr);
// Writes what was planned, as it was shown.
Saved commitSave(PlannedSave plan, Hosts *hosts = nullptr);

Saved saveChanges(const std::string &path, std::span<const Change> changes, bool dryRun,
                  bool create = false, const SearchPath &search = {}, const Startup &startup = {},
                  Hosts *hosts = nullptr);

}  // namespace zelvar

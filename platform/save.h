// Saving values into a configuration, the one way every front-end does it:
// the file is read whole (links followed, its state remembered), the edit is
// planned by the model, shown as a diff and, unless only shown, written in
// one step by replaceFile. What is said is in the words of zelvar-bits set.
#pragma once

#include "edit.h"
#include "status.h"

#include <optional>
#include <span>
#include <string>

namespace zelvar {

struct Saved {
    Status status = Clean;  // Problem: a value or a change refused
    std::string said;       // the diff, "FILE: unchanged", or why nothing was written
    bool changed = false;   // bytes were, or with a dry run would be, written

    // What a window's message says first.
    std::string_view heading() const {
        return changed ? "Saved." : status == Clean ? "Nothing to save." : "Nothing was saved.";
    }
};

Saved saveChanges(const std::string &path, std::span<const Change> changes, bool dryRun);

}  // namespace zelvar

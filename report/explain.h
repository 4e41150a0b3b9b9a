// A configuration explained setting by setting: what zelvar-bits explain
// prints, the web page shows and a window's opening rests on.
//
// How data flows: the configuration is read as the server reads it (a Tree,
// its execs followed, by whoever has the files); explain() walks its
// settings in the order the server runs them, each with the settings of the
// same variable it overrides or is overridden by, the comments that hide
// some, and the notes met between them (an exec not found, a loop), and
// hands each to Reports, which renders them as they come.
#pragma once

#include "report.h"
#include "tree.h"

namespace zelvar::report {

// Every setting and note of `tree`, which must have been read (no `error`).
void explain(const Tree &tree, Reports &out);

}  // namespace zelvar::report

// How a piece of work ended, the one scale every front-end reads: zelvar-bits
// exits with it, and a window's message is a warning unless it is Clean.
#pragma once

#include <algorithm>

namespace zelvar {

enum Status : int {
    Clean = 0,    // all was done, or there was nothing to do
    Problem = 1,  // a value the calculator would not write, a change refused
    Failed = 2,   // a usage error; a file, or a server, that could not be read or written
};

// Of several pieces of work, the worst decides.
inline Status worst(Status a, Status b) { return std::max(a, b); }

}  // namespace zelvar

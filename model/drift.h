// How a running server stands against its configuration, variable by
// variable: the one comparison behind checking for drift, syncing either way
// and a window's confirmation.
//
// How data flows: the configuration is read as the server reads it (a Tree,
// its execs followed), the server's values are read over its remote console
// (rcon::Session::read); compare() lays the two side by side and gives each
// variable either side has a verdict, worded by describe() for every
// front-end. It is pure: no file or socket is touched here.
#pragma once

#include "reply.h"
#include "status.h"
#include "tree.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

enum class Verdict {
    InStep,             // the same number, with nothing else waiting for the next map
    Differs,            // now, or at the next map
    ConfigurationOnly,  // the server has no such variable
    ServerOnly,         // the configuration does not set it
    CannotTell,         // a file the server reads could not be read here
};

struct VariableDrift {
    Variable variable;
    Verdict verdict = Verdict::InStep;
    std::optional<Setting> configured;  // the setting that takes effect
    std::string file;                   // the file it stands in, as a message names it
    std::optional<rcon::Held> live;
    std::string why;  // CannotTell: the file that could not be read, and why
};

struct Drift {
    std::vector<VariableDrift> variables;  // in variables() order, each that either side has
    std::vector<std::string> missing;      // "couldn't exec NAME": exec'd, and not here
    // Clean only when every variable is in step and no file is missing.
    Status status() const;
};

using Live = std::array<std::optional<rcon::Held>, kVariableCount>;

// `configuration` must have been read (no `error`).
Drift compare(const Tree &configuration, const Live &live);

// The verdict as a document names it: "in step", "differs", ...
std::string_view verdictName(Verdict verdict);
// What follows "NAME: " in a report: the verdict, with both values and where.
std::string describe(const VariableDrift &drift);

}  // namespace zelvar

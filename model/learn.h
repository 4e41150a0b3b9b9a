// What a running server tells of where it reads its configuration, asked
// over its remote console before the configuration is read as it runs it.
//
// How data flows: learn() takes what the servers file leaves unsaid from
// the server itself (its engine's version for a folder's order; its
// fs_homepath, fs_basepath and fs_game for the folders exec searches) and
// gives the server as the reader should take it. Once its configuration is
// read (readTree), readsElsewhere() asks the server where it finds each of
// its files ("which NAME", where the engine has it) and says where the
// server reads another file than the reader did, naming both: then what
// the reader tells is not what the server runs, and nothing is written.
#pragma once

#include "rcon.h"
#include "servers.h"
#include "tree.h"

#include <optional>
#include <string>
#include <vector>

namespace zelvar {

struct Learnt {
    NamedServer server;              // its folders and engine, as the file or the server says
    std::vector<std::string> notes;  // what was learnt, as a report says it
    // Why where the server reads its files is not known: it answered, then
    // stopped before it said. Then nothing is compared or written.
    std::optional<std::string> unsure;
};
// Throws rcon::Failure where the server does not answer at all.
Learnt learn(rcon::Session &session, const NamedServer &named);

// Where the server reads a file of `tree` that the reader did not, naming
// both; none where they agree or the server cannot say. A path the server
// names is compared only where its folder is on this machine too.
std::optional<std::string> readsElsewhere(rcon::Session &session, const Tree &tree);

}  // namespace zelvar

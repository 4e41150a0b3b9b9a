// zelvar-bits: reads the calculator's settings back. The whole program is
// run(): arguments in, text out, an exit status back; main() only hands it
// the process's own streams.
#pragma once

#include "hosts.h"
#include "rcon.h"
#include "status.h"

#include <iosfwd>
#include <span>
#include <string_view>

namespace zelvar::bits {

struct Streams {
    std::istream &in;  // what "explain -" reads
    std::ostream &out;
    std::ostream &err;
};

// `connect` reaches the servers named, `openHost` the file hosts of their
// configurations: the network unless a test scripts them.
int run(std::span<const std::string_view> arguments, Streams io, const rcon::Connect &connect = {},
        const OpenHost &openHost = {});

}  // namespace zelvar::bits

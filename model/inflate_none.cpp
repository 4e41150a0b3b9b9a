// A build without zlib (the web page): deflated entries are named, not read.
#include "archive.h"

namespace zelvar {

std::string inflateInto(std::string_view /*deflated*/, std::string & /*into*/) {
    return "deflated, which this build does not inflate: use zelvar-bits or the window";
}

}  // namespace zelvar

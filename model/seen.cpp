#include "seen.h"

namespace zelvar {

std::string swallowed(const Swallow &swallow) {
    return "an odd number of quotes before the \"*/\" of the comment on line " +
           std::to_string(swallow.line) + " keeps it open for the server, which reads on to " +
           (swallow.endLine ? "line " + std::to_string(*swallow.endLine) : "the end of the file") +
           " as one command";
}

std::string notApplied(const Swallow &swallow) { return "not applied: " + swallowed(swallow); }

std::string readOnInto(const Swallow &swallow) {
    return swallowed(swallow) + ", and takes the words after this name as its value";
}

std::string firstWordOnlyNote(std::string_view firstWord) {
    return "a server of 2003 reads only the first word, " + quoted(firstWord) + ", as " +
           std::to_string(readAsServer(firstWord).value);
}

}  // namespace zelvar

// A build that reaches no file host: a web page, which has no program to run.
#include "hosts.h"

namespace zelvar {

std::variant<std::unique_ptr<FileHost>, std::string>
openHost(const Location &at, const HostTerms & /*terms*/, std::vector<std::string> & /*notices*/) {
    return "this build reaches no file host (" + std::string(at.schemeName()) +
           "); copy the files here, or use zelvar-bits set --stdout with a transport of your own";
}

}  // namespace zelvar

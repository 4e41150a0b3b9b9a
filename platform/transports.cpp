#include "transports.h"

namespace zelvar {

std::variant<std::unique_ptr<FileHost>, std::string>
openHost(const Location &at, const HostTerms &terms, std::vector<std::string> &notices) {
    if (at.scheme == Scheme::Sftp)
        return openSftp(at, terms);
    return openFtp(at, terms, notices);
}

}  // namespace zelvar

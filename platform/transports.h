// The two ways this machine reaches a file host; openHost picks by scheme.
#pragma once

#include "hosts.h"

namespace zelvar {

// Through the system's OpenSSH client.
std::variant<std::unique_ptr<FileHost>, std::string> openSftp(const Location &at,
                                                              const HostTerms &terms);
// Through libcurl: FTP with TLS required, or plain where the terms allow it.
std::variant<std::unique_ptr<FileHost>, std::string>
openFtp(const Location &at, const HostTerms &terms, std::vector<std::string> &notices);

}  // namespace zelvar

#include "help.h"

#include "remote.h"
#include "serversfile.h"

namespace zelvar {

std::string wrapped(std::string_view text, std::size_t indent, std::size_t width) {
    std::string out;
    std::size_t column = 0;
    while (!text.empty()) {
        const std::size_t blank = text.find(' ');
        const std::string_view word = text.substr(0, blank);
        text.remove_prefix(blank == std::string_view::npos ? text.size() : blank + 1);
        if (column > indent && column + 1 + word.size() > width) {
            out += '\n';
            column = 0;
        }
        if (column == 0) {
            out.append(indent, ' ');
            column = indent;
        } else {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
    }
    return out + '\n';
}

std::string serversFileHelp(bool option) {
    return std::string("The servers file is ") + (option ? "--servers FILE, else " : "") +
           std::string(kServersVariable) +
           ", else servers.toml in the user's configuration folder (see zelvar-bits(1)).";
}

std::string passwordHelp(bool option, std::string_view asked) {
    return std::string("The remote-console password comes from the first line of ") +
           (option ? "--password-file FILE, else of " : "") +
           "the server's password_file, else from " + std::string(kPasswordVariable) +
           ", else from the system keyring, else from " + std::string(asked) + ".";
}

}  // namespace zelvar

// What every front-end's --help says of servers, each sentence once: where
// the servers file is and where the remote-console password comes from, in
// the order the program looks. The windows and zelvar-bits differ only in
// what their command lines take.
#pragma once

#include <string>
#include <string_view>

namespace zelvar {

// `text` in lines of at most `width` columns, each after `indent` blanks.
std::string wrapped(std::string_view text, std::size_t indent, std::size_t width = 80);

// "The servers file is ...", with `--servers FILE` first where the command
// line takes it.
std::string serversFileHelp(bool option);
// "The remote-console password comes from ...", with `--password-file FILE`
// first where the command line takes it, and `asked` last: where it is
// asked for when no other source has it.
std::string passwordHelp(bool option, std::string_view asked);

}  // namespace zelvar

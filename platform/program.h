// Running another program: with an argument list, never a shell; its input
// given whole, its output and errors kept up to a bound; ended once its time
// is up. Not a byte of a password goes through here, nor in its
// environment: the programs run (OpenSSH's clients) find their keys and
// agents themselves.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

struct Ran {
    std::optional<int> exit;  // none: it could not start, was killed, or ran out of time
    bool started = false;
    bool timedOut = false;
    bool stopped = false;  // ended as `givenUp` said
    std::string out;
    std::string err;
};

// `workIn`: the folder it starts in, none: ours. Once `givenUp` says so,
// it is ended.
// A new folder of the user's alone, in the temporary folder, its name
// beginning with `prefix`, for what a program reads and writes beside us;
// its path with "/", as OpenSSH and curl read paths. None: none could be made.
std::optional<std::string> privateFolder(std::string_view prefix);
// Where Windows keeps a program it ships, under System32 ("curl.exe"); none
// on other systems.
std::optional<std::string> shippedWithWindows(std::string_view path);

Ran runProgram(const std::vector<std::string> &words, std::string_view input,
               std::chrono::milliseconds within, std::size_t largest = 1 << 20,
               const std::string &workIn = {}, const std::function<bool()> &givenUp = {});

}  // namespace zelvar

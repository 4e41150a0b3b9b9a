#include "program.h"

#include <array>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

namespace zelvar {

namespace {

struct Pipe {
    int ends[2] = {-1, -1};
    bool open() { return pipe2(ends, O_CLOEXEC) == 0; }
    void close(int which) {
        if (ends[which] >= 0)
            ::close(ends[which]);
        ends[which] = -1;
    }
    ~Pipe() {
        close(0);
        close(1);
    }
};

}  // namespace

std::optional<std::string> privateFolder(std::string_view prefix) {
    std::error_code error;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    std::string folder = (temp / (std::string(prefix) + "XXXXXX")).string();
    if (error || mkdtemp(folder.data()) == nullptr)  // made 0700, in one step
        return std::nullopt;
    return folder;
}

std::optional<std::string> shippedWithWindows(std::string_view /*path*/) { return std::nullopt; }

Ran runProgram(const std::vector<std::string> &words, std::string_view input,
               std::chrono::milliseconds within, std::size_t largest, const std::string &workIn,
               const std::function<bool()> &givenUp) {
    Ran ran;
    Pipe in;
    Pipe out;
    Pipe err;
    if (words.empty() || !in.open() || !out.open() || !err.open())
        return ran;
    std::vector<std::string> copies(words);
    std::vector<char *> argv;
    argv.reserve(copies.size() + 1);
    for (std::string &w : copies)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.ends[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out.ends[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err.ends[1], 2);
    if (!workIn.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workIn.c_str());
    // Its own process group, so that what it leaves behind ends with it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    // Our passwords stay ours: a program's environment may travel on (ssh's SendEnv).
    std::vector<char *> environment;
    for (char **e = environ; *e != nullptr; ++e) {
        const std::string_view set(*e);
        if (!set.starts_with("ZELVAR_") || !set.substr(0, set.find('=')).ends_with("PASSWORD"))
            environment.push_back(*e);
    }
    environment.push_back(nullptr);
    pid_t child = 0;
    ran.started =
        posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environment.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    in.close(0);
    out.close(1);
    err.close(1);
    if (!ran.started)
        return ran;
    fcntl(in.ends[1], F_SETFL, O_NONBLOCK);
    // A program that ends before it reads all its input is said by write,
    // not by a signal that ends us; once for the process, since servers
    // are worked at once and a handler put back by one would catch another.
    static const bool ignored = [] {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        return sigaction(SIGPIPE, &ignore, nullptr) == 0;
    }();
    (void)ignored;
    std::size_t written = 0;
    if (input.empty())
        in.close(1);
    const auto until = std::chrono::steady_clock::now() + within;
    int status = 0;
    bool exited = false;
    while (!exited) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ran.timedOut = true;
            break;
        }
        if (givenUp && givenUp()) {
            ran.stopped = true;
            break;
        }
        std::array<pollfd, 3> ready{
            {{out.ends[0], POLLIN, 0}, {err.ends[0], POLLIN, 0}, {in.ends[1], POLLOUT, 0}}};
        // Its output closed is not its end: a program may leave a child
        // holding it (ssh's shared connection), so its exit is waited for.
        poll(ready.data(), ready.size(), static_cast<int>(std::min<long>(left.count(), 50)));
        for (int i = 0; i < 2; ++i) {
            if ((ready[i].revents & (POLLIN | POLLHUP)) == 0)
                continue;
            char chunk[4096];
            const ssize_t got = ::read(ready[i].fd, chunk, sizeof chunk);
            std::string &into = i == 0 ? ran.out : ran.err;
            if (got > 0 && into.size() < largest)
                into.append(chunk, static_cast<std::size_t>(got));
            else if (got <= 0)
                (i == 0 ? out : err).close(0);
        }
        if ((ready[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const ssize_t put = ::write(in.ends[1], input.data() + written, input.size() - written);
            if (put > 0)
                written += static_cast<std::size_t>(put);
            if (put < 0 || written == input.size())
                in.close(1);
        }
        exited = waitpid(child, &status, WNOHANG) == child;
    }
    if (!exited) {
        kill(-child, SIGKILL);
        waitpid(child, &status, 0);
    } else {
        // What it wrote before it ended, without waiting for those it left.
        for (Pipe *p : {&out, &err})
            if (p->ends[0] >= 0) {
                fcntl(p->ends[0], F_SETFL, O_NONBLOCK);
                char chunk[4096];
                ssize_t got = 0;
                std::string &into = p == &out ? ran.out : ran.err;
                while ((got = ::read(p->ends[0], chunk, sizeof chunk)) > 0 && into.size() < largest)
                    into.append(chunk, static_cast<std::size_t>(got));
            }
        if (WIFEXITED(status))
            ran.exit = WEXITSTATUS(status);
    }
    return ran;
}

}  // namespace zelvar

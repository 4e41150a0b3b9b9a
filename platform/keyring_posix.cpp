// The Secret Service through libsecret's own tool, when it is installed: so
// that zelvar-bits loads no D-Bus or GLib of its own for the rare run that
// needs it. The address is an argument; the password only ever comes back
// through a pipe.
#include "keyring.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zelvar {

namespace {

// Long enough for a keyring's unlock prompt to be answered.
constexpr std::chrono::seconds kKeyringWait{60};

Kept lookUp(const std::string &server) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string service(kKeyringService);
    std::string words[] = {"secret-tool", "lookup", "server", service,
                           "user",        server,   "type",   "plaintext"};
    char *argv[std::size(words) + 1] = {};
    for (std::size_t i = 0; i < std::size(words); ++i)
        argv[i] = words[i].data();
    pid_t child = 0;
    const bool started = posix_spawnp(&child, argv[0], &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (!started) {
        close(out[0]);
        return {};
    }
    std::string read;
    const auto until = std::chrono::steady_clock::now() + kKeyringWait;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        pollfd ready{out[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0)
            break;
        char chunk[256];
        const ssize_t got = ::read(out[0], chunk, sizeof chunk);
        if (got <= 0)
            break;
        read.append(chunk, static_cast<std::size_t>(got));
    }
    close(out[0]);
    kill(child, SIGKILL);  // gone already, unless the wait ran out
    int status = 0;
    waitpid(child, &status, 0);
    // Its status 1 means either "not found" or "no keyring reached": only
    // a password found says that there is a keyring.
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || read.empty())
        return {};
    return {std::move(read), true};
}

// Finds only: the windows that keep a password reach the Secret Service
// through their toolkit.
struct SecretTool final : Keyring {
    void find(const std::string &server, std::function<void(Kept)> then) override {
        then(lookUp(server));
    }
    void keep(const std::string & /*server*/, const std::string & /*password*/,
              Done then) override {
        then("only a window keeps a password in the system keyring");
    }
    void forget(const std::string & /*server*/, Done then) override {
        then("only a window lets a password in the system keyring go");
    }
};

}  // namespace

Keyring &systemKeyring() {
    static SecretTool keyring;
    return keyring;
}

}  // namespace zelvar

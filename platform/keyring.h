// The system's keyring, where a window keeps a server's remote-console
// password at the user's choice and every front-end finds it: the Credential
// Manager on Windows, the Secret Service elsewhere (which the Qt window
// reaches through QtKeychain, and zelvar-bits through libsecret's tool).
// A password is found by the server's address under one service name, so
// that every front-end finds what any of them kept.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zelvar {

inline constexpr std::string_view kKeyringService = "zelvar-rcon";
// How a refusal names a password that came from the keyring.
inline constexpr std::string_view kKeyringSource = "the system keyring";

// What the keyring holds for `server`.
struct Kept {
    std::optional<std::string> password;
    bool usable = false;  // a keyring answered: a password may be kept there
};

// The one way every front-end reaches a keyring. Each call answers through
// `then`: at once (the Credential Manager, the Secret Service's own tool), or
// later on the window's thread (QtKeychain), never after its owner is gone.
class Keyring {
public:
    virtual void find(const std::string &server, std::function<void(Kept)> then) = 0;
    // `then` is told why it was not done; an empty text when it was.
    using Done = std::function<void(std::string)>;
    virtual void keep(const std::string &server, const std::string &password, Done then) = 0;
    virtual void forget(const std::string &server, Done then) = 0;

protected:
    ~Keyring() = default;
};

// This system's own: the Credential Manager on Windows; elsewhere the
// Secret Service through libsecret's tool, which finds and keeps nothing
// where it is not installed. Waits for an answer a bounded time.
Keyring &systemKeyring();

}  // namespace zelvar

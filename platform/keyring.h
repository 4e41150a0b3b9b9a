// The system's keyring, where a window keeps a server's remote-console
// password at the user's choice: the Credential Manager on Windows, the
// Secret Service elsewhere (which the Qt window reaches through QtKeychain).
// A password is found by the server's address under one service name, so
// that every front-end finds what any of them kept.
#pragma once

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

// Asks the keyring, waiting for it a bounded time; a keyring that cannot be
// reached is no keyring.
Kept keptPassword(const std::string &server);

#ifdef _WIN32
// Why the Credential Manager did not keep or forget it; empty when it did.
std::string keepPassword(const std::string &server, const std::string &password);
std::string forgetPassword(const std::string &server);
#endif

}  // namespace zelvar

// Planning a change to a configuration, byte for byte. For each variable in
// turn, the setting that takes effect (the last the server applies) gets the
// new value in place of its value's bytes, its quotes, blanks, comments and
// every other byte of the file as they were; a variable the file does not set
// gets `seta NAME "VALUE"` on a line of its own at the end, with the file's
// own line ending. A bare name the server drops as it starts (the variable
// does not exist yet) becomes `seta NAME "VALUE"` where it stands, the rest
// of its line kept. Each step is read back as the server reads it: the
// variable must end with the new value and every other with its old one, or
// nothing is planned at all. Writing the plan is the platform layer's.
#pragma once

#include "config.h"
#include "decode.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

struct Change {
    Variable variable;
    std::string value;  // digits, as the calculator writes them
    // The file's last setting of the variable is a bare name that the
    // server drops as it starts: the line becomes `seta NAME "VALUE"`.
    bool asSet = false;
};

// Why the calculator would not write `value`, in decode's words; nothing
// when it would.
std::optional<std::string> refusedValue(const Variable &variable, std::string_view value);

// The change a line such as "g_weaponDisable 40" asks for, as decode reads a
// line; none when it names no variable or has no value.
std::optional<Change> lineChange(std::string_view line);

struct Edit {
    std::string bytes;                   // the file as it would be
    std::optional<std::string> refused;  // why nothing may be written
};

// `name` is what a message calls the file.
Edit planEdit(std::string_view original, std::string_view name, std::span<const Change> changes);
// Why no line may be added at the end of `name`: the server reads it inside
// a comment left open there, and on into whatever it runs next.
std::string endsInOpenComment(std::string_view name);

// What stands for the value of a password variable (rconpassword,
// g_password, sv_privatePassword: every name that ends in "password" after
// something else) in all the tool shows, since admins paste what it prints
// into tickets.
inline constexpr std::string_view kSensitive = "(sensitive value)";
std::string withoutSecrets(std::string_view text);
// Whether withoutSecrets could change `text`: a quick look, so that most
// texts are shown as they are, uncopied.
bool mayHoldSecret(std::string_view text);

// The change as `git diff` shows it, three lines of context, secrets
// hidden; a CR shows as ^M, and a last line without its line end says so.
// Empty when nothing differs.
std::string unifiedDiff(std::string_view path, std::string_view before, std::string_view after);

}  // namespace zelvar

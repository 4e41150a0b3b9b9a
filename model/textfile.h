// A configuration's text, checked before it is read: no NUL byte (a binary
// file) and no more than kLargestConfiguration. `name` is what a message
// calls the text: a quoted path, "standard input", "the clipboard". When the
// text cannot be read, each says why, in the words every front-end uses.
#pragma once

#include <cstdint>

#include "config.h"

#include <optional>
#include <string>
#include <string_view>

namespace zelvar {

// No configuration comes near this; a text that does is not read on.
inline constexpr std::size_t kLargestConfiguration = std::size_t{256} << 20;

// FNV-1a over `bytes`: a text told from another without keeping it. Never a
// guard against a text made to collide, which no one here has reason to make.
std::uint64_t digestOf(std::string_view bytes);

// A file's bytes whole, with the same checks; a NUL byte let through with
// `nulTaken`, for a reader that cuts the text there as the console does.
std::optional<std::string> readWhole(const std::string &path, std::string &bytes,
                                     bool nulTaken = false);
// The same refusals for a text held whole, or a piece of one that starts on
// `line` and brings the text to `size` bytes.
std::optional<std::string> refusedText(std::string_view name, std::string_view text, int line = 1,
                                       std::size_t size = 0);

// What is said of a text in which no command sets one of the variables.
std::string noSettingIn(std::string_view name);

}  // namespace zelvar

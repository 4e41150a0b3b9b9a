// The reader: the quick search for the calculator's names finds exactly the
// settings that reading every command finds, and no value runs past a NUL.
#include "config.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const auto quick = zelvar::ConfigReader().read(text);
    const auto every = zelvar::ConfigReader(true).read(text);
    if (quick.size() != every.size())
        std::abort();
    for (std::size_t i = 0; i < quick.size(); ++i) {
        const zelvar::Setting &a = quick[i];
        const zelvar::Setting &b = every[i];
        if (a.value != b.value || a.line != b.line || a.applied != b.applied || a.at != b.at ||
            a.variable.name != b.variable.name || a.line < 1 || a.at >= text.size())
            std::abort();
    }
    return 0;
}

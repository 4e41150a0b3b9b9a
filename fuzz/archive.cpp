// The archive reader, over any bytes as an archive: it never reads outside
// them (the sanitizers watch), asks for no more than they hold, names
// every archive it cannot open and every entry it cannot read, and an entry
// read has the size its directory gives and reads the same twice.
#include "archive.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    std::size_t asked = 0;  // bytes handed out, which bounds the work done
    const zelvar::ArchiveFile file{bytes.size(),
                                   [&](std::uint64_t at, std::size_t n, std::string &into) {
                                       if (at > bytes.size() || n > bytes.size() - at)
                                           return false;
                                       asked += n;
                                       into.assign(bytes, at, n);
                                       return true;
                                   }};
    const zelvar::ArchiveIndex index = zelvar::readIndex(file);
    // The end, then the directory: never more than the file holds, twice.
    if ((index.error && (index.error->empty() || !index.entries.empty())) ||
        asked > 2 * bytes.size())
        std::abort();
    for (const zelvar::ArchiveEntry &entry : index.entries) {
        std::string text;
        std::string why;
        asked = 0;
        const bool read = zelvar::readEntry(file, entry, text, why);
        if (asked > 30 + bytes.size())  // its header, then its bytes
            std::abort();
        if (!read) {
            if (why.empty())
                std::abort();
            continue;
        }
        std::string again;
        if (text.size() != entry.size || !zelvar::readEntry(file, entry, again, why) ||
            again != text)
            std::abort();
    }
    return 0;
}

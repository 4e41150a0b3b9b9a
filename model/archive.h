// The .pk3 archives of a game folder: zip files, read as the engine reads
// them, where exec finds files as it finds loose ones.
//
// Only what is needed is read: an archive's central directory, once, to
// know what it holds; an entry's bytes when exec asks for that name. Every
// size and count is bounded, so that no archive, however made, makes the
// reader use unbounded memory or time. Stored and deflated entries are
// read (deflate through zlib); an archive the engine could not open either
// (zip64, spread over disks, no directory at its end) is named with why,
// as is an entry that cannot be read here (encrypted, another method, a
// checksum that does not match, larger than a configuration can be).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

// An archive's bytes by range: what the reader asks of the disk.
struct ArchiveFile {
    std::uint64_t size = 0;
    // Exactly `count` bytes from `at` into `into`; false where they cannot be read.
    std::function<bool(std::uint64_t at, std::size_t count, std::string &into)> read;
};
// The archive at `path`, or none and why.
std::optional<ArchiveFile> archiveFromDisk(const std::string &path, std::string &why);
// The archives a folder holds, by file name (".pk3" in any case), in no order.
std::vector<std::string> archivesOnDisk(const std::string &folder);

struct ArchiveEntry {
    std::string name;          // as the archive spells it
    std::uint64_t header = 0;  // where its local header starts
    std::uint32_t packed = 0;
    std::uint32_t size = 0;
    std::uint32_t crc = 0;
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
};
struct ArchiveIndex {
    std::vector<ArchiveEntry> entries;
    std::optional<std::string> error;  // why it cannot be opened: then it holds nothing
};
ArchiveIndex readIndex(const ArchiveFile &file);

// The entry the engine finds for `name`: names compare regardless of case,
// '\' as '/'; of two with one name, the later in the directory.
const ArchiveEntry *findEntry(const ArchiveIndex &index, std::string_view name);
// The entry's bytes; or false, and why they cannot be read here.
bool readEntry(const ArchiveFile &file, const ArchiveEntry &entry, std::string &bytes,
               std::string &why);

// Whether the archive named `a` comes before `b` in the engine's sort:
// bytes upper-cased, so "pak10.pk3" comes before "pak2.pk3".
bool archiveBefore(std::string_view a, std::string_view b);

// The largest entry read: far past any configuration, and what a tree reads on.
inline constexpr std::uint32_t kLargestEntry = std::uint32_t{4} << 20;

// Deflated bytes inflated into `out`, which holds the size expected; "" or
// why not (zlib's word, or that this build has no inflater).
std::string inflateInto(std::string_view packed, std::string &out);

}  // namespace zelvar

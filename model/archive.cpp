#include "archive.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <memory>

namespace zelvar {

namespace {

// The zip format's own limits without zip64, and what is read of a directory.
constexpr std::size_t kEndRecord = 22;
constexpr std::size_t kLongestComment = 0xFFFF;
constexpr std::size_t kCentralHeader = 46;
constexpr std::size_t kLocalHeader = 30;
constexpr std::uint32_t kLargestDirectory = std::uint32_t{16} << 20;
constexpr std::size_t kMostEntries = 0xFFFF;

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::size_t kZip64Locator = 20;

constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint16_t kEncrypted = 1;

std::uint16_t u16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8U);
}
std::uint32_t u32(std::string_view b, std::size_t at) {
    return static_cast<std::uint32_t>(u16(b, at)) | static_cast<std::uint32_t>(u16(b, at + 2))
                                                        << 16U;
}

// CRC-32 as zip writes it (the reflected polynomial 0xEDB88320).
constexpr std::array<std::uint32_t, 256> kCrcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1U) : c >> 1U;
        table.at(i) = c;
    }
    return table;
}();
constexpr std::uint32_t crc32Of(std::string_view bytes) {
    std::uint32_t c = 0xFFFFFFFFU;
    for (const char b : bytes)
        c = kCrcTable.at((c ^ static_cast<unsigned char>(b)) & 0xFFU) ^ (c >> 8U);
    return c ^ 0xFFFFFFFFU;
}
static_assert(crc32Of("123456789") == 0xCBF43926U, "the check value of CRC-32");

// As the engine compares paths: upper-cased, '\' and ':' as '/', bytes
// signed as x86 builds compare them.
int pathByte(char c) {
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    if (c == '\\' || c == ':')
        c = '/';
    return static_cast<signed char>(c);
}

}  // namespace

std::optional<ArchiveFile> archiveFromDisk(const std::string &path, std::string &why) {
    auto in = std::make_shared<std::ifstream>(path, std::ios::binary);
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (!*in || error) {
        why = error ? error.message() : "it cannot be opened";
        return std::nullopt;
    }
    return ArchiveFile{size, [in](std::uint64_t at, std::size_t count, std::string &into) {
                           into.resize(count);
                           in->clear();
                           in->seekg(static_cast<std::streamoff>(at));
                           in->read(into.data(), static_cast<std::streamsize>(count));
                           return static_cast<std::size_t>(in->gcount()) == count;
                       }};
}

std::vector<std::string> archivesOnDisk(const std::string &folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, error), end;
         !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code kind;
        if (name.size() > 4 && pathByte(name[name.size() - 4]) == '.' &&
            std::equal(name.end() - 3, name.end(), "PK3",
                       [](char a, char b) { return pathByte(a) == b; }) &&
            !it->is_directory(kind))
            names.push_back(name);
    }
    return names;
}

bool archiveBefore(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return pathByte(x) < pathByte(y); });
}

ArchiveIndex readIndex(const ArchiveFile &file) {
    ArchiveIndex index;
    const auto fail = [&index](std::string why) {
        index.entries.clear();
        index.error = std::move(why);
        return index;
    };
    if (file.size < kEndRecord)
        return fail("too short to be a zip archive");
    const std::size_t tailSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(file.size, kEndRecord + kLongestComment));
    std::string tail;
    if (!file.read(file.size - tailSize, tailSize, tail))
        return fail("its end cannot be read");
    // The last end record whose comment reaches no further than the file.
    std::size_t end = std::string::npos;
    for (std::size_t at = tailSize - kEndRecord + 1; at-- > 0;)
        if (u32(tail, at) == kEndSignature && at + kEndRecord + u16(tail, at + 20) <= tailSize) {
            end = at;
            break;
        }
    if (end == std::string::npos)
        return fail("not a zip archive: no directory at its end");
    const std::uint16_t disk = u16(tail, end + 4);
    const std::uint16_t directoryDisk = u16(tail, end + 6);
    const std::uint16_t count = u16(tail, end + 10);
    const std::uint32_t directorySize = u32(tail, end + 12);
    const std::uint32_t directoryAt = u32(tail, end + 16);
    if ((end >= kZip64Locator && u32(tail, end - kZip64Locator) == kZip64LocatorSignature) ||
        count == 0xFFFF || directoryAt == 0xFFFFFFFFU)
        return fail("a zip64 archive, which the engine cannot open");
    if (disk != 0 || directoryDisk != 0 || u16(tail, end + 8) != count)
        return fail("an archive spread over several disks, which the engine cannot open");
    const std::uint64_t endAt = file.size - tailSize + end;
    if (directorySize > kLargestDirectory || std::uint64_t{directoryAt} + directorySize > endAt)
        return fail("damaged: its directory lies outside the file");
    std::string directory;
    if (!file.read(directoryAt, directorySize, directory))
        return fail("its directory cannot be read");
    index.entries.reserve(std::min<std::size_t>(count, kMostEntries));
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (at + kCentralHeader > directory.size() || u32(directory, at) != kCentralSignature)
            return fail("damaged: entry " + std::to_string(i + 1) + " of its directory is cut");
        const std::size_t nameSize = u16(directory, at + 28);
        const std::size_t rest = nameSize + u16(directory, at + 30) + u16(directory, at + 32);
        if (at + kCentralHeader + rest > directory.size())
            return fail("damaged: entry " + std::to_string(i + 1) + " of its directory is cut");
        ArchiveEntry e;
        e.flags = u16(directory, at + 8);
        e.method = u16(directory, at + 10);
        e.crc = u32(directory, at + 16);
        e.packed = u32(directory, at + 20);
        e.size = u32(directory, at + 24);
        e.header = u32(directory, at + 42);
        e.name.assign(directory, at + kCentralHeader, nameSize);
        if (!e.name.empty() && e.name.back() != '/')  // a folder's entry holds nothing
            index.entries.push_back(std::move(e));
        at += kCentralHeader + rest;
    }
    return index;
}

const ArchiveEntry *findEntry(const ArchiveIndex &index, std::string_view name) {
    const auto same = [name](const ArchiveEntry &e) {
        return e.name.size() == name.size() &&
               std::equal(name.begin(), name.end(), e.name.begin(),
                          [](char a, char b) { return pathByte(a) == pathByte(b); });
    };
    const auto found = std::find_if(index.entries.rbegin(), index.entries.rend(), same);
    return found == index.entries.rend() ? nullptr : &*found;
}

bool readEntry(const ArchiveFile &file, const ArchiveEntry &entry, std::string &bytes,
               std::string &why) {
    if ((entry.flags & kEncrypted) != 0) {
        why = "encrypted in its archive";
        return false;
    }
    if (entry.method != kStored && entry.method != kDeflated) {
        why = "packed with method " + std::to_string(entry.method) +
              ", which is read only as "
              "stored or deflated";
        return false;
    }
    if (entry.size > kLargestEntry || entry.packed > kLargestEntry + (kLargestEntry >> 3U)) {
        why = "larger than " + std::to_string(kLargestEntry >> 20U) + " MiB";
        return false;
    }
    std::string header;
    if (entry.header + kLocalHeader > file.size || !file.read(entry.header, kLocalHeader, header) ||
        u32(header, 0) != kLocalSignature) {
        why = "damaged: its entry's header is not where the directory says";
        return false;
    }
    const std::uint64_t data = entry.header + kLocalHeader + u16(header, 26) + u16(header, 28);
    std::string packed;
    if (data + entry.packed > file.size || !file.read(data, entry.packed, packed)) {
        why = "damaged: its bytes run past the end of the archive";
        return false;
    }
    if (entry.method == kStored) {
        if (entry.packed != entry.size) {
            why = "damaged: stored with two sizes";
            return false;
        }
        bytes = std::move(packed);
    } else {
        bytes.assign(entry.size, '\0');
        if (const std::string error = inflateInto(packed, bytes); !error.empty()) {
            why = error;
            return false;
        }
    }
    if (crc32Of(bytes) != entry.crc) {
        why = "damaged: its checksum does not match its bytes";
        return false;
    }
    return true;
}

}  // namespace zelvar

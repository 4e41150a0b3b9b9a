// Inflating an archive's entry with zlib, where the build has it.
#include "archive.h"

#include <zlib.h>

namespace zelvar {

std::string inflateInto(std::string_view packed, std::string &out) {
    z_stream z{};
    // A raw deflate stream, as zip holds it: no zlib header.
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return "zlib could not start";
    // zlib reads through a pointer that it never writes through.
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_FINISH);
    const bool whole = result == Z_STREAM_END && z.avail_out == 0;
    inflateEnd(&z);
    // Output is bounded by `out`: a stream that would give more ends as a buffer error.
    return whole ? std::string() : "damaged: its deflated bytes do not inflate to its size";
}

}  // namespace zelvar

// Bytes gzip'ed by zlib, as other tools write .gii.gz and MGZ files.
#pragma once

#include <zlib.h>

#include <string>
#include <string_view>
#include <vector>

namespace meshbridge::test {

inline std::string gzipped(std::string_view bytes) {
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

inline std::vector<unsigned char> gzipped(const std::vector<unsigned char>& bytes) {
    const std::string out = gzipped(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return std::vector<unsigned char>(out.begin(), out.end());
}

}  // namespace meshbridge::test

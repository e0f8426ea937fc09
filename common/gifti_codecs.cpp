#include "common/gifti_codecs.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kChunk = 48 * 1024;  // input bytes per write: a multiple of 3

struct CompressorDeleter {
    void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};
struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* decompressor) const { libdeflate_free_decompressor(decompressor); }
};

// Appends `value` and a blank, formatted as printf's "%.<precision>g" or "%d" would.
template <class T>
char* appendValue(char* at, char* end, T value, int precision = 0) {
    std::to_chars_result result;
    if constexpr (std::is_floating_point_v<T>) {
        result = std::to_chars(at, end, static_cast<double>(value), std::chars_format::general, precision);
    } else {
        result = std::to_chars(at, end, value);
    }
    *result.ptr = ' ';
    return result.ptr + 1;
}

// Writes the rows through one buffer, handed to the stream in blocks of about
// 64 KB: the values of one row need not fit in it.
template <class T>
int writeRows(FILE* file, const void* data, long long rows, long long cols, int space, int precision = 0) {
    constexpr std::size_t kBlock = 64 * 1024;
    constexpr std::size_t kPerValue = 32;  // a value has at most 26 characters, and its blank
    const auto indent = static_cast<std::size_t>(space > 0 ? space : 0);
    thread_local std::vector<char> text;  // one buffer for all the writes of a thread
    text.resize(std::max(text.size(), kBlock + indent + 2 * kPerValue + 2));
    char* at = text.data();
    char* const end = text.data() + text.size();
    const auto flush = [&] {
        std::fwrite(text.data(), 1, static_cast<std::size_t>(at - text.data()), file);
        at = text.data();
    };
    const T* values = static_cast<const T*>(data);
    for (long long row = 0; row < rows; ++row) {
        std::memset(at, ' ', indent);
        at += indent;
        for (long long c = 0; c < cols; ++c) {
            at = appendValue(at, end, *values++, precision);
            if (static_cast<std::size_t>(at - text.data()) >= kBlock) flush();
        }
        *at++ = '\n';
    }
    flush();
    return 1;
}

}  // namespace

extern "C" {

int meshbridge_write_base64(FILE* file, const void* data, long long length) {
    if (!file || !data || length < 1) return -1;
    const auto* bytes = static_cast<const unsigned char*>(data);
    const auto total = static_cast<std::size_t>(length);
    std::vector<char> text(kChunk / 3 * 4);
    for (std::size_t start = 0; start < total; start += kChunk) {
        const std::size_t size = std::min(kChunk, total - start);
        const unsigned char* in = bytes + start;
        char* out = text.data();
        std::size_t i = 0;
        for (; i + 3 <= size; i += 3, out += 4) {
            const std::uint32_t block = (std::uint32_t{in[i]} << 16) | (std::uint32_t{in[i + 1]} << 8) | in[i + 2];
            out[0] = kBase64[block >> 18];
            out[1] = kBase64[(block >> 12) & 0x3F];
            out[2] = kBase64[(block >> 6) & 0x3F];
            out[3] = kBase64[block & 0x3F];
        }
        if (i < size) {  // only in the last chunk: one or two bytes left
            const std::uint32_t block = (std::uint32_t{in[i]} << 16) | (i + 1 < size ? std::uint32_t{in[i + 1]} << 8 : 0);
            out[0] = kBase64[block >> 18];
            out[1] = kBase64[(block >> 12) & 0x3F];
            out[2] = i + 1 < size ? kBase64[(block >> 6) & 0x3F] : '=';
            out[3] = '=';
            out += 4;
        }
        std::fwrite(text.data(), 1, static_cast<std::size_t>(out - text.data()), file);
    }
    return 0;
}

int meshbridge_write_ascii_rows(FILE* file, int type, const void* data, long long rows, long long cols, int space) {
    if (!file || !data || rows < 0 || cols <= 0) return 0;
    // NIfTI's type codes.
    switch (type) {
        case 2: return writeRows<unsigned char>(file, data, rows, cols, space);     // UINT8, "%u"
        case 4: return writeRows<short>(file, data, rows, cols, space);             // INT16, "%d"
        case 8: return writeRows<int>(file, data, rows, cols, space);               // INT32, "%d"
        case 16: return writeRows<float>(file, data, rows, cols, space, 9);         // FLOAT32, "%.9g"
        case 64: return writeRows<double>(file, data, rows, cols, space, 17);       // FLOAT64, "%.17g"
        case 256: return writeRows<signed char>(file, data, rows, cols, space);     // INT8, "%d"
        case 512: return writeRows<unsigned short>(file, data, rows, cols, space);  // UINT16, "%u"
        case 768: return writeRows<unsigned int>(file, data, rows, cols, space);    // UINT32, "%u"
        case 1024: return writeRows<long long>(file, data, rows, cols, space);      // INT64, "%lld"
        case 1280: return writeRows<unsigned long long>(file, data, rows, cols, space);  // UINT64, "%llu"
        default: return 0;
    }
}

long long meshbridge_zlib_compress(void* out, long long capacity, const void* in, long long length, int level) {
    if (!out || !in || capacity <= 0 || length < 0) return -1;
    const int libdeflateLevel = level < 0 ? 6 : (level > 12 ? 12 : level);
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(libdeflate_alloc_compressor(libdeflateLevel));
    if (!compressor) return -1;
    const std::size_t size = libdeflate_zlib_compress(compressor.get(), in, static_cast<std::size_t>(length), out,
                                                      static_cast<std::size_t>(capacity));
    if (size > 0) return static_cast<long long>(size);
    // Too little room for this compressor's stream: zlib's fits the room gifticlib gives.
    uLongf made = static_cast<uLongf>(capacity);
    if (compress2(static_cast<Bytef*>(out), &made, static_cast<const Bytef*>(in), static_cast<uLong>(length), level) != Z_OK)
        return -1;
    return static_cast<long long>(made);
}

long long meshbridge_zlib_decompress(void* out, long long capacity, const void* in, long long length) {
    if (!out || !in || capacity < 0 || length <= 0) return -1;
    std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(libdeflate_alloc_decompressor());
    if (!decompressor) return -1;
    std::size_t produced = 0;
    const libdeflate_result result =
        libdeflate_zlib_decompress(decompressor.get(), in, static_cast<std::size_t>(length), out,
                                   static_cast<std::size_t>(capacity), &produced);
    return result == LIBDEFLATE_SUCCESS ? static_cast<long long>(produced) : -1;
}

double meshbridge_strtod(const char* text, char** end) {
    // The blanks of the "C" locale, which the plug-in never leaves.
    const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    const char* p = text;
    while (blank(*p)) ++p;
    const char* number = p;
    if (*number == '+') ++number;  // from_chars takes no plus sign
    const char* digits = number + (*number == '-' ? 1 : 0);
    // Hexadecimal numbers and a second sign are strtod's own.
    if (number != p && *number == '-') return std::strtod(text, end);
    if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) return std::strtod(text, end);
    const char* last = number;
    while (*last && !blank(*last)) ++last;
    double value = 0.0;
    const std::from_chars_result result = std::from_chars(number, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) return std::strtod(text, end);
    if (result.ec != std::errc()) {
        if (end) *end = const_cast<char*>(text);
        return 0.0;
    }
    if (end) *end = const_cast<char*>(result.ptr);
    return value;
}

}  // extern "C"

#include "common/gifti_codecs.h"

#include <libdeflate.h>
#include <zlib.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
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

// Separators of ASCII numbers: XML's blanks, and those a text reader takes too.
bool isSeparator(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A "number" longer than this is no number any writer makes.
constexpr std::size_t kLongestWord = 1 << 16;

// The word as it may appear in a message.
std::string quoted(std::string_view word) {
    constexpr std::size_t kShown = 40;
    std::string text(1, '"');
    text.append(word.substr(0, kShown));
    text.append(word.size() > kShown ? "...\"" : "\"");
    return text;
}

// A leading plus sign, which from_chars does not take; "+-1" stays invalid.
std::string_view withoutPlus(std::string_view word) {
    if (word.size() > 1 && word[0] == '+' && word[1] != '-' && word[1] != '+') word.remove_prefix(1);
    return word;
}

}  // namespace

struct meshbridge_ascii_reader {
    using Store = bool (meshbridge_ascii_reader::*)(std::string_view);
    Store storeOne = nullptr;  // how one number of the array's type is read and stored
    void* data = nullptr;
    long long capacity = 0;
    long long count = 0;
    int index = 0;
    bool failed = false;
    std::string pending;  // the start of a number that the last piece ended in

    void fail(const std::string& why) {
        if (!failed) meshbridge_gifti_fprintf(stderr, "** DataArray[%d]: %s\n", index, why.c_str());
        failed = true;
    }

    template <class T>
    bool storeInteger(std::string_view word) {
        using Wide = std::conditional_t<std::is_unsigned_v<T>, unsigned long long, long long>;
        const std::string_view digits = withoutPlus(word);
        Wide value = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (error != std::errc() || end != digits.data() + digits.size() || value < std::numeric_limits<T>::min() ||
            value > std::numeric_limits<T>::max()) {
            std::string why = quoted(word);
            why.append(" is not a whole number from ").append(std::to_string(std::numeric_limits<T>::min()));
            why.append(" to ").append(std::to_string(std::numeric_limits<T>::max()));
            fail(why);
            return false;
        }
        static_cast<T*>(data)[count] = static_cast<T>(value);
        return true;
    }

    template <class T>
    bool storeReal(std::string_view word) {
        const std::string_view number = withoutPlus(word);
        double value = 0.0;
        auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
        if (error == std::errc::result_out_of_range) {  // beyond double: infinity or zero, as strtod gives
            const std::string text(number);
            char* textEnd = nullptr;
            value = std::strtod(text.c_str(), &textEnd);
            end = textEnd == text.c_str() + text.size() ? number.data() + number.size() : number.data();
            error = std::errc();
        }
        if (error != std::errc() || end != number.data() + number.size()) {
            fail(quoted(word).append(" is not a number"));
            return false;
        }
        if constexpr (std::is_same_v<T, float>) {
            // Beyond float's range is infinity, as rounding to float gives.
            constexpr double kOverflow = 0x1.ffffffp127;
            if (std::fabs(value) >= kOverflow && std::isfinite(value))
                value = std::copysign(std::numeric_limits<double>::infinity(), value);
        }
        static_cast<T*>(data)[count] = static_cast<T>(value);
        return true;
    }

    // How a number of a NIfTI type is stored; null for a type without an ASCII form.
    static Store storeFor(int type) {
        switch (type) {
            case 2: return &meshbridge_ascii_reader::storeInteger<std::uint8_t>;
            case 4: return &meshbridge_ascii_reader::storeInteger<std::int16_t>;
            case 8: return &meshbridge_ascii_reader::storeInteger<std::int32_t>;
            case 16: return &meshbridge_ascii_reader::storeReal<float>;
            case 64: return &meshbridge_ascii_reader::storeReal<double>;
            case 256: return &meshbridge_ascii_reader::storeInteger<std::int8_t>;
            case 512: return &meshbridge_ascii_reader::storeInteger<std::uint16_t>;
            case 768: return &meshbridge_ascii_reader::storeInteger<std::uint32_t>;
            case 1024: return &meshbridge_ascii_reader::storeInteger<std::int64_t>;
            case 1280: return &meshbridge_ascii_reader::storeInteger<std::uint64_t>;
            default: return nullptr;
        }
    }

    bool store(std::string_view word) {
        if (count >= capacity) {
            fail("holds more ASCII numbers than its dimensions give (" + std::to_string(capacity) + ")");
            return false;
        }
        if (!(this->*storeOne)(word)) return false;
        ++count;
        return true;
    }

    int feed(const char* text, long long length) {
        const char* at = text;
        const char* const end = text + length;
        if (!pending.empty()) {  // the number the last piece ended in goes on here
            const char* wordEnd = at;
            while (wordEnd != end && !isSeparator(*wordEnd)) ++wordEnd;
            pending.append(at, wordEnd);
            if (pending.size() > kLongestWord) {
                fail(quoted(pending).append(" is not a number"));
                return -1;
            }
            if (wordEnd == end) return 0;
            if (!store(pending)) return -1;
            pending.clear();
            at = wordEnd;
        }
        for (;;) {
            while (at != end && isSeparator(*at)) ++at;
            if (at == end) return 0;
            const char* wordEnd = at;
            while (wordEnd != end && !isSeparator(*wordEnd)) ++wordEnd;
            if (wordEnd == end) {  // may go on in the next piece
                pending.assign(at, wordEnd);
                return 0;
            }
            if (!store(std::string_view(at, static_cast<std::size_t>(wordEnd - at)))) return -1;
            at = wordEnd;
        }
    }
};

namespace {

// What gifticlib printed on stderr, up to a limit.
constexpr std::size_t kMessagesKept = 64 * 1024;
constexpr std::size_t kMessageKept = 240;
thread_local std::string giftiMessagesFirst, giftiMessagesLatest, giftiMessages;
thread_local bool giftiMessagesCut = false;

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

namespace {

// The value of each Base64 character, 0x40 for the padding "=" (which
// decodes as 0), 0x80 for the rest.
constexpr unsigned char kPadding = 0x40;
constexpr std::array<unsigned char, 256> kBase64Values = [] {
    std::array<unsigned char, 256> values{};
    values.fill(0x80);
    for (unsigned char i = 0; i < 64; ++i) values[static_cast<unsigned char>(kBase64[i])] = i;
    values['='] = kPadding;
    return values;
}();

#ifdef __SSE2__
// Bytes of `v` within lo..hi: shifted so that the range starts at -128, one
// signed compare tells.
__m128i inRange(__m128i v, char lo, char hi) {
    const __m128i shifted = _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(0x80 - lo)));
    return _mm_cmplt_epi8(shifted, _mm_set1_epi8(static_cast<char>(0x80 + (hi - lo) + 1)));
}
#endif

// Whether the 16 characters at `text` are all of the alphabet or "=".
bool allBase64(const unsigned char* text) {
#ifdef __SSE2__
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    const __m128i valid = _mm_or_si128(
        _mm_or_si128(_mm_or_si128(inRange(v, 'A', 'Z'), inRange(v, 'a', 'z')), inRange(v, '0', '9')),
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('+')), _mm_cmpeq_epi8(v, _mm_set1_epi8('/'))),
                     _mm_cmpeq_epi8(v, _mm_set1_epi8('='))));
    return _mm_movemask_epi8(valid) == 0xFFFF;
#else
    unsigned char any = 0;
    for (int i = 0; i < 16; ++i) any |= kBase64Values[text[i]];
    return (any & 0x80) == 0;
#endif
}

}  // namespace

int meshbridge_base64_compact(const char* src, int length, char* dest, int* errors) {
    const auto* in = reinterpret_cast<const unsigned char*>(src);
    const auto size = static_cast<std::size_t>(std::max(length, 0));
    std::size_t copied = 0;
    // Blocks of 16 without blanks or other characters go at once; lines of
    // 64 or 76 characters leave most blocks whole.
    constexpr std::size_t kBlock = 16;
    std::size_t at = 0;
    while (at < size) {
        if (size - at >= kBlock && allBase64(in + at)) {
            std::memcpy(dest + copied, in + at, kBlock);
            copied += kBlock;
            at += kBlock;
            continue;
        }
        const std::size_t end = std::min(size, at + kBlock);
        for (; at < end; ++at) {
            const unsigned char c = in[at];
            if (kBase64Values[c] != 0x80) dest[copied++] = static_cast<char>(c);
            else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') ++*errors;
        }
    }
    return static_cast<int>(copied);
}

long long meshbridge_base64_decode_blocks(const unsigned char* in, long long blocks, unsigned char* out,
                                          int paddingRead) {
    constexpr unsigned char kBits = 0x3F;
    for (long long b = 0; b < blocks; ++b, in += 4, out += 3) {
        const unsigned char v0 = kBase64Values[in[0]], v1 = kBase64Values[in[1]], v2 = kBase64Values[in[2]],
                            v3 = kBase64Values[in[3]];
        if (((v0 | v1 | v2 | v3) & kPadding) && !paddingRead) {
            for (long long c = 0; c < 4; ++c)
                if (kBase64Values[in[c]] == kPadding) return 4 * b + c;
        }
        const auto six = [](unsigned char v) { return static_cast<std::uint32_t>(v & kBits); };
        const std::uint32_t bits = (six(v0) << 18) | (six(v1) << 12) | (six(v2) << 6) | six(v3);
        out[0] = static_cast<unsigned char>(bits >> 16);
        out[1] = static_cast<unsigned char>(bits >> 8);
        out[2] = static_cast<unsigned char>(bits);
    }
    return -1;
}

namespace {

// What a character of element text is to the XML parser.
enum TextCharacter : unsigned char { kMarkup, kPlain, kLineFeed, kCarriageReturn };

// Plain: printable ASCII that needs the parser for nothing ("<", "&" and "]"
// start markup, references and "]]>"), blanks and tabs. Control characters
// and bytes from 0x80 up are left to the parser, which checks them.
constexpr std::array<TextCharacter, 256> kTextCharacters = [] {
    std::array<TextCharacter, 256> kinds{};
    kinds.fill(kMarkup);
    for (int c = 0x21; c < 0x7F; ++c) kinds[static_cast<std::size_t>(c)] = kPlain;
    kinds['<'] = kinds['&'] = kinds[']'] = kMarkup;
    kinds[' '] = kinds['\t'] = kPlain;
    kinds['\n'] = kLineFeed;
    kinds['\r'] = kCarriageReturn;
    return kinds;
}();

#ifdef __SSE2__
// Bit i set where character i of the 16 at `text` is plain or a line feed;
// `lineFeeds` gets the bits of the line feeds.
unsigned plainOrLineFeed(const unsigned char* text, unsigned& lineFeeds) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    const __m128i printable = inRange(v, 0x21, 0x7E);
    const __m128i markup = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('<')),
                                                     _mm_cmpeq_epi8(v, _mm_set1_epi8('&'))),
                                        _mm_cmpeq_epi8(v, _mm_set1_epi8(']')));
    const __m128i lineFeed = _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'));
    const __m128i blank = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t')));
    lineFeeds = static_cast<unsigned>(_mm_movemask_epi8(lineFeed));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_andnot_si128(markup, printable), _mm_or_si128(lineFeed, blank))));
}
#endif

}  // namespace

long long meshbridge_xml_plain_text(const char* text, long long length, long long* lineEnds, int* afterCr) {
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    long long at = 0, lines = 0;
    bool cr = *afterCr != 0;
    while (at < length) {
#ifdef __SSE2__
        // Blocks of 16 plain characters and line feeds go at once.
        unsigned lineFeeds = 0;
        if (length - at >= 16 && plainOrLineFeed(in + at, lineFeeds) == 0xFFFF) {
            lines += std::popcount(lineFeeds) - ((cr && (lineFeeds & 1) != 0) ? 1 : 0);
            cr = false;
            at += 16;
            continue;
        }
#endif
        const long long end = std::min(length, at + 16);
        for (; at < end; ++at) {
            const TextCharacter kind = kTextCharacters[in[at]];
            if (kind == kMarkup) {
                *lineEnds += lines;
                *afterCr = cr;
                return at;
            }
            if (kind == kCarriageReturn || (kind == kLineFeed && !cr)) ++lines;
            cr = kind == kCarriageReturn;
        }
    }
    *lineEnds += lines;
    *afterCr = cr;
    return at;
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

meshbridge_ascii_reader* meshbridge_ascii_open(int type, void* data, long long capacity, int index) {
    const meshbridge_ascii_reader::Store store = meshbridge_ascii_reader::storeFor(type);
    if (!store || (!data && capacity > 0) || capacity < 0) return nullptr;
    std::unique_ptr<meshbridge_ascii_reader> reader;
    try {
        reader = std::make_unique<meshbridge_ascii_reader>();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    reader->storeOne = store;
    reader->data = data;
    reader->capacity = capacity;
    reader->index = index;
    return reader.release();  // gifticlib's until meshbridge_ascii_close
}

int meshbridge_ascii_feed(meshbridge_ascii_reader* reader, const char* text, long long length) {
    if (!reader || reader->failed) return -1;
    if (!text || length <= 0) return 0;
    try {
        return reader->feed(text, length);
    } catch (const std::bad_alloc&) {
        reader->failed = true;
        return -1;
    }
}

long long meshbridge_ascii_close(meshbridge_ascii_reader* reader) {
    if (!reader) return -1;
    const std::unique_ptr<meshbridge_ascii_reader> owned(reader);
    if (!reader->failed && !reader->pending.empty()) {
        try {
            reader->store(reader->pending);
        } catch (const std::bad_alloc&) {
            return -1;
        }
    }
    return reader->failed ? -1 : reader->count;
}

void meshbridge_ascii_free(meshbridge_ascii_reader* reader) { std::unique_ptr<meshbridge_ascii_reader> owned(reader); }

int meshbridge_gifti_fprintf(FILE* stream, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    if (stream != stderr) {
        const int written = std::vfprintf(stream, format, arguments);
        va_end(arguments);
        return written;
    }
    std::va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    // Each message kept at most at its start (some quote whole runs of a
    // file); of many, the first and the latest (which say why an array or a
    // file ended).
    std::string kept = text.substr(0, kMessageKept);
    if (text.size() > kMessageKept) kept += "...\n";
    if (giftiMessagesFirst.size() < kMessagesKept / 2) {
        giftiMessagesFirst += kept;
    } else {
        giftiMessagesLatest += kept;
        if (giftiMessagesLatest.size() > kMessagesKept / 2) {
            const std::size_t cut = giftiMessagesLatest.find('\n', giftiMessagesLatest.size() - kMessagesKept / 4);
            giftiMessagesLatest.erase(0, cut == std::string::npos ? giftiMessagesLatest.size() : cut + 1);
            giftiMessagesCut = true;
        }
    }
    return std::fputs(text.c_str(), stream) < 0 ? -1 : length;
}

void meshbridge_gifti_messages_clear(void) {
    giftiMessagesFirst.clear();
    giftiMessagesLatest.clear();
    giftiMessagesCut = false;
}

const char* meshbridge_gifti_messages(void) {
    giftiMessages = giftiMessagesFirst + (giftiMessagesCut ? "...\n" : "") + giftiMessagesLatest;
    return giftiMessages.c_str();
}

}  // extern "C"

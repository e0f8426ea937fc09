#include "common/text_encoding.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

namespace meshbridge {

namespace {

// Windows-1252's characters 0x80 to 0x9F; the five it leaves undefined keep
// the code point of their byte, as Windows does.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t fromWindows1252(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : static_cast<char32_t>(byte);
}

std::optional<unsigned char> toWindows1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    for (unsigned char i = 0; i < 32; ++i)
        if (kHighControls[i] == c) return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

bool allowedInXml(char32_t c) {
    if (c < 0x20) return c == 0x09 || c == 0x0A || c == 0x0D;
    return c != 0xFFFE && c != 0xFFFF;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The character at `at`, which moves past it; nothing for a malformed sequence.
std::optional<char32_t> nextUtf8(const std::string& text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    int length = 0;
    char32_t c = 0;
    if (lead < 0x80) {
        ++at;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07;
    } else {
        return std::nullopt;
    }
    if (at + static_cast<std::size_t>(length) > text.size()) return std::nullopt;
    for (int i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[at + static_cast<std::size_t>(i)]);
        if ((byte & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (byte & 0x3F);
    }
    constexpr char32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    at += static_cast<std::size_t>(length);
    return c;
}

constexpr int kWindows1252 = 1252;
constexpr int kUtf8 = 65001;

int codePageForTests = 0;

// Characters of another code page from and to UTF-8, by the system's tables;
// nothing where a byte or a character has no counterpart.
#ifdef _WIN32
std::optional<std::wstring> wide(UINT codePage, const std::string& text) {
    if (text.empty()) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, out.data(), length);
    return out;
}

std::optional<std::string> narrow(UINT codePage, const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = static_cast<int>(text.size());
    BOOL lost = FALSE;
    // UTF-8 takes neither the flag nor the question whether something was lost.
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL* lostFlag = codePage == CP_UTF8 ? nullptr : &lost;
    const int length = WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, lostFlag);
    if (length <= 0 || lost) return std::nullopt;
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, text.data(), size, out.data(), length, nullptr, lostFlag);
    return lost ? std::nullopt : std::optional<std::string>(out);
}

std::optional<std::string> codePageToUtf8(int codePage, const std::string& text) {
    const std::optional<std::wstring> characters = wide(static_cast<UINT>(codePage), text);
    return characters ? narrow(CP_UTF8, *characters) : std::nullopt;
}

std::optional<std::string> utf8ToCodePage(int codePage, const std::string& text) {
    const std::optional<std::wstring> characters = wide(CP_UTF8, text);
    return characters ? narrow(static_cast<UINT>(codePage), *characters) : std::nullopt;
}
#else
std::optional<std::string> convert(const char* to, const char* from, const std::string& text) {
    const iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::vector<char> out(text.size() * 4 + 16);
    std::string in = text;
    char* inAt = in.data();
    std::size_t inLeft = in.size();
    char* outAt = out.data();
    std::size_t outLeft = out.size();
    const std::size_t done = iconv(converter, &inAt, &inLeft, &outAt, &outLeft);
    iconv_close(converter);
    if (done == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
    return std::string(out.data(), static_cast<std::size_t>(outAt - out.data()));
}

std::optional<std::string> codePageToUtf8(int codePage, const std::string& text) {
    return convert("UTF-8", ("CP" + std::to_string(codePage)).c_str(), text);
}

std::optional<std::string> utf8ToCodePage(int codePage, const std::string& text) {
    return convert(("CP" + std::to_string(codePage)).c_str(), "UTF-8", text);
}
#endif

// Only what XML allows, from a text in valid UTF-8.
std::string xmlCharacters(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const std::size_t start = at;
        const char32_t c = *nextUtf8(utf8, at);
        if (allowedInXml(c)) {
            out.append(utf8, start, at - start);
        } else {
            out += '?';
        }
    }
    return out;
}

}  // namespace

int hostCodePage() {
    if (codePageForTests != 0) return codePageForTests;
    if (const char* set = std::getenv("MESHBRIDGE_CODE_PAGE")) {
        const int codePage = std::atoi(set);
        if (codePage > 0) return codePage;
    }
#ifdef _WIN32
    return static_cast<int>(GetACP());
#else
    return kWindows1252;
#endif
}

void setHostCodePageForTests(int codePage) { codePageForTests = codePage; }

bool isValidUtf8(const std::string& text) {
    for (std::size_t at = 0; at < text.size();)
        if (!nextUtf8(text, at)) return false;
    return true;
}

std::string toXmlText(const std::string& hostText) {
    if (isValidUtf8(hostText)) return xmlCharacters(hostText);
    const int codePage = hostCodePage();
    if (codePage != kWindows1252 && codePage != kUtf8) {
        if (const std::optional<std::string> utf8 = codePageToUtf8(codePage, hostText)) return xmlCharacters(*utf8);
    }
    // Windows-1252, and any byte another code page has no character for.
    std::string out;
    out.reserve(hostText.size());
    for (char byte : hostText) {
        const char32_t c = fromWindows1252(static_cast<unsigned char>(byte));
        if (allowedInXml(c)) {
            appendUtf8(out, c);
        } else {
            out += '?';
        }
    }
    return out;
}

std::string fromXmlText(const std::string& utf8) {
    if (!isValidUtf8(utf8)) return utf8;
    const int codePage = hostCodePage();
    if (codePage == kUtf8) return utf8;
    if (codePage != kWindows1252) return utf8ToCodePage(codePage, utf8).value_or(utf8);
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const std::optional<unsigned char> byte = toWindows1252(*nextUtf8(utf8, at));
        if (!byte) return utf8;
        out += static_cast<char>(*byte);
    }
    return out;
}

}  // namespace meshbridge

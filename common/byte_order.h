#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace meshbridge {

// The bytes of one 32-bit word in reverse order.
constexpr std::uint32_t reversedBytes(std::uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

// `words` 32-bit words from `from` to `to`, each with its four bytes in
// reverse order (little-endian words become big-endian ones and back).
// Sixteen bytes at a time where the processor has SSE2 (every x86-64 one),
// which the compilers do not make of the plain loop: it stays one word a step.
// The blocks must not overlap.
inline void reverseWordBytes(const unsigned char* from, unsigned char* to, std::size_t words) {
    std::size_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
    for (; i + 4 <= words; i += 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4 * i));
        v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));  // the bytes of each half
        v = _mm_shufflelo_epi16(v, 0xB1);                               // then the halves
        v = _mm_shufflehi_epi16(v, 0xB1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 4 * i), v);
    }
#endif
    for (; i < words; ++i) {
        std::uint32_t word;
        std::memcpy(&word, from + 4 * i, 4);
        word = reversedBytes(word);
        std::memcpy(to + 4 * i, &word, 4);
    }
}

}  // namespace meshbridge

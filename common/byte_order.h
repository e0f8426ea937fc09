#pragma once

#include <bit>
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

#if defined(__SSE2__) || defined(_M_X64)
// The bytes of each of the four words in reverse order.
inline __m128i reversedWordBytes(__m128i v) {
    v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));  // the bytes of each half
    v = _mm_shufflelo_epi16(v, 0xB1);                               // then the halves
    return _mm_shufflehi_epi16(v, 0xB1);
}
#endif

// `words` 32-bit words from `from` to `to`, each with its four bytes in
// reverse order (little-endian words become big-endian ones and back).
// Sixteen bytes at a time where the processor has SSE2 (every x86-64 one),
// which the compilers do not make of the plain loop: it stays one word a step.
// The blocks must not overlap.
inline void reverseWordBytes(const unsigned char* from, unsigned char* to, std::size_t words) {
    std::size_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
    for (; i + 4 <= words; i += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 4 * i), reversedWordBytes(v));
    }
#endif
    for (; i < words; ++i) {
        std::uint32_t word;
        std::memcpy(&word, from + 4 * i, 4);
        word = reversedBytes(word);
        std::memcpy(to + 4 * i, &word, 4);
    }
}

// `count` words of each of three columns (the x, y and z of vertices) to
// `to`, a word of each column after another, each with its bytes in reverse
// order. Four words of each column at a time where the processor has SSE2.
inline void interleaveReversedWords(const float* x, const float* y, const float* z, unsigned char* to,
                                    std::size_t count) {
    std::size_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
    for (; i + 4 <= count; i += 4, to += 48) {
        const __m128 a = _mm_loadu_ps(x + i), b = _mm_loadu_ps(y + i), c = _mm_loadu_ps(z + i);
        const __m128 xy01 = _mm_unpacklo_ps(a, b);                                    // x0 y0 x1 y1
        const __m128 xy23 = _mm_unpackhi_ps(a, b);                                    // x2 y2 x3 y3
        const __m128 z0x1 = _mm_shuffle_ps(c, a, _MM_SHUFFLE(1, 1, 0, 0));           // z0 z0 x1 x1
        const __m128 y1z1 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(1, 1, 1, 1));           // y1 y1 z1 z1
        const __m128 z2y3 = _mm_shuffle_ps(c, xy23, _MM_SHUFFLE(3, 2, 3, 2));        // z2 z3 x3 y3
        const __m128 first = _mm_shuffle_ps(xy01, z0x1, _MM_SHUFFLE(2, 0, 1, 0));    // x0 y0 z0 x1
        const __m128 second = _mm_shuffle_ps(y1z1, xy23, _MM_SHUFFLE(1, 0, 2, 0));   // y1 z1 x2 y2
        const __m128 third = _mm_shuffle_ps(z2y3, z2y3, _MM_SHUFFLE(1, 3, 2, 0));    // z2 x3 y3 z3
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), reversedWordBytes(_mm_castps_si128(first)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16), reversedWordBytes(_mm_castps_si128(second)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 32), reversedWordBytes(_mm_castps_si128(third)));
    }
#endif
    for (; i < count; ++i) {
        for (const float value : {x[i], y[i], z[i]}) {
            const std::uint32_t word = reversedBytes(std::bit_cast<std::uint32_t>(value));
            std::memcpy(to, &word, 4);
            to += 4;
        }
    }
}

}  // namespace meshbridge

/* The data paths of gifticlib, done by the plug-in's own code: gifticlib's
 * build step (cmake/PatchGifticlib.cmake) turns its calls to these. Every
 * function writes or reads exactly what gifticlib's own code did; only the
 * compressed stream may differ, and it inflates to the same bytes. */
#ifndef MESHBRIDGE_GIFTI_CODECS_H
#define MESHBRIDGE_GIFTI_CODECS_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Writes `length` bytes as Base64 (with "=" padding, without line breaks);
 * 0 on success. */
int meshbridge_write_base64(FILE* file, const void* data, long long length);

/* Writes `rows` rows of `cols` values of a NIfTI type from `data` as ASCII
 * text, each row indented by `space` blanks, each value followed by a blank,
 * each row by a line end, in the formats gifticlib uses ("%.9g" for float32,
 * "%.17g" for float64, "%d" and "%u" for integers). 1 when the type was
 * written, 0 for a type left to gifticlib (complex, RGB and long double
 * values). */
int meshbridge_write_ascii_rows(FILE* file, int type, const void* data, long long rows, long long cols, int space);

/* zlib-format compression of `length` bytes into `out` (room for `capacity`
 * bytes) at zlib's `level` (-1: zlib's default, 6); the compressed size, or
 * -1 when it does not fit or fails. */
long long meshbridge_zlib_compress(void* out, long long capacity, const void* in, long long length, int level);

/* Inflates zlib-format data into `out` (room for `capacity` bytes); the
 * number of bytes produced, or -1 for damaged data or too little room. */
long long meshbridge_zlib_decompress(void* out, long long capacity, const void* in, long long length);

/* strtod, through std::from_chars where that gives the same value: the same
 * numbers, the same end, the same treatment of blanks and signs. */
double meshbridge_strtod(const char* text, char** end);

#ifdef __cplusplus
}
#endif

#endif

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

/* Copies the Base64 characters of `src` (the alphabet and "=") to `dest`,
 * leaving out everything else; blanks, tabs and line ends are left out
 * silently, other characters are counted in `*errors`. The number of
 * characters copied. */
int meshbridge_base64_compact(const char* src, int length, char* dest, int* errors);

/* Decodes `blocks` blocks of four Base64 characters of the alphabet into
 * three bytes each; stops at a padding "=" among them, which may only end the
 * data, and gives its offset (-1 when there is none). With `paddingRead`,
 * "=" is read as 0 instead (for compressed data, whose buffer is larger than
 * the data: its last block comes among the whole ones, and its checksum
 * tells a shifted stream). */
long long meshbridge_base64_decode_blocks(const unsigned char* in, long long blocks, unsigned char* out,
                                          int paddingRead);

/* The length of the longest start of `text` (element text from an XML file)
 * that holds only characters an XML parser would hand on unchanged: printable
 * ASCII other than "<", "&" and "]", blanks, tabs and line ends. Adds to
 * `*lineEnds` its line ends as the parser counts them (CR LF, CR or LF, each
 * once); `*afterCr` says whether the text before ended in CR (an LF that
 * follows it is part of the same line end) and is set for what comes next. */
long long meshbridge_xml_plain_text(const char* text, long long length, long long* lineEnds, int* afterCr);

/* strtod, through std::from_chars where that gives the same value: the same
 * numbers, the same end, the same treatment of blanks and signs. */
double meshbridge_strtod(const char* text, char** end);

/* Reads the numbers of ASCII data that arrives in pieces, as an XML parser
 * hands over the text of an element: a piece may end, and the next begin, in
 * the middle of a number. Numbers are separated by any run of blanks, tabs,
 * CR or LF; each is read whole, as its type reads it ("nan", "inf", signs).
 * A word that is not a number of the type, or more numbers than `capacity`,
 * makes the reader fail: it prints why on stderr (naming data array `index`)
 * and stores nothing more. */
typedef struct meshbridge_ascii_reader meshbridge_ascii_reader;

/* A reader that stores `capacity` numbers of NIfTI type `type` at `data`
 * (float32 or float64 for the parts of complex values); null for a type that
 * has no ASCII form or when memory is short. */
meshbridge_ascii_reader* meshbridge_ascii_open(int type, void* data, long long capacity, int index);

/* Reads the next piece of text; 0, or -1 once the reader has failed. */
int meshbridge_ascii_feed(meshbridge_ascii_reader* reader, const char* text, long long length);

/* Reads the number the last piece ended in, frees the reader and gives the
 * count of numbers stored, or -1 when the reader failed. */
long long meshbridge_ascii_close(meshbridge_ascii_reader* reader);

/* Frees the reader without storing anything more (its array may be gone). */
void meshbridge_ascii_free(meshbridge_ascii_reader* reader);

/* fprintf for gifticlib: what it prints on stderr is also kept (the start of
 * each message; of many, the first and the latest few kilobytes), so that its
 * reason for refusing a file can be shown. */
int meshbridge_gifti_fprintf(FILE* stream, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

/* Forgets what gifticlib printed on stderr so far. */
void meshbridge_gifti_messages_clear(void);

/* What gifticlib printed on stderr since the last clear: its lines, each
 * ended by a line end ("...": some left out); never null, valid until the
 * next call. */
const char* meshbridge_gifti_messages(void);

#ifdef __cplusplus
}
#endif

#endif

/* A digest of what a gifticlib read gives: per data array its attributes and
 * a CRC-32 of its values in their stored order (every NaN counted as one and
 * the same NaN), and the label table's keys and names. One implementation for
 * both readers compared by the differential fuzzer: the plug-in's patched
 * gifticlib and Debian's unpatched libgiftiio (bench/gifti_reference.c), whose
 * structures are the same.
 *
 * Lines:
 *   arrays N
 *   array I intent=.. type=.. order=.. encoding=.. dims=D0,D1,.. external=0|1 data=XXXXXXXX|none
 *   labels N
 *   label I key=.. name=XXXXXXXX
 */
#ifndef MESHBRIDGE_GIFTI_DIGEST_H
#define MESHBRIDGE_GIFTI_DIGEST_H

#include <math.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

/* The CRC-32 of `count` values of `size` bytes; floating-point NaNs of any
 * sign or payload count as the one quiet NaN. */
static unsigned long meshbridge_digest_values(const void* data, long long count, int size, int floating) {
    const unsigned char* bytes = (const unsigned char*)data;
    unsigned long crc = crc32(0L, Z_NULL, 0);
    long long i;
    if (!floating) {
        long long left = count * size;
        while (left > 0) {
            unsigned part = left > (1 << 30) ? (1u << 30) : (unsigned)left;
            crc = crc32(crc, bytes, part);
            bytes += part;
            left -= part;
        }
        return crc;
    }
    for (i = 0; i < count; ++i) {
        if (size == 4) {
            float value;
            memcpy(&value, bytes + i * 4, 4);
            if (isnan(value)) value = NAN;
            crc = crc32(crc, (const unsigned char*)&value, 4);
        } else {
            double value;
            memcpy(&value, bytes + i * 8, 8);
            if (isnan(value)) value = NAN;
            crc = crc32(crc, (const unsigned char*)&value, 8);
        }
    }
    return crc;
}

static void meshbridge_gifti_digest(const gifti_image* image, FILE* out) {
    int i, d;
    fprintf(out, "arrays %d\n", image->numDA);
    for (i = 0; i < image->numDA && image->darray; ++i) {
        const giiDataArray* array = image->darray[i];
        int floating, size;
        if (!array) {
            fprintf(out, "array %d missing\n", i);
            continue;
        }
        fprintf(out, "array %d intent=%d type=%d order=%d encoding=%d dims=", i, array->intent, array->datatype,
                array->ind_ord, array->encoding);
        for (d = 0; d < array->num_dim && d < 6; ++d) fprintf(out, d ? ",%d" : "%d", array->dims[d]);
        fprintf(out, " external=%d", array->ext_fname && *array->ext_fname ? 1 : 0);
        /* complex values are pairs of their float type */
        floating = array->datatype == 16 || array->datatype == 64 || array->datatype == 32 || array->datatype == 1792;
        size = array->datatype == 32 ? 4 : array->datatype == 1792 ? 8 : array->nbyper;
        if (array->data && array->nbyper > 0 && array->nvals > 0 && (size == 4 || size == 8 || !floating))
            fprintf(out, " data=%08lx\n",
                    meshbridge_digest_values(array->data, array->nvals * (array->nbyper / size), size, floating));
        else
            fprintf(out, " data=none\n");
    }
    fprintf(out, "labels %d\n", image->labeltable.length);
    for (i = 0; i < image->labeltable.length; ++i) {
        const char* name = image->labeltable.label ? image->labeltable.label[i] : NULL;
        fprintf(out, "label %d key=%d name=%08lx\n", i, image->labeltable.key ? image->labeltable.key[i] : 0,
                name ? crc32(crc32(0L, Z_NULL, 0), (const unsigned char*)name, (unsigned)strlen(name)) : 0UL);
    }
}

#endif

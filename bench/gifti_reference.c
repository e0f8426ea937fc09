/* The benchmark's reference: Debian's unpatched gifticlib (libgiftiio), in a
 * program of its own, since the plug-in's patched copy has the same names.
 *
 *   gifti_reference read FILE        reads FILE with its data
 *   gifti_reference write FILE OUT   reads FILE, then writes it to OUT
 *   gifti_reference serve            reads the file of each line of standard
 *                                    input and answers with the digest of
 *                                    fuzz/gifti_digest.h (or "refused"), then
 *                                    "end"; files up to 2 MB are parsed in one
 *                                    piece (the differential fuzzer's peer)
 *
 * Reports the seconds of the measured call (the read, or the write alone)
 * into the file MESHBRIDGE_BENCH_RESULT names, as the benchmark's own steps
 * do, else on standard output; exits 0 when the library reported success. */
#include <gifti_io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "fuzz/gifti_digest.h"

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static void report(double seconds) {
    const char* path = getenv("MESHBRIDGE_BENCH_RESULT");
    FILE* file = path ? fopen(path, "w") : NULL;
    if (!path) printf("%.6f\n", seconds);
    if (file) {
        fprintf(file, "%.6f\n", seconds);
        fclose(file);
    }
}

int main(int argc, char** argv) {
    gifti_image* image;
    double start;
    int failed;
    if (argc == 3 && strcmp(argv[1], "read") == 0) {
        start = now();
        image = gifti_read_image(argv[2], 1);
        report(now() - start);
        failed = image == NULL;
        gifti_free_image(image);
        return failed;
    }
    if (argc == 4 && strcmp(argv[1], "write") == 0) {
        image = gifti_read_image(argv[2], 1);
        if (!image) return 1;
        remove(argv[3]); /* a new file, as the other steps write */
        start = now();
        failed = gifti_write_image(image, argv[3], 1) != 0;
        report(now() - start);
        gifti_free_image(image);
        return failed;
    }
    if (argc == 2 && strcmp(argv[1], "serve") == 0) {
        char line[8192];
        gifti_set_verb(0);
        gifti_set_xml_buf_size(1 << 21);
        while (fgets(line, sizeof line, stdin)) {
            line[strcspn(line, "\n")] = '\0';
            image = gifti_read_image(line, 1);
            if (image) meshbridge_gifti_digest(image, stdout);
            else printf("refused\n");
            printf("end\n");
            fflush(stdout);
            gifti_free_image(image);
        }
        return 0;
    }
    fprintf(stderr, "usage: gifti_reference read FILE | write FILE OUT | serve\n");
    return 2;
}

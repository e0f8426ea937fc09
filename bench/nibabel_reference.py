#!/usr/bin/python3
"""The benchmark's peer: nibabel (Debian's python3-nibabel), as a Python user
of GIFTI files runs it.

  nibabel_reference.py read FILE                 reads FILE with its data
  nibabel_reference.py write FILE OUT ENCODING   reads FILE, then writes it to
                                                 OUT in ENCODING (ascii or gzip)

Reports the seconds of the measured step (the read, or the write alone) into
the file MESHBRIDGE_BENCH_RESULT names, as the benchmark's other steps do,
else on standard output.
"""
import os
import sys
import time

import nibabel
from nibabel.gifti.util import gifti_encoding_codes

ENCODINGS = {"ascii": "ASCII", "gzip": "B64GZ"}


def report(seconds):
    path = os.environ.get("MESHBRIDGE_BENCH_RESULT")
    if not path:
        print(f"{seconds:.6f}")
        return
    with open(path, "w") as out:
        out.write(f"{seconds:.6f}\n")


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "read":
        start = time.monotonic()
        image = nibabel.load(sys.argv[2])
        values = sum(array.data.size for array in image.darrays)  # the data, not only the header
        report(time.monotonic() - start)
        return 0 if values > 0 else 1
    if len(sys.argv) == 5 and sys.argv[1] == "write" and sys.argv[4] in ENCODINGS:
        image = nibabel.load(sys.argv[2])
        for array in image.darrays:
            array.encoding = gifti_encoding_codes.code[ENCODINGS[sys.argv[4]]]
        start = time.monotonic()
        nibabel.save(image, sys.argv[3])
        report(time.monotonic() - start)
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""GIFTI files as other tools write them, and what nibabel reads in them.

Usage:
  foreign_gifti.py sizes DIR [LEVEL]
      nibabel's surfaces of 163 842 vertices (10 * 4^LEVEL + 2; LEVEL 7) in ASCII, Base64, GZip, external
      and column-major form, the same Base64 broken into lines as MIME-style
      writers and re-indented XML give, and maps of 163 842 values (ASCII and
      GZip). Prints the names written, one a line.
  foreign_gifti.py layouts DIR COUNT SEED
      COUNT z-score maps whose ASCII data is laid out at random: negative
      numbers, signs, nan and inf, runs of blanks and tabs, LF and CRLF, one
      or many numbers a line, numbers split by character references, and file
      sizes that put the reader's buffer boundary (32 768 bytes) at every
      place within a number. Prints the
      names written.
  foreign_gifti.py same-values ORIGINAL EXPORTED [ORIGINAL EXPORTED ...]
      Compares, bit for bit, the values of the first array nibabel reads in
      each ORIGINAL with those of the first array of EXPORTED (as float32;
      every nan is the same nan). Prints the pairs that differ; exits 1 if any.
"""
import base64
import os
import random
import re
import sys

import nibabel
import numpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_sphere import icosphere  # noqa: E402

BUFFER = 32768  # the reader hands the text of a file over in pieces of this size


def image_of(arrays, encoding):
    image = nibabel.gifti.GiftiImage()
    for data, intent, kind in arrays:
        image.add_gifti_data_array(nibabel.gifti.GiftiDataArray(data, intent=intent, datatype=kind,
                                                                encoding=encoding))
    return image


def rewrap_base64(text, width, line_end, tail):
    """The Base64 of every Data element in lines of `width`, and `tail` before </Data>."""
    def wrap(match):
        data = match.group(2)
        lines = [data[i:i + width] for i in range(0, len(data), width)] if width else [data]
        return match.group(1) + line_end.join(lines) + tail + match.group(3)
    return re.sub(r"(<Data>)([A-Za-z0-9+/=]+)(</Data>)", wrap, text)


def sizes(folder, level):
    xyz, faces = icosphere(level)
    surface = [(xyz, "NIFTI_INTENT_POINTSET", "NIFTI_TYPE_FLOAT32"), (faces, "NIFTI_INTENT_TRIANGLE", "NIFTI_TYPE_INT32")]
    rng = numpy.random.default_rng(20)
    values = (rng.standard_normal(len(xyz)) * 3).astype(numpy.float32)
    values[::997] = -values[::997] * 1e-6
    written = []

    def save(image, name):
        nibabel.save(image, os.path.join(folder, name))
        written.append(name)

    for encoding, name in (("ASCII", "ascii"), ("B64BIN", "base64"), ("B64GZ", "gzip")):
        save(image_of(surface, encoding), f"{name}.surf.gii")
    column = image_of(surface, "B64BIN")
    for array in column.darrays:
        array.ind_ord = 2  # ColumnMajorOrder: nibabel writes the values in that order
    save(column, "columns.surf.gii")

    with open(os.path.join(folder, "base64.surf.gii")) as file:
        plain = file.read()
    # nibabel reads external data but does not write it: the Base64 file's data
    # moved to one file beside it, each array at its offset.
    blob = bytearray()

    def external(match):
        offset = len(blob)
        blob.extend(base64.b64decode(match.group(2)))
        head = match.group(1).replace('Encoding="Base64Binary"', 'Encoding="ExternalFileBinary"')
        head = re.sub(r'ExternalFileName="[^"]*"', 'ExternalFileName="external.bin"', head)
        head = re.sub(r'ExternalFileOffset="[^"]*"', f'ExternalFileOffset="{offset}"', head)
        return head + "<Data></Data>"
    text = re.sub(r'(<DataArray[^>]*>.*?)<Data>([A-Za-z0-9+/=]+)</Data>', external, plain, flags=re.S)
    with open(os.path.join(folder, "external.bin"), "wb") as file:
        file.write(blob)
    with open(os.path.join(folder, "external.surf.gii"), "w") as file:
        file.write(text)
    written.append("external.surf.gii")

    for width, line_end, tail, name in ((76, "\n", "", "lines76"), (64, "\r\n", "\r\n", "lines64crlf"),
                                        (70, "\n  ", "\n", "lines70"), (0, "", "\n", "newline")):
        with open(os.path.join(folder, f"{name}.surf.gii"), "w", newline="") as file:
            file.write(rewrap_base64(plain, width, line_end, tail))
        written.append(f"{name}.surf.gii")

    for encoding, name in (("ASCII", "ascii"), ("B64GZ", "gzip")):
        save(image_of([(values, "NIFTI_INTENT_ZSCORE", "NIFTI_TYPE_FLOAT32")], encoding), f"{name}.map.gii")
    print("\n".join(written))


def number_text(rng, value):
    """One way of many that writers spell a float."""
    if numpy.isnan(value):
        return rng.choice(["nan", "NaN", "-nan", "+nan"])
    if numpy.isinf(value):
        return rng.choice(["inf", "Infinity", "INF"]) if value > 0 else rng.choice(["-inf", "-Infinity"])
    text = rng.choice(["%10.6f", "%.9g", "%e", "%g", "%.3f"]) % value
    if not numpy.signbit(value) and rng.random() < 0.2:
        text = "+" + text.strip()
    return text


def layout(rng, count, per_line):
    """A map of `count` values as ASCII text, `per_line` numbers a line (nibabel
    reads lines of one length), some of their signs spelled as character
    references."""
    values = numpy.array([rng.uniform(-50, 50) for _ in range(count)], dtype=numpy.float32)
    for i in rng.sample(range(count), min(count, 4)):
        values[i] = rng.choice([numpy.nan, numpy.inf, -numpy.inf, -0.0])
    words = [number_text(rng, v) for v in values]
    words = [w.replace("-", "&#45;", 1) if w.startswith("-") and rng.random() < 0.1 else w for w in words]
    blanks = [" ", "  ", "\t", " \t ", "     "]
    line_end = rng.choice(["\n", "\r\n", " \n", "\t\r\n", "\n\n"])
    text = rng.choice(["", "\n", "  ", "\r\n\t"])
    for row in range(0, count, per_line):
        text += rng.choice(["", " ", "\t"]) + rng.choice(blanks).join(words[row:row + per_line]) + line_end
    return text


def layouts(folder, count, seed):
    rng = random.Random(seed)
    head = ('<?xml version="1.0" encoding="UTF-8"?>\n<GIFTI Version="1.0" NumberOfDataArrays="1">\n'
            '<MetaData/>\n<LabelTable/>\n<DataArray Intent="NIFTI_INTENT_ZSCORE" DataType="NIFTI_TYPE_FLOAT32" '
            'ArrayIndexingOrder="RowMajorOrder" Dimensionality="1" Dim0="{n}" Encoding="ASCII" '
            'Endian="LittleEndian" ExternalFileName="" ExternalFileOffset="">\n<MetaData/>\n<Data>')
    tail = "</Data>\n</DataArray>\n</GIFTI>\n"
    written = []
    for index in range(count):
        per_line = rng.choice([1, 1, 3, 4, 10])
        n = per_line * rng.choice([1, 17, 1000, 1400, 3000])
        text = layout(rng, n, per_line)
        document = head.format(n=n) + text + tail
        # Put the end of the first piece of text at a chosen place within a number.
        numbers = [m.start() for m in re.finditer(r"[-+.0-9a-zA-Z&]+", document[len(head.format(n=n)):])]
        at = len(head.format(n=n)) + (rng.choice(numbers) if numbers else 0) + index % 7
        if at < BUFFER:
            document = document.replace("<MetaData/>\n<Data>",
                                        "<MetaData/>" + " " * (BUFFER - at) + "\n<Data>", 1)
        name = f"layout{index:03d}.gii"
        with open(os.path.join(folder, name), "w", newline="") as file:
            file.write(document)
        written.append(name)
    print("\n".join(written))


def same_values(pairs):
    differ = []
    for original, exported in zip(pairs[0::2], pairs[1::2]):
        want = nibabel.load(original).darrays[0].data.astype(numpy.float32).ravel()
        got = nibabel.load(exported).darrays[0].data.astype(numpy.float32).ravel()
        want_bits, got_bits = want.view(numpy.uint32), got.view(numpy.uint32)
        nan_want, nan_got = numpy.isnan(want), numpy.isnan(got)
        if want.shape != got.shape or not (numpy.array_equal(nan_want, nan_got) and
                                           numpy.array_equal(want_bits[~nan_want], got_bits[~nan_got])):
            differ.append(f"{original}: {exported} holds other values")
    print("\n".join(differ))
    sys.exit(1 if differ else 0)


def main():
    if sys.argv[1] == "sizes":
        sizes(sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 7)
    elif sys.argv[1] == "layouts":
        layouts(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    else:
        same_values(sys.argv[2:])


if __name__ == "__main__":
    main()

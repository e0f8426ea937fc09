#!/usr/bin/python3
"""A small GIFTI reader of its own (ElementTree, base64, zlib, numpy), for
files that other readers refuse: nibabel 5.0 does not know the retinotopy
intents. Prints the file's metadata, for each data array its intent name,
data type, metadata and values, and each label's key, name and colour bytes
(red, green, blue, alpha), one line each.

Usage: gifti_arrays.py FILE
"""
import base64
import sys
import xml.etree.ElementTree as ElementTree
import zlib

import numpy

TYPES = {"NIFTI_TYPE_FLOAT32": "<f4", "NIFTI_TYPE_INT32": "<i4", "NIFTI_TYPE_UINT32": "<u4",
         "NIFTI_TYPE_COMPLEX64": "<c8", "NIFTI_TYPE_FLOAT64": "<f8", "NIFTI_TYPE_INT16": "<i2"}


def values(element):
    kind = numpy.dtype(TYPES[element.get("DataType")])
    text = element.find("Data").text or ""
    encoding = element.get("Encoding")
    if encoding == "ASCII":
        numbers = numpy.array(text.split(), dtype=float)
        if kind.kind == "c":
            numbers = numbers[0::2] + 1j * numbers[1::2]
        return numbers.astype(kind)
    raw = base64.b64decode(text)
    if encoding == "GZipBase64Binary":
        raw = zlib.decompress(raw)
    if element.get("Endian") == "BigEndian":
        kind = kind.newbyteorder(">")
    return numpy.frombuffer(raw, dtype=kind)


def metadata(element):
    found = element.find("MetaData")
    if found is None:
        return {}
    return {md.find("Name").text: md.find("Value").text or "" for md in found.findall("MD")}


def main():
    root = ElementTree.parse(sys.argv[1]).getroot()
    print("image", sorted(metadata(root).items()))
    for array in root.iter("DataArray"):
        shown = " ".join(repr(v) for v in values(array).tolist())
        print(array.get("Intent"), array.get("DataType"), array.get("Encoding"), sorted(metadata(array).items()), shown)
    for label in root.iter("Label"):
        rgba = [round(float(label.get(c, "0")) * 255) for c in ("Red", "Green", "Blue", "Alpha")]
        print("label", label.get("Key"), repr(label.text or ""), *rgba)


if __name__ == "__main__":
    main()

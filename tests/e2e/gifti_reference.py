#!/usr/bin/python3
"""Prints the header dump that the plug-in should log for a GIFTI file, built
from what nibabel (an independent GIFTI reader) reads in the file.

Usage: gifti_reference.py FILE [NAME]   (NAME: the file name the dump shows)
"""
import sys
import xml.etree.ElementTree as ElementTree

import nibabel
import numpy
from nibabel.gifti import util
from nibabel.nifti1 import data_type_codes, intent_codes, xform_codes

RETINOTOPY = {1015: "NIFTI_INTENT_RETINOTOPY_POLAR", 1016: "NIFTI_INTENT_RETINOTOPY_ECCENTRICITY",
              1017: "NIFTI_INTENT_RETINOTOPY_FIELD_SIGN"}


def intent_name(code):
    return RETINOTOPY.get(code) or intent_codes.niistring[code]


def metadata_lines(meta):
    lines = []
    for number, (name, value) in enumerate(meta.items()):
        lines += [f"Number: {number}\n", f"Name: {name}\n", f"Value: {value or ''}\n"]
    return lines


def main():
    path = sys.argv[1]
    shown = sys.argv[2] if len(sys.argv) > 2 else path
    image = nibabel.load(path)
    # nibabel gives every array a coordinate system; the file says which have one.
    arrays_with_transform = [element.find("CoordinateSystemTransformMatrix") is not None
                             for element in ElementTree.parse(path).getroot().iter("DataArray")]
    lines = [f"\nGIfTI filename: \n{shown}\n", f"Number of MetaData tags: {len(image.meta)}\n"]
    lines += metadata_lines(image.meta)
    for number, array in enumerate(image.darrays, start=1):
        dims = list(array.dims) + [0] * 6
        lines += [f"\nDataArray {number}\nGIfTI intent: \n{intent_name(array.intent)}\n",
                  f"GIfTI data type: \n{data_type_codes.niistring[array.datatype]}\n",
                  f"ArrayIndexingOrder: {array.ind_ord}\n",
                  f"Dimensionality: {array.num_dim}\n",
                  f"Dim0: {dims[0]}\n", f"Dim1: {dims[1]}\n"]
        if array.num_dim > 2:
            lines.append(f"Dim2: {dims[2]}\n")
        lines += [f"Encoding: {util.gifti_encoding_codes.specs[array.encoding]}\n",
                  f"Endian: {util.gifti_endian_codes.specs[array.endian]}\n",
                  f"External file name: {array.ext_fname or ''}\n",
                  f"External file offset: {int(array.ext_offset or 0)}\n",
                  f"Number of MetaData tags of DataArray: {len(array.meta)}\n"]
        lines += metadata_lines(array.meta)
        if array.intent == 1008 and arrays_with_transform[number - 1]:
            system = array.coordsys
            lines += [f"Data space: {xform_codes.niistring[system.dataspace]}\n",
                      f"XForm space: {xform_codes.niistring[system.xformspace]}\n",
                      "Matrix data:\n"]
            for row in numpy.asarray(system.xform, dtype=float).reshape(4, 4):
                lines.append("".join(f"\t{value:f}" for value in row) + "\n")
    sys.stdout.write("".join(lines))


if __name__ == "__main__":
    main()

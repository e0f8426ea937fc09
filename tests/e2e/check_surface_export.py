#!/usr/bin/python3
"""Checks, with nibabel, a surface exported by the plug-in against the GIFTI
surface it was imported from: the same coordinates and triangles to the bit,
the intents, data types and metadata of an exported surface.

Usage: check_surface_export.py ORIGINAL EXPORTED ENCODING [NAME=VALUE ...]
  ENCODING: the encoding every exported array must have (ASCII, GZipBase64Binary)
  NAME=VALUE: further metadata the pointset or triangle array must carry
Prints the problems found and exits 1, or exits 0.
"""
import sys

import nibabel
import numpy
from nibabel.gifti import util

POINTSET, TRIANGLE = 1008, 1009


def first(image, intent):
    return next(array for array in image.darrays if array.intent == intent)


def main():
    original, exported = nibabel.load(sys.argv[1]), nibabel.load(sys.argv[2])
    encoding = sys.argv[3]
    wanted = dict(item.split("=", 1) for item in sys.argv[4:])
    problems = []

    if len(exported.darrays) != 2:
        problems.append(f"{len(exported.darrays)} arrays instead of 2")
    points, triangles = exported.darrays[0], exported.darrays[1]
    if points.intent != POINTSET or triangles.intent != TRIANGLE:
        problems.append(f"intents {points.intent}, {triangles.intent}")
    if points.datatype != 16 or triangles.datatype != 8:
        problems.append(f"data types {points.datatype}, {triangles.datatype}")
    for array in (points, triangles):
        if util.gifti_encoding_codes.specs[array.encoding] != encoding:
            problems.append(f"encoding {util.gifti_encoding_codes.specs[array.encoding]} instead of {encoding}")

    source_points = first(original, POINTSET).data.astype(numpy.float32).reshape(-1, 3)
    source_triangles = first(original, TRIANGLE).data.astype(numpy.int32).reshape(-1, 3)
    if not numpy.array_equal(points.data.reshape(-1, 3).view(numpy.uint32), source_points.view(numpy.uint32)):
        problems.append("coordinates differ")
    if not numpy.array_equal(triangles.data.reshape(-1, 3), source_triangles):
        problems.append("triangles differ")

    if exported.meta.get("GIFTI plugin version") != "1.6":
        problems.append(f"image metadata {dict(exported.meta)}")
    metadata = dict(points.meta)
    metadata.update(triangles.meta)
    for name in ("AnatomicalStructurePrimary", "AnatomicalStructureSecondary", "GeometricType"):
        if name not in points.meta:
            problems.append(f"pointset array lacks {name}")
    if "TopologicalType" not in triangles.meta:
        problems.append("triangle array lacks TopologicalType")
    for name, value in wanted.items():
        if metadata.get(name) != value:
            problems.append(f"{name} is {metadata.get(name)!r}, not {value!r}")
    space = points.coordsys
    if space is None or space.dataspace != 3 or space.xformspace != 3 or not numpy.array_equal(space.xform, numpy.eye(4)):
        problems.append("pointset array lacks the Talairach identity transform")

    for problem in problems:
        print(problem)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()

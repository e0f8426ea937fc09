#!/usr/bin/python3
"""Writes a closed icosphere surface as a GIFTI file with nibabel.

Usage: make_sphere.py LEVEL FILE   (10 * 4^LEVEL + 2 vertices: 3 gives 642)
"""
import sys

import nibabel
import numpy


def icosphere(level):
    t = (1 + 5 ** 0.5) / 2
    points = [(-1, t, 0), (1, t, 0), (-1, -t, 0), (1, -t, 0), (0, -1, t), (0, 1, t),
              (0, -1, -t), (0, 1, -t), (t, 0, -1), (t, 0, 1), (-t, 0, -1), (-t, 0, 1)]
    faces = [(0, 11, 5), (0, 5, 1), (0, 1, 7), (0, 7, 10), (0, 10, 11), (1, 5, 9), (5, 11, 4), (11, 10, 2),
             (10, 7, 6), (7, 1, 8), (3, 9, 4), (3, 4, 2), (3, 2, 6), (3, 6, 8), (3, 8, 9), (4, 9, 5),
             (2, 4, 11), (6, 2, 10), (8, 6, 7), (9, 8, 1)]
    for _ in range(level):
        middle = {}

        def midpoint(a, b):
            key = (min(a, b), max(a, b))
            if key not in middle:
                middle[key] = len(points)
                points.append(tuple((p + q) / 2 for p, q in zip(points[a], points[b])))
            return middle[key]

        finer = []
        for a, b, c in faces:
            ab, bc, ca = midpoint(a, b), midpoint(b, c), midpoint(c, a)
            finer += [(a, ab, ca), (b, bc, ab), (c, ca, bc), (ab, bc, ca)]
        faces = finer
    xyz = numpy.array(points, dtype=numpy.float32)
    xyz *= 80 / numpy.linalg.norm(xyz, axis=1, keepdims=True)
    return xyz, numpy.array(faces, dtype=numpy.int32)


def main():
    xyz, faces = icosphere(int(sys.argv[1]))
    image = nibabel.gifti.GiftiImage(darrays=[
        nibabel.gifti.GiftiDataArray(xyz, intent="NIFTI_INTENT_POINTSET", datatype="NIFTI_TYPE_FLOAT32"),
        nibabel.gifti.GiftiDataArray(faces, intent="NIFTI_INTENT_TRIANGLE", datatype="NIFTI_TYPE_INT32")])
    nibabel.save(image, sys.argv[2])


if __name__ == "__main__":
    main()

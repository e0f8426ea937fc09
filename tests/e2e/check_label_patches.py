#!/usr/bin/python3
"""Checks, with nibabel, the POI file the plug-in made from a GIFTI label
file: one patch per label-table entry, named after the label, coloured with
its colour (0 when transparent or absent), holding in order the vertices whose label
value is the entry's key. With a third argument, also checks the label file
the plug-in exported from that POI file against the original labels.

Usage: check_label_patches.py LABELS.gii PATCHES.poi [EXPORTED.label.gii]
"""
import sys

import nibabel
import numpy


def read_poi(path):
    lines = [line.rstrip("\r") for line in open(path, encoding="utf-8", newline="\n").read().split("\n")]
    patches, at = [], 0
    while at < len(lines):
        if lines[at].startswith("NameOfPOI:"):
            name = lines[at].split('"', 1)[1][:-1]
            red, green, blue = (int(v) for v in lines[at + 2].split()[1:])
            label_vertex = int(lines[at + 3].split()[1])
            count = int(lines[at + 4].split()[1])
            vertices = [int(v) for v in lines[at + 5:at + 5 + count]]
            patches.append((name, red * 65536 + green * 256 + blue, label_vertex, vertices))
            at += 5 + count
        else:
            at += 1
    return patches


def main():
    image = nibabel.load(sys.argv[1])
    values = [array for array in image.darrays if array.intent == 1002][-1].data.ravel()
    patches = read_poi(sys.argv[2])
    problems = []
    labels = image.labeltable.labels
    if len(patches) != len(labels):
        problems.append(f"{len(patches)} patches for {len(labels)} labels")
    for (name, color, label_vertex, vertices), label in zip(patches, labels):
        expected = numpy.flatnonzero(values == label.key).tolist()
        rgba = label.rgba
        wanted = 0 if None in rgba or rgba[3] == 0 else sum(int(c * 255 + 0.5) << s for c, s in zip(rgba[:3], (16, 8, 0)))
        if name != label.label or vertices != expected or color != wanted:
            problems.append(f"patch {name!r} differs from label {label.label!r}")
        if label_vertex != (expected[0] if expected else 0):
            problems.append(f"patch {name!r} has label vertex {label_vertex}")
    if len(sys.argv) > 3:
        exported = nibabel.load(sys.argv[3])
        nodes, owners = exported.darrays[0].data, exported.darrays[1].data
        names = [label.label for label in exported.labeltable.labels]
        if exported.darrays[0].intent != 2002 or exported.darrays[1].intent != 1002:
            problems.append("exported intents")
        original = {label.key: label.label for label in labels}
        if any(original[values[node]] != names[owner] for node, owner in zip(nodes, owners)):
            problems.append("an exported vertex lies in another patch")
        if len(nodes) != sum(len(p[3]) for p in patches):
            problems.append("exported vertex count")
    for problem in problems[:20]:
        print(problem)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""FreeSurfer's own files as nibabel writes them, and checks of what the
plug-in made of them, against what nibabel reads in the originals.

Usage:
  freesurfer_files.py make DIR LEVEL
      Writes, for an icosphere of 10 * 4^LEVEL + 2 vertices: lh.white (with a
      volume-geometry footer), lh.thickness, lh.curv in the old two-byte
      format, lh.aparc.annot (some vertices in no label), rh.aparc.annot with
      the old colour table, lh.V1.label, lh.sig.mgz (one float frame),
      lh.stack.mgh (three short frames), lh.ints.mgz (two int frames),
      lh.bytes.mgh (one uchar frame) and lh.run.mgh (five float frames,
      TR 1500 ms).
  freesurfer_files.py check DIR
      Compares the GIFTI exports of the imports with the originals: the
      surface's coordinates and triangles, every map's values (float32, bit
      for bit), the label name of every vertex in the per-vertex label
      exports, the vertices of lh.V1.poi, and the time course of lh.run.mgh.
      Prints what differs; exits 1 if anything does.
  freesurfer_files.py check-export DIR OUT
      Compares the FreeSurfer exports in OUT of the imports of DIR's files
      with the originals, as nibabel reads both: lh.white's coordinates and
      triangles, lh.sig.mgz's values, lh.run.mgz's five frames and TR, and
      the label name of every vertex of lh.aparc.annot (vertices the
      original labels with no entry carry "???"). Exits 1 if anything differs.
  freesurfer_files.py same-patches A.poi B.poi
      Exits 1 unless the two POI files hold the same patches (names and
      vertices, in order; empty patches aside).
"""
import os
import struct
import sys

import nibabel
import numpy
from nibabel.freesurfer import io

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_sphere import icosphere  # noqa: E402
from check_label_patches import read_poi  # noqa: E402

NAMES = [b"unknown", b"bankssts", b"cuneus", b"precuneus"]
COLOURS = numpy.array([[25, 5, 25, 0], [25, 100, 40, 0], [220, 180, 140, 0], [160, 140, 180, 0]])
V1 = [5, 7, 100, 3, 64]  # those within the mesh


def v1_of(count):
    return [v for v in V1 if v < count]


def values(count, seed):
    rng = numpy.random.default_rng(seed)
    return (rng.standard_normal(count) * 2).astype(numpy.float32)


def labels(count, seed):
    rng = numpy.random.default_rng(seed)
    return rng.integers(-1, len(NAMES), count)  # -1: in no label


def make(folder, level):
    xyz, faces = icosphere(level)
    n = len(xyz)
    geometry = {"head": [2, 0, 20], "valid": "1  # volume info valid", "filename": "vol.nii",
                "volume": [256, 256, 256], "voxelsize": [1, 1, 1], "xras": [-1, 0, 0], "yras": [0, 0, -1],
                "zras": [0, 1, 0], "cras": [0, 0, 0]}
    io.write_geometry(os.path.join(folder, "lh.white"), xyz.astype(numpy.float64), faces, volume_info=geometry)
    io.write_morph_data(os.path.join(folder, "lh.thickness"), numpy.abs(values(n, 1)))
    # The old format: three-byte counts, then hundredths in two bytes.
    hundredths = numpy.round(values(n, 2) * 100).astype(">i2")
    with open(os.path.join(folder, "lh.curv"), "wb") as out:
        out.write(n.to_bytes(3, "big") + len(faces).to_bytes(3, "big") + hundredths.tobytes())
    io.write_annot(os.path.join(folder, "lh.aparc.annot"), labels(n, 3), COLOURS, NAMES)
    write_old_annot(os.path.join(folder, "rh.aparc.annot"), labels(n, 4))
    with open(os.path.join(folder, "lh.V1.label"), "w") as out:
        out.write("#!ascii label  , from subject fsaverage vox2ras=TkReg\n%d\n" % len(v1_of(n)))
        for v in v1_of(n):
            out.write("%d  %.3f  %.3f  %.3f 0.0000000000\n" % (v, *xyz[v]))
    affine = numpy.eye(4)
    nibabel.save(nibabel.MGHImage(values(n, 5).reshape(n, 1, 1), affine), os.path.join(folder, "lh.sig.mgz"))
    stack = numpy.stack([numpy.round(values(n, 6 + f) * 1000) for f in range(3)], axis=-1).astype(numpy.int16)
    nibabel.save(nibabel.MGHImage(stack.reshape(n, 1, 1, 3), affine), os.path.join(folder, "lh.stack.mgh"))
    ints = numpy.stack([numpy.round(values(n, 20 + f) * 100000) for f in range(2)], axis=-1).astype(numpy.int32)
    nibabel.save(nibabel.MGHImage(ints.reshape(n, 1, 1, 2), affine), os.path.join(folder, "lh.ints.mgz"))
    counts = (numpy.arange(n) % 256).astype(numpy.uint8)
    nibabel.save(nibabel.MGHImage(counts.reshape(n, 1, 1), affine), os.path.join(folder, "lh.bytes.mgh"))
    run = nibabel.MGHImage(numpy.stack([values(n, 10 + f) for f in range(5)], axis=-1).reshape(n, 1, 1, 5), affine)
    run.header["tr"] = 1500
    nibabel.save(run, os.path.join(folder, "lh.run.mgh"))


def write_old_annot(path, vertex_labels):
    """The annotation format before colour tables had a version: entries
    without their numbers."""
    def counted(text):
        return struct.pack(">i", len(text) + 1) + text + b"\0"
    packed = COLOURS[:, 0] + COLOURS[:, 1] * 256 + COLOURS[:, 2] * 65536
    data = struct.pack(">i", len(vertex_labels))
    for v, label in enumerate(vertex_labels):
        data += struct.pack(">ii", v, 0 if label < 0 else packed[label])
    data += struct.pack(">ii", 1, len(NAMES)) + counted(b"colortable.txt")
    for name, colour in zip(NAMES, COLOURS):
        data += counted(name) + struct.pack(">4i", *colour)
    open(path, "wb").write(data)


def first_array(path):
    return nibabel.load(path).darrays[0].data


def check(folder):
    at = lambda name: os.path.join(folder, name)  # noqa: E731
    problems = []
    xyz, faces = io.read_geometry(at("lh.white"))
    exported = nibabel.load(at("lh.white.surf.gii"))
    if not numpy.array_equal(exported.darrays[0].data, xyz.astype(numpy.float32)):
        problems.append("lh.white: coordinates differ")
    if not numpy.array_equal(exported.darrays[1].data, faces):
        problems.append("lh.white: triangles differ")
    maps = {"lh.thickness": io.read_morph_data(at("lh.thickness")), "lh.curv": io.read_morph_data(at("lh.curv")),
            "lh.sig": numpy.asarray(nibabel.load(at("lh.sig.mgz")).dataobj).reshape(-1)}
    for name, expected in maps.items():
        got = first_array(at(name + ".func.gii"))
        if not numpy.array_equal(got, numpy.asarray(expected, dtype=numpy.float32)):
            problems.append("%s: values differ" % name)
    for name, frames in (("lh.stack.mgh", 3), ("lh.ints.mgz", 2), ("lh.bytes.mgh", 1)):
        stack = numpy.asarray(nibabel.load(at(name)).dataobj).reshape(-1, frames)
        arrays = nibabel.load(at(name[:-4] + ".func.gii")).darrays
        if len(arrays) != frames or any(not numpy.array_equal(arrays[f].data, stack[:, f].astype(numpy.float32))
                                        for f in range(frames)):
            problems.append("%s: frames differ" % name)
    for hemisphere in ("lh", "rh"):
        vertex_labels, _, names = io.read_annot(at(hemisphere + ".aparc.annot"))
        exported = nibabel.load(at(hemisphere + ".aparc.label.gii"))
        table = exported.labeltable.get_labels_as_dict()
        got = [table[int(key)] for key in exported.darrays[0].data]
        expected = ["???" if label < 0 else names[label].decode() for label in vertex_labels]
        if got != expected:
            wrong = sum(g != e for g, e in zip(got, expected))
            problems.append("%s.aparc: %d vertices carry another label" % (hemisphere, wrong))
    patches = read_poi(at("lh.V1.poi"))
    if [(name, vertices) for name, _, _, vertices in patches] != [("lh.V1", v1_of(len(xyz)))]:
        problems.append("lh.V1.poi holds %s" % patches)
    run = numpy.asarray(nibabel.load(at("lh.run.mgh")).dataobj).reshape(-1, 5)
    arrays = nibabel.load(at("lh.run.time.gii")).darrays
    if len(arrays) != 5 or any(not numpy.array_equal(arrays[f].data, run[:, f]) for f in range(5)):
        problems.append("lh.run: volumes differ")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


def check_export(folder, out):
    at = lambda name: os.path.join(folder, name)  # noqa: E731
    to = lambda name: os.path.join(out, name)  # noqa: E731
    problems = []
    xyz, faces = io.read_geometry(at("lh.white"))
    got_xyz, got_faces, stamp = io.read_geometry(to("lh.white"), read_stamp=True)
    if not numpy.array_equal(got_xyz, xyz.astype(numpy.float32)) or not numpy.array_equal(got_faces, faces):
        problems.append("lh.white: the surface differs")
    if not stamp.startswith("created by Meshbridge 1.6 on "):
        problems.append("lh.white: its line is %r" % stamp)
    sig = numpy.asarray(nibabel.load(at("lh.sig.mgz")).dataobj).reshape(-1)
    got = nibabel.load(to("lh.sig.mgz"))
    if got.shape != (len(sig), 1, 1, 1) and got.shape != (len(sig), 1, 1):
        problems.append("lh.sig.mgz: shape %s" % (got.shape,))
    elif not numpy.array_equal(numpy.asarray(got.dataobj).reshape(-1), sig):
        problems.append("lh.sig.mgz: values differ")
    run = numpy.asarray(nibabel.load(at("lh.run.mgh")).dataobj).reshape(-1, 5)
    got = nibabel.load(to("lh.run.mgz"))
    if not numpy.array_equal(numpy.asarray(got.dataobj).reshape(-1, 5), run):
        problems.append("lh.run.mgz: frames differ")
    if float(got.header["tr"]) != 1500.0:
        problems.append("lh.run.mgz: TR %s" % got.header["tr"])
    vertex_labels, _, names = io.read_annot(at("lh.aparc.annot"))
    got_labels, _, got_names = io.read_annot(to("lh.aparc.annot"))
    expected = [b"???" if label < 0 else names[label] for label in vertex_labels]
    got = [None if label < 0 else got_names[label] for label in got_labels]
    if got != expected:
        problems.append("lh.aparc.annot: %d vertices carry another label" % sum(g != e for g, e in zip(got, expected)))
    for problem in problems:
        print(problem)
    return 1 if problems else 0


def main():
    if sys.argv[1] == "make":
        make(sys.argv[2], int(sys.argv[3]))
        return 0
    if sys.argv[1] == "check-export":
        return check_export(sys.argv[2], sys.argv[3])
    if sys.argv[1] == "same-patches":
        a, b = ([(name, vertices) for name, _, _, vertices in read_poi(path) if vertices] for path in sys.argv[2:4])
        if a != b:
            print("patches differ: %s against %s" % ([n for n, _ in a], [n for n, _ in b]))
        return 0 if a == b else 1
    return check(sys.argv[2])


if __name__ == "__main__":
    sys.exit(main())

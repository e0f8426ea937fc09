#!/usr/bin/python3
"""CIFTI-2 dense files as Workbench (wb_command) and nibabel write them, and
the checks of what the plug-in made of them.

Usage: cifti_files.py make FOLDER
       cifti_files.py check FOLDER
       cifti_files.py check-exports FOLDER

make writes, for hemispheres of N = 642 vertices whose every seventh vertex
(the "medial wall") is left out:
  wb.dscalar.nii   three named maps (wb_command -cifti-create-dense-scalar,
                   -set-map-names), and its separated metrics wbsep_{L,R}.func.gii
  wb.dtseries.nii  six frames, TR 0.72 s, and wbsep_ts_{L,R}.func.gii
  wb.dlabel.nii    one label map, and wbsep_lab_{L,R}.label.gii
  nib.dscalar.nii  nibabel: both hemispheres with a voxel model between them
  nibbig.dtseries.nii
                   nibabel, big-endian int16 values with a scale, the left
                   hemisphere only, TR 2 s
  nib2.dlabel.nii  nibabel: two label maps
and expected_*.npy with what nibabel wrote.

check-exports reads the plug-in's CIFTI exports of wb_LH.smp, wb_RH.mtc and
wb_LH.poi with nibabel and with wb_command -cifti-separate and compares them
with Workbench's own separated files.

check compares the plug-in's outputs (SMP files exported back to .func.gii,
MTC and POI files read here) with wb_command's separated files and nibabel's
values; it prints each difference and exits 1 when there is one.
"""
import os
import struct
import subprocess
import sys

import nibabel
import numpy
from nibabel import cifti2

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_label_patches import read_poi  # noqa: E402

N = 642
KEEP = numpy.array([v % 7 != 0 for v in range(N)])
MAP_NAMES = ["myelin", "thick ness", "task <z> & more"]
LABELS = [(0, "???", (0.667, 0.667, 0.667, 0.0)), (3, "V1", (1.0, 0.0, 0.0, 1.0)),
          (5, "MT+", (0.0, 0.5, 1.0, 1.0)), (9, "Broca", (0.2, 0.8, 0.2, 1.0)),
          (11, "unused", (0.5, 0.5, 0.5, 1.0))]


def wb(*arguments):
    subprocess.run(["wb_command", *arguments], check=True, stdout=subprocess.DEVNULL)


def metric(path, columns, intent="NIFTI_INTENT_NONE"):
    image = nibabel.gifti.GiftiImage()
    for column in columns:
        image.add_gifti_data_array(nibabel.gifti.GiftiDataArray(numpy.asarray(column, numpy.float32), intent=intent,
                                                                datatype="NIFTI_TYPE_FLOAT32"))
    nibabel.save(image, path)


def label_gifti(path, keys):
    image = nibabel.gifti.GiftiImage()
    table = nibabel.gifti.GiftiLabelTable()
    for key, name, rgba in LABELS:
        label = nibabel.gifti.GiftiLabel(key, *rgba)
        label.label = name
        table.labels.append(label)
    image.labeltable = table
    image.add_gifti_data_array(nibabel.gifti.GiftiDataArray(numpy.asarray(keys, numpy.int32),
                                                            intent="NIFTI_INTENT_LABEL", datatype="NIFTI_TYPE_INT32"))
    nibabel.save(image, path)


def values(seed, count=N):
    return numpy.random.default_rng(seed).standard_normal(count).astype(numpy.float32) * 3


def label_keys(seed):
    return numpy.random.default_rng(seed).choice([0, 3, 5, 9], N)


def make_workbench(folder):
    f = lambda name: os.path.join(folder, name)  # noqa: E731
    metric(f("roi.shape.gii"), [KEEP.astype(numpy.float32)])
    roi = ["-roi-left", f("roi.shape.gii")]
    for side, seed in (("L", 1), ("R", 2)):
        metric(f(f"maps_{side}.func.gii"), [values(seed + 10 * m) for m in range(3)])
        metric(f(f"ts_{side}.func.gii"), [values(seed + 100 + t) for t in range(6)])
        label_gifti(f(f"lab_{side}.label.gii"), label_keys(seed))
    both = lambda kind, name: [f"-left-{kind}", f(f"{name}_L.{'label' if kind == 'label' else 'func'}.gii"),  # noqa: E731
                               "-roi-left", f("roi.shape.gii"),
                               f"-right-{kind}", f(f"{name}_R.{'label' if kind == 'label' else 'func'}.gii"),
                               "-roi-right", f("roi.shape.gii")]
    del roi
    wb("-cifti-create-dense-scalar", f("wb.dscalar.nii"), *both("metric", "maps"))
    names = []
    for m, name in enumerate(MAP_NAMES):
        names += ["-map", str(m + 1), name]
    wb("-set-map-names", f("wb.dscalar.nii"), *names)
    wb("-cifti-create-dense-timeseries", f("wb.dtseries.nii"), *both("metric", "ts"), "-timestep", "0.72")
    wb("-cifti-create-label", f("wb.dlabel.nii"), *both("label", "lab"))
    wb("-cifti-separate", f("wb.dscalar.nii"), "COLUMN", "-metric", "CORTEX_LEFT", f("wbsep_L.func.gii"),
       "-metric", "CORTEX_RIGHT", f("wbsep_R.func.gii"))
    wb("-cifti-separate", f("wb.dtseries.nii"), "COLUMN", "-metric", "CORTEX_LEFT", f("wbsep_ts_L.func.gii"),
       "-metric", "CORTEX_RIGHT", f("wbsep_ts_R.func.gii"))
    wb("-cifti-separate", f("wb.dlabel.nii"), "COLUMN", "-label", "CORTEX_LEFT", f("wbsep_lab_L.label.gii"),
       "-label", "CORTEX_RIGHT", f("wbsep_lab_R.label.gii"))


def surface_model(structure, keep=KEEP):
    return cifti2.BrainModelAxis.from_mask(keep, name=structure)


NIFTI2 = "i8shh8q3d8dqddddddqq80s24sii6d4d4d4diii16sc15s"


def big_endian_copy(source, target, raw, slope, inter):
    """The little-endian float32 file `source` as a big-endian int16 file of
    the values `raw` (rows by brainordinates), scaled by slope and inter."""
    data = open(source, "rb").read()
    fields = list(struct.unpack_from("<" + NIFTI2, data, 0))
    fields[2], fields[3] = 4, 16  # datatype INT16, bitpix
    fields[24], fields[25] = slope, inter
    out = bytearray(struct.pack(">" + NIFTI2, *fields)) + data[540:544]
    vox_offset = fields[23]
    at = 544
    while at < vox_offset:
        size, code = struct.unpack_from("<ii", data, at)
        out += struct.pack(">ii", size, code) + data[at + 8:at + size]
        at += size
    out += b"\0" * (vox_offset - len(out))
    out += raw.T.astype(">i2").tobytes()
    open(target, "wb").write(bytes(out))


def make_nibabel(folder):
    f = lambda name: os.path.join(folder, name)  # noqa: E731
    affine = numpy.eye(4)
    mask = numpy.zeros((3, 3, 3), bool)
    mask[1, :, 1] = True
    voxels = cifti2.BrainModelAxis.from_mask(mask, name="thalamus_left", affine=affine)
    models = surface_model("CortexLeft") + voxels + surface_model("CortexRight")
    data = numpy.random.default_rng(7).standard_normal((2, len(models))).astype(numpy.float32)
    scalars = cifti2.ScalarAxis(["first", "second"])
    nibabel.save(cifti2.Cifti2Image(data, header=(scalars, models)), f("nib.dscalar.nii"))
    kept = numpy.flatnonzero(KEEP)
    left = len(kept)
    for side, columns in (("L", slice(0, left)), ("R", slice(left + 3, None))):
        expected = numpy.zeros((2, N), numpy.float32)
        expected[:, kept] = data[:, columns]
        numpy.save(f(f"expected_nib_{side}.npy"), expected)

    # Big-endian int16 values with a scale and an offset, one hemisphere:
    # nibabel writes in the machine's order, so its file is turned over here.
    frames = cifti2.SeriesAxis(start=0, step=2.0, size=5, unit="second")
    left_only = surface_model("CortexLeft")
    raw = numpy.random.default_rng(8).integers(-3000, 3000, (5, len(left_only))).astype(numpy.int16)
    nibabel.save(cifti2.Cifti2Image(raw.astype(numpy.float32), header=(frames, left_only)), f("little.dtseries.nii"))
    big_endian_copy(f("little.dtseries.nii"), f("nibbig.dtseries.nii"), raw, 0.5, 10.0)
    os.remove(f("little.dtseries.nii"))
    reread = nibabel.load(f("nibbig.dtseries.nii"))
    with open(f("nibbig.dtseries.nii"), "rb") as stored:
        assert nibabel.Nifti2Header.from_fileobj(stored).endianness == ">", "not big-endian"
    expected = numpy.zeros((5, N), numpy.float32)
    expected[:, kept] = numpy.asarray(reread.get_fdata(), numpy.float32)
    assert numpy.allclose(expected[:, kept], raw * 0.5 + 10.0)
    numpy.save(f("expected_nibbig_L.npy"), expected)

    # Two label maps on both hemispheres.
    tables = []
    for m in range(2):
        table = {key: (name if key == 0 else f"{name}{m}", rgba) for key, name, rgba in LABELS}
        tables.append(table)
    labels = cifti2.LabelAxis(["parcels A", "parcels/B"], tables)
    both = surface_model("CortexLeft") + surface_model("CortexRight")
    keys = numpy.random.default_rng(9).choice([0, 3, 5, 9], (2, len(both))).astype(numpy.float32)
    nibabel.save(cifti2.Cifti2Image(keys, header=(labels, both)), f("nib2.dlabel.nii"))
    for side, columns in (("L", slice(0, left)), ("R", slice(left, None))):
        expected = numpy.zeros((2, N), numpy.int32)
        expected[:, kept] = keys[:, columns]
        numpy.save(f(f"expected_nib2_{side}.npy"), expected)


def read_mtc(path):
    data = open(path, "rb").read()
    version, vertices, volumes = struct.unpack_from("<iii", data, 0)
    at = 12
    names = []
    for _ in range(2):
        end = data.index(b"\0", at)
        names.append(data[at:end].decode())
        at = end + 1
    hrf, tr = struct.unpack_from("<if", data, at)
    at += 4 * 6 + 1
    values = numpy.frombuffer(data, "<f4", vertices * volumes, at).reshape(volumes, vertices)
    assert len(data) == at + 4 * vertices * volumes, "trailing bytes"
    return version, tr, names, values


def arrays(path):
    return [array.data for array in nibabel.load(path).darrays]


def names_of(path):
    return [array.meta.get("Name") for array in nibabel.load(path).darrays]


def expecter(problems):
    """A function that notes `what` among `problems` when `condition` fails."""
    def expect(condition, what):
        if not condition:
            problems.append(what)
    return expect


def reported(problems):
    for problem in problems:
        print(problem)
    return 1 if problems else 0


def check(folder):
    f = lambda name: os.path.join(folder, name)  # noqa: E731
    problems = []
    expect = expecter(problems)

    for side, tag in (("L", "LH"), ("R", "RH")):
        # Maps: our SMP exported to GIFTI against wb_command's separated metric.
        ours, theirs = arrays(f(f"wb_{tag}.func.gii")), arrays(f(f"wbsep_{side}.func.gii"))
        expect(len(ours) == 3, f"{tag}: {len(ours)} maps")
        for m, (a, b) in enumerate(zip(ours, theirs)):
            expect(numpy.array_equal(a, b), f"{tag} map {m}: values differ")
        expect(names_of(f(f"wb_{tag}.func.gii")) == MAP_NAMES, f"{tag}: names {names_of(f(f'wb_{tag}.func.gii'))}")
        # Time course.
        version, tr, texts, volumes = read_mtc(f(f"wb_{tag}.mtc"))
        expect(tr == 720.0 and version == 1, f"{tag}: TR {tr}, version {version}")
        expected = numpy.stack(arrays(f(f"wbsep_ts_{side}.func.gii")))
        expect(numpy.array_equal(volumes, expected), f"{tag}: time course differs")
        # Patches: every vertex in the patch of its label's name.
        separated = nibabel.load(f(f"wbsep_lab_{side}.label.gii"))
        keys = separated.darrays[0].data
        name_of = {label.key: label.label for label in separated.labeltable.labels}
        patches = read_poi(f(f"wb_{tag}.poi"))
        used = sorted({int(k) for k in keys} - {0})
        expect([p[0] for p in patches] == [name_of[k] for k in used], f"{tag}: patches {[p[0] for p in patches]}")
        for name, colour, _, vertices in patches:
            key = [k for k in used if name_of[k] == name][0]
            expect(vertices == [int(v) for v in numpy.flatnonzero(keys == key)], f"{tag}: patch {name} vertices")
            rgba = [label.rgba for label in separated.labeltable.labels if label.key == key][0]
            want = sum(int(c * 255 + 0.5) << s for c, s in zip(rgba[:3], (16, 8, 0)))
            expect(colour == want, f"{tag}: patch {name} colour {colour:06x}, not {want:06x}")

        # nibabel's files.
        ours = numpy.stack(arrays(f(f"nib_{tag}.func.gii")))
        expect(numpy.array_equal(ours, numpy.load(f(f"expected_nib_{side}.npy"))), f"nib {tag}: maps differ")
        expect(names_of(f(f"nib_{tag}.func.gii")) == ["first", "second"], f"nib {tag}: map names")
        for m, part in enumerate(["parcels A", "parcels_B"]):
            patches = read_poi(f(f"nib2_{part}_{tag}.poi"))
            keys = numpy.load(f(f"expected_nib2_{side}.npy"))[m]
            names = {3: f"V1{m}", 5: f"MT+{m}", 9: f"Broca{m}"}
            expect([p[0] for p in patches] == [names[k] for k in (3, 5, 9)], f"nib2 {part} {tag}: patches")
            for name, _, _, vertices in patches:
                key = [k for k in names if names[k] == name][0]
                expect(vertices == [int(v) for v in numpy.flatnonzero(keys == key)], f"nib2 {tag}: {name}")
    version, tr, _, volumes = read_mtc(f("nibbig_LH.mtc"))
    expect(tr == 2000.0, f"nibbig: TR {tr}")
    expect(numpy.array_equal(volumes, numpy.load(f("expected_nibbig_L.npy"))), "nibbig: time course differs")
    expect(not os.path.exists(f("nibbig_RH.mtc")), "nibbig: a right hemisphere was written")
    return reported(problems)


def check_exports(folder):
    f = lambda name: os.path.join(folder, name)  # noqa: E731
    problems = []
    expect = expecter(problems)

    scalars = nibabel.load(f("wb_LH.dscalar.nii"))
    rows, models = (scalars.header.get_axis(i) for i in (0, 1))
    expect(list(rows.name) == MAP_NAMES, f"dscalar names {list(rows.name)}")
    expect(set(models.name) == {"CIFTI_STRUCTURE_CORTEX_LEFT"} and len(models) == N, "dscalar model")
    expected = numpy.stack(arrays(f("wbsep_L.func.gii")))
    expect(numpy.array_equal(numpy.asarray(scalars.dataobj), expected), "dscalar values (nibabel)")
    wb("-cifti-separate", f("wb_LH.dscalar.nii"), "COLUMN", "-metric", "CORTEX_LEFT", f("back_L.func.gii"))
    expect(numpy.array_equal(numpy.stack(arrays(f("back_L.func.gii"))), expected), "dscalar values (wb_command)")

    series = nibabel.load(f("wb_RH.dtseries.nii"))
    axis = series.header.get_axis(0)
    expect(abs(axis.step - 0.72) < 1e-9 and axis.unit == "SECOND" and axis.size == 6, f"series {axis.step} {axis.unit}")
    expected = numpy.stack(arrays(f("wbsep_ts_R.func.gii")))
    expect(numpy.array_equal(numpy.asarray(series.dataobj), expected), "dtseries values (nibabel)")
    wb("-cifti-separate", f("wb_RH.dtseries.nii"), "COLUMN", "-metric", "CORTEX_RIGHT", f("back_ts_R.func.gii"))
    expect(numpy.array_equal(numpy.stack(arrays(f("back_ts_R.func.gii"))), expected), "dtseries values (wb_command)")

    labels = nibabel.load(f("wb_LH.dlabel.nii"))
    table = labels.header.get_axis(0).label[0]
    keys = numpy.asarray(labels.dataobj)[0]
    separated = nibabel.load(f("wbsep_lab_L.label.gii"))
    theirs = separated.darrays[0].data
    name_of = {label.key: label.label for label in separated.labeltable.labels}
    colour_of = {label.key: label.rgba for label in separated.labeltable.labels}
    for v in range(N):
        ours = table[int(keys[v])]
        want = name_of[int(theirs[v])]
        expect(ours[0] == want, f"dlabel vertex {v}: {ours[0]}, not {want}")
        if theirs[v] != 0:
            expect(numpy.allclose(ours[1][:3], colour_of[int(theirs[v])][:3], atol=0.5 / 255), f"dlabel colour {v}")
    wb("-cifti-separate", f("wb_LH.dlabel.nii"), "COLUMN", "-label", "CORTEX_LEFT", f("back_lab_L.label.gii"))
    back = nibabel.load(f("back_lab_L.label.gii"))
    back_names = {label.key: label.label for label in back.labeltable.labels}
    expect([back_names[int(k)] for k in back.darrays[0].data] == [name_of[int(k)] for k in theirs],
           "dlabel names (wb_command)")
    return reported(problems)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "check-exports":
        return check_exports(sys.argv[2])
    if len(sys.argv) != 3 or sys.argv[1] not in ("make", "check"):
        print(__doc__, file=sys.stderr)
        return 2
    if sys.argv[1] == "make":
        make_workbench(sys.argv[2])
        make_nibabel(sys.argv[2])
        return 0
    return check(sys.argv[2])


if __name__ == "__main__":
    sys.exit(main())

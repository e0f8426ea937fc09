#!/usr/bin/python3
"""A small study as FreeSurfer and fMRIPrep lay it out, written by nibabel,
for `meshbridge convert`.

Usage:
  study_files.py subject FOLDER LEVEL
      One subject of seven importable files in FOLDER/sub: surf/lh.white,
      surf/rh.white, surf/lh.thickness, surf/rh.thickness,
      label/lh.aparc.annot, func/sub-01_task-rest_hemi-L_space-fsnative_bold
      .func.gii (four volumes, TimeStep 0 as fMRIPrep writes it) with its
      BIDS sidecar (RepetitionTime 2), surf/rh.pial cut short; and a picture
      and a NIfTI volume that no import takes.
  study_files.py study FOLDER LEVEL
      Two subjects under FOLDER/study:
        freesurfer/bert/surf: lh.white, rh.white, lh.pial (the white surface's
          vertex count too), lh.thickness, lh.sulc, lh.area.pial,
          lh.sig.mgh (an overlay whose values nothing tells), rh.pial cut short
        freesurfer/bert/label: lh.aparc.annot, lh.V1.label (five vertices)
        freesurfer/bert/mri: orig.nii (a NIfTI-1 volume)
        fmriprep/sub-01/anat: sub-01_hemi-L_white.surf.gii,
          sub-01_hemi-L_midthickness.surf.gii, sub-01_hemi-R_white.surf.gii
          (GZipBase64Binary), sub-01_hemi-L_thickness.shape.gii
        fmriprep/sub-01/func: sub-01_task-rest_hemi-L_space-fsnative_bold
          .func.gii with its sidecar (RepetitionTime 2), the same of hemi-R
          without a sidecar, a hemi-L series of the next smaller sphere (no
          surface of its vertex count), a CIFTI-2 dense time series of both
          hemispheres (TR 0.8 s), and the sidecars and a dataset description.
"""
import json
import os
import sys

import nibabel
import numpy
from nibabel import cifti2
from nibabel.freesurfer import io

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_sphere import icosphere  # noqa: E402


def values(count, seed):
    return numpy.random.default_rng(seed).standard_normal(count).astype(numpy.float32)


def folder(*parts):
    path = os.path.join(*parts)
    os.makedirs(path, exist_ok=True)
    return path


def gifti_surface(path, xyz, faces, encoding="ASCII"):
    arrays = [nibabel.gifti.GiftiDataArray(xyz.astype(numpy.float32), intent="NIFTI_INTENT_POINTSET",
                                           datatype="NIFTI_TYPE_FLOAT32", encoding=encoding),
              nibabel.gifti.GiftiDataArray(faces.astype(numpy.int32), intent="NIFTI_INTENT_TRIANGLE",
                                           datatype="NIFTI_TYPE_INT32", encoding=encoding)]
    nibabel.save(nibabel.gifti.GiftiImage(darrays=arrays), path)


def bold(path, count, seed, sidecar):
    """fMRIPrep's surface time series: TimeStep 0, the TR in the sidecar."""
    arrays = [nibabel.gifti.GiftiDataArray(values(count, seed + t), intent="NIFTI_INTENT_TIME_SERIES",
                                           datatype="NIFTI_TYPE_FLOAT32",
                                           meta=nibabel.gifti.GiftiMetaData({"TimeStep": "0"}))
              for t in range(4)]
    nibabel.save(nibabel.gifti.GiftiImage(darrays=arrays), path)
    if sidecar:
        with open(path.split(".")[0] + ".json", "w") as out:
            json.dump({"RepetitionTime": 2, "TaskName": "rest"}, out)


def cut_short(source, target):
    with open(source, "rb") as whole, open(target, "wb") as out:
        out.write(whole.read()[:300])


def not_importable(where):
    with open(os.path.join(where, "snapshot.png"), "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + bytes(64))
    nibabel.save(nibabel.Nifti1Image(numpy.zeros((4, 4, 4), numpy.float32), numpy.eye(4)),
                 os.path.join(where, "orig.nii"))


def subject(root, level):
    xyz, faces = icosphere(level)
    n = len(xyz)
    surf, label, func = folder(root, "sub", "surf"), folder(root, "sub", "label"), folder(root, "sub", "func")
    for h, seed in (("lh", 1), ("rh", 2)):
        io.write_geometry(os.path.join(surf, h + ".white"), xyz.astype(numpy.float64), faces)
        io.write_morph_data(os.path.join(surf, h + ".thickness"), numpy.abs(values(n, seed)))
    cut_short(os.path.join(surf, "rh.white"), os.path.join(surf, "rh.pial"))
    io.write_annot(os.path.join(label, "lh.aparc.annot"), numpy.arange(n) % 3,
                   numpy.array([[200, 20, 20, 0], [20, 200, 20, 0], [20, 20, 200, 0]]), [b"a", b"b", b"c"])
    bold(os.path.join(func, "sub-01_task-rest_hemi-L_space-fsnative_bold.func.gii"), n, 10, True)
    not_importable(func)


def study(root, level):
    xyz, faces = icosphere(level)
    n = len(xyz)
    surf = folder(root, "study", "freesurfer", "bert", "surf")
    label = folder(root, "study", "freesurfer", "bert", "label")
    mri = folder(root, "study", "freesurfer", "bert", "mri")
    for name in ("lh.white", "rh.white", "lh.pial"):
        io.write_geometry(os.path.join(surf, name), (xyz * (1.1 if "pial" in name else 1.0)).astype(numpy.float64),
                          faces)
    cut_short(os.path.join(surf, "rh.white"), os.path.join(surf, "rh.pial"))
    for name, seed in (("lh.thickness", 3), ("lh.sulc", 4), ("lh.area.pial", 5)):
        io.write_morph_data(os.path.join(surf, name), values(n, seed))
    nibabel.save(nibabel.MGHImage(values(n, 6).reshape(n, 1, 1), numpy.eye(4)), os.path.join(surf, "lh.sig.mgh"))
    io.write_annot(os.path.join(label, "lh.aparc.annot"), numpy.arange(n) % 4,
                   numpy.array([[200, 20, 20, 0], [20, 200, 20, 0], [20, 20, 200, 0], [90, 90, 9, 0]]),
                   [b"w", b"x", b"y", b"z"])
    with open(os.path.join(label, "lh.V1.label"), "w") as out:
        chosen = [3, 5, 8, 13, 21]
        out.write("#!ascii label  , from subject bert vox2ras=TkReg\n%d\n" % len(chosen))
        for v in chosen:
            out.write("%d  %.3f  %.3f  %.3f 0.0000000000\n" % (v, *xyz[v]))
    not_importable(mri)

    anat = folder(root, "study", "fmriprep", "sub-01", "anat")
    func = folder(root, "study", "fmriprep", "sub-01", "func")
    gifti_surface(os.path.join(anat, "sub-01_hemi-L_white.surf.gii"), xyz, faces)
    gifti_surface(os.path.join(anat, "sub-01_hemi-L_midthickness.surf.gii"), xyz * 1.05, faces)
    gifti_surface(os.path.join(anat, "sub-01_hemi-R_white.surf.gii"), xyz, faces, "GZipBase64Binary")
    shape = nibabel.gifti.GiftiDataArray(numpy.abs(values(n, 7)), intent="NIFTI_INTENT_SHAPE",
                                         datatype="NIFTI_TYPE_FLOAT32")
    nibabel.save(nibabel.gifti.GiftiImage(darrays=[shape]), os.path.join(anat, "sub-01_hemi-L_thickness.shape.gii"))
    bold(os.path.join(func, "sub-01_task-rest_hemi-L_space-fsnative_bold.func.gii"), n, 20, True)
    bold(os.path.join(func, "sub-01_task-rest_hemi-R_space-fsnative_bold.func.gii"), n, 30, False)
    bold(os.path.join(func, "sub-01_task-rest_hemi-L_space-fsaverage5_bold.func.gii"), len(icosphere(level - 1)[0]),
         40, False)
    keep = numpy.arange(n) % 9 != 0
    models = (cifti2.BrainModelAxis.from_mask(keep, name="CortexLeft") +
              cifti2.BrainModelAxis.from_mask(keep, name="CortexRight"))
    series = cifti2.SeriesAxis(start=0, step=0.8, size=3, unit="second")
    data = numpy.random.default_rng(50).standard_normal((3, len(models))).astype(numpy.float32)
    nibabel.save(cifti2.Cifti2Image(data, header=(series, models)),
                 os.path.join(func, "sub-01_task-rest_space-fsLR_den-91k_bold.dtseries.nii"))
    with open(os.path.join(root, "study", "fmriprep", "dataset_description.json"), "w") as out:
        json.dump({"Name": "study", "BIDSVersion": "1.8.0", "DatasetType": "derivative"}, out)


def main():
    if sys.argv[1] == "subject":
        subject(sys.argv[2], int(sys.argv[3]))
    elif sys.argv[1] == "study":
        study(sys.argv[2], int(sys.argv[3]))
    return 0


if __name__ == "__main__":
    sys.exit(main())

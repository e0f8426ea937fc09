#!/usr/bin/python3
"""The benchmark of `meshbridge convert`: a study of SUBJECTS subjects, each
the seven importable files of tests/e2e/study_files.py's subject (both
hemispheres' white surface and thickness at 163 842 vertices, an annotation,
an fMRIPrep-style time series with its sidecar, a damaged surface) and three
files no import takes, converted

  - one file after the other, each by its own `meshbridge import` with the
    answers convert gives it (what a shell loop does),
  - by `meshbridge convert --jobs 1`, and
  - by `meshbridge convert --jobs JOBS`,

each REPEAT times, the median wall time shown. With --windows, the same
again with the Windows build under Wine (one wineserver kept alive).

Usage: convert_benchmark.py [--subjects 100] [--level 7] [--jobs 2]
                            [--repeat 1] [--dir DIR] [--windows yes]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SUBJECT_FILES = [
    ("surf/lh.white", []), ("surf/rh.white", []), ("surf/rh.pial", []),
    ("surf/lh.thickness", ["--map-type", "shape"]), ("surf/rh.thickness", ["--map-type", "shape"]),
    ("label/lh.aparc.annot", []),
    ("func/sub-01_task-rest_hemi-L_space-fsnative_bold.func.gii", ["--as-time-course", "--surface", "surf/lh.white.srf"]),
]


def make_study(folder, subjects, level):
    template = os.path.join(folder, "template")
    subprocess.run([sys.executable, os.path.join(ROOT, "tests", "e2e", "study_files.py"), "subject", template,
                    str(level)], check=True)
    for s in range(1, subjects + 1):
        for base, _, files in os.walk(os.path.join(template, "sub")):
            target = os.path.join(folder, "study", "sub-%03d" % s, os.path.relpath(base, os.path.join(template, "sub")))
            os.makedirs(target, exist_ok=True)
            for name in files:  # the same bytes for every subject
                os.link(os.path.join(base, name), os.path.join(target, name))
    return os.path.join(folder, "study")


def one_by_one(program, study, out):
    """The imports a shell loop runs: every subject's surfaces, then the rest."""
    for subject in sorted(os.listdir(study)):
        for path, options in SUBJECT_FILES:
            folder = os.path.join(out, subject, os.path.dirname(path))
            options = [os.path.join(out, subject, o) if o.endswith(".srf") else o for o in options]
            subprocess.run(program + ["import", os.path.join(study, subject, path), "-o", folder] + options,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)


def convert(program, study, out, jobs):
    subprocess.run(program + ["convert", study, "-o", out, "--jobs", str(jobs)], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)


def timed(run, out):
    shutil.rmtree(out, ignore_errors=True)
    start = time.perf_counter()
    run()
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--subjects", type=int, default=100)
    parser.add_argument("--level", type=int, default=7)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--repeat", type=int, default=1)
    parser.add_argument("--dir")
    parser.add_argument("--windows", default="no")
    args = parser.parse_args()
    work = args.dir or tempfile.mkdtemp(prefix="convert-benchmark-")
    os.makedirs(work, exist_ok=True)
    study = make_study(work, args.subjects, args.level)
    builds = [("Linux", [os.path.join(ROOT, "build", "bin", "meshbridge")])]
    wineserver = None
    if args.windows == "yes":
        wine = shutil.which("wine64") or "/usr/lib/wine/wine64"
        wineserver = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
        os.environ.update(WINEDEBUG="-all", WINEPREFIX=os.path.join(ROOT, "build-windows", "bench-wineprefix"))
        subprocess.run([wine, "wineboot", "--init"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([wineserver, "-p"])
        builds.append(("Windows", [wine, os.path.join(ROOT, "build-windows", "bin", "Corvana.exe")]))
    files = args.subjects * len(SUBJECT_FILES)
    print("| build   | files | run                      | wall s  | s/file | ratio |")
    print("|---------|-------|--------------------------|---------|--------|-------|")
    try:
        for name, program in builds:
            out = os.path.join(work, "out")
            runs = [("imports one by one", lambda: one_by_one(program, study, out)),
                    ("convert --jobs 1", lambda: convert(program, study, out, 1)),
                    ("convert --jobs %d" % args.jobs, lambda: convert(program, study, out, args.jobs))]
            times = {label: [] for label, _ in runs}
            for _ in range(args.repeat):
                for label, run in runs:
                    times[label].append(timed(run, out))
            base = statistics.median(times["imports one by one"])
            for label, _ in runs:
                wall = statistics.median(times[label])
                print("| %-7s | %5d | %-24s | %7.1f | %6.3f | %5.2f |" % (name, files, label, wall, wall / files,
                                                                          wall / base))
    finally:
        if wineserver:
            subprocess.run([wineserver, "-k"], stderr=subprocess.DEVNULL)
        if not args.dir:
            shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""Instructions per call of the hot paths, counted by callgrind.

Builds driver.cpp against the kernels of a source tree (the repository by
default) with the module's flags, runs it under valgrind once per kernel with
collection switched on only inside that kernel's measure_* function, and
stores the instructions per call under a label in
benchmarks/results/instructions.json (other labels are kept):

  python benchmarks/callgrind/measure.py --label after
  python benchmarks/callgrind/measure.py --label before --source /path/to/old/tree

Instruction counts do not depend on the load of the machine, which makes
them the measure to compare two versions of a kernel by.
"""
from __future__ import annotations

import argparse
import json
import re
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
RESULTS = ROOT / "benchmarks" / "results" / "instructions.json"

# driver mode -> what one call is
KERNELS = {
    "K": "K(m), one parameter",
    "E": "E(m), one parameter",
    "Pi": "Pi(n, m), one pair",
    "ring": "ring magnification, one (l, r)",
    "disk": "uniform disk, one separation of a list",
    "integrated_ring": "integrated_heyrovsky, one separation",
    "integrated_disk": "integrated_witt_mao, one separation",
}


def revision(source: Path) -> str:
    try:
        rev = subprocess.run(["git", "-C", str(source), "rev-parse", "--short", "HEAD"],
                             capture_output=True, text=True, check=True).stdout.strip()
        dirty = subprocess.run(["git", "-C", str(source), "status", "--short", "src"],
                               capture_output=True, text=True, check=True).stdout.strip()
        return rev + ("+changes" if dirty else "")
    except (subprocess.CalledProcessError, FileNotFoundError):
        rev_file = source / "REV"
        return rev_file.read_text().strip()[:7] if rev_file.exists() else "unknown"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--label", required=True)
    parser.add_argument("--source", type=Path, default=ROOT)
    parser.add_argument("--out", type=Path, default=RESULTS)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as build:
        subprocess.run(["cmake", "-S", str(HERE), "-B", build,
                        f"-DTESSARIN_SOURCE_DIR={args.source.resolve()}"],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", build, "-j", "2"], check=True, stdout=subprocess.DEVNULL)
        driver = str(Path(build) / "driver")
        counts = {}
        for kernel, what in KERNELS.items():
            run = subprocess.run(
                ["valgrind", "--tool=callgrind", f"--callgrind-out-file={build}/callgrind.out",
                 f"--toggle-collect=measure_{kernel}", driver, kernel],
                capture_output=True, text=True, check=True)
            collected = int(re.search(r"Collected\s*:\s*(\d+)", run.stderr).group(1))
            calls = int(run.stdout.split()[-1])
            counts[kernel] = {"what": what, "calls": calls, "instructions": collected,
                              "per_call": collected / calls}
            print(f"{kernel:16s} {collected / calls:14.1f} instructions per call  ({what})")

    results = json.loads(args.out.read_text()) if args.out.exists() else {}
    results[args.label] = {"source": revision(args.source.resolve()), "kernels": counts}
    args.out.parent.mkdir(parents=True, exist_ok=True)
    args.out.write_text(json.dumps(results, indent=1, sort_keys=True) + "\n")
    print(f"stored under '{args.label}' in {args.out}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())

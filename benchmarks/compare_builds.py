"""Wall-clock time of the module's functions in two revisions, side by side.

Builds the module of each revision (git archive + CMake, Release, the
project's flags) in a temporary directory, then times the same workloads in
both, alternating between them so that both see the same load, and keeps
each workload's best time:

  python benchmarks/compare_builds.py --before c510c73 [--after HEAD]

Writes benchmarks/results/wallclock.json (report.md shows it) and prints a
table. Instruction counts (callgrind/measure.py) are the load-independent
measure; this shows what they are worth in time.
"""
from __future__ import annotations

import argparse
import json
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
OUT = HERE / "results" / "wallclock.json"

# Run inside a fresh interpreter whose path starts with one build directory.
WORKER = r'''
import json, math, sys, time
sys.path.insert(0, sys.argv[1])
import tessarin as t
assert t.__file__.startswith(sys.argv[1]), t.__file__

xs = [i * 0.05 for i in range(61)] + [1 - 1e-4, 1 + 1e-4]
table_r = [i / 100 for i in range(101)]
table_b = [1 - 0.6 * (1 - math.sqrt(1 - r * r)) for r in table_r]
rings = [(i + 0.5) / 100 for i in range(100)]
fluxes = [0.01] * 100
many = [i * 1e-3 for i in range(3000)]

def per(n, f, repeats=5):
    best = math.inf
    for _ in range(repeats):
        s = time.perf_counter(); f(); best = min(best, time.perf_counter() - s)
    return best / n

out = {}
for rho in (0.01, 1.0):
    out[f"witt_mao_magnification rho={rho}"] = per(len(many), lambda: t.witt_mao_magnification(many, 1.0, rho))
    out[f"heyrovsky_magnification rho={rho}"] = per(len(many), lambda: [t.heyrovsky_magnification(x, 0.7, 1.0, rho) for x in many])
    out[f"integrated_heyrovsky_magnification rho={rho}"] = per(len(xs), lambda: t.integrated_heyrovsky_magnification(xs, 1.0, rho))
    out[f"integrated_witt_mao_magnification rho={rho}"] = per(len(xs), lambda: t.integrated_witt_mao_magnification(xs, 1.0, rho), 3)
    out[f"integrated_flux_map_heyrovsky_magnification rho={rho}"] = per(len(xs), lambda: t.integrated_flux_map_heyrovsky_magnification(xs, 1.0, rho, table_r, table_b))
    out[f"integrated_flux_map_witt_mao_magnification rho={rho}"] = per(len(xs), lambda: t.integrated_flux_map_witt_mao_magnification(xs, 1.0, rho, table_r, table_b), 3)
    out[f"discrete_flux_map_heyrovsky_magnification N=100 rho={rho}"] = per(len(xs), lambda: t.discrete_flux_map_heyrovsky_magnification(xs, 1.0, rho, rings, fluxes))
print(json.dumps(out))
'''


def build(rev: str, where: Path) -> Path:
    src = where / "src"
    src.mkdir(parents=True)
    archive = subprocess.run(["git", "-C", str(ROOT), "archive", rev], check=True,
                             capture_output=True).stdout
    subprocess.run(["tar", "-x", "-C", str(src)], input=archive, check=True)
    out = where / "build"
    subprocess.run(["cmake", "-S", str(src), "-B", str(out), f"-DPython_EXECUTABLE={sys.executable}"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(out), "-j", "2"], check=True, stdout=subprocess.DEVNULL)
    return out


def short(rev: str) -> str:
    return subprocess.run(["git", "-C", str(ROOT), "rev-parse", "--short", rev], check=True,
                          capture_output=True, text=True).stdout.strip()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--before", required=True, help="revision before the change")
    parser.add_argument("--after", default="HEAD", help="revision after it (default HEAD)")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--out", type=Path, default=OUT)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as tmp:
        dirs = {label: build(rev, Path(tmp) / label)
                for label, rev in (("before", args.before), ("after", args.after))}
        best: dict = {"before": {}, "after": {}}
        for _ in range(args.rounds):
            for label, d in dirs.items():
                run = subprocess.run([sys.executable, "-c", WORKER, str(d)], check=True,
                                     capture_output=True, text=True)
                for k, v in json.loads(run.stdout).items():
                    best[label][k] = min(v, best[label].get(k, v))

    rows = {k: {"before": best["before"][k], "after": best["after"][k]} for k in best["before"]}
    result = {"before": short(args.before), "after": short(args.after), "seconds_per_separation": rows}
    args.out.parent.mkdir(parents=True, exist_ok=True)
    args.out.write_text(json.dumps(result, indent=1) + "\n")
    print(f"{'workload':62s} {'before':>10s} {'after':>10s} {'change':>8s}")
    for k, v in rows.items():
        print(f"{k:62s} {v['before'] * 1e6:9.3f}µs {v['after'] * 1e6:9.3f}µs "
              f"{100 * (v['after'] / v['before'] - 1):+7.1f}%")
    return 0


if __name__ == "__main__":
    sys.exit(main())

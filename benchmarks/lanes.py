"""Instructions and time per separation of the list models, without and with
the vector paths, in one run.

  python benchmarks/lanes.py                        # three to four minutes on two cores
  python benchmarks/lanes.py --before-rev 15b4482   # also the revision before the vector paths

Builds the source tree (the repository by default) twice into temporary
directories with CMake (Release, the project's flags, the running Python):
"before" with -DTESSARIN_VECTOR_LANES=OFF (the scalar code alone, the same
bits) and "after" as configured by default (the AVX2 paths, chosen at run
time). Each build is benchmarks/callgrind/CMakeLists.txt with the extension
module switched on, so the module that is timed and the driver whose
instructions are counted (callgrind/lanes.cpp) link the same compiled
kernels. --before-rev REV builds that revision too (git archive, its default
configuration) as a third column.

Workloads: the light curves of benchmarks/run.py, i.e. the separations of
the reference set (benchmarks/data/reference.tsv, the `disk` points for
witt_mao_magnification and the `ld` points for the integrated functions, as
benchmarks/peers.py pairs them) for each of its five source sizes, copied a
few ulp apart (measure.jitter) up to a light curve of measure.LIGHT_CURVE
separations; the flux maps read peers' tabulated default profile. Each is
passed as a list and as a float64 ndarray (the tables too).

Time: each round starts a fresh interpreter per build, and the builds take
turns light curve by light curve (the order rotating), so that all see the
same load; the CPU time of the calling thread per call, the best over the
rounds and the calls within them (at least --min-time of calls), per
separation, then the median over the five source sizes (run.py's summary). Instructions: the driver runs each function on the reference
separations (one copy: valgrind is slow) under
`valgrind --tool=callgrind --toggle-collect=measure_lanes`, which counts the
model calls alone (not the conversion of Python sequences, which happens
outside the models and is the same in both builds).

Writes benchmarks/results/lanes.json and benchmarks/results/lanes.md and
prints the table.
"""
from __future__ import annotations

import argparse
import datetime
import gc
import hashlib
import importlib.util
import json
import math
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
CALLGRIND = HERE / "callgrind"
RESULTS = HERE / "results"
sys.path.insert(0, str(HERE))

import peers  # noqa: E402  (imports tessarin only when its methods are asked for)
from measure import LIGHT_CURVE, jitter, load_reference  # noqa: E402

# function -> (reference points it is compared with in run.py, takes the profile table)
FUNCTIONS = {
    "integrated_heyrovsky_magnification": ("ld", False),
    "integrated_flux_map_heyrovsky_magnification": ("ld", True),
    "integrated_witt_mao_magnification": ("ld", False),
    "witt_mao_magnification": ("disk", False),
    # not in the default set; --functions all adds it
    "integrated_flux_map_witt_mao_magnification": ("ld", True),
}
DEFAULT_FUNCTIONS = list(FUNCTIONS)[:4]
KINDS = ("list", "numpy")


def light_curves(target: str, size: int | None) -> dict[float, list[float]]:
    """{rho: separations}: the reference separations of each source size,
    copied a few ulp apart up to at least `size` (one copy for None)."""
    out = {}
    for rho, rows in sorted(load_reference()[target].items()):
        points = [p for p, _ in rows]
        k = 1 if size is None else max(1, math.ceil(size / len(points)))
        out[rho] = [jitter(p, j)[0] if k > 1 else p[0] for j in range(k) for p in points]
    return out


def profile_table() -> tuple[list[float], list[float]]:
    radii = [i / (peers.TABLE_POINTS - 1) for i in range(peers.TABLE_POINTS)]
    return radii, [peers.default_profile(r) for r in radii]


# ---------------------------------------------------------------- the worker

def worker(args) -> int:
    """Serves timings with the module in args.worker: reads lines
    `FUNCTION KIND RHO`, times that light curve and answers with a JSON line
    (seconds per separation, a digest of the results)."""
    sys.path.insert(0, args.worker)
    import numpy as np
    import tessarin as t
    if not t.__file__.startswith(args.worker):
        raise SystemExit(f"imported {t.__file__}, not the build in {args.worker}")

    radii, brightness = profile_table()
    convert = {"list": list, "numpy": lambda v: np.array(v, dtype=np.float64)}
    curves = {target: light_curves(target, args.light_curve) for target in ("ld", "disk")}
    clock = time.thread_time
    print("ready", flush=True)
    for line in sys.stdin:
        name, kind, rho = line.split()
        target, tabulated = FUNCTIONS[name]
        fn, rho = getattr(t, name), float(rho)
        xs = convert[kind](curves[target][rho])
        tables = (convert[kind](radii), convert[kind](brightness)) if tabulated else ()
        best, spent, calls = math.inf, 0.0, 0
        gc.disable()
        try:
            while calls < 1 or spent < args.min_time:
                start = clock()
                values = fn(xs, 1.0, rho, *tables)
                elapsed = clock() - start
                best, spent, calls = min(best, elapsed), spent + elapsed, calls + 1
        finally:
            gc.enable()
        digest = hashlib.sha256(np.asarray(values, dtype=np.float64).tobytes()).hexdigest()[:16]
        print(json.dumps({"seconds": best / len(xs), "calls": calls, "digest": digest}),
              flush=True)
    return 0


# ---------------------------------------------------------------- the builds

def cmake_build(source: Path, out: Path, lanes: str | None) -> Path:
    """Configures and builds callgrind/CMakeLists.txt over `source` with the
    module on; returns the build directory (module in out/tessarin)."""
    cmd = ["cmake", "-S", str(CALLGRIND), "-B", str(out), f"-DTESSARIN_SOURCE_DIR={source}",
           "-DTESSARIN_CALLGRIND_WITH_MODULE=ON", "-DCMAKE_BUILD_TYPE=Release",
           f"-DPython_EXECUTABLE={sys.executable}"]
    if lanes is not None:
        cmd.append(f"-DTESSARIN_VECTOR_LANES={lanes}")
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(out), "-j", "2", "--target", "lanes", "tessarin"],
                   check=True, stdout=subprocess.DEVNULL)
    return out


def archive(rev: str, where: Path) -> Path:
    where.mkdir(parents=True, exist_ok=True)
    tar = subprocess.run(["git", "-C", str(ROOT), "archive", rev], check=True,
                         capture_output=True).stdout
    subprocess.run(["tar", "-x", "-C", str(where)], input=tar, check=True)
    return where


def git(*cmd: str, cwd: Path = ROOT) -> str:
    return subprocess.run(["git", "-C", str(cwd), *cmd], check=True, capture_output=True,
                          text=True).stdout.strip()


def tree_revision(source: Path) -> str:
    found = importlib.util.spec_from_file_location("callgrind_measure", CALLGRIND / "measure.py")
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module.revision(source)


# ---------------------------------------------------------------- callgrind

VECTOR_FUNCTION = re.compile(r"tessarin::(?:models|lanes)::avx2::(?!available\b)\w+")


def count(build: Path, function: str, inputs: Path, tmp: Path) -> dict:
    out = tmp / f"callgrind.{build.name}.{function}"
    run = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}",
                          "--toggle-collect=measure_lanes", str(build / "lanes"), function,
                          str(inputs)], capture_output=True, text=True, check=True)
    instructions = int(re.search(r"Collected\s*:\s*(\d+)", run.stderr).group(1))
    separations, checksum = run.stdout.split()
    return {"instructions": instructions, "separations": int(separations),
            "per_separation": instructions / int(separations), "checksum": checksum,
            "vector_path": bool(VECTOR_FUNCTION.search(out.read_text(errors="replace")))}


def write_inputs(path: Path, target: str) -> None:
    radii, brightness = profile_table()
    lines = [" ".join(map(repr, radii)), " ".join(map(repr, brightness))]
    lines += [" ".join(map(repr, [rho] + xs)) for rho, xs in light_curves(target, None).items()]
    path.write_text("\n".join(lines) + "\n")


# ---------------------------------------------------------------- the report

def machine() -> dict:
    cpu = platform.processor() or platform.machine()
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    flags = ""
    try:
        flags = next(l for l in Path("/proc/cpuinfo").read_text().splitlines()
                     if l.startswith("flags"))
    except (OSError, StopIteration):
        pass
    return {"cpu": cpu, "cores": os.cpu_count(), "avx2": " avx2" in flags,
            "python": platform.python_version(), "system": platform.platform()}


def compiler(build: Path) -> str:
    cache = (build / "CMakeCache.txt").read_text()
    cxx = re.search(r"^CMAKE_CXX_COMPILER:\w+=(.*)$", cache, re.M).group(1)
    return subprocess.run([cxx, "--version"], capture_output=True, text=True).stdout.splitlines()[0]


def markdown(result: dict) -> str:
    labels = result["labels"]
    rev = "rev" in labels
    m = result["machine"]
    lines = [
        "# The vector paths: before and after",
        "",
        f"`python benchmarks/lanes.py{' --before-rev ' + labels['rev'] if rev else ''}`, "
        f"{result['date']}, on {m['cpu']} ({m['cores']} cores, AVX2 {'yes' if m['avx2'] else 'no'}), "
        f"Python {m['python']}, {result['compiler']}; load average {result['load'][0]:.2f} "
        f"before, {result['load'][1]:.2f} after; {result['elapsed_s']:.0f} s in all.",
        "",
        f"Source tree `{result['source']}`: **before** is its scalar build "
        f"(`-DTESSARIN_VECTOR_LANES=OFF`), **after** its default build (AVX2 paths chosen at run "
        f"time)" + (f"; **{labels['rev']}** is that revision's default build." if rev else "."),
        "",
        f"Time: µs per separation, the median over the five source sizes of the reference set "
        f"(rho = 0.001 to 10) of the best thread CPU time of {result['rounds']} "
        f"round{'s' if result['rounds'] != 1 else ''} (fresh interpreters, the builds taking turns "
        f"light curve by light curve), each light curve {result['light_curve_sizes']} separations (the reference "
        f"separations copied a few ulp apart). `list` passes Python lists, `NumPy` float64 arrays.",
        "",
    ]
    head = "| function | input | before µs | after µs | speed-up |"
    rule = "|---|---|---:|---:|---:|"
    if rev:
        head += f" {labels['rev']} µs | speed-up over {labels['rev']} |"
        rule += "---:|---:|"
    lines += [head, rule]
    for name, by_kind in result["time"].items():
        for kind, row in by_kind.items():
            cells = [f"`{name}`", "list" if kind == "list" else "NumPy",
                     f"{row['before'] * 1e6:.3f}", f"{row['after'] * 1e6:.3f}",
                     f"{row['speedup']:.2f}×"]
            if rev:
                cells += [f"{row['rev'] * 1e6:.3f}", f"{row['rev'] / row['after']:.2f}×"]
            lines.append("| " + " | ".join(cells) + " |")
    if result.get("instructions"):
        lines += [
            "",
            f"Instructions per separation (callgrind, the model calls alone: the same code "
            f"whether the separations came as a list or an array), on the reference separations "
            f"({result['callgrind_separations']} over the five source sizes). *vector path*: "
            f"whether the after build entered an AVX2 function under valgrind.",
            "",
        ]
        head = "| function | before | after | after / before | vector path |"
        rule = "|---|---:|---:|---:|---|"
        if rev:
            head += f" {labels['rev']} | after / {labels['rev']} |"
            rule += "---:|---:|"
        lines += [head, rule]
        for name, row in result["instructions"].items():
            cells = [f"`{name}`", f"{row['before']['per_separation']:,.0f}",
                     f"{row['after']['per_separation']:,.0f}",
                     f"{row['after']['per_separation'] / row['before']['per_separation']:.3f}",
                     "yes" if row["after"]["vector_path"] else "**no**"]
            if rev:
                cells += [f"{row['rev']['per_separation']:,.0f}",
                          f"{row['after']['per_separation'] / row['rev']['per_separation']:.3f}"]
            lines.append("| " + " | ".join(cells) + " |")
    scalar_only = [name for name, row in (result.get("instructions") or {}).items()
                   if not row["after"]["vector_path"]]
    if scalar_only:
        lines += ["", "Functions that entered no AVX2 code run the same code in both builds: "
                  "their speed-ups' distance from 1.00× is the timing noise of this run."]
    for key, what in (("same_bits", "Before and after"), ("same_bits_rev", labels.get("rev"))):
        if key not in result:
            continue
        differ = [k for k, v in result[key].items() if not v]
        lines += ["", (f"{what} gave the same bits on every light curve (timed and counted)."
                       if not differ else
                       f"**{what} differ** in the results of: " + ", ".join(differ) + ".")]
    lines.append("")
    return "\n".join(lines)


# ---------------------------------------------------------------- main

def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--source", type=Path, default=ROOT,
                        help="tree to build before and after from (default: this repository)")
    parser.add_argument("--before-rev", help="also build this git revision (e.g. 15b4482)")
    parser.add_argument("--functions", default=",".join(DEFAULT_FUNCTIONS),
                        help="comma-separated list, or 'all' (default: the four vectorised ones)")
    parser.add_argument("--rounds", type=int, default=3, help="fresh interpreters per build")
    parser.add_argument("--min-time", type=float, default=0.1,
                        help="CPU seconds per workload and round (at least one call)")
    parser.add_argument("--light-curve", type=int, default=LIGHT_CURVE,
                        help="separations per timed light curve (at least)")
    parser.add_argument("--no-callgrind", action="store_true", help="time only")
    parser.add_argument("--build-dir", type=Path, help="keep (and reuse) the builds here")
    parser.add_argument("--out-dir", type=Path, default=RESULTS)
    parser.add_argument("--worker", help=argparse.SUPPRESS)
    args = parser.parse_args(argv)
    args.functions = list(FUNCTIONS) if args.functions == "all" else args.functions.split(",")
    for name in args.functions:
        if name not in FUNCTIONS:
            parser.error(f"unknown function {name}; choose from {', '.join(FUNCTIONS)}")
    if args.worker:
        return worker(args)
    if not args.no_callgrind and not shutil.which("valgrind"):
        parser.error("valgrind is not installed (or pass --no-callgrind)")

    start, load_before = time.time(), os.getloadavg()[0]

    def say(what: str) -> None:
        print(f"[{time.time() - start:5.0f} s] {what}", file=sys.stderr, flush=True)

    source = args.source.resolve()
    with tempfile.TemporaryDirectory() as tmp_name:
        tmp = Path(tmp_name)
        root = args.build_dir.resolve() if args.build_dir else tmp
        labels = {"before": "scalar", "after": "vector"}
        builds = {}
        say("building before (scalar) and after (vector)")
        builds["before"] = cmake_build(source, root / "before", "OFF")
        builds["after"] = cmake_build(source, root / "after", None)
        if args.before_rev:
            labels["rev"] = git("rev-parse", "--short", args.before_rev)
            say(f"building {labels['rev']}")
            rev_src = root / "rev-src"
            shutil.rmtree(rev_src, ignore_errors=True)
            builds["rev"] = cmake_build(archive(args.before_rev, rev_src), root / "rev", None)

        # Instructions first, two valgrind runs at a time (they do not
        # depend on the load); then the timings alone on the machine.
        counts: dict = {}
        if not args.no_callgrind:
            inputs = {}
            for target in {FUNCTIONS[n][0] for n in args.functions}:
                inputs[target] = tmp / f"{target}.txt"
                write_inputs(inputs[target], target)
            jobs = [(label, name) for name in args.functions for label in builds]
            say(f"callgrind: {len(jobs)} runs, two at a time")
            with ThreadPoolExecutor(max_workers=2) as pool:
                done = pool.map(lambda job: count(builds[job[0]], job[1],
                                                  inputs[FUNCTIONS[job[1]][0]], tmp), jobs)
                for (label, name), c in zip(jobs, done):
                    counts.setdefault(name, {})[label] = c

        # Each round starts a fresh interpreter per build; the builds take
        # turns light curve by light curve (the order rotating), so that
        # all see the same load.
        best: dict = {label: {} for label in builds}
        digests: dict = {label: {} for label in builds}
        order = list(builds)
        workloads = [(name, kind, rho) for name in args.functions for kind in KINDS
                     for rho in light_curves(FUNCTIONS[name][0], None)]
        turn = 0
        for r in range(args.rounds):
            say(f"timing: round {r + 1} of {args.rounds}")
            servers = {label: subprocess.Popen(
                [sys.executable, __file__, "--worker", str(builds[label] / "tessarin"),
                 "--light-curve", str(args.light_curve), "--min-time", str(args.min_time)],
                stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True) for label in builds}
            try:
                for label, server in servers.items():
                    if server.stdout.readline().strip() != "ready":
                        raise SystemExit(f"the {label} worker did not start")
                for name, kind, rho in workloads:
                    turn += 1
                    for label in order[turn % len(order):] + order[:turn % len(order)]:
                        server = servers[label]
                        server.stdin.write(f"{name} {kind} {rho!r}\n")
                        server.stdin.flush()
                        answer = server.stdout.readline()
                        if not answer:
                            raise SystemExit(f"the {label} worker stopped")
                        got = json.loads(answer)
                        slot = best[label].setdefault(name, {}).setdefault(kind, {})
                        slot[repr(rho)] = min(got["seconds"], slot.get(repr(rho), math.inf))
                        digests[label].setdefault(name, {}).setdefault(kind, {})[repr(rho)] = \
                            got["digest"]
            finally:
                for server in servers.values():
                    server.stdin.close()
                    server.wait()
        compiler_line = compiler(builds["after"])

    sizes = sorted({len(xs) for name in args.functions
                    for xs in light_curves(FUNCTIONS[name][0], args.light_curve).values()})
    table: dict = {}
    for name in args.functions:
        for kind in KINDS:
            row = {label: statistics.median(best[label][name][kind].values()) for label in builds}
            row["speedup"] = row["before"] / row["after"]
            row["per_rho"] = {label: best[label][name][kind] for label in builds}
            table.setdefault(name, {})[kind] = row
    def same_bits(a: str, b: str) -> dict:
        same = {f"{name} ({kind})": digests[a][name][kind] == digests[b][name][kind]
                for name in args.functions for kind in KINDS}
        for name, c in counts.items():
            same[f"{name} (driver)"] = c[a]["checksum"] == c[b]["checksum"]
        return same

    result = {
        "date": datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M %Z"),
        "machine": machine(),
        "compiler": compiler_line,
        "source": tree_revision(source),
        "labels": labels,
        "rounds": args.rounds,
        "min_time_s": args.min_time,
        "light_curve_sizes": "/".join(map(str, sizes)),
        "load": [load_before, os.getloadavg()[0]],
        "elapsed_s": time.time() - start,
        "time": table,
        "instructions": counts,
        "callgrind_separations": sorted({c["before"]["separations"] for c in counts.values()}),
        "same_bits": same_bits("before", "after"),
        "digests": digests,
    }
    if "rev" in builds:
        result["same_bits_rev"] = same_bits("rev", "after")
    if len(result["callgrind_separations"]) == 1:
        result["callgrind_separations"] = result["callgrind_separations"][0]
    args.out_dir.mkdir(parents=True, exist_ok=True)
    (args.out_dir / "lanes.json").write_text(json.dumps(result, indent=1) + "\n")
    md = markdown(result)
    (args.out_dir / "lanes.md").write_text(md)
    print(md)
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""Time per item of converting sequences of separations, and what it does
to a closed-form call.

    python benchmarks/conversion.py [--label NAME] [--repeats N]

Conversion alone: `discrete_flux_map_heyrovsky_magnification([], 1, 1, x, x)`
converts its two tables `x` and computes nothing (no separations), so its
time over 2·10^6 items is the cost of conversion per item; the fixed cost
of a call (under a microsecond) is negligible beside it. Every kind of
sequence is timed in the same run, interleaved, so that the load of the
machine weighs on all of them alike.

The closed form: `witt_mao_magnification` on 10^5 separations given as a
list and as a float64 array, per separation.

Times are the CPU time of the calling thread (a loaded machine inflates the
wall clock by the time other processes hold the core); medians and minima
of `--repeats` runs. With `--label`, the figures are
stored under that name in results/conversion.json (run once with the build
before a change and once after it, e.g. labels "before" and "after").
"""
from __future__ import annotations

import argparse
import array
import json
import platform
import statistics
import tempfile
import time
from pathlib import Path

import numpy as np

import tessarin

RESULTS = Path(__file__).parent / "results" / "conversion.json"
N = 10**6


class Subclass(np.ndarray):
    """Keeps ndarray's item access: read from its buffer."""


def _memmap(values):
    mapped = np.memmap(tempfile.TemporaryFile(), dtype=np.float64, mode="w+",
                       shape=values.shape)
    mapped[:] = values
    return mapped


def sequences():
    values = np.linspace(0.0, 2.0, N)
    wide = np.zeros(3 * N)
    wide[::-3] = values
    return {
        "list of floats": values.tolist(),
        "float64 ndarray": values,
        "float64 ndarray subclass": values.view(Subclass),
        "float64 memmap": _memmap(values),
        "float64 ndarray, stride -3": wide[::-3],
        "array('d')": array.array("d", values.tolist()),
        "memoryview of array('d')": memoryview(array.array("d", values.tolist())),
        "float32 ndarray": values.astype(np.float32),
    }


# CPU time of this thread: on a shared machine the wall clock also counts
# the time that other processes hold the core.
clock = time.thread_time


def per_item(x) -> float:
    start = clock()
    tessarin.discrete_flux_map_heyrovsky_magnification([], 1.0, 1.0, x, x)
    return (clock() - start) / (2 * len(x)) * 1e9


def per_separation(l) -> float:
    start = clock()
    tessarin.witt_mao_magnification(l, 1.0, 0.1)
    return (clock() - start) / len(l) * 1e9


def summary(samples):
    return {"median": statistics.median(samples), "min": min(samples)}


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--label")
    parser.add_argument("--repeats", type=int, default=15)
    args = parser.parse_args()

    inputs = sequences()
    conversion = {name: [] for name in inputs}
    separations = np.linspace(0.01, 3.0, 10**5)
    closed_form = {"list of floats": [], "float64 ndarray": []}
    for _ in range(args.repeats):
        for name, x in inputs.items():
            conversion[name].append(per_item(x))
        closed_form["list of floats"].append(per_separation(separations.tolist()))
        closed_form["float64 ndarray"].append(per_separation(separations))

    out = {
        "machine": f"{platform.machine()} {platform.python_implementation()} "
                   f"{platform.python_version()}, numpy {np.__version__}",
        "clock": "thread CPU time",
        "repeats": args.repeats,
        "conversion_ns_per_item": {k: summary(v) for k, v in conversion.items()},
        "witt_mao_ns_per_separation": {k: summary(v) for k, v in closed_form.items()},
    }
    print(f"conversion of 10^6 items, ns per item (median, min of {args.repeats}):")
    for name, s in out["conversion_ns_per_item"].items():
        print(f"  {name:28s} {s['median']:7.2f} {s['min']:7.2f}")
    print("witt_mao_magnification on 10^5 separations, ns per separation:")
    for name, s in out["witt_mao_ns_per_separation"].items():
        print(f"  {name:28s} {s['median']:7.1f} {s['min']:7.1f}")

    if args.label:
        stored = json.loads(RESULTS.read_text()) if RESULTS.exists() else {}
        stored[args.label] = out
        RESULTS.write_text(json.dumps(stored, indent=2) + "\n")


if __name__ == "__main__":
    main()

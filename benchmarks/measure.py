"""Measurement for benchmarks/run.py: the reference set, each method's
errors against it and its time per separation, and the cost of converting
lists. Nothing here writes a file."""
from __future__ import annotations

import argparse
import gc
import math
import statistics
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import peers  # noqa: E402

REFERENCE = HERE / "data" / "reference.tsv"
# Batch interfaces are timed per separation in a light curve of this many.
LIGHT_CURVE = 1000


def load_reference(path: Path = REFERENCE) -> dict:
    ref: dict = {"disk": {}, "ld": {}, "ring": {}}
    with open(path) as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            kind, rho, x, r, value = line.rstrip("\n").split("\t")
            point = (float(x),) if r == "-" else (float(x), float(r))
            ref[kind].setdefault(float(rho), []).append((point, float(value)))
    return ref


# The quick run: every third separation of the three middle source sizes
# (whose median is the full run's median wherever the time grows or falls
# steadily with the source size).
QUICK_SOURCES = (0.01, 0.1, 1.0)


def subsample(ref: dict, keep_every: int, sources) -> dict:
    return {k: {rho: pts[::keep_every] for rho, pts in by_rho.items() if rho in sources}
            for k, by_rho in ref.items()}


def relative_error(got: float, want: float) -> float:
    return abs(got - want) / abs(want)


def evaluate(method: peers.Method, points: list, rho: float):
    """Values for every point: the whole batch at once and, when that fails,
    the first point apart from the rest, then halves in turn down to single
    points, so that one bad point neither hides the others nor costs one call
    per point."""
    failures = []

    def values_of(batch: list, peel: bool) -> list:
        try:
            return list(method.batch(batch, rho))
        except Exception as e:
            if len(batch) == 1:
                failures.append((batch[0], f"{type(e).__name__}: {str(e).splitlines()[0][:80]}"))
                return [None]
            if peel:  # the first point (x = 0) is the usual culprit
                return values_of(batch[:1], False) + values_of(batch[1:], False)
            half = len(batch) // 2
            return values_of(batch[:half], False) + values_of(batch[half:], False)

    start = time.perf_counter()
    values = values_of(points, True)
    elapsed = time.perf_counter() - start
    return values, failures, (None if failures else elapsed)


def jitter(point: tuple, j: int) -> tuple:
    """The point moved by j * 2^-44 of its size (j * 1e-15 from 0): at most
    a few parts in 1e11 for the largest batches. The limb itself (x = 1)
    stays where it is: moved off it by a few ulp, some codes fail."""
    if point[0] == 1.0:
        return point
    return tuple(v * (1 + j * 2.0**-44) if v != 0 else j * 1e-15 for v in point)


def best_time(method: peers.Method, points: list, rho: float, k: int, args) -> tuple[float, int]:
    """(best time in seconds, batch length) of args.repeats runs of the
    points k times over, fewer runs when one takes more than half of
    args.budget. The copies are moved a few ulp apart so that no method can
    serve a repeated separation from a cache; exact copies where a method
    fails on the moved points."""
    batch = [jitter(p, j) for j in range(k) for p in points] if k > 1 else list(points)
    best, total, runs = math.inf, 0.0, 0
    gc.disable()
    try:
        # At least args.repeats runs, more while they are cheap (up to
        # target_time in all), one only when a run is expensive.
        while runs < args.repeats or (total < args.target_time and runs < 100):
            start = time.perf_counter()
            try:
                method.batch(batch, rho)
            except Exception:
                batch = points * k
                start = time.perf_counter()
                method.batch(batch, rho)
            elapsed = time.perf_counter() - start
            best, total, runs = min(best, elapsed), total + elapsed, runs + 1
            if elapsed > args.budget / 2:
                break
    finally:
        gc.enable()
    return best, len(batch)


def time_per_separation(method: peers.Method, points: list, rho: float, first: float | None,
                        args) -> tuple[float, float]:
    """(seconds per separation, seconds of setup per call).

    A scalar interface is timed as a loop over the points, repeated until it
    lasts args.target_time. A batch interface (a list or an array) may have a
    fixed cost per call: it is timed on n points and on 4n, t(n) = c0 + c1 n
    is fitted through the two, and the time per separation is given for a
    light curve of args.light_curve separations, c1 + c0 / args.light_curve."""
    if not points:
        return math.nan, math.nan
    if first is None:
        first, _ = best_time(method, points, rho, 1,
                             argparse.Namespace(repeats=1, budget=0, target_time=0))
    if method.scalar:
        k = max(1, min(math.ceil(args.target_time / max(first, 1e-9)),
                       math.floor(args.budget / max(first, 1e-9))))
        if k == 1:
            return first / len(points), 0.0
        best, n = best_time(method, points, rho, k, args)
        return min(best / n, first / len(points)), 0.0
    k = max(1, math.ceil(args.min_batch / len(points)))
    if first * 4 * k > args.budget:
        k = 1
    if args.quick:  # one size, no fit
        best, n = best_time(method, points, rho, k, args)
        return best / n, 0.0
    t1, n1 = best_time(method, points, rho, k, args)
    t4, n4 = best_time(method, points, rho, 4 * k, args)
    c1 = (t4 - t1) / (n4 - n1)
    c0 = t1 - c1 * n1
    if c1 <= 0 or c0 < 0.05 * t1:  # within the noise: no setup cost to see
        return t4 / n4, 0.0
    return c1 + c0 / args.light_curve, c0


def run_method(method: peers.Method, ref: dict, args) -> dict:
    result = {"name": method.name, "family": method.family, "target": method.target,
              "note": method.note, "rings": method.rings, "absent": method.absent}
    if method.absent:
        return result
    points_out, failures, times, setup = [], [], {}, {}
    for rho, rows in sorted(ref[method.target].items()):
        points = [p for p, _ in rows]
        values, fails, first = evaluate(method, points, rho)
        failures += [(rho,) + f for f in fails]
        ok_points = []
        for (p, want), got in zip(rows, values):
            good = got is not None and math.isfinite(got)
            if got is not None and not good:
                failures.append((rho, p, f"returned {got!r}"))
            err = relative_error(got, want) if good else None
            points_out.append({"rho": rho, "point": list(p), "ref": want, "got": got, "err": err})
            if good:
                ok_points.append(p)
        if first is None or len(ok_points) != len(points):
            first = None
        times[rho], setup[rho] = time_per_separation(method, ok_points, rho, first, args)
    errs = [p["err"] for p in points_out if p["err"] is not None]
    far = [p["err"] for p in points_out if p["err"] is not None and limb_offset(p["point"][0]) >= 1e-2
           and (len(p["point"]) == 1 or abs(p["point"][0] - p["point"][1]) >= 1e-2)]
    result.update({
        "far_max_err": max(far) if far else None,
        "points": len(points_out),
        "failed": len(points_out) - len(errs),
        "failures": [[f[0], list(f[1]), f[2]] for f in failures[:12]],
        "max_err": max(errs) if errs else None,
        "median_err": statistics.median(errs) if errs else None,
        "time_per_rho": {repr(k): v for k, v in times.items()},
        "setup_per_rho": {repr(k): v for k, v in setup.items()},
        "median_setup": statistics.median(setup.values()) if setup else None,
        "median_time": statistics.median([v for v in times.values() if not math.isnan(v)])
        if times else None,
        "detail": points_out,
    })
    return result


def conversion_cost(repeats: int) -> dict:
    """ns per item to turn a list of 10^6 floats into a vector: a flux-map
    call with no separations converts its two tables and computes nothing."""
    import tessarin as t

    items = [i * 1e-6 for i in range(10**6)]
    best_in = best_in_out = math.inf
    for _ in range(repeats):
        start = time.perf_counter()
        t.discrete_flux_map_heyrovsky_magnification([], 1.0, 1.0, items, items)
        best_in = min(best_in, (time.perf_counter() - start) / 2e6)
        # rstar = 0: every result is NaN without computing anything, so this
        # is one list in and one list out.
        start = time.perf_counter()
        t.witt_mao_magnification(items, 1.0, 0.0)
        best_in_out = min(best_in_out, (time.perf_counter() - start) / 1e6)
    return {"in_ns": best_in * 1e9, "in_out_ns": best_in_out * 1e9}


def limb_offset(x: float) -> float:
    return abs(x - 1.0)

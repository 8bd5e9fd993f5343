"""Bit-for-bit check of every result of the module against a recorded baseline.

A speed-up of the kernels may reorder nothing: every magnification, every
error message and every exception must stay exactly what it was. This script
evaluates the seven functions (and every law of tessarin.fspl at several
tolerances, with and without derivatives) on a fixed, varied sample (separations from 0
to 1e6, the limb and ring windows and their edges, negative, NaN and
infinite inputs, sources from 1e-4 to 1e3 Einstein radii, empty and odd
tables) and records each outcome as float.hex (NaNs with their bit pattern)
or as the exception's type and message.

  python benchmarks/bitcheck.py record [FILE]   write the baseline
  python benchmarks/bitcheck.py check [FILE]    compare; exit 1 on any change

FILE defaults to benchmarks/data/bitcheck_baseline.json.gz. The baseline
holds for one machine and one mathematics library (asin, log, atan, log1p
and pow are the library's own).
"""
from __future__ import annotations

import gzip
import json
import math
import random
import struct
import sys
from pathlib import Path

import tessarin

DEFAULT = Path(__file__).resolve().parent / "data" / "bitcheck_baseline.json.gz"

NAN = float("nan")
INF = float("inf")


def enc(v: float) -> str:
    if math.isnan(v):
        return "nan:" + struct.pack("<d", v).hex()
    return v.hex()


def outcome(fn, *args):
    try:
        result = fn(*args)
    except (KeyboardInterrupt, SystemExit):
        raise
    except BaseException as e:  # PanicException included: it is part of the outcome
        return ["raise", type(e).__name__, str(e)]
    if isinstance(result, float):
        return enc(result)
    return [enc(v) for v in result]


def near(x: float, offsets) -> list[float]:
    out = []
    for o in offsets:
        out += [x + o, x - o, x * (1 + o), x * (1 - o)]
    return out


OFFSETS = [1e-15, 1e-12, 1e-9, 1e-7, 5e-6, 9.999e-6, 1e-5, 1.0001e-5, 2e-5, 1e-4, 1e-3, 1e-2]
RHOS = [1e-4, 1e-3, 0.00731, 0.01, 0.1, 0.3, 1.0, 2.5, 10.0, 100.0, 1e3]


def separations(rng: random.Random) -> list[float]:
    xs = [0.0, 5e-324, 1e-300, 1e-12, 1e-6, 1e-5, 0.001, 0.04, 0.5, 0.9, 1.0, 1.1, 2.0, 24.9,
          25.0, 25.1, 40.0, 100.0, 1e3, 1e6]
    xs += near(1.0, OFFSETS)
    xs += [rng.uniform(0, 3) for _ in range(40)]
    xs += [10 ** rng.uniform(-6, 4) for _ in range(20)]
    return xs


def sample() -> dict:
    rng = random.Random(20260512)
    cases: dict[str, list] = {}

    def add(key, fn, *args):
        cases[key] = outcome(fn, *args)

    def add_list(key, fn, xs, *rest):
        # An error ends the whole call: then each separation on its own too.
        cases[key] = outcome(fn, xs, *rest)
        if cases[key][:1] == ["raise"]:
            for i, x in enumerate(xs):
                cases[f"{key} [{i}]"] = outcome(fn, [x], *rest)

    xs = separations(rng)
    bad = [-0.5, -1e-6, NAN, INF, -INF]

    # Uniform disk: whole lists per source size, then every separation on its
    # own (an error ends a whole call, so each element's outcome is kept).
    f = tessarin.witt_mao_magnification
    for rho in RHOS:
        add_list(f"wm list rho={rho!r}", f, xs, 1.0, rho)
        add_list(f"wm list re=2 rstar={2 * rho!r}", f, xs, 2.0, 2 * rho)
        for x in xs + bad:
            add(f"wm x={x!r} rho={rho!r}", f, [x], 1.0, rho)
    for re, rstar in [(1.0, 0.0), (0.0, 1.0), (-1.0, 0.5), (1.0, -0.5), (NAN, 1.0), (INF, 1.0)]:
        add(f"wm re={re!r} rstar={rstar!r}", f, [0.0, 0.5, 1.0, 2.0], re, rstar)
    add("wm empty", f, [], 1.0, 1.0)

    # Ring means: separations and radii across the ring window, the centre
    # and the negative radii of a central difference.
    h = tessarin.heyrovsky_magnification
    radii = [0.0, 1e-7, 6.0554544523933395e-06, 0.1, 0.3, 0.5, 0.7, 1.0, 1.5]
    ls = [0.0, 1e-7, 5e-6, 1e-5, 0.05, 0.3, 0.5, 0.999, 1.0, 1.001, 2.0, 30.0, 1e4]
    for eta in [1e-3, 0.1, 1.0, 10.0, 1e3]:
        for l in ls:
            for r in radii + near(l, OFFSETS[:9]) + [-1e-6, -6.0554544523933395e-06]:
                add(f"ring l={l!r} r={r!r} eta={eta!r}", h, l, r, eta, 1.0)
        for _ in range(60):
            l, r = rng.uniform(0, 2), rng.uniform(0, 1)
            add(f"ring l={l!r} r={r!r} eta={eta!r}", h, l, r, eta, 1.0)
    for args in [(0.5, 0.3, 0.0, 1.0), (0.5, 0.3, 1.0, 0.0), (NAN, 0.3, 1.0, 1.0),
                 (0.5, NAN, 1.0, 1.0), (INF, 0.3, 1.0, 1.0), (-0.5, 0.3, 1.0, 1.0)]:
        add(f"ring args={args!r}", h, *args)

    # Discrete rings.
    d = tessarin.discrete_flux_map_heyrovsky_magnification
    profile = lambda r: 1 - 0.6 * (1 - math.sqrt(1 - r * r))
    tables = {
        "equal10": ([(i + 0.5) / 10 for i in range(10)], [0.1] * 10),
        "default101": ([i / 100 for i in range(101)], [profile(i / 100) for i in range(101)]),
        "two": ([0.25, 0.75], [0.5, 0.5]),
        "empty": ([], []),
        "one": ([0.5], [2.0]),
        "hits": ([0.5, 1.0], [1.0, 0.0]),
        "partial": ([0.2, 0.5, 0.8], [1.0, 0.5, 1.0]),
        "unsorted": ([0.7, 0.1, 0.4, 0.9], [1.0, 2.0, 0.5, 1.0]),
        "negative": ([0.0, 0.5, 1.0], [1.0, -1.0, 1.0]),
    }
    few = [0.0, 1e-6, 0.3, 0.5, 0.9999995, 1.0, 1.0000005, 1.5, 2.0, 10.0, 1e3]
    for name, (bl, bf) in tables.items():
        for rho in [1e-3, 0.1, 1.0, 10.0]:
            add_list(f"discrete {name} rho={rho!r}", d, xs, 1.0, rho, bl, bf)
            for x in few + bad:
                add(f"discrete {name} x={x!r} rho={rho!r}", d, [x], 1.0, rho, bl, bf)
    add("discrete mismatch", d, [0.5], 1.0, 1.0, [0.1, 0.2, 0.3], [1.0, 1.0])

    # Integrated models: fewer separations (about 400 ring or disk
    # magnifications each).
    ixs = [0.0, 1e-300, 1e-8, 1e-6, 6e-6, 1e-3, 0.1, 0.5, 0.9, 0.99999, 1.0, 1.00001, 1.01, 1.5,
           2.0, 24.0, 26.0, 30.0, 100.0, 1e5]
    ixs += [rng.uniform(0, 3) for _ in range(12)]
    for name, fn in [("iwm", tessarin.integrated_witt_mao_magnification),
                     ("ih", tessarin.integrated_heyrovsky_magnification)]:
        for rho in RHOS:
            add_list(f"{name} list rho={rho!r}", fn, ixs, 1.0, rho)
            for x in [0.5, 1.0, 2.0] + bad:
                add(f"{name} x={x!r} rho={rho!r}", fn, [x], 1.0, rho)
        for re, rstar in [(1.0, 0.0), (0.0, 1.0), (NAN, 1.0)]:
            add(f"{name} re={re!r} rstar={rstar!r}", fn, [0.0, 0.5, 2.0], re, rstar)
        add(f"{name} empty", fn, [], 1.0, 1.0)

    for name, fn in [("ifwm", tessarin.integrated_flux_map_witt_mao_magnification),
                     ("ifh", tessarin.integrated_flux_map_heyrovsky_magnification)]:
        for tname, (bl, bf) in tables.items():
            for rho in [1e-3, 0.1, 1.0, 10.0]:
                add_list(f"{name} {tname} rho={rho!r}", fn, ixs[:16], 1.0, rho, bl, bf)
            for x in bad:
                add(f"{name} {tname} x={x!r}", fn, [x], 1.0, 1.0, bl, bf)
        add(f"{name} mismatch", fn, [0.5], 1.0, 1.0, [0.1, 0.2, 0.3], [1.0, 1.0])
        add(f"{name} empty l", fn, [], 1.0, 1.0, [0.0, 1.0], [1.0, 1.0])
    if hasattr(tessarin, "fspl"):
        fspl_sample(cases, rng)
    return cases


def fspl_outcome(fn, *args, **kwargs):
    try:
        result = fn(*args, **kwargs)
    except (KeyboardInterrupt, SystemExit):
        raise
    except BaseException as e:
        return ["raise", type(e).__name__, str(e)]
    import numpy as np

    if isinstance(result, tuple):  # gradient=True
        return [enc(float(v)) for part in result for v in np.ravel(part)]
    return [enc(float(v)) for v in np.ravel(result)]


def fspl_sample(cases: dict, rng: random.Random) -> None:
    """The fitting family: every law at the tolerances' edges and between,
    across the limb, the centre, the far field and bad elements."""
    from tessarin import fspl

    zs = [0.0, 1e-12, 1e-3, 0.3, 0.7, 0.95, 0.999, 1.0, 1.001, 1.05, 1.2, 1.5, 2.0, 2.5,
          3.0, 4.0, 6.0, 10.0, 100.0, 1e4]
    zs += near(1.0, OFFSETS[:8])
    zs += [rng.uniform(0, 3) for _ in range(8)]
    bad = [-0.5, NAN, INF]
    laws = [
        ("uniform", fspl.uniform, [()]),
        ("linear", fspl.linear, [(0.6,), (1.0,), (-0.3,), (1.2,)]),
        ("quadratic", fspl.quadratic, [(0.45, 0.25), (3.0, -2.0)]),
        ("square_root", fspl.square_root, [(0.3, 0.4)]),
        ("logarithmic", fspl.logarithmic, [(0.6, 0.2)]),
        ("power2", fspl.power2, [(0.6, 0.6), (0.9, 0.05), (0.5, 3.0)]),
        ("claret", fspl.claret, [(0.7, -0.6, 0.9, -0.35), (0.0, 0.0, -12.0, 12.0)]),
    ]
    for name, fn, coefficient_sets in laws:
        for coefficients in coefficient_sets:
            for rtol in (1e-3, 1e-4, 1e-8, 1e-12):
                for rho in (1e-6, 1e-3, 0.1, 1.0, 10.0, 1e3):
                    u = [z * rho for z in zs] + bad + [1e8]
                    cases[f"fspl {name}{coefficients!r} rtol={rtol!r} rho={rho!r}"] = (
                        fspl_outcome(fn, u, rho, *coefficients, rtol=rtol))
    tables = {
        "two": ([0.0, 1.0], [0.4, 1.0]),
        "atmosphere": ([0.0, 0.05, 0.1, 0.2, 0.35, 0.5, 0.7, 1.0],
                       [0.22, 0.36, 0.45, 0.58, 0.7, 0.79, 0.89, 1.0]),
        "limb-bright": ([0.0, 0.5, 1.0], [1.0, 0.6, 0.5]),
    }
    for name, (mu, intensity) in tables.items():
        for rtol in (1e-4, 1e-8, 1e-12):
            for rho in (1e-3, 0.1, 1.0):
                u = [z * rho for z in zs] + bad
                cases[f"fspl tabulated {name} rtol={rtol!r} rho={rho!r}"] = fspl_outcome(
                    fspl.tabulated, u, rho, mu, intensity, rtol=rtol)
    for args in [([0.0, 1.0], [1.0]), ([0.0], [1.0]), ([0.0, 0.5, 0.5, 1.0], [1, 1, 1, 1]),
                 ([0.0, 1.0], [-1.0, 1.0]), ([0.0, 1.0], [0.0, 0.0])]:
        cases[f"fspl tabulated bad {args!r}"] = fspl_outcome(fspl.tabulated, 0.5, 0.1, *args)
    for rho in (0.0, -1.0, NAN, INF, 1e-300, 1e300):
        cases[f"fspl linear rho={rho!r}"] = fspl_outcome(fspl.linear, [0.0, 0.5, 2.0], rho, 0.6)
    for rtol in (0.0, 1e-13, 2e-3, NAN):
        cases[f"fspl rtol={rtol!r}"] = fspl_outcome(fspl.linear, 0.5, 0.1, 0.6, rtol=rtol)
    # Derivatives: every law on every path (expansion, tables, quadrature,
    # the limb), a table's profile, and bad elements.
    for name, fn, coefficient_sets in laws:
        for rtol in (1e-4, 1e-8, 1e-12):
            for rho in (1e-3, 0.1, 1.0, 10.0):
                u = [z * rho for z in zs[::3]] + [rho] + bad
                cases[f"fspl gradient {name}{coefficient_sets[0]!r} rtol={rtol!r} rho={rho!r}"] = (
                    fspl_outcome(fn, u, rho, *coefficient_sets[0], rtol=rtol, gradient=True))
    for rho in (1e-3, 0.1):
        cases[f"fspl gradient tabulated rho={rho!r}"] = fspl_outcome(
            fspl.tabulated, [0.0, 0.5 * rho, rho, 2 * rho], rho, *tables["atmosphere"],
            gradient=True)


def count_values(cases: dict) -> int:
    return sum(len(v) if isinstance(v, list) and v[:1] != ["raise"] else 1 for v in cases.values())


def main(argv: list[str]) -> int:
    if len(argv) < 2 or argv[1] not in ("record", "check"):
        print(__doc__, file=sys.stderr)
        return 2
    path = Path(argv[2]) if len(argv) > 2 else DEFAULT
    cases = sample()
    if argv[1] == "record":
        path.parent.mkdir(parents=True, exist_ok=True)
        with gzip.open(path, "wt") as out:
            json.dump(cases, out, sort_keys=True, separators=(",", ":"))
        print(f"recorded {len(cases)} calls, {count_values(cases)} outcomes to {path}")
        return 0
    with gzip.open(path, "rt") as src:
        baseline = json.load(src)
    changed = [k for k in baseline if cases.get(k) != baseline[k]]
    missing = [k for k in cases if k not in baseline]
    for k in changed[:20]:
        print(f"CHANGED {k}:\n  was {str(baseline[k])[:300]}\n  now {str(cases.get(k))[:300]}")
    if missing:
        print(f"{len(missing)} calls of the sample are not in the baseline (re-record it)")
    print(f"{len(baseline) - len(changed)} of {len(baseline)} calls identical "
          f"({count_values(baseline)} outcomes); {len(changed)} changed")
    return 1 if changed or missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

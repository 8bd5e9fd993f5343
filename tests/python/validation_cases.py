"""The validation points, their regimes, and the module evaluated on them.

Truth tables (tests/data): truth_disk.txt and truth_ring.txt from
tools/accuracy_truth.py, truth_integrated.txt and truth_discrete.txt from
tools/validation_truth.py (mpmath, two independent routes per value). Used
by benchmarks/validation.py, which writes the report and its figures
(benchmarks/results/validation.json), and by test_validation.py, which
checks the module against those figures.
"""
from __future__ import annotations

import math
from collections import defaultdict
from pathlib import Path

import mpmath as mp
import tessarin

from reference import load, relative_error

DATA = Path(__file__).resolve().parent.parent / "data"
FIGURES = DATA.parent.parent / "benchmarks" / "results" / "validation.json"

RHO_MIN, RHO_MAX, X_MAX = 1e-4, 100.0, 1e6
# The tabulated law and the ring table, as tools/validation_truth.py defines them.
TABLE_POINTS = 6
RING_RADII = [0.2, 0.5, 0.8, 0.95]
RING_FLUXES = [0.1, 0.3, 0.4, 0.2]
UNIFORM = ([0.0, 1.0], [1.0, 1.0])


def table():
    """The linear law at radii evenly spaced in theta, r = sin(theta), rounded
    from mpmath as the truth script rounds them (math.sin may differ by an ulp)."""
    with mp.workdps(32):
        radii = [mp.sin(mp.pi / 2 * i / (TABLE_POINTS - 1)) for i in range(TABLE_POINTS)]
        radii[-1] = mp.mpf(1)
        radii = [float(r) for r in radii]
        law = [1 - mp.mpf(6) / 10 * (1 - mp.sqrt((1 - mp.mpf(r)) * (1 + mp.mpf(r)))) for r in radii]
        return radii, [float(b) for b in law]


def decade(g: float) -> int:
    """The decade of g, with the rounding of 1 - 1e-k (or l (1 + 1e-k))
    forgiven: 1 + 1e-8 - 1 is a little below 1e-8."""
    return math.floor(math.log10(g) + 1e-3)


def separation_regime(x: float) -> str:
    """centre, inside, near the limb by decade of |x - 1|, outside, far."""
    if x == 0:
        return "centre"
    if x >= 100:
        return "far (1e2 <= x <= 1e6)"
    if x == 1 or decade(abs(x - 1)) < -8:
        return "limb |x-1| < 1e-8 (to x = 1)"
    k = decade(abs(x - 1))
    if k < -1:
        return f"limb 1e{k} <= |x-1| < 1e{k + 1}"
    return "inside (x <= 0.9)" if x < 1 else "outside (1.1 <= x < 1e2)"


def ring_regime(l: float, r: float) -> str:
    if l >= 30:
        return "far (l >= 30)"
    if l == 0 or r == 0:
        return "lens or ring at the centre"
    k = decade(abs(r - l) / l)
    if k >= -1:
        return "gap |r-l|/l >= 0.1"
    return f"gap 1e{k} <= |r-l|/l < 1e{k + 1}"


def discrete_regime(x: float) -> str:
    if x == 0:
        return "centre"
    if x >= 100:
        return "far (1e2 <= x <= 1e6)"
    if x > 1:
        return "outside (1 < x < 1e2)"
    if min(abs(x - r) / r for r in RING_RADII) < 1e-3:
        return "next to a ring (gap < 1e-3)"
    return "over the rings"


def _in_range(rho, x):
    return RHO_MIN <= rho <= RHO_MAX and x <= X_MAX


def disk_points():
    """(regime, rho, x, truth) of the uniform disk."""
    return [(separation_regime(x), rho, x, a) for _, rho, x, a in load("truth_disk.txt", True)
            if _in_range(rho, x)]


def ring_points():
    """(regime, rho, l, r, truth), ring radii in (0, 1] and the centre."""
    out = []
    for _, eta, l, r, a in load("truth_ring.txt", True):
        rho = 1 / eta
        if _in_range(rho, l) and r <= 1 and (r > 0 or l > 0):
            out.append((ring_regime(l, r), rho, l, r, a))
    return out


def integrated_points(law: str):
    """(regime, rho, x, truth) of the linear law ("linear") or its table ("table")."""
    return [(separation_regime(x), rho, x, a) for w, rho, x, a in load("truth_integrated.txt", True)
            if w == law]


def discrete_points():
    return [(discrete_regime(x), rho, x, a) for rho, x, a in load("truth_discrete.txt")]


def _by_separation(fn, *extra):
    return lambda pts: [fn([x], 1.0, rho, *extra)[0] for _, rho, x, _ in pts]


def module_cases():
    """{function label: (points, evaluate(points) -> values)}."""
    t = tessarin
    tab = table()
    return {
        "witt_mao_magnification": (disk_points(), _by_separation(t.witt_mao_magnification)),
        "heyrovsky_magnification": (
            ring_points(), lambda pts: [t.heyrovsky_magnification(l, r, 1.0, rho)
                                        for _, rho, l, r, _ in pts]),
        "integrated_heyrovsky_magnification": (
            integrated_points("linear"), _by_separation(t.integrated_heyrovsky_magnification)),
        "integrated_witt_mao_magnification": (
            integrated_points("linear"), _by_separation(t.integrated_witt_mao_magnification)),
        "integrated_flux_map_heyrovsky_magnification, table of the law": (
            integrated_points("table"),
            _by_separation(t.integrated_flux_map_heyrovsky_magnification, *tab)),
        "integrated_flux_map_witt_mao_magnification, table of the law": (
            integrated_points("table"),
            _by_separation(t.integrated_flux_map_witt_mao_magnification, *tab)),
        "integrated_flux_map_heyrovsky_magnification, uniform table": (
            disk_points(), _by_separation(t.integrated_flux_map_heyrovsky_magnification, *UNIFORM)),
        "integrated_flux_map_witt_mao_magnification, uniform table": (
            disk_points(), _by_separation(t.integrated_flux_map_witt_mao_magnification, *UNIFORM)),
        "discrete_flux_map_heyrovsky_magnification": (
            discrete_points(),
            _by_separation(t.discrete_flux_map_heyrovsky_magnification, RING_RADII, RING_FLUXES)),
    }


def worst_by_regime(points, values):
    """{regime: (worst relative error, point, got, truth, count)}; a value
    that cannot be compared (an exception, NaN) counts as infinitely wrong."""
    out = {}
    count = defaultdict(int)
    for p, got in zip(points, values):
        regime, truth = p[0], p[-1]
        err = math.inf if got is None else relative_error(got, truth)
        count[regime] += 1
        if regime not in out or err > out[regime][0]:
            out[regime] = (err, p[1:-1], got, truth)
    return {k: v + (count[k],) for k, v in out.items()}

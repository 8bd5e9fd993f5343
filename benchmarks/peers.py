"""The methods under comparison: this module's seven functions and the
finite-source methods of other microlensing codes, all behind one calling
convention.

A method evaluates a batch of points for one source size rho (Einstein
radii) and returns one magnification per point. A point is (x,), the
separation in source radii, or (l, r) for a ring. The peers are run as black
boxes through their public interfaces; a peer that cannot be imported is
listed with the reason and skipped.
"""
from __future__ import annotations

import contextlib
import io
import math
import warnings
from dataclasses import dataclass, field
from typing import Callable, Optional, Sequence

LD_COEFFICIENT = 0.6  # linear law I = 1 - a (1 - sqrt(1 - r^2))
LD_GAMMA = 0.5  # the same law in the Gamma convention: a = 3 Gamma / (2 + Gamma)
TABLE_POINTS = 101
DISCRETE_RINGS = (10, 30, 100, 300, 1000)


@dataclass
class Method:
    name: str
    family: str  # "tessarin", "MulensModel" or "VBMicrolensing"
    target: str  # "disk", "ld" or "ring": the reference it is compared with
    batch: Optional[Callable[[Sequence[tuple], float], Sequence[float]]]
    absent: str = ""  # why the method could not run here
    note: str = ""
    rings: int = 0  # number of rings, for the discrete flux map
    scalar: bool = False  # one point per call (no per-call setup to spread)
    extra: dict = field(default_factory=dict)


def default_profile(r: float) -> float:
    return 1 - LD_COEFFICIENT * (1 - math.sqrt(1 - r * r))


def equal_flux_rings(n: int) -> tuple[list[float], list[float]]:
    """n rings standing for the default profile: ring i at the radius that
    encloses the fraction (i + 1/2)/n of the flux, each carrying 1/n.

    The enclosed fraction of the linear law with a = 0.6 is
    C(r) = [(1 - a) r^2 + (2a/3)(1 - (1 - r^2)^(3/2))] / (1 - a/3)."""
    a = LD_COEFFICIENT

    def enclosed(r: float) -> float:
        return ((1 - a) * r * r + (2 * a / 3) * (1 - (1 - r * r) ** 1.5)) / (1 - a / 3)

    radii = []
    for i in range(n):
        target = (i + 0.5) / n
        lo, hi = 0.0, 1.0
        for _ in range(80):
            mid = 0.5 * (lo + hi)
            if enclosed(mid) < target:
                lo = mid
            else:
                hi = mid
        radii.append(0.5 * (lo + hi))
    return radii, [1.0 / n] * n


def tessarin_methods() -> list[Method]:
    import tessarin as t

    table_r = [i / (TABLE_POINTS - 1) for i in range(TABLE_POINTS)]
    table_b = [default_profile(r) for r in table_r]

    def sep(points):
        return [p[0] for p in points]

    methods = [
        Method("witt_mao_magnification", "tessarin", "disk",
               lambda pts, rho: t.witt_mao_magnification(sep(pts), 1.0, rho)),
        Method("integrated_witt_mao_magnification", "tessarin", "ld",
               lambda pts, rho: t.integrated_witt_mao_magnification(sep(pts), 1.0, rho)),
        Method("integrated_heyrovsky_magnification", "tessarin", "ld",
               lambda pts, rho: t.integrated_heyrovsky_magnification(sep(pts), 1.0, rho)),
        Method("integrated_flux_map_witt_mao_magnification", "tessarin", "ld",
               lambda pts, rho: t.integrated_flux_map_witt_mao_magnification(
                   sep(pts), 1.0, rho, table_r, table_b),
               note=f"default law tabulated at {TABLE_POINTS} radii"),
        Method("integrated_flux_map_heyrovsky_magnification", "tessarin", "ld",
               lambda pts, rho: t.integrated_flux_map_heyrovsky_magnification(
                   sep(pts), 1.0, rho, table_r, table_b),
               note=f"default law tabulated at {TABLE_POINTS} radii"),
        Method("heyrovsky_magnification", "tessarin", "ring",
               lambda pts, rho: [t.heyrovsky_magnification(l, r, 1.0, rho) for l, r in pts],
               scalar=True),
    ]
    for n in DISCRETE_RINGS:
        bl, bf = equal_flux_rings(n)
        methods.append(Method(
            f"discrete_flux_map_heyrovsky_magnification N={n}", "tessarin", "ld",
            (lambda bl, bf: lambda pts, rho: t.discrete_flux_map_heyrovsky_magnification(
                sep(pts), 1.0, rho, bl, bf))(bl, bf),
            note=f"{n} rings of equal flux", rings=n))
    return methods


def _quiet(fn):
    """Runs a peer call with its warnings and printed chatter suppressed."""
    def wrapped(*args):
        with warnings.catch_warnings(), contextlib.redirect_stdout(io.StringIO()):
            warnings.simplefilter("ignore")
            return fn(*args)
    return wrapped


def mulensmodel_methods() -> list[Method]:
    names = [("finite_source_uniform_WittMao94", "disk"), ("finite_source_LD_WittMao94", "ld"),
             ("finite_source_LD_Yoo04", "ld"), ("finite_source_LD_Lee09", "ld")]
    try:
        import MulensModel
        import numpy as np
    except Exception as e:  # any import failure means the peer is absent
        return [Method(f"MulensModel {n}", "MulensModel", target, None,
                       absent=f"cannot import MulensModel: {type(e).__name__}: {e}")
                for n, target in names]

    version = getattr(MulensModel, "__version__", "?")
    models: dict = {}

    def make(method: str, gamma: Optional[float]):
        def batch(points, rho):
            key = (method, rho)
            if key not in models:
                # u_0 = 0 and t_E = 1: the separation u is |t - t_0| = t.
                model = MulensModel.Model({"t_0": 0.0, "u_0": 0.0, "t_E": 1.0, "rho": rho})
                model.set_magnification_methods([-1e300, method, 1e300])
                models[key] = model
            times = np.array([p[0] * rho for p in points], dtype=float)
            return list(models[key].get_magnification(times, gamma=gamma))
        return _quiet(batch)

    out = []
    for n, target in names:
        gamma = None if target == "disk" else LD_GAMMA
        note = f"MulensModel {version}" + ("" if gamma is None else f", Gamma = {LD_GAMMA}")
        out.append(Method(f"MulensModel {n}", "MulensModel", target, make(n, gamma), note=note))
    return out


def vbmicrolensing_methods() -> list[Method]:
    specs = [("ESPLMag2", 0.0, None, "disk"), ("ESPLMag2", 0.0, 1e-5, "disk"),
             ("ESPLMagDark", LD_COEFFICIENT, 1e-3, "ld"), ("ESPLMagDark", LD_COEFFICIENT, 1e-4, "ld"),
             ("ESPLMagDark", LD_COEFFICIENT, 1e-5, "ld")]

    def label(fn, tol):
        return f"VBMicrolensing {fn} Tol {tol:g}" if tol else f"VBMicrolensing {fn} (default Tol)"

    try:
        import VBMicrolensing
        vb = VBMicrolensing.VBMicrolensing()
    except Exception as e:
        return [Method(label(fn, tol), "VBMicrolensing", target, None,
                       absent=f"cannot import VBMicrolensing: {type(e).__name__}: {e}")
                for fn, _, tol, target in specs]

    version = getattr(VBMicrolensing, "__version__", "?")
    default_tol = vb.Tol

    def make(fn_name: str, a1: float, tol: Optional[float]):
        fn = getattr(vb, fn_name)

        def batch(points, rho):
            vb.a1 = a1
            vb.Tol = default_tol if tol is None else tol
            return [fn(p[0] * rho, rho) for p in points]
        return _quiet(batch)

    out = []
    for fn, a1, tol, target in specs:
        note = f"VBMicrolensing {version}, a1 = {a1:g}, Tol = {default_tol if tol is None else tol:g}"
        out.append(Method(label(fn, tol), "VBMicrolensing", target, make(fn, a1, tol), note=note,
                          scalar=True))
    return out


def all_methods() -> list[Method]:
    return tessarin_methods() + mulensmodel_methods() + vbmicrolensing_methods()

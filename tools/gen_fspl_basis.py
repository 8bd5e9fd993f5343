#!/usr/bin/env python3
"""Generate the basis tables of the fitting family (tessarin.fspl).

  src/models/fspl/basis_grid.hpp  the grid, its mapping and the measured error bounds
  src/models/fspl/basis_data.cpp  the tabulated ratios

Every law of the family except power-2 with a free exponent and a table is
a sum of the basis profiles P = 1, mu^(1/2), mu, mu^(3/2), mu^2 and mu ln mu
(mu = sqrt(1 - r^2)). The magnification is linear in the profile, so with
F_P = 2 int_0^1 P mu dmu the flux of P and A_P its magnification,

    A - 1 = sum_P (c_P F_P / N) (A_P - 1),   N = sum_P c_P F_P.

A_1 is the uniform disk's closed form. For the five others the tables hold

    R_P(z, rho) = (A_P - 1) / (A_1 - 1),   z = u / rho,

a smooth function of order 1 that keeps the same scale for every rho (both
excesses fall alike far from the lens and for large sources).

The grid is uniform in two mapped coordinates, read by Lagrange
interpolation through 8 (or 4) nodes in each:

  t = a x / (1 + x) + asinh((x - 1) / delta),  x = z^2,  a = 6, delta = 1e-12:
      even in z (the ratio is a smooth function of z^2 at the centre), nodes
      crowded geometrically towards the limb x = 1 down to |z - 1| ~ delta,
      where the ratio's singular part (the uniform disk's (z - 1) ln|z - 1|
      in the denominator, the laws' |z - 1|^(5/4) and steeper) is below
      1e-10 of it;
  s = asinh(rho / 0.1):
      linear in rho for small sources, where R = R(z, 0) + O(rho) (the
      point lens is 1/u + O(u), and the excess carries -1), and logarithmic
      for large ones.

Each node value is the quotient of tessarin.fspl's own results at
rtol = 1e-12: its adaptive quadrature over concentric disks, checked against
the two-route mpmath truth (tests/data/truth_fspl.txt) to 1e-15. The column
rho = 0 is the limit 2 R(z, 1e-7) - R(z, 2e-7). The bounds of the header
are the largest relative errors of the interpolated ratio, of each order,
at validation points between the nodes (a dense set, fixed by a seed, and
the limb at |z - 1| = 10^-k), times 1.5. The excesses are read from
magnifications rounded to doubles near 1, so a node far out with a large
source (A - 1 ~ 1e-6) carries up to about 1e-10 of rounding in its ratio,
and the last bits follow the platform's libm and the kernels' rounding:
--check compares the data to within 1e-9 relative (below every bound of
the header) instead of bit for bit.

Usage: python3 tools/gen_fspl_basis.py [--check]   (needs the built module)
"""
from __future__ import annotations

import argparse
import re
import sys
from pathlib import Path

import numpy as np

ROOT = Path(__file__).resolve().parent.parent
GRID = ROOT / "src" / "models" / "fspl" / "basis_grid.hpp"
DATA = ROOT / "src" / "models" / "fspl" / "basis_data.cpp"

DELTA = 1e-12
A_MAP = 6.0
HT = 0.15
RHO_SCALE = 0.1
HS = 0.1
Z_MAX = 4.5  # beyond the far-field expansion's start at every tabulated tolerance
RHO_MAX = 4.0
ORDER = 8
MARGIN = ORDER // 2  # nodes beyond the served range, so its stencils are centred
BASES = ["half", "one", "three_halves", "two", "log"]  # mu^(1/2), mu, mu^(3/2), mu^2, mu ln mu


def t_of(z):
    x = z * z
    return A_MAP * x / (1.0 + x) + np.arcsinh((x - 1.0) / DELTA)


def z_of(t):
    lo = np.zeros_like(t)
    hi = np.full_like(t, 2.0 * Z_MAX)
    for _ in range(200):
        mid = 0.5 * (lo + hi)
        above = t_of(mid) > t
        hi = np.where(above, mid, hi)
        lo = np.where(above, lo, mid)
    return 0.5 * (lo + hi)


def excess(fspl, basis, u, rho):
    r = 1e-12
    if basis == "log":
        # I = 1 - mu ln(mu) has flux 1 + 2/9; its mean less the uniform part.
        au = fspl.uniform(u, rho, rtol=r) - 1.0
        al = fspl.logarithmic(u, rho, 0.0, 1.0, rtol=r) - 1.0
        return (au - (11.0 / 9.0) * al) / (-2.0 / 9.0)
    alpha = {"half": 0.5, "one": 1.0, "three_halves": 1.5, "two": 2.0}[basis]
    return fspl.power2(u, rho, 1.0, alpha, rtol=r) - 1.0


def ratio(fspl, basis, z, rho):
    u = z * rho
    return excess(fspl, basis, u, rho) / (fspl.uniform(u, rho, rtol=1e-12) - 1.0)


def grid():
    t0 = float(t_of(np.array(0.0)))
    nt = int(np.ceil((float(t_of(np.array(Z_MAX))) - t0) / HT)) + 1 + MARGIN
    ns = int(np.ceil(np.arcsinh(RHO_MAX / RHO_SCALE) / HS)) + 1 + MARGIN
    return t0, nt, ns


def table(fspl, basis, t0, nt, ns):
    z = z_of(t0 + HT * np.arange(nt))
    rows = []
    for m in range(ns):
        if m == 0:
            rows.append(2.0 * ratio(fspl, basis, z, 1e-7) - ratio(fspl, basis, z, 2e-7))
        else:
            rows.append(ratio(fspl, basis, z, RHO_SCALE * np.sinh(HS * m)))
    return np.array(rows)


def weights(f, n, order):
    """Lagrange weights through `order` nodes around position f (in steps)."""
    i = np.clip(np.floor(f).astype(int) - (order // 2 - 1), 0, n - order)
    r = f - i
    w = np.ones((len(f), order))
    for a in range(order):
        for b in range(order):
            if a != b:
                w[:, a] *= (r - b) / (a - b)
    return i, w


def interpolate(tab, t0, z, rho, order):
    nt, ns = tab.shape[1], tab.shape[0]
    it, wt = weights((t_of(z) - t0) / HT, nt, order)
    is_, ws = weights(np.arcsinh(rho / RHO_SCALE) / HS, ns, order)
    out = np.zeros(len(z))
    for a in range(order):
        for b in range(order):
            out += ws[:, a] * wt[:, b] * tab[is_ + a, it + b]
    return out


def validation_points():
    rng = np.random.default_rng(20261211)
    n = 20000
    z = np.concatenate(
        [
            rng.uniform(0.0, Z_MAX, n),
            rng.uniform(0.0, 0.05, n // 4),
            1.0 + rng.choice([-1.0, 1.0], n // 2) * 10.0 ** rng.uniform(-13, -0.5, n // 2),
            1.0 + np.repeat([-1.0, 1.0], 12) * np.tile(10.0 ** -np.arange(1, 13), 2),
        ]
    )
    rho = np.exp(rng.uniform(np.log(1e-7), np.log(RHO_MAX), len(z)))
    rho[-24:] = np.tile([1e-3, 0.1], 12)
    return z, rho


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--check", action="store_true", help="compare with the committed files")
    args = ap.parse_args()
    from tessarin import fspl

    t0, nt, ns = grid()
    z, rho = validation_points()
    tabs, bounds = {}, {}
    for basis in BASES:
        tab = table(fspl, basis, t0, nt, ns)
        truth = ratio(fspl, basis, z, rho)
        errs = []
        for order in (4, 8):
            err = np.abs(interpolate(tab, t0, z, rho, order) / truth - 1.0)
            j = int(np.argmax(err))
            print(f"{basis:>12} order {order}: worst {err[j]:.2e} at z = {z[j]!r}, rho = {rho[j]!r}")
            errs.append(float(f"{1.5 * err[j]:.1e}"))
        tabs[basis], bounds[basis] = tab, errs

    grid_text = grid_header(t0, nt, ns, bounds)
    data_text = data_source(tabs)
    if args.check:
        check(grid_text, data_text)
        return
    GRID.write_text(grid_text)
    DATA.write_text(data_text)


def numbers(text):
    return np.array([float.fromhex(s) for s in re.findall(r"-?0x[0-9a-f.]+p[-+]\d+", text)])


def check(grid_text, data_text):
    ok = True
    for path, text in ((GRID, grid_text), (DATA, data_text)):
        old, new = numbers(path.read_text()), numbers(text)
        if old.shape != new.shape or not np.all(np.abs(old - new) <= 1e-9 * np.abs(old) + 1e-300):
            print(f"{path.relative_to(ROOT)} differs from a fresh run", file=sys.stderr)
            ok = False
    if not ok:
        sys.exit(1)


def grid_header(t0, nt, ns, bounds):
    lines = [
        "// Generated by tools/gen_fspl_basis.py; do not edit by hand.",
        "//",
        "// The grid of the basis tables (basis_data.cpp): ratios R_P(z, rho) =",
        "// (A_P - 1) / (A_uniform - 1) of the profiles mu^(1/2), mu, mu^(3/2), mu^2",
        "// and mu ln(mu), on nodes uniform in t = a x / (1 + x) + asinh((x - 1) / delta),",
        "// x = (u / rho)^2, and in s = asinh(rho / RHO_SCALE). The bounds are 1.5 times the",
        "// largest relative error of the interpolated ratio at validation points",
        "// between the nodes, for Lagrange interpolation through 4 and 8 nodes.",
        "#pragma once",
        "",
        "namespace tessarin::models::fspl::basis {",
        "",
        "// clang-format off",
        f"inline constexpr double DELTA = {DELTA.hex()}; // {DELTA!r}",
        f"inline constexpr double MAP_SLOPE = {A_MAP.hex()}; // {A_MAP!r}",
        f"inline constexpr double T0 = {t0.hex()}; // {t0!r}, z = 0",
        f"inline constexpr double T_STEP = {HT.hex()}; // {HT!r}",
        f"inline constexpr int T_NODES = {nt};",
        f"inline constexpr double RHO_SCALE = {RHO_SCALE.hex()}; // {RHO_SCALE!r}",
        f"inline constexpr double S_STEP = {HS.hex()}; // {HS!r}",
        f"inline constexpr int S_NODES = {ns};",
        f"inline constexpr double Z_MAX = {Z_MAX.hex()}; // {Z_MAX!r}, the last z served",
        f"inline constexpr double RHO_MAX = {RHO_MAX.hex()}; // {RHO_MAX!r}, the largest rho served",
        f"inline constexpr int BASES = {len(BASES)}; // " + ", ".join(BASES),
        "",
        "// Relative error bounds of each basis ratio: [basis][0] through 4 nodes, [1] through 8.",
        "inline constexpr double ERROR_BOUND[BASES][2] = {",
    ]
    for b in BASES:
        lo, hi = bounds[b]
        lines.append(f"    {{{lo.hex()}, {hi.hex()}}}, // {b}: {lo:.1e}, {hi:.1e}")
    lines += ["};", "// clang-format on", "", "// The ratios, [basis][s node][t node].",
              "extern const double RATIO[BASES][S_NODES][T_NODES];", "",
              "} // namespace tessarin::models::fspl::basis", ""]
    return "\n".join(lines)


def data_source(tabs):
    out = [
        "// Generated by tools/gen_fspl_basis.py; do not edit by hand.",
        "// The basis ratios on the grid of basis_grid.hpp, [basis][s node][t node].",
        '#include "models/fspl/basis_grid.hpp"',
        "",
        "namespace tessarin::models::fspl::basis {",
        "",
        "// clang-format off",
        "const double RATIO[BASES][S_NODES][T_NODES] = {",
    ]
    for b in BASES:
        out.append(f"  {{ // {b}")
        for row in tabs[b]:
            vals = [float(v).hex() for v in row]
            out.append("    {" + ",".join(vals) + "},")
        out.append("  },")
    out += ["};", "// clang-format on", "", "} // namespace tessarin::models::fspl::basis", ""]
    return "\n".join(out)


if __name__ == "__main__":
    main()

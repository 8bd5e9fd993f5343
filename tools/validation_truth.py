"""High-precision truth for the integrated and ring-table models, by two
independent routes, extending tools/accuracy_truth.py.

Writes, under tests/data/:
  truth_integrated.txt  law  rho  x  A   flux-weighted mean magnification
  truth_discrete.txt    rho  x  A        sum of RING_FLUXES x ring means

rho = rstar/re, x in source radii. Laws: "linear" is I(r) = 1 - a (1 - mu),
mu = sqrt(1 - r^2), a = 0.6 (the built-in law); "table" is that law
tabulated at TABLE_RADII and interpolated linearly in r (what the
tabulated-profile functions integrate; the truth is the integral of the
interpolated profile, not of the law). The uniform table needs no row here:
its truth is the uniform disk of truth_disk.txt.

With M(r) = pi r^2 A_disk(r) the magnified area of the concentric disk of
radius r, the flux-weighted mean is F / N with
  route 1 (rings):  F = int_0^1 I(r) 2 pi r A_ring(r) dr,
                    A_ring by Heyrovsky's closed form (Carlson's integrals);
  route 2 (disks):  F = int_0^1 I dM = I(1) M(1) - int_0^1 I'(r) M(r) dr,
                    M by Witt & Mao's closed form, so no ring enters;
and N = int I 2 pi r dr in closed form. Both quadratures are split at
r = x (the ring singularity, the kink of M) and at the table's radii. The
two routes are required to agree to AGREE relative.

The discrete ring table's truth sums ring values that accuracy_truth.py
checks by its own two routes (closed form against the angular average).

Run: nice python tools/validation_truth.py     (a few minutes on two cores)
"""
from __future__ import annotations

import multiprocessing
import sys

import mpmath as mp

from accuracy_truth import DATA, disk_closed, ring_closed, ring_value

DPS = 32
AGREE = mp.mpf(10) ** -22
LD = mp.mpf(6) / 10
TABLE_POINTS = 6  # radii evenly in theta, r = sin(theta): denser at the limb
RING_RADII = (0.2, 0.5, 0.8, 0.95)
RING_FLUXES = (0.1, 0.3, 0.4, 0.2)


def table_radii():
    r = [mp.sin(mp.pi / 2 * i / (TABLE_POINTS - 1)) for i in range(TABLE_POINTS)]
    r[-1] = mp.mpf(1)
    return r


def table_float_radii() -> list[float]:
    """The table as the caller passes it (doubles); the truth integrates
    exactly these doubles and the brightnesses below."""
    with mp.workdps(DPS):
        return [float(r) for r in table_radii()]


def linear_law(r):
    return 1 - LD * (1 - mp.sqrt((1 - r) * (1 + r)))


def table_values() -> list[float]:
    with mp.workdps(DPS):
        return [float(linear_law(mp.mpf(r))) for r in table_float_radii()]


class Profile:
    """Piecewise-linear brightness through (radii[k], values[k])."""

    def __init__(self, radii, values):
        self.r = [mp.mpf(v) for v in radii]
        self.b = [mp.mpf(v) for v in values]

    def segments(self):
        for k in range(len(self.r) - 1):
            r0, r1, b0, b1 = self.r[k], self.r[k + 1], self.b[k], self.b[k + 1]
            yield r0, r1, b0, (b1 - b0) / (r1 - r0)

    def norm(self):
        # int (b0 + s (r - r0)) 2 pi r dr over each segment, exactly.
        total = mp.mpf(0)
        for r0, r1, b0, s in self.segments():
            c = b0 - s * r0
            total += 2 * mp.pi * (c * (r1**2 - r0**2) / 2 + s * (r1**3 - r0**3) / 3)
        return total


def _split(a, b, x):
    return [a, x, b] if a < x < b else [a, b]


def _magnified_area(l, r, rho):
    if r == 0:
        return mp.mpf(0)
    return mp.pi * r * r * disk_closed(l * rho, r * rho)


def _ring(l, r, rho):
    if r == l:  # a single node on the (integrable) logarithmic singularity
        return mp.mpf(0)
    return ring_closed(l, r, 1 / rho)


def linear_routes(rho, l):
    one = mp.mpf(1)
    ring = mp.quad(lambda r: linear_law(r) * 2 * mp.pi * r * _ring(l, r, rho), _split(0, one, l))
    # r = sin(t) takes the 1/sqrt(1 - r^2) of I'(r) away.
    cut = mp.asin(l) if l < 1 else mp.pi
    inner = mp.quad(lambda t: mp.sin(t) * _magnified_area(l, mp.sin(t), rho),
                    _split(0, mp.pi / 2, cut))
    disk = (1 - LD) * _magnified_area(l, one, rho) + LD * inner
    norm = mp.pi * (1 - LD / 3)
    return ring / norm, disk / norm


def table_routes(rho, l, profile):
    ring = mp.mpf(0)
    slope_term = mp.mpf(0)
    for r0, r1, b0, s in profile.segments():
        pts = _split(r0, r1, l)
        ring += mp.quad(lambda r: (b0 + s * (r - r0)) * 2 * mp.pi * r * _ring(l, r, rho), pts)
        slope_term += s * mp.quad(lambda r: _magnified_area(l, r, rho), pts)
    disk = profile.b[-1] * _magnified_area(l, profile.r[-1], rho) - slope_term
    norm = profile.norm()
    return ring / norm, disk / norm


def integrated_value(law: str, rho: float, x: float):
    with mp.workdps(DPS + (int(2 * mp.log10(x)) if x > 1 else 0)):
        rho_, l = mp.mpf(rho), mp.mpf(x)
        if law == "linear":
            a, b = linear_routes(rho_, l)
        else:
            a, b = table_routes(rho_, l, Profile(table_float_radii(), table_values()))
        if abs(a / b - 1) >= AGREE:
            raise ArithmeticError(f"{law} rho={rho} x={x}: routes disagree: {a} against {b}")
        return (law, repr(rho), repr(x), mp.nstr(a, 22))


def discrete_value(rho: float, x: float):
    total = mp.mpf(0)
    for r, f in zip(RING_RADII, RING_FLUXES):
        # ring_value checks its two routes; it takes eta = re/rstar = 1/rho.
        total += mp.mpf(f) * mp.mpf(ring_value("-", 1 / rho, x, r)[-1])
    return (repr(rho), repr(x), mp.nstr(total, 22))


INTEGRATED_SIZES = [1e-4, 1e-2, 1.0, 100.0]
INTEGRATED_X = [0.0, 0.5, 0.9, 1 - 1e-4, 1 - 1e-8, 1 + 1e-8, 1 + 1e-4, 1.1, 3.0, 1e2, 1e4, 1e6]
DISCRETE_SIZES = [1e-4, 1e-2, 1.0, 100.0]
DISCRETE_X = [0.0, 0.1, 0.5 - 1e-6, 0.5 + 1e-3, 0.7, 0.95 - 1e-8, 0.95 + 1e-4, 1.0, 1.5, 10.0,
              1e3, 1e6]


def write(name, rows):
    with open(DATA / name, "w") as out:
        out.write("# Generated by tools/validation_truth.py (mpmath, two routes agreeing to "
                  f"{mp.nstr(AGREE, 1)}); do not edit.\n")
        for row in rows:
            out.write(" ".join(row) + "\n")
    print(f"wrote {name} ({len(rows)} rows)", file=sys.stderr)


def main() -> None:
    jobs = [(law, rho, x) for law in ("linear", "table") for rho in INTEGRATED_SIZES
            for x in INTEGRATED_X]
    with multiprocessing.Pool(2) as pool:
        write("truth_integrated.txt", pool.starmap(integrated_value, jobs, chunksize=1))
        write("truth_discrete.txt", pool.starmap(
            discrete_value, [(rho, x) for rho in DISCRETE_SIZES for x in DISCRETE_X]))


if __name__ == "__main__":
    main()

"""High-precision reference magnifications for the accuracy benchmark (mpmath).

Writes benchmarks/data/reference.tsv with three kinds of rows:

  disk  rho  x  -  A   uniform disk of radius rho (Einstein radii) with the
                       lens at u = x rho: Witt & Mao (1994) closed form
  ld    rho  x  -  A   linear limb darkening I(r) = 1 - 0.6 (1 - sqrt(1 - r^2)):
                       int I 2 pi r A_ring dr / int I 2 pi r dr over the ring
                       means, r in source radii
  ring  rho  l  r  A   mean point-lens magnification over the ring of radius r
                       centred at l (source radii), Einstein radius 1/rho
                       (Heyrovsky 2003 closed form)

rho, x, l and r are the doubles written in the file (repr of a float); every
computation starts from their exact binary values, so the only difference
left between a double-precision code and the reference is its own error.

The closed forms are written on Carlson's integrals with the complements
1 - n and 1 - m formed exactly from the geometry,

  ring:  1 - n = (r - l)^2 / (l + r)^2,
         1 - m = (r - l)^2 ((l + r)^2 + 4 eta^2) / ((l + r)^2 (4 eta^2 + (r - l)^2)),
  disk:  1 - n = (u - R)^2 / (u + R)^2,
         1 - m = (u - R)^2 ((u + R)^2 + 4) / ((u + R)^2 (4 + (u - R)^2)),

K = RF(0, 1-m, 1), E = K - (m/3) RD(0, 1-m, 1), Pi = K + (n/3) RJ(0, 1-m, 1, 1-n)
(DLMF 19.25.1-2): n and m never round above 1, and nothing cancels as the
lens approaches the ring or the limb.

The limb-darkened values are checked, on a subset of the grid, against a
second route that shares no integrand with the first: integration by parts
over concentric uniform disks, r = sin(theta),

  A_LD = A_disk(1)/2 + (3/4) int_0^{pi/2} sin^3(theta) A_disk(sin theta) d theta,

and the uniform disk against the area average of ring means.

Run: python benchmarks/make_reference.py   (about five minutes on one core)
"""
from __future__ import annotations

import sys
import time
from pathlib import Path

import mpmath as mp

OUT = Path(__file__).resolve().parent / "data" / "reference.tsv"

RHOS = ["0.001", "0.01", "0.1", "1", "10"]
# u / rho from 0 to 10, with |x - 1| from 1e-2 down to 1e-6 on both sides of
# the limb, and the limb itself.
X_BASE = ["0", "0.001", "0.01", "0.05", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "0.7", "0.8",
          "0.9", "0.95", "0.98", "0.99", "1.01", "1.02", "1.05", "1.1", "1.2", "1.3", "1.5",
          "1.75", "2", "2.5", "3", "4", "5", "6", "7", "8", "10"]
LIMB_OFFSETS = ["1e-6", "2e-6", "5e-6", "1e-5", "2e-5", "5e-5", "1e-4", "2e-4", "5e-4", "1e-3",
                "2e-3", "5e-3"]
RING_RADII = ["0.3", "0.7", "1"]
LD_COEFFICIENT = mp.mpf("0.6")


def separations() -> list[float]:
    xs = {float(x) for x in X_BASE} | {1.0}
    for off in LIMB_OFFSETS:
        xs.add(float(mp.mpf(1) - mp.mpf(off)))
        xs.add(float(mp.mpf(1) + mp.mpf(off)))
    return sorted(xs)


# -- closed forms ----------------------------------------------------------
# Witt & Mao (1994) and Heyrovsky (2003) in Carlson's integrals with exact
# complements, and the ring's angular average: the same mpmath routes that
# tools/accuracy_truth.py checks against each other to 1e-28.

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tools"))
from accuracy_truth import disk_closed, ring_closed  # noqa: E402
from accuracy_truth import ring_by_angle as _ring_by_angle  # noqa: E402


def uniform_disk(u, R):
    """Witt & Mao (1994): magnification of a uniform disk of radius R whose
    centre lies at u from the lens, both in Einstein radii."""
    return disk_closed(mp.mpf(u), mp.mpf(R))


def ring(l, r, eta):
    """Heyrovsky (2003): mean point-lens magnification over the ring of radius
    r centred at l from the lens; lengths in source radii, eta the Einstein
    radius in source radii. Infinite on the ring itself (l = r)."""
    return ring_closed(mp.mpf(l), mp.mpf(r), mp.mpf(eta))


def default_profile(r):
    return 1 - LD_COEFFICIENT * (1 - mp.sqrt(1 - r * r))


def _quad(f, points):
    value, error = mp.quad(f, points, error=True)
    if not abs(error) <= abs(value) * mp.mpf(10) ** (3 - mp.mp.dps):
        value, error = mp.quad(f, points, error=True, maxdegree=10)
        if not abs(error) <= abs(value) * mp.mpf(10) ** (3 - mp.mp.dps):
            raise ArithmeticError(f"quadrature did not converge: {value} +- {error}")
    return value


def limb_darkened(x, rho):
    """Rings: int_0^1 I(r) 2 pi r A_ring(x, r) dr / int_0^1 I(r) 2 pi r dr,
    split at the ring through the lens (a logarithmic singularity)."""
    x, eta = mp.mpf(x), 1 / mp.mpf(rho)

    def f(r):
        a = mp.mpf(0) if r == x else ring(x, r, eta)
        return default_profile(r) * r * a

    points = [0, x, 1] if 0 < x < 1 else [0, 1]
    norm = (1 - LD_COEFFICIENT / 3) / 2  # int_0^1 I(r) r dr
    return _quad(f, points) / norm


def limb_darkened_by_disks(x, rho):
    """Concentric uniform disks, integrated by parts (see the module text)."""
    x, rho = mp.mpf(x), mp.mpf(rho)
    u = x * rho
    f = lambda th: mp.sin(th) ** 3 * uniform_disk(u, mp.sin(th) * rho)
    points = [0, mp.asin(x), mp.pi / 2] if 0 < x < 1 else [0, mp.pi / 2]
    c = LD_COEFFICIENT
    whole = uniform_disk(u, rho)
    # int I dF = I(1) F(1) - int I'(r) F(r) dr with F(r) = pi r^2 A_disk(r),
    # -I'(r) dr = c sin(theta) d theta; divided by pi (1 - c/3).
    return ((1 - c) * whole + c * _quad(f, points)) / (1 - c / 3)


def ring_by_angle(l, r, eta):
    return _ring_by_angle(mp.mpf(l), mp.mpf(r), mp.mpf(eta))


def relative(a, b):
    return abs(a / b - 1)


def self_check() -> None:
    mp.mp.dps = 30
    for l, r, eta in [("0.5", "0.3", "1"), ("2", "0.7", "2"), ("0.3", "0.9", "0.01"),
                      ("1.5", "1", "30"), ("0.999", "1", "0.1")]:
        a, b = ring(l, r, eta), ring_by_angle(l, r, eta)
        assert relative(a, b) < mp.mpf(10) ** -25, ("ring", l, r, eta, a, b)
    for x, rho in [("0.5", "1"), ("2", "0.1"), ("0.9", "0.01"), ("1.2", "3"), ("0.99999", "10")]:
        eta = 1 / mp.mpf(rho)
        x = mp.mpf(x)
        area = mp.quad(lambda r: 2 * r * (0 if r == x else ring(x, r, eta)),
                       [0, x, 1] if x < 1 else [0, 1])
        disk = uniform_disk(x * mp.mpf(rho), rho)
        assert relative(area, disk) < mp.mpf(10) ** -22, ("disk", x, rho, area, disk)


def fmt(v) -> str:
    if mp.isinf(v):
        return "inf"
    return mp.nstr(v, 20)


def main() -> None:
    start = time.time()
    self_check()
    print(f"self-check passed ({time.time() - start:.0f} s)", file=sys.stderr)
    xs = separations()
    rows = []

    mp.mp.dps = 30
    for rho_s in RHOS:
        rho = mp.mpf(float(rho_s))
        for x in xs:
            rows.append(("disk", rho_s, repr(x), "-", fmt(uniform_disk(mp.mpf(x) * rho, rho))))
        for x in xs:
            for r in RING_RADII:
                if float(r) != x:
                    rows.append(("ring", rho_s, repr(x), r, fmt(ring(x, r, 1 / rho))))

    mp.mp.dps = 22
    checked = worst = 0
    for rho_s in RHOS:
        rho = mp.mpf(float(rho_s))
        for i, x in enumerate(xs):
            value = limb_darkened(x, rho)
            rows.append(("ld", rho_s, repr(x), "-", fmt(value)))
            # The second route on every fourth separation and on the limb.
            if i % 4 == 0 or abs(x - 1) < 1e-5:
                other = limb_darkened_by_disks(x, rho)
                err = relative(value, other)
                worst = max(worst, err)
                checked += 1
                assert err < mp.mpf(10) ** -17, ("limb darkening, two routes", rho_s, x, value, other)
        print(f"limb darkening, rho = {rho_s}: done ({time.time() - start:.0f} s)", file=sys.stderr)

    OUT.parent.mkdir(parents=True, exist_ok=True)
    with open(OUT, "w") as out:
        out.write("# Generated by benchmarks/make_reference.py (mpmath); do not edit.\n")
        out.write(f"# Limb darkening checked by a second route at {checked} points: "
                  f"largest relative difference {mp.nstr(worst, 2)}.\n")
        out.write("# kind\trho\tx\tr\tvalue\n")
        for row in rows:
            out.write("\t".join(row) + "\n")
    print(f"wrote {OUT} ({len(rows)} rows, {time.time() - start:.0f} s)", file=sys.stderr)


if __name__ == "__main__":
    main()

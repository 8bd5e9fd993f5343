"""High-precision truth for the finite-source point-lens functions, by two
independent routes, for every limb-darkening law and tabulated profiles.

Writes tests/data/truth_fspl.txt, one row per point:

  regime  law  coefficients  rho  u  A  A-1

u is the lens-source separation and rho the source radius, both in Einstein
radii; r is the radius on the source in source radii and mu = sqrt(1 - r^2).
Inputs are doubles, written as their Python repr, and every value is
computed from their exact binary values (the coefficients and table nodes
included). A and A - 1 carry 25 significant digits.

Coefficients: "-" for the uniform disk, else the law's coefficients in the
order of the laws below, comma-separated reprs without spaces; a tabulated
profile names its table, whose nodes the header gives on a line

  # table NAME mu MU0,MU1,... intensity I0,I1,...

(mu from 0 to 1, the intensity linear in mu between the nodes).

The laws, I(mu):
  uniform       1
  linear        1 - c (1 - mu)
  quadratic     1 - a (1 - mu) - b (1 - mu)^2
  square_root   1 - c (1 - mu) - d (1 - sqrt(mu))
  logarithmic   1 - c (1 - mu) - d mu ln mu
  power2        1 - c (1 - mu^alpha)
  claret        1 - sum_k a_k (1 - mu^(k/2)),  k = 1..4
  tabulated     piecewise linear in mu through the nodes

The magnification is A = F / N, the mean of the point-lens magnification
A_ps(v) = (v^2 + 2) / (v sqrt(v^2 + 4)) weighted by I over the disk:
  N = int_0^1 I 2 pi r dr = 2 pi int_0^1 I(mu) mu dmu, in closed form per law;
  route 1 (disks, no ring): with M(s) = pi s^2 A_disk(u, rho s) the magnified
      area of the concentric disk of radius s, by Witt & Mao's (1994) closed
      form on Carlson's integrals (accuracy_truth.disk_closed), F = int I dM
      integrated by parts in mu,
          F = I(0) M(1) + int_0^1 I'(mu) M(sqrt(1 - mu^2)) dmu,
      in t with mu = t^2 (t^(1/alpha) for power2 with alpha < 1), where
      dI/dt is bounded although I'(mu) is singular at the limb for the
      square-root, logarithmic, Claret and power2 laws;
  route 2 (rings): F = int_0^1 I(r) 2 pi r A_ring(r) dr with Heyrovsky's
      (2003) ring mean (accuracy_truth.ring_closed).
Both tanh-sinh quadratures are split where the lens crosses (r = u/rho, the
log singularity of A_ring and the kink of M; mu = sqrt(1 - (u/rho)^2)), at
the table's nodes, and at break points in geometric progression (ratio
REFINE) toward the limb when the lens lies within a quarter source radius of
it: the singularity then sits |u/rho - 1| beyond an end of an interval.

A - 1 without cancellation: both routes integrate the excess over A = 1,
  F - N = int I 2 pi r (A_ring - 1) dr = I(0) (M(1) - pi) + int I' (M - pi s^2) dmu,
so that the quadrature's error is relative to A - 1; the closed forms and
their subtraction of 1 run at a precision raised by the digits the
subtraction cancels, -log10 of A_ps(u + rho) - 1 <= A - 1 (the mean over the
disk is at least the value at its farthest point; taken in the form
4 / (v w (v^2 + 2 + v w)), w = sqrt(v^2 + 4)), plus the 2 log10(u/rho) digits
the closed forms cancel far out (as in accuracy_truth.py). A = 1 + (A - 1).
A row is written only if the routes agree to AGREE relative in A and in
A - 1; the worst disagreement is printed at the end.

Regimes (u/rho = x): centre (x = 0), inside (0.3, 0.7, 0.95), limb (u = rho),
limb- and limb+ (u = rho * (1 -/+ 10^-k), the doubles), outside (1.05, 1.5,
3), far (10, 100, 1e4, and u = 1e8), tiny-rho (rho = 1e-6) and huge-rho
(rho = 1e3) at x in 0, 0.5, 1, 1 -/+ 1e-6, 2, 10; k runs over 2, 4, ... 12.
The uniform disk and the linear law take rho in FULL_SIZES (1e-4 to 10), the
other laws REDUCED_SIZES (1e-2, 1, 10), the linear law with c = 1 (dark at
the limb) a few points. The laws at one point are evaluated together and
share the closed forms at common nodes.

Run: nice python tools/gen_fspl_truth.py [--workers 2]
         (about 25 minutes of processor time, shared by the workers)
     python tools/gen_fspl_truth.py --sample        (a few points, no file)
"""
from __future__ import annotations

import multiprocessing
import sys
import time

import mpmath as mp

from accuracy_truth import DATA, disk_closed, ring_closed

OUT = "truth_fspl.txt"
AGREE = mp.mpf(10) ** -20
BASE_DPS = 32
DIGITS = 25


# -- the profiles ------------------------------------------------------------


def _mpf(v) -> mp.mpf:
    return mp.mpf(float(v))


class Law:
    """Surface brightness I(mu). Route 1 integrates in t, mu = t^q: `slope_t(t)`
    is dI/dt, bounded on [0, 1] (I'(mu) itself is singular at the limb for
    the square-root, logarithmic, Claret and power2 laws). q = 2 unless the
    law needs another, so that most laws share route 1's nodes. `mu_nodes`
    are the kinks of I inside (0, 1)."""

    name = ""
    q = 2
    mu_nodes: tuple = ()

    def __init__(self, *coefficients: float):
        self.coefficients = tuple(float(c) for c in coefficients)

    @property
    def encoding(self) -> str:
        return ",".join(repr(c) for c in self.coefficients) or "-"

    def intensity(self, mu):
        raise NotImplementedError

    def slope_t(self, t):
        raise NotImplementedError

    def norm(self):
        raise NotImplementedError


class Uniform(Law):
    name = "uniform"

    def intensity(self, mu):
        return mp.mpf(1)

    def slope_t(self, t):
        return mp.mpf(0)

    def norm(self):
        return +mp.pi


class Linear(Law):
    name = "linear"

    def intensity(self, mu):
        (c,) = map(_mpf, self.coefficients)
        return 1 - c * (1 - mu)

    def slope_t(self, t):  # I = 1 - c (1 - t^2)
        (c,) = map(_mpf, self.coefficients)
        return 2 * c * t

    def norm(self):
        (c,) = map(_mpf, self.coefficients)
        return mp.pi * (1 - c / 3)


class Quadratic(Law):
    name = "quadratic"

    def intensity(self, mu):
        a, b = map(_mpf, self.coefficients)
        return 1 - a * (1 - mu) - b * (1 - mu) ** 2

    def slope_t(self, t):  # I = 1 - a (1 - t^2) - b (1 - t^2)^2
        a, b = map(_mpf, self.coefficients)
        return 2 * a * t + 4 * b * t * (1 - t * t)

    def norm(self):
        # int (1 - mu) mu dmu = 1/6, int (1 - mu)^2 mu dmu = 1/12
        a, b = map(_mpf, self.coefficients)
        return mp.pi * (1 - a / 3 - b / 6)


class SquareRoot(Law):
    name = "square_root"

    def intensity(self, mu):
        c, d = map(_mpf, self.coefficients)
        return 1 - c * (1 - mu) - d * (1 - mp.sqrt(mu))

    def slope_t(self, t):  # I = 1 - c (1 - t^2) - d (1 - t)
        c, d = map(_mpf, self.coefficients)
        return 2 * c * t + d

    def norm(self):
        # int (1 - sqrt(mu)) mu dmu = 1/2 - 2/5
        c, d = map(_mpf, self.coefficients)
        return mp.pi * (1 - c / 3 - d / 5)


class Logarithmic(Law):
    name = "logarithmic"

    def intensity(self, mu):
        c, d = map(_mpf, self.coefficients)
        return 1 - c * (1 - mu) - (d * mu * mp.log(mu) if mu > 0 else 0)

    def slope_t(self, t):  # I = 1 - c (1 - t^2) - 2 d t^2 ln t
        c, d = map(_mpf, self.coefficients)
        if t == 0:
            return mp.mpf(0)
        return 2 * c * t - 2 * d * t * (2 * mp.log(t) + 1)

    def norm(self):
        # int mu^2 ln mu dmu = -1/9
        c, d = map(_mpf, self.coefficients)
        return mp.pi * (1 - c / 3 + 2 * d / 9)


class Power2(Law):
    name = "power2"

    @property
    def q(self):
        # mu = t^(1/alpha) makes I = 1 - c (1 - t) for alpha < 1, whose
        # I'(mu) ~ mu^(alpha - 1) tanh-sinh would not resolve at the limb.
        alpha = _mpf(self.coefficients[1])
        return 1 / alpha if alpha < 1 else 2

    def intensity(self, mu):
        c, alpha = map(_mpf, self.coefficients)
        return 1 - c * (1 - mu**alpha)

    def slope_t(self, t):
        c, alpha = map(_mpf, self.coefficients)
        p = self.q * alpha  # I = 1 - c (1 - t^p)
        return c * p * t ** (p - 1)

    def norm(self):
        # int (1 - mu^alpha) mu dmu = 1/2 - 1/(alpha + 2)
        c, alpha = map(_mpf, self.coefficients)
        return mp.pi * (1 - c * alpha / (alpha + 2))


class Claret(Law):
    name = "claret"

    def intensity(self, mu):
        return 1 - sum(_mpf(a) * (1 - mu ** (mp.mpf(k) / 2))
                       for k, a in enumerate(self.coefficients, 1))

    def slope_t(self, t):  # I = 1 - sum a_k (1 - t^k)
        return sum(_mpf(a) * k * t ** (k - 1) for k, a in enumerate(self.coefficients, 1))

    def norm(self):
        # int (1 - mu^(k/2)) mu dmu = 1/2 - 2/(k + 4)
        return mp.pi * (1 - sum(_mpf(a) * k / (k + 4) for k, a in enumerate(self.coefficients, 1)))


class Tabulated(Law):
    name = "tabulated"

    def __init__(self, table: str, mu: list[float], intensity: list[float]):
        super().__init__()
        assert mu[0] == 0 and mu[-1] == 1 and all(a < b for a, b in zip(mu, mu[1:]))
        self.table, self.mu, self.values = table, [float(m) for m in mu], [float(v) for v in intensity]
        self.mu_nodes = tuple(self.mu[1:-1])

    @property
    def encoding(self) -> str:
        return self.table

    def header(self) -> str:
        return (f"# table {self.table} mu {','.join(map(repr, self.mu))} "
                f"intensity {','.join(map(repr, self.values))}\n")

    def _segment(self, mu):
        k = 0
        while k < len(self.mu) - 2 and mu > self.mu[k + 1]:
            k += 1
        m0, m1, b0, b1 = map(_mpf, (self.mu[k], self.mu[k + 1], self.values[k], self.values[k + 1]))
        return m0, b0, (b1 - b0) / (m1 - m0)

    def intensity(self, mu):
        m0, b0, s = self._segment(mu)
        return b0 + s * (mu - m0)

    def slope_t(self, t):
        # Route 1 splits at the nodes, so t lies inside one segment (on a
        # node, where a quadrature node may round, either side's slope is
        # as good: the weight there is below the working precision).
        return 2 * t * self._segment(t * t)[2]

    def norm(self):
        # int (b0 + s (mu - m0)) mu dmu over each segment, exactly.
        total = mp.mpf(0)
        for k in range(len(self.mu) - 1):
            m0, m1, b0, b1 = map(_mpf, (self.mu[k], self.mu[k + 1], self.values[k], self.values[k + 1]))
            s = (b1 - b0) / (m1 - m0)
            c = b0 - s * m0
            total += c * (m1**2 - m0**2) / 2 + s * (m1**3 - m0**3) / 3
        return 2 * mp.pi * total


def _claret_sampled() -> tuple[list[float], list[float]]:
    """A model-atmosphere-like table: a Claret law with steep darkening at
    the limb, sampled at 12 mu and rounded to 5 decimals as such tables are
    published."""
    mu = [0.0, 0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0]
    a = (0.6, -0.2, 0.5, -0.15)
    values = [round(1 - sum(ak * (1 - m ** (k / 2)) for k, ak in enumerate(a, 1)), 5) for m in mu]
    return mu, values


TABLES = {
    "atm12": _claret_sampled(),
    # The linear law c = 0.6 as a table: 1 - 0.6 is 0.4 exactly in binary,
    # so its truth is the linear law's, reached through the table's code.
    "two": ([0.0, 1.0], [0.4, 1.0]),
}

LAWS = {
    "uniform": Uniform(),
    "linear": Linear(0.6),
    "linear-dark": Linear(1.0),  # zero at the limb
    "quadratic": Quadratic(0.45, 0.25),
    "square_root": SquareRoot(0.3, 0.4),
    "logarithmic": Logarithmic(0.65, 0.2),
    "power2-small": Power2(0.7, 0.1),
    "power2-large": Power2(0.6, 4.0),
    "claret": Claret(0.55, -0.05, 0.55, -0.25),
    "atm12": Tabulated("atm12", *TABLES["atm12"]),
    "two": Tabulated("two", *TABLES["two"]),
}


def check_profiles() -> None:
    """Every profile is non-negative and non-increasing outward (I' >= 0 in
    mu) on a fine grid, and the closed-form N matches the quadrature."""
    with mp.workdps(40):
        for key, law in LAWS.items():
            grid = [mp.mpf(i) / 2000 for i in range(2001)]
            values = [law.intensity(m) for m in grid]
            assert min(values) >= 0, key
            assert all(b >= a for a, b in zip(values, values[1:])), key
            points = sorted({mp.mpf(0), mp.mpf(1), *map(_mpf, law.mu_nodes)})
            quad = 2 * mp.pi * mp.quad(lambda m: law.intensity(m) * m, points)
            assert abs(quad / law.norm() - 1) < mp.mpf(10) ** -30, (key, quad, law.norm())


# -- the two routes ----------------------------------------------------------


def aps_minus_one(v):
    """A_ps(v) - 1 without cancellation."""
    w = mp.sqrt(v * v + 4)
    return 4 / (v * w * (v * v + 2 + v * w))


def _geometric(start, step, limit):
    out, w = [], start
    while w < limit:
        out.append(w)
        w *= step
    return out


def _mu_of(t, q):
    return t * t if q == 2 else t ** mp.mpf(q)


def _t_of(mu, q):
    return mp.sqrt(mu) if q == 2 else mu ** (1 / mp.mpf(q))


class Point:
    """One (rho, u). The quadratures integrate the excess over A = 1,
    F - N = int I 2 pi r (A_ring - 1) dr = I(0) (M(1) - pi) + int I' (M - pi s^2) dmu,
    scaled by 1/g, g = A_ps(u + rho) - 1 <= A - 1, so that their (absolute)
    error target is relative to A - 1. The closed forms and the subtraction
    run at `digits`, raised by what they cancel; the quadratures at
    BASE_DPS. The closed forms at the nodes are kept, so the laws at one
    point share them."""

    def __init__(self, rho: float, u: float):
        rho_, u_ = _mpf(rho), _mpf(u)
        with mp.workdps(30):
            g = aps_minus_one(u_ + rho_)
        # 2 log10(u/rho) digits: the closed forms' cancellation far out
        # (accuracy_truth.digits_for); -log10(g): the subtraction of 1.
        extra = int(mp.ceil(2 * mp.log10(u_ / rho_))) if u_ > rho_ else 0
        extra += int(mp.ceil(-mp.log10(g))) if g < 1 else 0
        self.digits = BASE_DPS + extra
        with mp.workdps(self.digits):
            self.rho, self.u = rho_, u_
            self.l = u_ / rho_  # the lens in source radii
            self.g = aps_minus_one(u_ + rho_)
        self.disk_cache: dict = {}
        self.ring_cache: dict = {}

    def area_excess(self, s):
        """(M(s) - pi s^2) / g."""
        if s == 0:
            return mp.mpf(0)
        if s not in self.disk_cache:
            digits = self.digits
            with mp.workdps(digits):
                if self.rho * s == self.u and self.rho * s < 1:
                    # Witt & Mao's form with the lens on the limb takes
                    # pi/2 + asin((R^2 - 1)/(R^2 + 1)), whose argument lies
                    # 2 R^2 from -1: a small disk loses 2 log10(1/R) digits.
                    digits += int(mp.ceil(-2 * mp.log10(self.rho * s))) + 2
            with mp.workdps(digits):
                R = self.rho * s
                self.disk_cache[s] = mp.pi * s * s * (disk_closed(self.u, R) - 1) / self.g
        return self.disk_cache[s]

    def ring_excess(self, r):
        """(A_ring(r) - 1) / g."""
        if r == self.l or r == 0:
            # A node on the (integrable) log singularity, or the centre,
            # whose weight 2 pi r is zero.
            return mp.mpf(0)
        if r not in self.ring_cache:
            with mp.workdps(self.digits):
                self.ring_cache[r] = (ring_closed(self.l, r, 1 / self.rho) - 1) / self.g
        return self.ring_cache[r]

    def _near_limb(self):
        delta = abs(self.l - 1)
        return delta if 0 < delta < mp.mpf(1) / 4 else None

    def ring_points(self, law: Law):
        pts = {mp.mpf(0), mp.mpf(1)}
        if 0 < self.l < 1:
            pts.add(+self.l)
        for m in law.mu_nodes:
            m = _mpf(m)
            pts.add(mp.sqrt((1 - m) * (1 + m)))
        delta = self._near_limb()
        if delta is not None and REFINE:
            # The ring singularity (l > 1) or the branch point of mu(r) at the
            # limb (l < 1) lies delta beyond an end of the last interval.
            pts.update(1 - w for w in _geometric(delta, REFINE, mp.mpf(1) / 2))
        return sorted(pts)

    def disk_points(self, law: Law):
        mus = {mp.mpf(0), mp.mpf(1)}
        if 0 < self.l < 1:
            mus.add(mp.sqrt((1 - self.l) * (1 + self.l)))
        mus.update(_mpf(m) for m in law.mu_nodes)
        delta = self._near_limb()
        if delta is not None and self.l > 1 and REFINE:
            # M(sqrt(1 - mu^2)) is singular at mu = +-i sqrt(l^2 - 1).
            mus.update(_geometric(mp.sqrt((self.l - 1) * (self.l + 1)), REFINE, mp.mpf(1) / 2))
        return sorted(_t_of(m, law.q) for m in mus)

    def by_rings(self, law: Law):
        def f(r):
            mu = mp.sqrt((1 - r) * (1 + r))
            return law.intensity(mu) * 2 * mp.pi * r * self.ring_excess(r)
        return mp.quad(f, self.ring_points(law))

    def by_disks(self, law: Law):
        q = law.q
        head = law.intensity(mp.mpf(0)) * self.area_excess(mp.mpf(1))
        if isinstance(law, Uniform):
            return head

        def f(t):
            mu = _mu_of(t, q)
            return law.slope_t(t) * self.area_excess(mp.sqrt((1 - mu) * (1 + mu)))
        return head + mp.quad(f, self.disk_points(law))


REFINE = 16  # ratio of the geometric break points toward the limb


def evaluate(rho: float, u: float, laws: list[str]):
    """Both routes for each law at (rho, u): [(key, A, A - 1, disagreement
    in A, in A - 1)]."""
    out = []
    point = Point(rho, u)
    with mp.workdps(BASE_DPS):
        for key in laws:
            law = LAWS[key]
            with mp.workdps(point.digits):
                scale = point.g / law.norm()
            e1 = point.by_disks(law) * scale
            e2 = point.by_rings(law) * scale
            a1, a2 = 1 + e1, 1 + e2
            out.append((key, a1, e1, abs(a2 / a1 - 1), abs(e2 / e1 - 1)))
    return out


# -- the grid ----------------------------------------------------------------

FULL_SIZES = [1e-4, 1e-2, 0.1, 1.0, 10.0]
FULL_K = [2, 4, 6, 8, 10, 12]
REDUCED_SIZES = [1e-2, 1.0, 10.0]
INSIDE = [0.3, 0.7, 0.95]
OUTSIDE = [1.05, 1.5, 3.0]
FAR = [10.0, 100.0, 1e4]
FAR_U = 1e8
EXTREME_X = [("centre", 0.0), ("half", 0.5), ("limb", 1.0), ("limb-", 1 - 1e-6),
             ("limb+", 1 + 1e-6), ("two", 2.0), ("ten", 10.0)]
EXTREMES = {"tiny-rho": 1e-6, "huge-rho": 1e3}

FULL_LAWS = ["uniform", "linear"]
REDUCED_LAWS = ["quadratic", "square_root", "logarithmic", "power2-small", "power2-large",
                "claret", "atm12", "two"]
DARK_LIMB = "linear-dark"
DARK_SIZES = [1e-2, 1.0]


def regime_points(rho: float, ks: list[int], inside=INSIDE, outside=OUTSIDE, far=FAR,
                  far_u=True):
    """(regime, u) at one rho; u = rho * x formed in doubles."""
    rows = [("centre", 0.0)]
    rows += [("inside", rho * x) for x in inside]
    rows.append(("limb", rho))
    for k in ks:
        g = float(f"1e-{k}")
        rows += [("limb-", rho * (1 - g)), ("limb+", rho * (1 + g))]
    rows += [("outside", rho * x) for x in outside]
    rows += [("far", rho * x) for x in far]
    if far_u:
        rows.append(("far", FAR_U))
    return rows


def grid():
    """{(regime, rho, u): [law keys]}, in a fixed order."""
    jobs: dict = {}

    def add(regime, rho, u, keys):
        jobs.setdefault((regime, rho, u), []).extend(keys)

    for rho in FULL_SIZES:
        for regime, u in regime_points(rho, FULL_K):
            add(regime, rho, u, FULL_LAWS + (REDUCED_LAWS if rho in REDUCED_SIZES else []))
    for rho in DARK_SIZES:
        for regime, u in regime_points(rho, [4, 12], inside=[0.7], outside=[1.5], far=[100.0],
                                       far_u=False):
            add(regime, rho, u, [DARK_LIMB])
    for regime, rho in EXTREMES.items():
        for _, x in EXTREME_X:
            add(regime, rho, rho * x, FULL_LAWS + REDUCED_LAWS)
    for keys in jobs.values():  # the file's order: laws as LAWS lists them
        keys.sort(key=list(LAWS).index)
    return jobs


def fmt(x) -> str:
    """DIGITS significant digits, trailing zeros kept; fixed notation from 1
    up, scientific below."""
    return mp.nstr(x, DIGITS, strip_zeros=False, min_fixed=-1, max_fixed=DIGITS)


def _evaluate_job(job):
    (regime, rho, u), keys = job
    t0 = time.process_time()
    return job, evaluate(rho, u, keys), time.process_time() - t0


def main(argv: list[str]) -> None:
    check_profiles()
    jobs = list(grid().items())
    sample = "--sample" in argv
    if sample:
        jobs = [j for j in jobs if j[0][0] in ("limb+", "huge-rho", "far")][::7]
    workers = int(argv[argv.index("--workers") + 1]) if "--workers" in argv else 1
    rows, dropped, worst_a, worst_e, cpu = [], [], mp.mpf(0), mp.mpf(0), 0.0
    start = time.time()
    with multiprocessing.Pool(workers) as pool:
        results = pool.imap(_evaluate_job, jobs, chunksize=1)
        for n, (((regime, rho, u), keys), values, seconds) in enumerate(results, 1):
            cpu += seconds
            for key, a, e, da, de in values:
                law = LAWS[key]
                if da > AGREE or de > AGREE:
                    dropped.append(f"{regime} {key} rho={rho!r} u={u!r}: routes disagree by "
                                   f"{mp.nstr(da, 3)} in A, {mp.nstr(de, 3)} in A - 1")
                    print("dropped: " + dropped[-1], file=sys.stderr, flush=True)
                    continue
                worst_a, worst_e = max(worst_a, da), max(worst_e, de)
                rows.append((regime, law.name, law.encoding, repr(rho), repr(u), fmt(a), fmt(e)))
            print(f"[{n}/{len(jobs)} {time.time() - start:6.0f} s] {regime} rho={rho!r} u={u!r}: "
                  f"{len(keys)} laws in {seconds:.1f} s; worst so far {mp.nstr(worst_a, 2)} in A, "
                  f"{mp.nstr(worst_e, 2)} in A - 1", file=sys.stderr, flush=True)
    summary = (f"{len(rows)} rows, {cpu / 60:.1f} min of processor time, worst disagreement "
               f"{mp.nstr(worst_a, 3)} in A, {mp.nstr(worst_e, 3)} in A - 1 among them; "
               f"{len(dropped)} points dropped")
    if sample:
        for row in rows:
            print(" ".join(row))
        print(summary, file=sys.stderr)
        return
    with open(DATA / OUT, "w") as out:
        out.write("# Generated by tools/gen_fspl_truth.py (mpmath; route 1 concentric disks by Witt & "
                  "Mao's closed form, route 2 rings by Heyrovsky's; rows kept where the two agree "
                  f"to {mp.nstr(AGREE, 1)} relative in A and in A - 1); do not edit.\n")
        out.write("# columns: regime law coefficients rho u A A-1\n")
        for key in ("atm12", "two"):
            out.write(LAWS[key].header())
        for row in rows:
            out.write(" ".join(row) + "\n")
    print(f"wrote {OUT}: {summary}", file=sys.stderr)


if __name__ == "__main__":
    main(sys.argv[1:])

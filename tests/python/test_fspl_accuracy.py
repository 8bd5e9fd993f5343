"""tessarin.fspl against the two-route mpmath truth, law by law, regime by
regime, at rtol = 1e-4, 1e-8 and 1e-12 (tests/data/truth_fspl.txt, from
tools/gen_fspl_truth.py: concentric disks by Witt & Mao's closed form against
rings by Heyrovsky's, agreeing to 1e-20).

Every value must be within rtol of the truth, relative to A; for sources of
one Einstein radius or more, A - 1 must also be within rtol (A - 1) + 4 eps.
A failure names the worst point of each failing regime."""
from __future__ import annotations

from collections import defaultdict

import numpy as np
import pytest

import fspl_truth
from tessarin import fspl

EPS = 2.0**-52
ROWS = fspl_truth.load()


def groups():
    """{(law, profile key): [rows]}."""
    out = defaultdict(list)
    for row in ROWS:
        out[row.profile].append(row)
    return out


GROUPS = groups()


def evaluate(law, coefficients, rows, rtol):
    u = np.array([r.u for r in rows])
    rho = np.array([r.rho for r in rows])
    if law == "tabulated":
        mu, intensity = coefficients
        return fspl.tabulated(u, rho, mu, intensity, rtol=rtol)
    return getattr(fspl, law)(u, rho, *coefficients, rtol=rtol)


def errors(rows, got):
    """Per row: (error relative to A, error of A - 1 relative to its bound
    rtol (A - 1) + 4 eps, expressed at rtol = 1: the caller scales)."""
    a = np.array([r.a for r in rows])
    excess = np.array([r.a_minus_1 for r in rows])
    relative = np.abs(got - a) / a
    excess_error = np.abs((got - 1.0) - excess)
    return relative, excess_error, excess


@pytest.mark.parametrize("rtol", [1e-4, 1e-8, 1e-12])
@pytest.mark.parametrize("profile", sorted(GROUPS), ids=lambda p: f"{p[0]}({p[1]})")
def test_within_rtol_of_the_truth_in_every_regime(profile, rtol):
    rows = GROUPS[profile]
    law = profile[0]
    got = evaluate(law, rows[0].coefficients, rows, rtol)
    relative, excess_error, excess = errors(rows, got)
    by_regime = defaultdict(list)
    for i, row in enumerate(rows):
        by_regime[row.regime].append(i)
    failures = []
    for regime, index in sorted(by_regime.items()):
        index = np.array(index)
        worst = index[np.argmax(relative[index])]
        if relative[worst] > rtol:
            r = rows[worst]
            failures.append(f"{regime}: {relative[worst]:.2e} at rho={r.rho!r} u={r.u!r} "
                            f"(got {got[worst]!r}, truth {r.a_text})")
        big = index[np.array([rows[i].rho >= 1.0 for i in index], dtype=bool)]
        if big.size:
            bound = rtol * excess[big] + 4 * EPS
            ratio = excess_error[big] / bound
            w = big[np.argmax(ratio)]
            if ratio.max() > 1.0:
                r = rows[w]
                failures.append(f"{regime}: A - 1 off by {excess_error[w]:.2e} > "
                                f"rtol (A - 1) + 4 eps at rho={r.rho!r} u={r.u!r}")
    assert not failures, "\n".join(failures)


def test_every_law_and_regime_is_covered():
    laws = {law for law, _ in GROUPS}
    assert laws == {"uniform", "linear", "quadratic", "square_root", "logarithmic", "power2",
                    "claret", "tabulated"}
    regimes = {row.regime for row in ROWS}
    for regime in ("centre", "inside", "limb", "limb-", "limb+", "outside", "far", "tiny-rho",
                   "huge-rho"):
        assert regime in regimes

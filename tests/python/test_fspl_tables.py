"""The basis tables of tessarin.fspl (src/models/fspl/basis_data.cpp, written by
tools/gen_fspl_basis.py): a fresh run gives the committed tables, and the
values read from them keep the tolerance wherever they are used, against the
adaptive quadrature at rtol 1e-12 (itself tested against the two-route
mpmath truth in test_fspl_accuracy.py) at many more points than the truth
table holds."""
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

from tessarin import fspl

ROOT = Path(__file__).resolve().parents[2]

# Every law made of the tables' basis profiles, with coefficients that use
# each profile, some with weights of both signs.
MIXES = [
    ("linear", (0.6,)),
    ("linear", (1.0,)),
    ("linear", (-0.4,)),
    ("quadratic", (0.45, 0.25)),
    ("quadratic", (0.9, -0.3)),
    ("square_root", (0.3, 0.4)),
    ("logarithmic", (0.6, 0.2)),
    ("logarithmic", (0.95, -0.5)),
    ("power2", (0.8, 0.5)),
    ("power2", (0.7, 1.5)),
    ("power2", (1.0, 2.0)),
    ("claret", (0.7, -0.6, 0.9, -0.35)),
]


def test_basis_tables_are_a_fresh_run():
    done = subprocess.run([sys.executable, str(ROOT / "tools" / "gen_fspl_basis.py"), "--check"],
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stderr


def points():
    # Centre to the end of the tables (4.5 source radii), the limb at
    # |u/rho - 1| = 1e-13 .. 0.3, sources of 1e-7 to 4 Einstein radii
    # (the tables' range) and a few beyond it.
    rng = np.random.default_rng(7)
    n = 3000
    z = np.concatenate([rng.uniform(0.0, 4.6, n), [0.0, 1.0],
                        1.0 + rng.choice([-1.0, 1.0], n // 2) * 10 ** rng.uniform(-13, -0.5, n // 2)])
    rho = 10 ** rng.uniform(-7, np.log10(5.0), z.size)
    return z * rho, rho


@pytest.mark.parametrize("name, coefficients", MIXES, ids=lambda v: str(v))
def test_tables_keep_the_tolerance(name, coefficients):
    u, rho = points()
    f = getattr(fspl, name)
    truth = f(u, rho, *coefficients, rtol=1e-12)
    eps = np.finfo(float).eps
    worst = {}
    for rtol in (1e-3, 1e-5, 1e-6, 1e-8, 1e-9):
        a = f(u, rho, *coefficients, rtol=rtol)
        # Relative to A; for rho >= 1 also to A - 1 (with 4 eps).
        err = np.abs(a - truth)
        allowed = np.where(rho >= 1.0, rtol * (truth - 1.0) + 4 * eps, rtol * truth)
        j = int(np.argmax(err / allowed))
        worst[rtol] = (err[j] / allowed[j] * rtol, u[j], rho[j])
        assert err[j] <= allowed[j], (
            f"rtol {rtol}: error {err[j]:.3g} at u = {u[j]!r}, rho = {rho[j]!r} (allowed {allowed[j]:.3g})")
    print(name, coefficients, {k: f"{v[0]:.1e}" for k, v in worst.items()})


@pytest.mark.parametrize("rtol", [1e-4, 1e-8])
def test_tables_are_continuous_with_the_quadrature(rtol):
    # Where the tables end (4.5 source radii, 4 Einstein radii) the
    # quadrature or the expansion takes over: no step larger than the
    # tolerance across either edge.
    for u, rho in [(4.5 * 0.3 * (1 + np.array([-1e-12, 1e-12])), 0.3),
                   (4.5 * (1 + np.array([-1e-12, 1e-12])), 4.0 * (1 + np.array([-1e-12, 1e-12]))),
                   (np.array([2.0, 2.0]), 4.0 * (1 + np.array([-1e-12, 1e-12])))]:
        a = fspl.linear(u, rho, 0.6, rtol=rtol)
        assert abs(a[1] / a[0] - 1) <= 2 * rtol


@pytest.mark.parametrize("rtol", [1e-3, 1e-6, 1e-9])
def test_table_caches_do_not_leak_between_elements(rtol):
    # The evaluator keeps the interpolation weights of the last rho (and
    # order) and the mix of the last coefficients: elements whose rho,
    # coefficients and interpolation order change from one to the next give
    # the bits they give alone.
    rng = np.random.default_rng(3)
    n = 400
    u = rng.uniform(0.0, 4.0, n)
    rho = rng.choice([1e-3, 0.05, 0.05 * (1 + 1e-15), 0.7, 3.9], n)
    a = rng.choice([0.0, 0.3, 0.9], n)
    b = rng.choice([0.0, 0.2, -0.1], n)
    together = fspl.quadratic(u * rho, rho, a, b, rtol=rtol)
    alone = np.array([fspl.quadratic(u[i] * rho[i], rho[i], a[i], b[i], rtol=rtol) for i in range(n)])
    assert together.tobytes() == alone.tobytes()

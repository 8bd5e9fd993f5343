"""Derivatives of tessarin.fspl (gradient=True): against central differences
of the values at rtol 1e-12 (themselves tested against the two-route mpmath
truth in test_fspl_accuracy.py), per law and regime, worst point reported;
the limb's infinities and logarithmic rate; the binding's rules."""
import numpy as np
import pytest

from tessarin import fspl

LAWS = [
    ("uniform", ()),
    ("linear", (0.6,)),
    ("quadratic", (0.45, 0.25)),
    ("square_root", (0.3, 0.4)),
    ("logarithmic", (0.6, 0.2)),
    ("power2", (0.6, 0.6)),
    ("power2", (0.7, 1.5)),
    ("claret", (0.7, -0.6, 0.9, -0.35)),
]

REGIMES = {
    "centre": [0.0, 0.05],
    "inside": [0.3, 0.9],
    "limb": [0.999, 1.001],
    "outside": [1.3, 3.0],
    "far": [6.0, 50.0],
}
RHOS = [1e-4, 1e-2, 0.3, 2.0, 30.0]


def five_point(f, x, h):
    return (8 * (f(x + h) - f(x - h)) - (f(x + 2 * h) - f(x - 2 * h))) / (12 * h)


def differences(name, coefficients, u, rho):
    """dA/du, dA/drho and dA/dc of the rtol = 1e-12 values, by five-point
    central differences on steps well inside the nearest singularity."""
    f = getattr(fspl, name)
    near_limb = abs(u / rho - 1) < 0.1
    h = 1e-3 * (max(abs(u - rho), 1e-3 * rho) if near_limb else max(u, rho))
    du = 0.0 if u == 0 else five_point(lambda x: f(x, rho, *coefficients, rtol=1e-12), u, min(h, u / 4))
    dr = five_point(lambda x: f(u, x, *coefficients, rtol=1e-12), rho, h if near_limb else 1e-3 * rho)
    dc = []
    for j in range(len(coefficients)):
        def of(x, j=j):
            c = list(coefficients)
            c[j] = x
            return f(u, rho, *c, rtol=1e-12)
        dc.append(five_point(of, coefficients[j], 1e-4))
    return [du, dr] + dc


@pytest.mark.parametrize("name, coefficients", LAWS, ids=lambda v: str(v))
@pytest.mark.parametrize("rtol", [1e-4, 1e-8, 1e-10])
def test_derivatives_against_differences(name, coefficients, rtol):
    # Within 100 rtol on the scale A / max(u, rho) (u and rho) and A (the
    # coefficients), or the differences' own error (about 1e-9 next to the
    # limb, where the slope is logarithmic).
    f = getattr(fspl, name)
    worst = {}
    for regime, zs in REGIMES.items():
        for rho in RHOS:
            for z in zs:
                u = z * rho
                got = f(u, rho, *coefficients, rtol=rtol, gradient=True)
                assert len(got) == 3 + len(coefficients)
                assert got[0] == f(u, rho, *coefficients, rtol=rtol)  # the same bits
                want = differences(name, coefficients, u, rho)
                scales = [got[0] / max(u, rho)] * 2 + [got[0]] * len(coefficients)
                errors = [abs(g - w) / s for g, w, s in zip(got[1:], want, scales)]
                allowed = max(100 * rtol, 2e-9)
                worst[regime] = max(worst.get(regime, 0.0), max(errors))
                assert max(errors) <= allowed, (regime, rho, z, errors)
    print(name, coefficients, rtol, {k: f"{v:.1e}" for k, v in worst.items()})


@pytest.mark.parametrize("rho", [1e-3, 0.1, 1.0])
def test_limb_slopes_diverge_logarithmically(rho):
    # On the limb of a bright-limbed source: -inf and +inf. Next to it dA/du
    # grows by the same amount per decade of |u/rho - 1| from either side:
    # for the uniform disk -14.66/rho at rho = 0.1 (and about that for any
    # small source), and that times I(limb) / <I> for a darkened limb (the
    # linear law c = 0.6: 0.4 / 0.8).
    k = np.arange(7, 12)
    rates = {}
    for name, coefficients, factor in [("uniform", (), 1.0), ("linear", (0.6,), 0.5)]:
        f = getattr(fspl, name)
        a, du, dr = f(rho, rho, *coefficients, gradient=True)[:3]
        assert du == -np.inf and dr == np.inf and np.isfinite(a)
        for side in (-1, 1):
            z = 1 + side * 10.0**-k
            g = f(z * rho, rho, *coefficients, gradient=True)
            steps = np.diff(g[1])
            assert np.ptp(steps) <= 3e-3 * abs(steps.mean())
            rates[(name, side)] = steps.mean() / factor
    values = np.array(list(rates.values()))
    assert np.ptp(values) <= 3e-3 * abs(values.mean())
    if rho == 0.1:
        assert values.mean() * rho == pytest.approx(-14.66, abs=0.01)


def test_a_dark_limb_has_finite_slopes_on_it():
    # I(limb) = 0: the slopes on the limb are those just inside it.
    rho = 0.1
    on = fspl.linear(rho, rho, 1.0, gradient=True)
    inside = fspl.linear(rho * (1 - 1e-9), rho, 1.0, gradient=True)
    assert np.isfinite(on[1]) and np.isfinite(on[2])
    assert on[1] == pytest.approx(inside[1], rel=1e-4)
    assert on[2] == pytest.approx(inside[2], rel=1e-4)


def test_gradient_results_and_out():
    u = np.linspace(0.0, 0.3, 7)
    got = fspl.quadratic(u[:, None], 0.1, [0.4, 0.5], 0.2, gradient=True)
    assert isinstance(got, tuple) and len(got) == 5
    assert all(g.shape == (7, 2) and g.dtype == np.float64 for g in got)
    out = tuple(np.empty((7, 2)) for _ in range(5))
    again = fspl.quadratic(u[:, None], 0.1, [0.4, 0.5], 0.2, gradient=True, out=out)
    assert all(a is b for a, b in zip(again, out))
    assert all(np.array_equal(a, b) for a, b in zip(again, got))
    scalar = fspl.uniform(0.05, 0.1, gradient=True)
    assert len(scalar) == 3 and all(type(v) is np.float64 for v in scalar)
    assert isinstance(fspl.uniform(0.05, 0.1, gradient=False), np.float64)


@pytest.mark.parametrize("out, message", [
    (np.empty(3), "tuple of 4"),
    ((np.empty(3),) * 3, "tuple of 4"),
    ((np.empty(3), None, np.empty(3), np.empty(3)), "not None"),
    ((np.empty(3),) * 3 + (np.empty(3, np.float32),), "float64"),
])
def test_gradient_out_must_match(out, message):
    with pytest.raises(TypeError, match=message):
        fspl.linear([0.0, 0.1, 0.2], 0.1, 0.6, gradient=True, out=out)


@pytest.mark.parametrize("flag", [2, "yes", 1.0, None])
def test_gradient_is_a_flag(flag):
    with pytest.raises(TypeError, match="gradient must be True or False"):
        fspl.linear(0.1, 0.1, 0.6, gradient=flag)


def test_gradient_element_rules():
    # NaN in, NaN everywhere; u = inf: A = 1 and flat; the table's profile
    # has no coefficients to differentiate.
    got = fspl.linear([np.nan, -1.0, 0.1, np.inf], [0.1, 0.1, -0.1, 0.1], 0.6, gradient=True)
    for g in got:
        assert np.isnan(g[:3]).all()
    assert [g[3] for g in got] == [1.0, 0.0, 0.0, 0.0]
    assert np.isnan(fspl.linear(0.1, 0.1, 1.5, gradient=True)).all()
    table = fspl.tabulated([0.05, 0.3], 0.1, [0.0, 1.0], [0.4, 1.0], gradient=True)
    linear = fspl.linear([0.05, 0.3], 0.1, 0.6, gradient=True)
    assert len(table) == 3
    for t, l in zip(table, linear[:3]):
        np.testing.assert_allclose(t, l, rtol=1e-6)


def test_gradient_bits_do_not_depend_on_the_layout():
    rng = np.random.default_rng(5)
    u = rng.uniform(0.0, 0.5, 200)
    rho = rng.choice([1e-3, 0.05, 0.2], 200)
    c = rng.choice([0.3, 0.6], 200)
    together = fspl.linear(u, rho, c, gradient=True)
    for i in range(0, 200, 37):
        alone = fspl.linear(u[i], rho[i], c[i], gradient=True)
        assert [a.tobytes() for a in alone] == [t[i].tobytes() for t in together]

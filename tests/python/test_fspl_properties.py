"""Properties of tessarin.fspl that hold whatever the truth tables say:
the element rules of each law, the bound 1, monotony in u for profiles
that darken outwards, and laws that are special cases of one another.
(The values against the two-route truth: test_fspl_accuracy.py.)"""
import numpy as np
import pytest

from tessarin import fspl

RTOLS = [1e-3, 1e-4, 1e-6, 1e-8, 1e-10, 1e-12]

# Profiles whose brightness never rises outwards (dI/dmu >= 0): for these the
# magnification is non-increasing in u.
DARKENING = [
    ("uniform", ()),
    ("linear", (0.6,)),
    ("linear", (1.0,)),
    ("quadratic", (0.45, 0.25)),
    ("square_root", (0.3, 0.4)),
    ("logarithmic", (0.6, 0.2)),
    ("power2", (0.6, 0.6)),
    ("power2", (0.9, 0.05)),
    ("claret", (0.7, -0.6, 0.9, -0.35)),
    ("tabulated", ([0.0, 0.05, 0.2, 0.5, 1.0], [0.2, 0.35, 0.6, 0.85, 1.0])),
]

# Coefficients that make a brightness below zero somewhere on 0 <= mu <= 1.
NOT_A_SOURCE = [
    ("linear", (1.0 + 1e-12,)),
    ("linear", (np.inf,)),
    ("quadratic", (0.5, 0.6)),  # negative at the limb
    ("quadratic", (3.0, -2.0)),  # dips inside, 0 at the limb
    ("square_root", (4.0, -3.9)),
    ("logarithmic", (0.99, -0.6)),
    ("power2", (1.1, 0.5)),
    ("power2", (0.5, -0.1)),  # mu^alpha unbounded at the limb
    ("claret", (-4.0, 4.01, 0.0, 0.0)),
    ("claret", (0.0, 0.0, -12.0, 12.0)),
    ("claret", (0.1, np.nan, 0.0, 0.0)),
]


def law(name):
    return getattr(fspl, name)


@pytest.mark.parametrize("name, coefficients", NOT_A_SOURCE)
def test_profiles_below_zero_give_nan(name, coefficients):
    got = law(name)([0.0, 0.05, 0.1, 1.0, np.inf], 0.1, *coefficients)
    assert np.isnan(got).all()


# Profiles that touch zero are sources: the limb of c = 1, (1 - 2 sqrt(mu))^2.
@pytest.mark.parametrize("name, coefficients", [
    ("linear", (1.0,)),
    ("quadratic", (2.0, -1.0)),
    ("claret", (-4.0, 4.0, 0.0, 0.0)),
    ("power2", (1.0, 0.5)),
])
def test_profiles_touching_zero_are_sources(name, coefficients):
    got = law(name)([0.0, 0.1, 1.0], 0.1, *coefficients)
    assert np.isfinite(got).all() and (got > 1.0).all()


@pytest.mark.parametrize("name, coefficients", DARKENING,
                         ids=[f"{n}{c}" if n != "tabulated" else n for n, c in DARKENING])
@pytest.mark.parametrize("rtol", RTOLS)
def test_non_increasing_across_the_limb(name, coefficients, rtol):
    # u/rho = 1 -+ 10^-k, k = 2..12, and the limb itself, for sources from
    # 1e-6 to 10 Einstein radii.
    k = np.arange(2, 13)
    z = np.sort(np.concatenate([1 - 10.0 ** -k, [1.0], 1 + 10.0 ** -k]))
    for rho in (1e-6, 1e-3, 0.1, 1.0, 10.0):
        a = law(name)(z * rho, rho, *coefficients, rtol=rtol)
        rises = np.flatnonzero(np.diff(a) > 0)
        assert rises.size == 0, f"rho={rho}: rises after u/rho = {z[rises]}"


@pytest.mark.parametrize("name, coefficients", DARKENING[:4] + DARKENING[6:8],
                         ids=lambda v: str(v))
@pytest.mark.parametrize("rtol", [1e-3, 1e-8, 1e-12])
def test_non_increasing_on_a_dense_light_curve(name, coefficients, rtol):
    # Every switch of method (quadrature steps, the far-field expansion, the
    # cuts) lies somewhere on these 4,001 points from the centre to 8 radii.
    for rho in (1e-4, 0.05, 1.0, 10.0):
        u = np.linspace(0.0, 8.0 * rho, 4001)
        a = law(name)(u, rho, *coefficients, rtol=rtol)
        rises = np.flatnonzero(np.diff(a) > 0)
        assert rises.size == 0, f"rho={rho}: rises after u/rho = {u[rises] / rho}"


def test_never_below_one():
    rng = np.random.default_rng(20261211)
    u = np.concatenate([10 ** rng.uniform(-8, 9, 3000), [0.0, 1e300, np.inf]])
    rho = 10 ** rng.uniform(-7, 4, u.size)
    for name, coefficients in DARKENING + [("linear", (-0.8,)), ("quadratic", (-0.3, 0.2))]:
        for rtol in (1e-3, 1e-12):
            a = law(name)(u, rho, *coefficients, rtol=rtol)
            assert not np.isnan(a).any(), name
            assert (a >= 1.0).all(), (name, u[a < 1.0], rho[a < 1.0])


# Each law reduces to another for some coefficients: the two (computed by
# different sums) agree to their tolerances.
LINEAR_AS = [
    ("quadratic", lambda c: (c, 0.0)),
    ("square_root", lambda c: (c, 0.0)),
    ("logarithmic", lambda c: (c, 0.0)),
    ("power2", lambda c: (c, 1.0)),
    ("claret", lambda c: (0.0, c, 0.0, 0.0)),
    ("tabulated", lambda c: ([0.0, 1.0], [1.0 - c, 1.0])),
]


@pytest.mark.parametrize("name, coefficients_of", LINEAR_AS, ids=[n for n, _ in LINEAR_AS])
@pytest.mark.parametrize("rtol", [1e-4, 1e-8, 1e-12])
def test_special_cases_of_the_linear_law(name, coefficients_of, rtol):
    for rho in (1e-3, 0.3, 30.0):
        u = rho * np.array([0.0, 0.4, 0.999, 1.0, 1.001, 1.7, 2.6, 5.0, 40.0])
        for c in (0.0, 0.6, 1.0):
            want = fspl.linear(u, rho, c, rtol=rtol)
            got = law(name)(u, rho, *coefficients_of(c), rtol=rtol)
            np.testing.assert_allclose(got, want, rtol=2 * rtol, atol=0)


def test_uniform_is_every_law_without_darkening():
    u = np.array([0.0, 0.05, 0.1, 0.15, 1.0])
    uniform = fspl.uniform(u, 0.1)
    for got in (fspl.linear(u, 0.1, 0.0), fspl.power2(u, 0.1, 0.7, 0.0),
                fspl.claret(u, 0.1, 0.0, 0.0, 0.0, 0.0)):
        assert np.array_equal(got, uniform)
    # A table's scale does not matter, nor does a law's (a power of two).
    flat = fspl.tabulated(u, 0.1, [0.0, 1.0], [3.0, 3.0])
    np.testing.assert_allclose(flat, uniform, rtol=1e-8)
    table = ([0.0, 0.3, 1.0], [0.2, 0.5, 1.0])
    assert np.array_equal(fspl.tabulated(u, 0.1, table[0], np.array(table[1]) * 2.0**40),
                          fspl.tabulated(u, 0.1, *table))


@pytest.mark.parametrize("rho", [1e-6, 1e-3, 1.0, 1e3])
def test_far_from_the_lens(rho):
    # 1e8 Einstein radii out A - 1 = 2/u^4 = 2e-32: A is 1 in doubles; at 1e4
    # it is 1 + 2e-16 to within the rounding of 1.
    assert fspl.linear(1e8, rho, 0.6) == 1.0
    assert fspl.linear(np.inf, rho, 0.6) == 1.0
    assert abs(fspl.linear(1e4, rho, 0.6) - (1 + 2e-16)) <= 2.3e-16


def test_outside_the_promised_sizes_a_value_is_still_given():
    # Sources below 1e-6 or beyond 1e3 Einstein radii: no promise, but a
    # magnification (finite, at least 1) and no exception.
    for rho in (1e-9, 1e-7, 1e4, 1e6):
        a = fspl.linear(rho * np.array([0.0, 0.5, 1.0, 2.0, 10.0]), rho, 0.6)
        assert np.isfinite(a).all() and (a >= 1.0).all()

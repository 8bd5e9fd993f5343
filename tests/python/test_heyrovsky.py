"""Ring magnification (Heyrovsky 2003) and the discrete flux map built on it.

Reference tables: tests/data/ring.txt from tools/gen_model_refs.py;
tests/data/truth_ring.txt from tools/accuracy_truth.py (mpmath, two routes
agreeing to 1e-28), grouped by regime.
"""
import math

import pytest

import tessarin
from reference import assert_all_close, load

ring = tessarin.heyrovsky_magnification


def point_lens(v: float, eta: float) -> float:
    return (v * v + 2 * eta * eta) / (v * math.sqrt(v * v + 4 * eta * eta))


@pytest.mark.parametrize(
    "l, r, re, rstar, want, rtol",
    [
        (0.5, 0.3, 1.0, 1.0, 2.42571079, 3e-9),
        (0.3, 0.5, 1.0, 1.0, 2.42571079, 3e-9),
        (2.0, 0.7, 1.0, 0.5, 1.37915706, 3e-9),
        (0.5, 0.5 + 5e-6, 1.0, 1.0, 8.87726894, 1e-9),
        # Once printed as 8.37527890, the closed form's own error this close
        # to the ring (mpmath gives the digits below).
        (0.5, 0.5 + 1.1e-5, 1.0, 1.0, 8.37528000, 1e-9),
        (0.5, 0.5 - 1.1e-5, 1.0, 1.0, 8.37544096, 1e-9),
        (0.5, 0.4999, 1.0, 1.0, 6.97075682, 3e-9),
        (0.5, 0.5001, 1.0, 1.0, 6.96957460, 3e-9),
    ],
)
def test_published_values(l, r, re, rstar, want, rtol):
    assert ring(l, r, re, rstar) == pytest.approx(want, rel=rtol)


@pytest.mark.parametrize("l, r", [(0.5, 0.3), (2.0, 0.7), (1e-3, 0.9), (7.0, 1.0)])
def test_general_case_is_symmetric_bit_for_bit(l, r):
    assert ring(l, r, 1.0, 0.3) == ring(r, l, 1.0, 0.3)


@pytest.mark.parametrize("eta", [0.01, 1.0, 100.0])
@pytest.mark.parametrize("d", [0.5, 1e-3, 2e-5])
def test_point_lens_limits(eta, d):
    # A ring of radius 0, or a lens at the centre, is a point at distance d.
    want = point_lens(d, eta)
    assert ring(d, 0.0, eta, 1.0) == pytest.approx(want, rel=1e-13)
    assert ring(0.0, d, eta, 1.0) == pytest.approx(want, rel=1e-13)


@pytest.mark.parametrize("l, r, want", [
    (0.5, 0.5, math.inf),
    (0.0, 0.0, math.inf),  # the point lens at zero distance
    (1e-300, 1e-300, math.inf),
    # A point at 1e-300 from the lens: eta / v to double precision.
    (1e-300, 0.0, 1e300),
    (0.0, 1e-300, 1e300),
])
def test_limits(l, r, want):
    assert ring(l, r, 1.0, 1.0) == pytest.approx(want, rel=1e-15)


def test_discrete_ring_of_radius_zero_around_the_lens():
    assert flux_map([0.0, 1e-300], 1.0, 1.0, [0.0], [1.0]) == pytest.approx([math.inf, 1e300], rel=1e-15)


@pytest.mark.parametrize("l", [1e6, 1e100, 1e155, 1e300, 1.7e308])
def test_huge_separations_give_one(l):
    # 1 + O(1/l^4): one to double precision, never below it.
    assert ring(l, 1.0, 1.0, 1.0) == 1.0
    assert ring(1.0, l, 1.0, 1.0) == 1.0


TRUTH = load("truth_ring.txt", regime=True)
REGIME_TOLERANCE = {"general": 5e-15, "near-ring": 2e-14, "ring": 3e-15, "far": 1e-15}


@pytest.mark.parametrize("regime", sorted(REGIME_TOLERANCE))
def test_against_truth_by_regime(regime):
    cases = [((eta, l, r), ring(l, r, eta, 1.0), want)
             for reg, eta, l, r, want in TRUTH if reg == regime]
    assert_all_close(cases, REGIME_TOLERANCE[regime], f"ring mean, {regime}")


@pytest.mark.parametrize("eta", [1e-4, 0.01, 1.0, 100.0])
@pytest.mark.parametrize("l", [1e-3, 0.5, 1000.0])
@pytest.mark.parametrize("step", [1e-7, 1e-14])
def test_monotone_on_each_side_of_the_ring(eta, l, step):
    # The ring mean climbs towards the ring from both sides.
    below = [ring(l, l * (1 - k * step), eta, 1.0) for k in range(300, 0, -1)]
    above = [ring(l, l * (1 + k * step), eta, 1.0) for k in range(1, 301)]
    assert max((a - b) / b for a, b in zip(below, below[1:])) <= 1e-14
    assert max((b - a) / a for a, b in zip(above, above[1:])) <= 1e-14


@pytest.mark.parametrize("l, r", [(0.5, -0.1), (-0.5, 0.1)])
def test_negative_lengths_fail(l, r):
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        ring(l, r, 1.0, 1.0)


@pytest.mark.parametrize("eta, l, r", [(1.0, 1e-6, 5e-6), (1.0, 1e-6, 9e-6), (10.0, 1e-7, 8e-6)])
def test_window_is_relative_to_the_separation(eta, l, r):
    # A lens next to the centre and a ring a few separations out: far from
    # the logarithmic regime, so the exact ring mean is due (an absolute
    # window of 1e-5 source radii gave twice, eleven and 3000 times it).
    want = {(e, a, b): v for e, a, b, v in load("ring.txt")}[(eta, l, r)]
    assert ring(l, r, eta, 1.0) == pytest.approx(want, rel=1e-9)


def test_continuous_across_the_ring():
    l = 0.5
    below = [ring(l, l - k * 1e-8, 1.0, 1.0) for k in (100, 10, 1)]
    above = [ring(l, l + k * 1e-8, 1.0, 1.0) for k in (1, 10, 100)]
    # The logarithm climbs symmetrically on both sides of the ring.
    assert below == sorted(below) and above == sorted(above, reverse=True)
    assert below[-1] == pytest.approx(above[0], rel=1e-7)


def test_against_reference_table():
    general, near = [], []
    for eta, l, r, want in load("ring.txt"):
        gap = abs(r - l) / l if l > 0 else math.inf
        (near if gap < 1e-5 else general).append(((eta, l, r), ring(l, r, eta, 1.0), want))
    assert_all_close(general, 1e-13, "ring mean")
    # These rows (mpmath's ellippi at 40 digits, n within 1e-11 of 1) differ
    # from the two-route values of truth_ring.txt by up to 2.3e-12.
    assert_all_close(near, 3e-12, "ring mean next to the ring")


# --- discrete flux map ---------------------------------------------------

flux_map = tessarin.discrete_flux_map_heyrovsky_magnification


def test_flux_map_is_the_weighted_sum():
    got = flux_map([0.5, 2.0], 1.0, 1.0, [0.25, 0.75], [0.5, 0.5])
    assert got == pytest.approx([2.08028218, 1.07030181], rel=3e-8)
    for x, a in zip([0.5, 2.0], got):
        assert a == ring(x, 0.25, 1.0, 1.0) * 0.5 + ring(x, 0.75, 1.0, 1.0) * 0.5


def test_flux_map_is_not_normalised():
    once = flux_map([0.3, 1.7], 1.0, 0.2, [0.1, 0.6, 0.9], [0.2, 0.3, 0.5])
    twice = flux_map([0.3, 1.7], 1.0, 0.2, [0.1, 0.6, 0.9], [0.4, 0.6, 1.0])
    assert twice == [2 * a for a in once]


def test_flux_map_degenerate_tables():
    assert flux_map([0.5, 2.0], 1.0, 1.0, [], []) == [0.0, 0.0]
    assert flux_map([], 1.0, 1.0, [0.5], [1.0]) == []
    assert flux_map([0.5], 1.0, 1.0, [0.5], [1.0]) == [math.inf]
    # A ring of no flux through the lens adds nothing (0, not 0 * inf).
    assert flux_map([0.5], 1.0, 1.0, [0.5], [0.0]) == [0.0]


@pytest.mark.parametrize("l", [[], [1.0]])
def test_flux_map_length_check_comes_first(l):
    with pytest.raises(BaseException) as info:
        flux_map(l, 1.0, 1.0, [0.1, 0.2, 0.3], [1.0, 1.0])
    assert type(info.value).__name__ == "PanicException"
    assert str(info.value) == "assertion `left == right` failed\n  left: 3\n right: 2"


def test_flux_map_first_ring_error_ends_the_call():
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        flux_map([0.5, 1.0], 1.0, 1.0, [0.2, -0.1], [1.0, 1.0])


def test_flux_map_conversion_order():
    # re is converted before bl: its error is the one reported.
    with pytest.raises(TypeError, match="^argument 're': "):
        flux_map([1.0], "x", 1.0, "bad", [1.0])
    with pytest.raises(TypeError, match="^argument 'bl': "):
        flux_map([1.0], 1.0, 1.0, "bad", "worse")


@pytest.mark.parametrize("l, r", [(0.5, 0.3), (2.0, 1.0), (0.5, 0.55), (1e6, 1.0), (3e5, 1.0)])
@pytest.mark.parametrize("re, rstar", [(1.0, -1.0), (-1.0, 1.0), (1.0, -0.1)])
def test_the_sign_of_the_radii_does_not_enter(l, r, re, rstar):
    # Only eta^2 enters the ring mean: a negative Einstein or source radius
    # gives the value of the positive one, also where the ring lies so far
    # from the lens that its mean is 1.
    got = tessarin.heyrovsky_magnification(l, r, re, rstar)
    assert got == tessarin.heyrovsky_magnification(l, r, abs(re), abs(rstar))

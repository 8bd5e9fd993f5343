"""The edges of the magnification functions: never below 1, and the limit
where an intermediate overflows or underflows rather than NaN."""
from __future__ import annotations

import math
import random
import sys

import pytest

import tessarin

DBL_MAX = sys.float_info.max
INF = math.inf
wm = tessarin.witt_mao_magnification
iwm = tessarin.integrated_witt_mao_magnification
ifwm = tessarin.integrated_flux_map_witt_mao_magnification
ring = tessarin.heyrovsky_magnification
ih = tessarin.integrated_heyrovsky_magnification
ifh = tessarin.integrated_flux_map_heyrovsky_magnification
dfh = tessarin.discrete_flux_map_heyrovsky_magnification

TABLE = ([0.0, 0.5, 1.0], [1.0, 0.8, 0.4])


def one(value):
    return value[0] if isinstance(value, list) else value


# Calls whose closed forms rounded below 1 (A - 1 at or under their rounding
# noise): the lens 1e3 Einstein radii or more from the source or the ring,
# or a lens of no mass (re = 0).
ONCE_BELOW_ONE = {
    "disk, x = 25, rho = 100": lambda: wm([25.0], 1.0, 100.0),
    "disk, re = 2, rstar = 200": lambda: wm([25.0], 2.0, 200.0),
    "ring, l = 1e4 Einstein radii": lambda: ring(1e4, 0.5, 1.0, 1.0),
    "ring, l = 1e5 Einstein radii, r = 0.7": lambda: ring(1e4, 0.7, 0.1, 1.0),
    "ring, l = 3e4 Einstein radii, r = 1e-7": lambda: ring(30.0, 1e-7, 0.001, 1.0),
    "concentric disks, rho = 100": lambda: iwm([12.638482029342972], 1.0, 100.0),
    "concentric disks, table, rho = 100": lambda: ifwm([12.638482029342972], 1.0, 100.0,
                                                       *TABLE),
    "rings, re = 0": lambda: ih([0.5], 0.0, 1.0),
}


@pytest.mark.parametrize("call", ONCE_BELOW_ONE.values(), ids=ONCE_BELOW_ONE.keys())
def test_magnifications_that_rounded_below_one_are_one(call):
    assert one(call()) == 1.0


@pytest.mark.parametrize("log_rho", [1 + 0.5 * k for k in range(15)])
def test_the_uniform_disk_never_drops_below_one(log_rho):
    # Inside huge disks too (rho = 1e8: A - 1 = 2e-16), and across the far
    # edge of the closed form; the values that are not held at 1 stay.
    rng = random.Random(log_rho)
    xs = [rng.uniform(0.0, 40.0) for _ in range(1500)] + [0.0, 1.0, 1.25, 2.0, 25.0, 25.5]
    values = wm(xs, 1.0, 10.0**log_rho)
    assert min(values) >= 1.0


@pytest.mark.parametrize("log_eta", [-4 + 0.5 * k for k in range(17)])
def test_the_ring_mean_never_drops_below_one(log_eta):
    rng = random.Random(log_eta)
    eta = 10.0**log_eta
    for _ in range(400):
        l, r = 10 ** rng.uniform(-3, 8), rng.uniform(0.0, 1.0)
        assert ring(l, r, eta, 1.0) >= 1.0, (l, r)


@pytest.mark.parametrize("call", [
    # A negative source radius or brightness gives meaningless values, which
    # are not bent towards 1.
    lambda: wm([0.5, 2.0], 1.0, -0.5),
    lambda: wm([30.0], -1.0, 0.5),
    lambda: ifh([30.0], 1.0, 1.0, [0.0, 0.5, 1.0], [1.0, -1.0, 1.0]),
])
def test_meaningless_inputs_are_not_held_at_one(call):
    assert min(call()) < 1.0


# A finite separation at which l * rstar / re overflows: the lens is
# infinitely far in Einstein radii, and every magnification is 1.
OVERFLOWING = {
    "disk, l = 1e300, rho = 1e9": (lambda: wm([1e300], 1.0, 1e9), 0.0),
    "disk, l = DBL_MAX, rho = 3.16": (lambda: wm([DBL_MAX], 1.0, 3.16), 0.0),
    "disk, l = 1e200, rho = 1e200": (lambda: wm([1e200], 1.0, 1e200), 0.0),
    "rings": (lambda: ih([1e300], 1.0, 1e9), 0.0),
    "rings, table": (lambda: ifh([1e300], 1.0, 1e9, *TABLE), 0.0),
    # The concentric disks' own bias far out (1e-11, README).
    "concentric disks": (lambda: iwm([1e300], 1.0, 1e9), 1e-11),
    "concentric disks, table": (lambda: ifwm([1e300], 1.0, 1e9, *TABLE), 1e-11),
}


@pytest.mark.parametrize("call, bias", OVERFLOWING.values(), ids=OVERFLOWING.keys())
def test_the_limit_once_the_separation_overflows_in_einstein_radii(call, bias):
    value = one(call())
    assert 1.0 <= value <= 1.0 + bias


def test_a_disk_next_to_an_overflowing_one_keeps_its_value():
    assert wm([1e300, 30.0, 0.5], 1.0, 1e9)[1:] == wm([30.0, 0.5], 1.0, 1e9)


# Discrete rings: a ring of no flux adds nothing, through the lens too.
@pytest.mark.parametrize("l, radii, fluxes", [
    (0.5, [0.5, 0.3], [0.0, 1.0]),
    (0.5, [0.3, 0.5], [1.0, -0.0]),
    (0.0, [0.0, 0.3], [0.0, 2.0]),  # a ring of radius 0 around the lens
    (1.0, [0.5, 1.0], [1.0, 0.0]),
])
def test_a_zero_flux_ring_through_the_lens_adds_nothing(l, radii, fluxes):
    rest = [(r, f) for r, f in zip(radii, fluxes) if not (r == l and f == 0)]
    expected = dfh([l], 1.0, 0.1, [r for r, _ in rest], [f for _, f in rest])
    assert dfh([l], 1.0, 0.1, radii, fluxes) == expected
    assert math.isfinite(expected[0])


@pytest.mark.parametrize("l", [-0.5, math.nan, -INF])
def test_a_zero_flux_ring_is_still_evaluated(l):
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        dfh([l], 1.0, 0.1, [0.5], [0.0])


# A ring of radius 0 or a lens at the centre of a ring, at subnormal
# distances: the point-lens magnification there, about 1/v, is beyond the
# largest double.
@pytest.mark.parametrize("l, r, re, rstar", [
    (5e-324, 0.0, 1.0, 0.1),
    (0.0, 5e-324, 1.0, 1.0),
    (1e-310, 0.0, 1.0, 1.0),
    (0.0, 2.2250738585072014e-308, 1.0, 1.0),
])
def test_a_ring_at_a_subnormal_distance_is_infinite(l, r, re, rstar):
    assert ring(l, r, re, rstar) == INF


@pytest.mark.parametrize("l, r, expected", [
    # Still finite: about re / v, v the distance (unchanged).
    (1e-300, 0.0, 9.999999999999998e+299),
    (0.0, 1e-300, 9.999999999999998e+299),
])
def test_a_ring_at_a_tiny_normal_distance_keeps_its_value(l, r, expected):
    assert ring(l, r, 1.0, 1.0) == expected

"""The uniformly bright disk (Witt & Mao 1994).

Reference tables: tests/data/uniform_disk.txt from tools/gen_model_refs.py;
tests/data/truth_disk.txt from tools/accuracy_truth.py (mpmath, two routes
agreeing to 1e-28), grouped by regime.
"""
import math

import pytest

import tessarin
from reference import assert_all_close, load

LIMB_AT_RHO_1 = 1.6366197723675813  # (pi + 2) / pi


def test_worked_values_at_rho_1():
    a = tessarin.witt_mao_magnification([0.0, 0.5, 1.0, 1.5], 1.0, 1.0)
    assert a[0] == pytest.approx(math.sqrt(5), rel=1e-14)
    assert a[1] == pytest.approx(2.13919087, rel=1e-8)
    assert a[2] == LIMB_AT_RHO_1
    assert a[3] == pytest.approx(1.18227777, rel=1e-8)


@pytest.mark.parametrize(
    "l, re, rstar, want, rtol",
    [
        (0.5, 1.0, 0.1, 18.7138909, 1e-8),
        (2.0, 1.0, 0.1, 5.25013020, 1e-8),
        (100.0, 1.0, 0.01, 1.34165510, 1e-8),
        # Once printed as 1.63670337 and 1.63653922: the closed form's own
        # error 1e-5 from the limb (mpmath gives the digits below).
        (0.999989, 1.0, 1.0, 1.63670486, 1e-8),
        (1.000011, 1.0, 1.0, 1.63653468, 1e-8),
        (0.995, 1.0, 0.001, 1293.560493, 1e-9),
    ],
)
def test_published_values(l, re, rstar, want, rtol):
    assert tessarin.witt_mao_magnification([l], re, rstar)[0] == pytest.approx(want, rel=rtol)


def limb_value(rho: float) -> float:
    # The exact magnification with the lens on the limb, in the operation
    # order of the module (math.atan is the same libm atan).
    rho2 = rho * rho
    return ((math.atan(rho) * 2) * ((1 + rho2) / rho2) + 2 / rho) / math.pi


@pytest.mark.parametrize("rho", [1e-4, 1e-3, 1.0, 30.0])
def test_on_the_limb_gives_the_limb_value(rho):
    assert tessarin.witt_mao_magnification([1.0], 1.0, rho)[0] == limb_value(rho)


@pytest.mark.parametrize("rho", [1e-4, 1e-3, 1.0, 30.0])
@pytest.mark.parametrize("x", [0.999991, 1.000009, 0.99999])
def test_next_to_the_limb_is_not_the_flat_limb_value(rho, x):
    # Once a window returned the limb value here, 1e-5 off the truth.
    got = tessarin.witt_mao_magnification([x], 1.0, rho)[0]
    assert got != limb_value(rho)
    assert (got > limb_value(rho)) == (x < 1)


def sweep_reversals(values):
    """The largest relative rise of a sequence that should fall."""
    return max([(b - a) / a for a, b in zip(values, values[1:])] + [0.0])


@pytest.mark.parametrize("rho", [1e-4, 1e-2, 1.0, 100.0])
@pytest.mark.parametrize("step, count", [(1e-7, 300), (1e-14, 300)])
def test_monotone_across_the_limb(rho, step, count):
    # The uniform disk's magnification falls monotonically as the lens
    # crosses the limb outwards (checked in mpmath on these sweeps).
    xs = [1 + k * step for k in range(-count, count + 1)]
    values = tessarin.witt_mao_magnification(xs, 1.0, rho)
    assert sweep_reversals(values) <= 1e-14


TRUTH = load("truth_disk.txt", regime=True)
REGIME_TOLERANCE = {"centre": 1e-14, "near-limb": 2e-14, "limb": 2e-15, "on-limb": 1e-15,
                    "outside": 2e-13, "far": 2e-13, "very-far": 0.0}


@pytest.mark.parametrize("regime", sorted(REGIME_TOLERANCE))
def test_against_truth_by_regime(regime):
    cases = [((rho, x), tessarin.witt_mao_magnification([x], 1.0, rho)[0], want)
             for reg, rho, x, want in TRUTH if reg == regime]
    assert_all_close(cases, REGIME_TOLERANCE[regime], f"uniform disk, {regime}")


@pytest.mark.parametrize("rho", [1e-4, 1e-3, 1.0, 1e4])
def test_never_demagnifies_far_out(rho):
    xs = [10.0 ** (k / 4) for k in range(4, 4 * 300)]
    values = tessarin.witt_mao_magnification(xs, 1.0, rho)
    assert all(1.0 <= v for v in values)
    assert values[-1] == 1.0
    assert all(b <= a * (1 + 1e-15) for a, b in zip(values, values[1:]))


def test_large_sources_do_not_fail():
    # n stays below 1 outside the window even for a source of 10^4 Einstein
    # radii, where a window in Einstein radii would let n round up to 1.
    a = tessarin.witt_mao_magnification([0.99998, 1.00002, 0.5, 2.0], 1.0, 1e4)
    # Such a source is magnified by about 1 + 2/rho^2; 2e-5 from the limb the
    # closed form has lost all but ~1e-6 of it (n and m are near 1).
    assert all(abs(v - 1) < 1e-6 for v in a)


def test_against_reference_table():
    rows = load("uniform_disk.txt")
    cases = [((rho, x), tessarin.witt_mao_magnification([x], 1.0, rho)[0], want)
             for rho, x, want in rows]
    assert_all_close(cases, 1e-13, "uniform disk")


def test_empty_and_degenerate_inputs():
    assert tessarin.witt_mao_magnification([], 1.0, 1.0) == []
    assert all(math.isnan(v) for v in tessarin.witt_mao_magnification([0.0, 0.5, 1.0, 3.0], 1.0, 0.0))


def test_negative_separation_fails_the_whole_call():
    with pytest.raises(RuntimeError) as info:
        tessarin.witt_mao_magnification([0.5, -0.5, 2.0], 1.0, 1.0)
    assert info.value.args == ("elliprj: Fail to converge",)

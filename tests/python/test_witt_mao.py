"""The uniformly bright disk (Witt & Mao 1994).

Reference table: tests/data/uniform_disk.txt from tools/gen_model_refs.py.
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
        (0.999989, 1.0, 1.0, 1.63670337, 1e-8),
        (1.000011, 1.0, 1.0, 1.63653922, 1e-8),
        (0.995, 1.0, 0.001, 1293.560493, 1e-9),
    ],
)
def test_published_values(l, re, rstar, want, rtol):
    assert tessarin.witt_mao_magnification([l], re, rstar)[0] == pytest.approx(want, rel=rtol)


def limb_value(rho: float) -> float:
    # The exact magnification with the lens on the limb, in the operation
    # order of the module (math.asin is the same libm asin).
    rho2 = rho * rho
    c = 1 + rho2
    return ((math.asin((-1 + rho2) / c) + math.pi / 2) * (c / rho2) + 2 / rho) / math.pi


@pytest.mark.parametrize("rho", [1e-4, 1e-3, 1.0, 30.0])
@pytest.mark.parametrize("x", [0.999991, 1.0, 1.000009, 0.99999])
def test_limb_window_gives_the_limb_value(rho, x):
    assert tessarin.witt_mao_magnification([x], 1.0, rho)[0] == limb_value(rho)


def test_window_is_open_and_in_source_radii():
    # No double near 1 lies exactly 1e-5 from it: 0.99999 falls just inside
    # the window, 1.00001 just outside (general case, slightly below the
    # limb value at rho = 1).
    inside, outside = tessarin.witt_mao_magnification([0.99999, 1.00001], 1.0, 1.0)
    assert inside == LIMB_AT_RHO_1
    assert outside != LIMB_AT_RHO_1
    assert outside == pytest.approx(LIMB_AT_RHO_1, rel=1e-4)


def test_large_sources_do_not_fail():
    # n stays below 1 outside the window even for a source of 10^4 Einstein
    # radii, where a window in Einstein radii would let n round up to 1.
    a = tessarin.witt_mao_magnification([0.99998, 1.00002, 0.5, 2.0], 1.0, 1e4)
    # Such a source is magnified by about 1 + 2/rho^2; 2e-5 from the limb the
    # closed form has lost all but ~1e-6 of it (n and m are near 1).
    assert all(abs(v - 1) < 1e-6 for v in a)


def test_against_reference_table():
    rows = load("uniform_disk.txt")
    far, near = [], []
    for rho, x, want in rows:
        got = tessarin.witt_mao_magnification([x], 1.0, rho)[0]
        (far if abs(x - 1) >= 1e-2 else near).append(((rho, x), got, want))
    assert_all_close(far, 1e-11, "uniform disk, |x - 1| >= 1e-2")
    # Nearer the limb the closed form loses digits as n and m approach 1.
    assert_all_close(near, 1e-7, "uniform disk near the limb")


def test_empty_and_degenerate_inputs():
    assert tessarin.witt_mao_magnification([], 1.0, 1.0) == []
    assert all(math.isnan(v) for v in tessarin.witt_mao_magnification([0.0, 0.5, 1.0, 3.0], 1.0, 0.0))


def test_negative_separation_fails_the_whole_call():
    with pytest.raises(RuntimeError) as info:
        tessarin.witt_mao_magnification([0.5, -0.5, 2.0], 1.0, 1.0)
    assert info.value.args == ("elliprj: Fail to converge",)

"""Limb-darkened and tabulated-profile sources.

Reference tables from tools/gen_model_refs.py: tests/data/limb_darkened.txt
(linear law, coefficient 0.6, integrated over ring means in mpmath) and
tests/data/uniform_disk.txt.
"""
import math

import pytest

import tessarin
from reference import assert_all_close, load

LD = load("limb_darkened.txt")
RADII = [i / 100 for i in range(101)]
DEFAULT_TABLE = [1 - 0.6 * (1 - math.sqrt(1 - r * r)) for r in RADII]


def witt_mao_tolerance(l: float) -> float:
    # The central difference of the concentric-disk model (step ~6e-6)
    # straddles the disk edge that passes the lens.
    if l > 1 and abs(l - 1) >= 1e-2:
        return 1e-8
    return 1e-5


def test_heyrovsky_against_reference():
    cases = [((rho, l), tessarin.integrated_heyrovsky_magnification([l], 1.0, rho)[0], want)
             for rho, l, want in LD]
    assert_all_close(cases, 1e-9, "integrated ring model, default profile")


@pytest.mark.parametrize("region", ["outside", "inside or near the limb"])
def test_witt_mao_against_reference(region):
    cases = []
    for rho, l, want in LD:
        if (witt_mao_tolerance(l) == 1e-8) == (region == "outside"):
            got = tessarin.integrated_witt_mao_magnification([l], 1.0, rho)[0]
            cases.append(((rho, l), got, want))
    assert_all_close(cases, 1e-8 if region == "outside" else 1e-5, f"integrated disk model, {region}")


def test_worked_values():
    assert tessarin.integrated_heyrovsky_magnification([2.0, 0.3], 1.0, 1.0) == pytest.approx(
        [1.0749139411239, 2.3397508015856], rel=1e-12)
    assert tessarin.integrated_heyrovsky_magnification([1.5], 1.0, 1.0)[0] == pytest.approx(1.17674187, rel=1e-8)
    assert tessarin.integrated_heyrovsky_magnification([2.0], 1.0, 0.5)[0] == pytest.approx(1.37684307, rel=1e-8)


def test_tabulated_default_profile_matches_the_built_in_one():
    # 101 radii: linear interpolation of the law is good to ~1e-5 in flux.
    ls = [0.0, 0.5, 0.95, 1.05, 2.0]
    built_in = tessarin.integrated_heyrovsky_magnification(ls, 1.0, 0.1)
    tabulated = tessarin.integrated_flux_map_heyrovsky_magnification(ls, 1.0, 0.1, RADII, DEFAULT_TABLE)
    assert tabulated == pytest.approx(built_in, rel=1e-4)


def test_uniform_table_reproduces_the_uniform_disk():
    heyrovsky, witt_mao = [], []
    for rho, x, want in load("uniform_disk.txt"):
        if x == 0:
            continue
        got = tessarin.integrated_flux_map_heyrovsky_magnification([x], 1.0, rho, [0.0, 1.0], [1.0, 1.0])[0]
        heyrovsky.append(((rho, x), got, want))
        got = tessarin.integrated_flux_map_witt_mao_magnification([x], 1.0, rho, [0.0, 1.0], [1.0, 1.0])[0]
        witt_mao.append(((rho, x), got, want, witt_mao_tolerance(x)))
    assert_all_close(heyrovsky, 1e-11, "uniform table through ring means")
    for tol in (1e-8, 1e-5):
        assert_all_close([c[:3] for c in witt_mao if c[3] == tol], tol, "uniform table through disks")


def test_one_point_table_is_uniform_whatever_its_radius():
    ls = [0.2, 0.99, 1.3]
    for fn in (tessarin.integrated_flux_map_heyrovsky_magnification,
               tessarin.integrated_flux_map_witt_mao_magnification):
        # Doubling the brightness doubles numerator and normalisation exactly.
        assert fn(ls, 1.0, 0.7, [0.5], [2.0]) == fn(ls, 1.0, 0.7, [0.0, 1.0], [1.0, 1.0])


@pytest.mark.parametrize("scale", [3.0, 1e-3])
def test_scaling_the_brightness_changes_nothing(scale):
    bl, bf = [0.0, 0.4, 0.8, 1.0], [1.0, 0.9, 0.6, 0.3]
    for fn in (tessarin.integrated_flux_map_heyrovsky_magnification,
               tessarin.integrated_flux_map_witt_mao_magnification):
        base = fn([0.5, 1.5], 1.0, 0.2, bl, bf)
        scaled = fn([0.5, 1.5], 1.0, 0.2, bl, [scale * b for b in bf])
        assert scaled == pytest.approx(base, rel=1e-14)


def test_partial_table_leaves_the_rest_dark():
    # A bright annulus from 0.6 to 1 and a bright core to 0.4, with the lens
    # at the centre: the core is magnified more.
    core = tessarin.integrated_flux_map_heyrovsky_magnification([0.0], 1.0, 1.0, [0.0, 0.4], [1.0, 1.0])
    ring = tessarin.integrated_flux_map_heyrovsky_magnification([0.0], 1.0, 1.0, [0.6, 1.0], [1.0, 1.0])
    assert core[0] > ring[0] > 1


@pytest.mark.parametrize("fn", [tessarin.integrated_flux_map_heyrovsky_magnification,
                                tessarin.integrated_flux_map_witt_mao_magnification])
def test_degenerate_tables_and_lists(fn):
    assert all(math.isnan(v) for v in fn([0.5, 2.0], 1.0, 1.0, [], []))
    assert fn([], 1.0, 1.0, [0.0, 1.0], [1.0, 1.0]) == []
    with pytest.raises(BaseException) as info:
        fn([1.0], 1.0, 1.0, [0.1, 0.2, 0.3], [1.0, 1.0])
    assert type(info.value).__name__ == "PanicException"
    assert str(info.value) == "assertion `left == right` failed\n  left: 3\n right: 2"


def test_conversion_errors_come_before_the_length_check():
    with pytest.raises(TypeError, match="^argument 'bf': "):
        tessarin.integrated_flux_map_heyrovsky_magnification([1.0], 1.0, 1.0, [0.1, 0.2], "x")


def test_empty_separations():
    assert tessarin.integrated_heyrovsky_magnification([], 1.0, 1.0) == []
    assert tessarin.integrated_witt_mao_magnification([], 1.0, 1.0) == []


def test_heyrovsky_never_raises_and_witt_mao_passes_the_disk_error_on():
    assert tessarin.integrated_heyrovsky_magnification([-0.5], 1.0, 1.0) == [0.0]
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        tessarin.integrated_witt_mao_magnification([2.0, -0.5], 1.0, 1.0)
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        tessarin.integrated_flux_map_witt_mao_magnification([-0.5], 1.0, 1.0, [0.0, 1.0], [1.0, 1.0])

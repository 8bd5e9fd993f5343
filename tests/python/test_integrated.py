"""Limb-darkened and tabulated-profile sources.

Reference tables from tools/gen_model_refs.py: tests/data/limb_darkened.txt
(linear law, coefficient 0.6, integrated over ring means in mpmath),
tests/data/uniform_disk.txt and tests/data/jump_profiles.txt (tables whose
brightness jumps inside the source, as sums of uniform disks).
"""
import math
import warnings

import numpy as np
import pytest

import tessarin
from reference import assert_all_close, load

LD = load("limb_darkened.txt")
RADII = [i / 100 for i in range(101)]
DEFAULT_TABLE = [1 - 0.6 * (1 - math.sqrt(1 - r * r)) for r in RADII]


def witt_mao_tolerance(l: float) -> float:
    # The central difference of the concentric-disk model (step ~6e-6)
    # straddles the disk edge that passes the lens. With the lens exactly at
    # the centre every disk contains it, A(r) grows like 1/r, and the
    # difference (whose lower point is 0 below r = 0) is off for r within a
    # few steps of 0: 1.4e-5.
    if l > 1 and abs(l - 1) >= 1e-2:
        return 1e-8
    return 2e-5 if l == 0 else 1e-5


def test_heyrovsky_against_reference():
    cases = [((rho, l), tessarin.integrated_heyrovsky_magnification([l], 1.0, rho)[0], want)
             for rho, l, want in LD]
    assert_all_close(cases, 1e-9, "integrated ring model, default profile")


@pytest.mark.parametrize("tolerance", [1e-8, 1e-5, 2e-5])
def test_witt_mao_against_reference(tolerance):
    cases = [((rho, l), tessarin.integrated_witt_mao_magnification([l], 1.0, rho)[0], want)
             for rho, l, want in LD if witt_mao_tolerance(l) == tolerance]
    assert_all_close(cases, tolerance, "integrated disk model")


def test_the_two_models_agree():
    ls = [0.0, 0.3, 0.99, 1.0, 1.01, 2.0, 7.0]
    cases = {1e-8: [], 1e-5: [], 2e-5: []}
    for rho in (0.001, 0.1, 1.0, 10.0):
        rings = tessarin.integrated_heyrovsky_magnification(ls, 1.0, rho)
        disks = tessarin.integrated_witt_mao_magnification(ls, 1.0, rho)
        for l, d, r in zip(ls, disks, rings):
            cases[witt_mao_tolerance(l)].append(((rho, l), d, r))
    for tolerance, group in cases.items():
        assert_all_close(group, tolerance, "disks against rings")


def test_worked_values():
    assert tessarin.integrated_heyrovsky_magnification([2.0, 0.3], 1.0, 1.0) == pytest.approx(
        [1.0749139411239, 2.3397508015856], rel=1e-10)
    assert tessarin.integrated_heyrovsky_magnification([1.5], 1.0, 1.0)[0] == pytest.approx(1.17674187, rel=1e-8)
    assert tessarin.integrated_heyrovsky_magnification([2.0], 1.0, 0.5)[0] == pytest.approx(1.37684307, rel=1e-8)


def test_tabulated_default_profile_matches_the_built_in_one():
    # 101 radii: the law falls like sqrt(1 - r) at the limb, where straight
    # segments miss it by up to ~1e-2 in brightness over the last segment:
    # a few 1e-4 in magnification.
    ls = [0.0, 0.5, 0.95, 1.05, 2.0]
    for fn, built_in in [
        (tessarin.integrated_flux_map_heyrovsky_magnification, tessarin.integrated_heyrovsky_magnification),
        (tessarin.integrated_flux_map_witt_mao_magnification, tessarin.integrated_witt_mao_magnification),
    ]:
        assert fn(ls, 1.0, 0.1, RADII, DEFAULT_TABLE) == pytest.approx(built_in(ls, 1.0, 0.1), rel=5e-4)


def test_uniform_table_reproduces_the_uniform_disk():
    heyrovsky, witt_mao = [], []
    for rho, x, want in load("uniform_disk.txt"):
        if x == 0:
            continue
        got = tessarin.integrated_flux_map_heyrovsky_magnification([x], 1.0, rho, [0.0, 1.0], [1.0, 1.0])[0]
        heyrovsky.append(((rho, x), got, want))
        got = tessarin.integrated_flux_map_witt_mao_magnification([x], 1.0, rho, [0.0, 1.0], [1.0, 1.0])[0]
        witt_mao.append(((rho, x), got, want, witt_mao_tolerance(x)))
    # The ring mean's closed form loses ~1e-16/g^2 at a relative gap g from
    # the ring; integrated from the window's edge (g = 1e-5) that is ~1e-11.
    assert_all_close(heyrovsky, 1.5e-11, "uniform table through ring means")
    for tol in (1e-8, 1e-5):
        assert_all_close([c[:3] for c in witt_mao if c[3] == tol], tol, "uniform table through disks")


def test_one_point_table_is_uniform_whatever_its_radius():
    # Doubling the brightness doubles numerator and normalisation exactly, as
    # long as the rule runs the same levels; its absolute stopping test can
    # end a short piece of a split integral a level earlier or later.
    ls = [0.2, 1.3, 2.0]
    for fn in (tessarin.integrated_flux_map_heyrovsky_magnification,
               tessarin.integrated_flux_map_witt_mao_magnification):
        assert fn(ls, 1.0, 0.7, [0.5], [2.0]) == fn(ls, 1.0, 0.7, [0.0, 1.0], [1.0, 1.0])
        assert fn([0.99], 1.0, 0.7, [0.5], [2.0]) == pytest.approx(
            fn([0.99], 1.0, 0.7, [0.0, 1.0], [1.0, 1.0]), rel=1e-10)


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
    assert math.isnan(tessarin.integrated_heyrovsky_magnification([-0.5], 1.0, 1.0)[0])
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        tessarin.integrated_witt_mao_magnification([2.0, -0.5], 1.0, 1.0)
    with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
        tessarin.integrated_flux_map_witt_mao_magnification([-0.5], 1.0, 1.0, [0.0, 1.0], [1.0, 1.0])


UNIFORM = ([0.0, 1.0], [1.0, 1.0])
INTEGRATED = {
    "rings": lambda l, re, rstar: tessarin.integrated_heyrovsky_magnification(l, re, rstar),
    "disks": lambda l, re, rstar: tessarin.integrated_witt_mao_magnification(l, re, rstar),
    "table rings": lambda l, re, rstar: tessarin.integrated_flux_map_heyrovsky_magnification(
        l, re, rstar, *UNIFORM),
    "table disks": lambda l, re, rstar: tessarin.integrated_flux_map_witt_mao_magnification(
        l, re, rstar, *UNIFORM),
}
NAN, INF = math.nan, math.inf


# Arguments for which no node of the integral has a finite integrand value:
# every ring mean (or disk magnification) fails. There is no magnification,
# and a 0 would be a failure passed off as a number.
@pytest.mark.parametrize("model", INTEGRATED)
@pytest.mark.parametrize("l, re, rstar", [
    (NAN, 1.0, 0.1), (-INF, 1.0, 0.1), (-1.0, 1.0, 0.1), (-1e308, 1.0, 0.1),
    (0.5, NAN, 0.1), (0.5, INF, 0.1), (0.5, -INF, 0.1),
    (0.5, 1.0, NAN), (0.5, 1.0, 0.0), (0.5, 1.0, -0.0),
])
def test_no_finite_node_gives_nan(model, l, re, rstar):
    try:
        got = INTEGRATED[model]([l], re, rstar)
    except RuntimeError:
        # The disk models compute the whole source's magnification first,
        # and pass its error on; the ring models never raise.
        assert model.endswith("disks")
        return
    assert len(got) == 1 and math.isnan(got[0]), got


@pytest.mark.parametrize("model", ["rings", "table rings"])
def test_lens_infinitely_far_leaves_the_source_unmagnified(model):
    # Every ring mean is 1 in the limit: a finite integrand, not a failure.
    assert INTEGRATED[model]([INF], 1.0, 0.1) == [1.0]


@pytest.mark.parametrize("model", ["rings", "table rings"])
def test_masked_epoch_is_nan_and_its_neighbours_are_untouched(model):
    epochs = np.ma.array([0.5, 1.5, 2.0], mask=[0, 1, 0])
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # NumPy: "converting a masked element to nan"
        got = INTEGRATED[model](epochs, 1.0, 0.1)
    assert math.isnan(got[1])
    assert [got[0], got[2]] == INTEGRATED[model]([0.5, 2.0], 1.0, 0.1)


def test_nodes_that_fail_alone_still_count_as_dark():
    # Every segment that touches the NaN brightness is NaN: only the core
    # r < 0.3 has finite integrand values. It is a uniform disk of radius
    # 0.3 seen through the rule's handling of a jump, not NaN.
    fn = tessarin.integrated_flux_map_heyrovsky_magnification
    got = fn([2.0], 1.0, 1.0, [0.0, 0.3, 0.6, 1.0], [1.0, 1.0, NAN, NAN])[0]
    core = tessarin.witt_mao_magnification([2.0 / 0.3], 1.0, 0.3)[0]
    assert got == pytest.approx(core, rel=1e-3)


# The tables of tools/gen_model_refs.py (JUMP_TABLES), in its order: a
# smaller star (twice), a step, an annulus, three steps ending short of the
# limb.
JUMP_TABLES = [
    ([0.0, 0.5], [1.0, 1.0]),
    ([0.0, 0.8], [1.0, 1.0]),
    ([0.0, 0.5, 0.5, 1.0], [1.0, 1.0, 0.5, 0.5]),
    ([0.3, 1.0], [1.0, 1.0]),
    ([0.0, 0.4, 0.4, 0.7, 0.7, 0.9], [1.0, 1.0, 0.6, 0.6, 0.3, 0.3]),
]
JUMPS = load("jump_profiles.txt")


def test_jumps_in_the_brightness_through_rings():
    # Unsplit, a jump inside the source cost up to 3e-2.
    cases = [((int(i), rho, l), tessarin.integrated_flux_map_heyrovsky_magnification(
        [l], 1.0, rho, *JUMP_TABLES[int(i)])[0], want) for i, rho, l, want in JUMPS]
    assert_all_close(cases, 1e-9, "tables with jumps, rings")


@pytest.mark.parametrize("tolerance", [1e-8, 1e-5, 2e-5])
def test_jumps_in_the_brightness_through_disks(tolerance):
    # The central difference's own accuracy: 1e-5 with the lens inside the
    # source, where a disk edge passes it.
    cases = [((int(i), rho, l), tessarin.integrated_flux_map_witt_mao_magnification(
        [l], 1.0, rho, *JUMP_TABLES[int(i)])[0], want)
        for i, rho, l, want in JUMPS if witt_mao_tolerance(l) == tolerance]
    assert_all_close(cases, tolerance, "tables with jumps, disks")


@pytest.mark.parametrize("bl, bf, smooth_bl, smooth_bf", [
    # Repeated radii with one brightness, a dark start or end, an edge at
    # 0 or 1: no jump inside the source, so no cut, bit for bit the same.
    ([0.0, 0.5, 0.5, 1.0], [1.0, 0.7, 0.7, 0.4], [0.0, 0.5, 1.0], [1.0, 0.7, 0.4]),
    ([0.2, 0.6, 1.0], [0.0, 1.0, 1.0], [0.2, 0.6, 1.0], [0.0, 1.0, 1.0]),
])
def test_tables_without_jumps_are_integrated_as_before(bl, bf, smooth_bl, smooth_bf):
    for fn in (tessarin.integrated_flux_map_heyrovsky_magnification,
               tessarin.integrated_flux_map_witt_mao_magnification):
        assert fn([0.3, 0.5, 2.0], 1.0, 0.1, bl, bf) == fn([0.3, 0.5, 2.0], 1.0, 0.1, smooth_bl, smooth_bf)


def test_many_steps_split_at_the_largest_jumps():
    # 400 equal steps down to a last, big one short of the limb: beyond 16
    # jumps only the largest are cut, and the big edge is among them. The
    # profile is a sum of disks; the small steps, integrated across, cost a
    # little accuracy each (3.4e-5 in all at l = 0.3; the big edge alone,
    # uncut, would cost 1e-2).
    n = 400
    edges = [(k + 1) / (n + 1) * 0.9 for k in range(n)]
    bl, bf = [0.0], [2.0]
    for k, r in enumerate(edges):
        bl += [r, r]
        bf += [2.0 - k / n, 2.0 - (k + 1) / n]
    bl, bf = bl[:-1], bf[:-1]  # end on the last radius, bright: the star's edge
    disks = [(1 / n, r) for r in edges[:-1]] + [(1.0 + 1 / n, edges[-1])]
    for rho, l in [(0.1, 0.3), (0.1, 2.0)]:
        flux = sum(c * R * R for c, R in disks)
        want = sum(c * R * R * tessarin.witt_mao_magnification([l / R], 1.0, rho * R)[0]
                   for c, R in disks) / flux
        got = tessarin.integrated_flux_map_heyrovsky_magnification([l], 1.0, rho, bl, bf)[0]
        assert got == pytest.approx(want, rel=1e-4)


@pytest.mark.parametrize("fn", [tessarin.integrated_heyrovsky_magnification,
                                tessarin.integrated_witt_mao_magnification])
@pytest.mark.parametrize("rho", [1e-3, 1.0, 100.0])
def test_huge_separations_are_unmagnified(fn, rho):
    # Once 0.0 from about 1e155 source radii on: the magnification is 1 to
    # double precision there (the disk model's quadrature of its profile
    # leaves ~1e-11 of its own).
    got = fn([1e6, 1e155, 1e200, 1e300], 1.0, rho)
    assert got == pytest.approx([1.0] * 4, rel=1e-10)

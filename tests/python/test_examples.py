"""The pieces of the examples that can be wrong without a long run.

examples/lensing.py (limb darkening for any coefficient, the linear flux
solve), the survey's event generator and a tiny survey, and the fit's data
reader and point-lens inversion. The examples are imported by path.
"""
from __future__ import annotations

import importlib.util
import math
import os
import random
import re
import subprocess
import sys

import pytest

import tessarin

EXAMPLES = os.path.join(os.path.dirname(__file__), "..", "..", "examples")


def load(name: str):
    found = importlib.util.spec_from_file_location(name, os.path.join(EXAMPLES, f"{name}.py"))
    module = importlib.util.module_from_spec(found)
    sys.modules[name] = module  # dataclasses look their module up there
    found.loader.exec_module(module)
    return module


lensing = load("lensing")


def dense_linear_table(u_ld: float, n: int = 2001):
    """The linear law at radii r = sin(theta), theta evenly spaced."""
    bl = [math.sin(0.5 * math.pi * i / (n - 1)) for i in range(n)]
    bl[-1] = 1.0
    return bl, [1 - u_ld * (1 - math.sqrt(max(0.0, 1 - r * r))) for r in bl]


# Separations in source radii: centre, inside, next to and on the limb, out.
L = [0.0, 0.3, 0.9, 0.999, 1.0, 1.001, 1.5, 3.0, 10.0]


@pytest.mark.parametrize("rho", [1e-3, 0.05, 1.0])
@pytest.mark.parametrize("u_ld", [0.0, 0.25, 0.6, 0.85, 1.0])
def test_combined_law_matches_the_tabulated_law(rho, u_ld):
    # A 2001-point table of the law is accurate to a few 1e-8 (the README's
    # table of tabulation errors, extrapolated as 1/n^2), so a wrong weight
    # in the combination, of order u_ld, cannot hide under 3e-7.
    bl, bf = dense_linear_table(u_ld)
    want = tessarin.integrated_flux_map_heyrovsky_magnification(L, 1.0, rho, bl, bf)
    got = lensing.limb_darkened([x * rho for x in L], rho, u_ld)
    worst = max(abs(g / w - 1) for g, w in zip(got, want))
    assert worst < 3e-7, worst


@pytest.mark.parametrize("u_ld, term", [
    (0.0, tessarin.witt_mao_magnification),
    (lensing.BUILTIN_LD, tessarin.integrated_heyrovsky_magnification),
])
def test_combined_law_reduces_to_its_terms(u_ld, term):
    rho = 0.02
    u = [x * rho for x in L]
    got = lensing.limb_darkened(u, rho, u_ld)
    want = term([x / rho for x in u], 1.0, rho)  # the very separations the helper passes
    assert got == pytest.approx(want, rel=1e-14, abs=0)


@pytest.mark.parametrize("gamma, u_ld", [(0.0, 0.0), (0.5, 0.6), (1.0, 1.0), (0.2, 0.6 / 2.2)])
def test_gamma_and_u_conventions(gamma, u_ld):
    # I / <I> = 1 - Gamma (1 - 3 mu / 2) is I / I(1) = 1 - u (1 - mu) with
    # u = 3 Gamma / (2 + Gamma): Gamma = 0.5 is the built-in law.
    assert lensing.gamma_to_u(gamma) == pytest.approx(u_ld, rel=1e-15, abs=1e-300)
    assert lensing.u_to_gamma(u_ld) == pytest.approx(gamma, rel=1e-15, abs=1e-300)


def test_point_source_is_the_far_limit():
    rho = 1e-3
    u = [rho * x for x in (30.0, 100.0, 1000.0)]
    finite = lensing.limb_darkened(u, rho, 0.6)
    point = lensing.point_source(u)
    # The finite-source excess falls as (rho / u)^2 (Gould 1994): < 1e-3 at 30 radii.
    for f, p, x in zip(finite, point, (30.0, 100.0, 1000.0)):
        assert abs(f / p - 1) < 1.0 / x ** 2


@pytest.mark.parametrize("f_s, f_b", [(1.0, 0.0), (0.37, 0.51), (2.5, -0.3)])
def test_flux_solve_recovers_known_fluxes(f_s, f_b):
    rng = random.Random(7)
    a = [1 + 30 * rng.random() for _ in range(50)]
    sigma = [0.01 + 0.05 * rng.random() for _ in a]
    flux = [f_s * x + f_b for x in a]
    got_s, got_b, chi2 = lensing.solve_fluxes(a, flux, sigma)
    assert got_s == pytest.approx(f_s, rel=1e-12)
    assert got_b == pytest.approx(f_b, rel=1e-10, abs=1e-12)
    assert chi2 < 1e-18
    # With noise of the stated errors chi^2 is about the number of points
    # less the two fluxes, and the fluxes stay within a few sigma.
    noisy = [f + rng.gauss(0, e) for f, e in zip(flux, sigma)]
    got_s, got_b, chi2 = lensing.solve_fluxes(a, noisy, sigma)
    assert 20 < chi2 < 90
    assert got_s == pytest.approx(f_s, abs=0.01)


def test_flux_solve_refuses_a_flat_light_curve():
    with pytest.raises(ValueError, match="degenerate"):
        lensing.solve_fluxes([2.0] * 5, [1.0, 1.1, 0.9, 1.0, 1.0], [0.1] * 5)


survey = load("survey")


def test_events_are_seeded_and_plausible():
    first, again, other = survey.events(300, 1), survey.events(300, 1), survey.events(300, 2)
    assert first == again
    assert first != other
    assert [e["id"] for e in first] == list(range(300))
    for e in first:
        assert 0 <= e["t0"] <= 200 and 0 <= e["u0"] <= 1
        assert 3e-4 <= e["rho"] <= 3e-2 and 0.4 <= e["u_ld"] <= 0.8
        assert 0.5 < e["tE"] < 1000
    # Spread, not a constant: tE spans more than a factor of ten.
    t_e = sorted(e["tE"] for e in first)
    assert t_e[-1] / t_e[0] > 10


@pytest.mark.parametrize("scheduler", ["serial", "threads"])
def test_tiny_survey_in_process(scheduler):
    out = survey.survey(3, 2, scheduler, seed=5)
    assert out["events"] == 3 and out["separations"] == 3 * survey.EPOCHS
    for event, result in zip(survey.events(3, 5), out["results"]):
        assert result["id"] == event["id"]
        direct = survey.light_curve(event)
        assert result["magnification"] == direct["magnification"]
        assert result["peak"] == max(direct["magnification"]) > 1


def test_survey_script_with_a_process_pool():
    run = subprocess.run([sys.executable, os.path.join(EXAMPLES, "survey.py"),
                          "--events", "4", "--workers", "2"],
                         capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert re.search(r"4 events x 1000 epochs.*2 processes worker", run.stdout)
    assert re.search(r"throughput: [0-9.]+ events/s, [0-9.e+]+ separations/s", run.stdout)


def test_data_files_are_complete():
    # Each table states its number of points in its header.
    pytest.importorskip("numpy")
    pytest.importorskip("scipy")
    fit = load("fit_real_event")
    for name in ("MOA_0300089_PLC_007.tbl", "Bron_0300089_PLC_002.tbl",
                 "CTIO_I_0300089_PLC_005.tbl"):
        path = os.path.join(fit.DATA, name)
        header = open(path).read()
        stated = int(re.search(r'NUMBER_OF_POINTS\s*=\s*"(\d+)"', header).group(1))
        t, mag, err = fit.read_tbl(path)
        assert len(t) == len(mag) == len(err) == stated
        assert (err > 0).all() and 3600 < t.min() < t.max() < 4800


def test_point_source_inversion():
    np = pytest.importorskip("numpy")
    pytest.importorskip("scipy")
    fit = load("fit_real_event")
    u = np.array([1e-3, 0.01, 0.3, 1.0, 3.0])
    a = np.array(lensing.point_source(u))
    assert fit.u_of_a(a) == pytest.approx(u, rel=1e-6)


# The fit run with SciPy hidden: importing it raises ImportError.
WITHOUT_SCIPY = """
import runpy, sys
sys.modules["scipy"] = None
sys.modules["scipy.optimize"] = None
script = sys.argv[1]
sys.argv = sys.argv[1:]
runpy.run_path(script, run_name="__main__")
"""


@pytest.mark.parametrize("args, status", [(["--help"], 0), ([], 1)])
def test_the_fit_without_scipy(args, status, tmp_path):
    run = subprocess.run(
        [sys.executable, "-c", WITHOUT_SCIPY, os.path.join(EXAMPLES, "fit_real_event.py"),
         *args, "--output", str(tmp_path / "fit.png")],
        capture_output=True, text=True, timeout=120, cwd=tmp_path)
    assert run.returncode == status, run.stderr
    if status == 0:
        assert run.stdout.startswith("usage: ") and run.stderr == ""
    else:
        # One line naming the extra that brings SciPy; no traceback.
        assert run.stdout == ""
        assert run.stderr.count("\n") == 1 and "tessarin[fit]" in run.stderr
    assert not (tmp_path / "fit.png").exists()


def test_the_light_curve_names_its_models_in_physical_terms():
    light_curve = load("light_curve")
    labels = light_curve.LABELS
    assert set(labels) == set(light_curve.MODELS)
    assert labels["uniform disk"] == "uniform disk"
    assert labels["linear LD, disks"].startswith("linear limb darkening, u = 0.6")
    assert labels["linear LD, rings"].startswith("linear limb darkening, u = 0.6")
    assert labels["quadratic LD, table"].startswith("quadratic, a = 0.45, b = 0.25")
    assert not any(word in label for label in labels.values() for word in ("LD,", "disks,"))

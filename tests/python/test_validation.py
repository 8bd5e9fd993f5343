"""Accuracy regression: the module still meets the figures of the validation
report (benchmarks/results/validation.md).

The points and their truth are the tables of tools/accuracy_truth.py and
tools/validation_truth.py (mpmath, two independent routes per value); the
figures are those benchmarks/validation.py measured and wrote to
benchmarks/results/validation.json. Each regime's worst relative error must
stay within twice its reported figure, and never beyond four ulps where the
report says 0 or near it: a change that loses accuracy anywhere fails here,
naming the worst point.
"""
from __future__ import annotations

import json
import math
import re
import sys
from pathlib import Path

import pytest

import validation_cases as vc

MARGIN = 2.0
FLOOR = 4 * 2.0**-52

FIGURES = json.loads(vc.FIGURES.read_text())["module"]
CASES = vc.module_cases()


def bound(figure: float) -> float:
    return max(MARGIN * figure, FLOOR)


@pytest.mark.parametrize("label", sorted(CASES))
def test_meets_reported_figures(label):
    points, evaluate = CASES[label]
    reported = FIGURES[label]
    measured = vc.worst_by_regime(points, evaluate(points))
    assert set(measured) == set(reported), f"{label}: regimes changed; regenerate the report"
    failures = []
    for regime, (err, at, got, truth, _) in measured.items():
        limit = bound(reported[regime]["worst"])
        if not err <= limit:
            failures.append(f"{regime}: {err:.3g} > {limit:.3g} at {at}: got {got!r}, want {truth!r}")
    assert not failures, f"{label}:\n" + "\n".join(failures)


def test_report_covers_every_function_and_regime():
    # Every function of the module is in the report, with finite figures
    # (a regime where the module fails would show as inf).
    names = {label.split(",")[0] for label in FIGURES}
    assert names == {n for n in dir(vc.tessarin) if n.endswith("_magnification")}
    for function, regimes in FIGURES.items():
        for regime, entry in regimes.items():
            assert math.isfinite(entry["worst"]), (function, regime)
            assert entry["n"] > 0


# Tabulated profiles against the exact integral of the very table they are
# given (tools/tabulated_truth.py): the README states the worst relative
# error per table size, spacing and model; the module must stay within it,
# and the README must not overstate it (the figures are the measured worst,
# rounded up to two digits).
ROOT = Path(__file__).resolve().parents[2]
README = (ROOT / "README.md").read_text()
TABULATED = ROOT / "tests" / "data" / "truth_tabulated.txt"
MODELS = {"rings": vc.tessarin.integrated_flux_map_heyrovsky_magnification,
          "disks": vc.tessarin.integrated_flux_map_witt_mao_magnification}


def stated_tabulated_bounds() -> dict[tuple[int, str, str], float]:
    start = README.index("| table points | rings, evenly in r |")
    lines = [line.strip() for line in README[start:].splitlines()]
    columns = [cell.strip() for cell in lines[0].strip("|").split("|")][1:]
    bounds = {}
    for line in lines[2:]:
        if not line.startswith("|"):
            break
        cells = [cell.strip() for cell in line.strip("|").split("|")]
        for column, cell in zip(columns, cells[1:]):
            model, _, spacing = column.partition(", evenly in ")
            bounds[(int(cells[0]), model, spacing)] = float(cell)
    return bounds


def measured_tabulated_errors() -> dict[tuple[int, str, str], float]:
    if str(ROOT / "tools") not in sys.path:
        sys.path.insert(0, str(ROOT / "tools"))
    import tabulated_truth  # the tables as the truth script builds them

    worst: dict[tuple[int, str, str], float] = {}
    for line in TABULATED.read_text().splitlines()[1:]:
        spacing, n, rho, x, truth = line.split()
        if spacing == "drop":  # stated on its own, below
            continue
        bl, bf = tabulated_truth.table(spacing, int(n))
        for model, f in MODELS.items():
            got = f([float(x)], 1.0, float(rho), bl, bf)[0]
            err = abs(got / float(truth) - 1)
            key = (int(n), model, "θ" if spacing == "theta" else "r")
            worst[key] = max(worst.get(key, 0.0), err)
    return worst


def test_tabulated_profiles_meet_the_readmes_bound_per_table_size():
    stated = stated_tabulated_bounds()
    measured = measured_tabulated_errors()
    assert set(stated) == set(measured)
    for key, err in measured.items():
        assert err <= stated[key], (key, err, stated[key])
        assert stated[key] <= 1.15 * err, (key, err, stated[key])


def test_a_steep_table_meets_the_readmes_figure():
    # bl = [0, 0.5, 1], bf = [1, 1, 0.2]: the worst of the tables measured.
    stated = float(re.search(r"`bf = \[1, 1, 0\.2\]` came out ([0-9.e-]+) off", README).group(1))
    for f in MODELS.values():
        worst = 0.0
        for line in TABULATED.read_text().splitlines()[1:]:
            spacing, n, rho, x, truth = line.split()
            if spacing == "drop":
                got = f([float(x)], 1.0, float(rho), [0.0, 0.5, 1.0], [1.0, 1.0, 0.2])[0]
                worst = max(worst, abs(got / float(truth) - 1))
        assert worst <= stated <= 1.15 * worst
    quoted = re.search(r"0\.2\]\)`\s+gives ([0-9.]+), the integral of that profile is ([0-9.]+)",
                       README)
    got = MODELS["rings"]([0.3], 1.0, 0.01, [0.0, 0.5, 1.0], [1.0, 1.0, 0.2])[0]
    assert f"{got:.5f}" == quoted.group(1)
    truth = [line.split()[-1] for line in TABULATED.read_text().splitlines()[1:]
             if line.startswith("drop 3 0.01 0.3 ")]
    assert f"{float(truth[0]):.5f}" == quoted.group(2)

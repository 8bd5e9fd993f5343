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

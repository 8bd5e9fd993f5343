"""Reading the reference tables of tests/data and comparing against them.

Every table names the script that generated it on its first line; the
model tables come from tools/gen_model_refs.py (mpmath).
"""
from __future__ import annotations

import math
from pathlib import Path

DATA = Path(__file__).resolve().parent.parent / "data"


def load(name: str, regime: bool = False) -> list[tuple]:
    """Rows of floats; with regime=True the first column is a regime name
    (the tables of tools/accuracy_truth.py)."""
    rows = []
    with open(DATA / name) as table:
        for line in table:
            if line.startswith("#") or not line.strip():
                continue
            words = line.split()
            head = [words.pop(0)] if regime else []
            rows.append(tuple(head + [float(v) for v in words]))
    return rows


def relative_error(got: float, want: float) -> float:
    if got == want:
        return 0.0
    if math.isnan(got) or math.isnan(want):
        return math.inf
    return abs(got - want) / abs(want)


def assert_all_close(cases, rtol: float, what: str) -> None:
    """cases: iterable of (label, got, want). Fails naming the worst point."""
    worst = max(((relative_error(g, w), label, g, w) for label, g, w in cases), default=None)
    assert worst is not None, f"{what}: no cases"
    err, label, got, want = worst
    assert err <= rtol, (
        f"{what}: worst relative error {err:.3g} > {rtol:g} at {label}: got {got!r}, want {want!r}"
    )

"""Reading tests/data/truth_fspl.txt, the truth of the finite-source
point-lens functions that tools/gen_fspl_truth.py generates (mpmath, concentric
disks by Witt & Mao's closed form against rings by Heyrovsky's).

Each line holds

    regime law coefficients rho u A A-1

with rho and u (Einstein radii) the reprs of the doubles the values were
computed from, and A, A - 1 to 25 significant digits. coefficients is "-"
for the uniform disk, the law's coefficients as comma-separated reprs, or
the name of a table given in the header:

    # table NAME mu MU0,MU1,... intensity I0,I1,...

No mpmath here: values are floats, with the decimal texts kept for checks
finer than a double.
"""
from __future__ import annotations

import math
from pathlib import Path
from typing import NamedTuple, Union

PATH = Path(__file__).resolve().parent.parent / "data" / "truth_fspl.txt"
SCRIPT = "tools/gen_fspl_truth.py"

Table = tuple[tuple[float, ...], tuple[float, ...]]  # (mu nodes, intensities)


class Row(NamedTuple):
    regime: str
    law: str
    # The law's coefficients, in the order of its formula; () for the
    # uniform disk; for a tabulated profile the table (mu, intensity).
    coefficients: Union[tuple[float, ...], Table]
    table: str | None  # the table's name for a tabulated profile
    rho: float
    u: float
    a: float
    a_minus_1: float
    a_text: str
    a_minus_1_text: str

    @property
    def profile(self) -> tuple[str, str]:
        """(law, coefficients as written): names the brightness profile."""
        if self.table is not None:
            return (self.law, self.table)
        return (self.law, ",".join(map(repr, self.coefficients)) or "-")


def header(path: Path = PATH) -> list[str]:
    """The comment lines at the top of the file."""
    with open(path) as f:
        return [line.rstrip("\n") for line in f if line.startswith("#")]


def tables(path: Path = PATH) -> dict[str, Table]:
    out = {}
    for line in header(path):
        words = line.split()
        if len(words) >= 2 and words[1] == "table":
            # "#", "table", name, "mu", list, "intensity", list
            if len(words) != 7 or words[3] != "mu" or words[5] != "intensity":
                raise ValueError(f"{path}: malformed table line: {line!r}")
            mu = tuple(float(v) for v in words[4].split(","))
            values = tuple(float(v) for v in words[6].split(","))
            if len(mu) != len(values):
                raise ValueError(f"{path}: table {words[2]}: {len(mu)} nodes, {len(values)} values")
            out[words[2]] = (mu, values)
    return out


def load(path: Path = PATH) -> list[Row]:
    known = tables(path)
    rows = []
    with open(path) as f:
        for number, line in enumerate(f, 1):
            if line.startswith("#") or not line.strip():
                continue
            words = line.split()
            if len(words) != 7:
                raise ValueError(f"{path}:{number}: {len(words)} columns, not 7")
            regime, law, coefficients, rho, u, a, am1 = words
            if law == "tabulated":
                if coefficients not in known:
                    raise ValueError(f"{path}:{number}: no table {coefficients!r} in the header")
                params, table = known[coefficients], coefficients
            elif coefficients == "-":
                params, table = (), None
            else:
                params, table = tuple(float(c) for c in coefficients.split(",")), None
            rows.append(Row(regime, law, params, table, float(rho), float(u), float(a),
                            float(am1), a, am1))
    return rows


def intensity(law: str, coefficients, mu: float) -> float:
    """I(mu) of a row's profile, for checks of the profiles themselves."""
    if law == "uniform":
        return 1.0
    if law == "linear":
        (c,) = coefficients
        return 1 - c * (1 - mu)
    if law == "quadratic":
        a, b = coefficients
        return 1 - a * (1 - mu) - b * (1 - mu) ** 2
    if law == "square_root":
        c, d = coefficients
        return 1 - c * (1 - mu) - d * (1 - math.sqrt(mu))
    if law == "logarithmic":
        c, d = coefficients
        return 1 - c * (1 - mu) - (d * mu * math.log(mu) if mu > 0 else 0.0)
    if law == "power2":
        c, alpha = coefficients
        return 1 - c * (1 - mu**alpha)
    if law == "claret":
        return 1 - sum(a * (1 - mu ** (k / 2)) for k, a in enumerate(coefficients, 1))
    if law == "tabulated":
        nodes, values = coefficients
        for k in range(len(nodes) - 1):
            if mu <= nodes[k + 1] or k == len(nodes) - 2:
                m0, m1, b0, b1 = nodes[k], nodes[k + 1], values[k], values[k + 1]
                return b0 + (b1 - b0) * (mu - m0) / (m1 - m0)
    raise ValueError(f"unknown law {law!r}")

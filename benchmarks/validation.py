"""The validation report: every function of the module, and the finite-source
methods of MulensModel and VBMicrolensing, against the two-route mpmath
truth of tests/data, worst relative error per regime.

    python benchmarks/validation.py

writes benchmarks/results/validation.md and validation.json (the figures
tests/python/test_validation.py holds the module to). Regenerate the truth
first, if its grid changed: tools/accuracy_truth.py, tools/validation_truth.py.
"""
from __future__ import annotations

import json
import math
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path[:0] = [str(ROOT / "tests" / "python"), str(ROOT / "benchmarks")]

import validation_cases as vc  # noqa: E402
from peers import LD_COEFFICIENT, LD_GAMMA, mulensmodel_methods, vbmicrolensing_methods  # noqa: E402

RESULTS = ROOT / "benchmarks" / "results"


def peer_values(method, points):
    """One call per point, so that one failure costs only its point."""
    out = []
    for p in points:
        rho, x = p[1], p[2]
        try:
            v = float(method.batch([(x,)], rho)[0])
            out.append(v if math.isfinite(v) else None)
        except Exception:
            out.append(None)
    return out


def cell(text: str) -> str:
    return text.replace("|", "\\|")


def fmt(entry) -> str:
    if entry is None:
        return "–"
    err = entry["worst"]
    if err == math.inf:
        return f"fails ({entry['failures']}/{entry['n']})"
    text = "0" if err == 0 else f"{err:.1e}"
    if entry["failures"]:
        text += f" ({entry['failures']} fail)"
    return text


def summarise(points, values):
    worst = vc.worst_by_regime(points, values)
    out = {}
    for regime, (err, at, got, truth, n) in worst.items():
        fails = sum(1 for p, v in zip(points, values) if p[0] == regime and v is None)
        if fails and fails < n:  # the figure of the points that ran; failures counted apart
            ok = [(p, v) for p, v in zip(points, values) if p[0] == regime and v is not None]
            err, at, got, truth, _ = vc.worst_by_regime(*zip(*ok))[regime]
        out[regime] = {"worst": err, "at": list(at), "got": got, "truth": truth, "n": n,
                       "failures": fails}
    return out


def regime_order(regimes):
    def key(name):
        if name.startswith("centre") or name.startswith("lens"):
            return (0, 0)
        if name.startswith("inside") or name.startswith("over") or name.startswith("gap |"):
            return (1, 0)
        decade = re.match(r"(limb|gap) 1e(-?\d+) <=", name)
        if decade:
            return (2, -int(decade.group(2)))
        if name.startswith("limb |x-1| < 1e-8"):
            return (3, 0)
        if name.startswith("next"):
            return (3, 1)
        if name.startswith("outside"):
            return (4, 0)
        return (5, 0)
    return sorted(regimes, key=key)


def table(title, columns, figures, note=""):
    regimes = regime_order({r for c in columns for r in figures.get(c, {})})
    lines = [f"### {title}", "", note, ""] if note else [f"### {title}", ""]
    lines.append("| regime | points | " + " | ".join(f"`{c}`" if "(" not in c else c
                                                   for c in columns) + " |")
    lines.append("| --- | ---: |" + " ---: |" * len(columns))
    for r in regimes:
        n = next(figures[c][r]["n"] for c in columns if r in figures.get(c, {}))
        lines.append(f"| {cell(r)} | {n} | " + " | ".join(fmt(figures.get(c, {}).get(r))
                                                 for c in columns) + " |")
    return "\n".join(lines) + "\n"


def truth_agreement():
    """The stated agreement of the routes, from the tables' own headers."""
    heads = {}
    for name in ("truth_disk.txt", "truth_ring.txt", "truth_integrated.txt", "truth_discrete.txt"):
        heads[name] = (vc.DATA / name).read_text().splitlines()[0].lstrip("# ")
    return heads


def main() -> None:
    module = {}
    for label, (points, evaluate) in vc.module_cases().items():
        module[label] = summarise(points, evaluate(points))

    peers = {}
    peer_notes = {}
    targets = {"disk": vc.disk_points(), "ld": vc.integrated_points("linear")}
    for m in mulensmodel_methods() + vbmicrolensing_methods():
        if m.batch is None:
            peer_notes[m.name] = m.absent
            continue
        points = targets[m.target]
        peers[m.name] = summarise(points, peer_values(m, points))
        peer_notes[m.name] = m.note
        print(f"{m.name}: done", file=sys.stderr)

    figures = {"module": module, "peers": peers, "peer_notes": peer_notes,
               "truth": truth_agreement()}
    RESULTS.mkdir(parents=True, exist_ok=True)
    with open(RESULTS / "validation.json", "w") as out:
        json.dump(figures, out, indent=1, default=lambda v: repr(v))
    (RESULTS / "validation.md").write_text(report(module, peers, peer_notes))
    print(f"wrote {RESULTS / 'validation.md'} and validation.json", file=sys.stderr)


def report(module, peers, notes) -> str:
    both = {**module, **peers}
    disk_peers = [n for n in peers if "uniform" in n or "ESPLMag2" in n]
    ld_peers = [n for n in peers if n not in disk_peers]
    parts = [HEAD.format(a=LD_COEFFICIENT, g=LD_GAMMA)]
    parts.append(table("Uniform disk", ["witt_mao_magnification",
                                        "integrated_flux_map_heyrovsky_magnification, uniform table",
                                        "integrated_flux_map_witt_mao_magnification, uniform table"]
                       + disk_peers, both,
                       "Truth: truth_disk.txt. The uniform table is `bl = [0, 1]`, `bf = [1, 1]`."))
    parts.append(table(f"Linear limb darkening, u = {LD_COEFFICIENT} (Γ = {LD_GAMMA})",
                       ["integrated_heyrovsky_magnification", "integrated_witt_mao_magnification"]
                       + ld_peers, both, "Truth: truth_integrated.txt, law `linear`."))
    parts.append(table(f"The same law tabulated at {vc.TABLE_POINTS} radii (r = sin θ, θ evenly spaced)",
                       ["integrated_flux_map_heyrovsky_magnification, table of the law",
                        "integrated_flux_map_witt_mao_magnification, table of the law"], both,
                       "Truth: truth_integrated.txt, law `table`: the integral of the linearly "
                       "interpolated table, not of the law, so these figures are the module's "
                       "quadrature across the table's kinks, not the tabulation."))
    parts.append(table("Thin ring", ["heyrovsky_magnification"], both,
                       "Truth: truth_ring.txt, ring radii r in (0, 1] (and r = 0), ρ = 1/η."))
    parts.append(table("Discrete ring table", ["discrete_flux_map_heyrovsky_magnification"], both,
                       f"Rings at {vc.RING_RADII} with fluxes {vc.RING_FLUXES}; truth: "
                       "truth_discrete.txt."))
    parts.append("### Peers\n\n" + "\n".join(f"- {n}: {notes[n]}" for n in notes) + "\n")
    parts.append("### Worst points (module)\n\n| function | regime | ρ, x (or ρ, l, r) | error |\n"
                 "| --- | --- | --- | ---: |\n" + "\n".join(
                     f"| `{f}` | {cell(r)} | {', '.join(repr(v) for v in e['at'])} | {e['worst']:.2e} |"
                     for f, regs in module.items() for r, e in regs.items()
                     if e["worst"] == max(x["worst"] for x in regs.values())) + "\n")
    return "\n".join(parts)


HEAD = """# Validation against an independent truth

Generated by `python benchmarks/validation.py` from the committed truth
tables; do not edit. Every figure is the worst relative error
|computed − truth| / truth over the points of a regime; ρ = rstar/re runs from
1e-4 to 100, separations x (source radii) from 0 to 1e6, with the limb
approached to |x − 1| = 1e-8 and closer (1, 2 and 5 ulps, and x = 1 itself).
A peer's failure (an exception, NaN or inf) is counted apart: "fails (k/n)"
when every point of the regime failed, "(k fail)" beside the figure of the
points that ran.

## The truth

Every value is computed in mpmath at 32 to 100+ digits from the exact
binary value of its inputs, by two independent routes, and written only if
they agree:

- uniform disk and thin ring (`tools/accuracy_truth.py`, agreement 1e-28):
  the closed forms of Witt & Mao (1994) and Heyrovsky (2003) on Carlson's
  integrals with complements formed from the geometry, against quadratures
  that use no elliptic integral (the area average about the lens with the
  radial integral in closed form; the angular average of the point-lens
  magnification);
- limb-darkened and tabulated profiles (`tools/validation_truth.py`,
  agreement 1e-22): the flux-weighted integral over rings,
  ∫ I(r) 2πr A_ring(r) dr, against the integral over concentric uniform
  disks by parts, I(1) M(1) − ∫ I′(r) M(r) dr with M(r) = πr² A_disk(r),
  which uses the disk's closed form and no ring;
- the discrete ring table: the flux-weighted sum of ring values, each
  checked by the ring's two routes.

The linear law is I = 1 − u (1 − μ) with u = {a}: the module's built-in law,
MulensModel's Γ = 2u/(3 − u) = {g}, VBMicrolensing's `a1` = u. Uniform is
u = 0 (Γ = 0).

## Worst relative error per regime
"""


if __name__ == "__main__":
    main()

"""Accuracy and speed of the module's functions and of other finite-source
codes, side by side.

  python benchmarks/run.py            full run (a few minutes)
  python benchmarks/run.py --quick    smoke run on every third separation (under a minute)

Every method is compared with the mpmath reference set in
benchmarks/data/reference.tsv (made by benchmarks/make_reference.py): the
uniform disk, the default limb-darkened source (linear law, coefficient 0.6)
and ring means, for source radii rho in {0.001, 0.01, 0.1, 1, 10} Einstein
radii and separations x = u/rho from 0 to 10, crowded at the limb.

Errors: relative, |A - A_ref| / A_ref, per point; a point at which a method
raises or returns a non-finite value counts as failed and is listed, not
averaged. Time: for each source size the method evaluates all the grid's
separations for that size in one batch (one call for the list and array
interfaces, a loop for scalar ones), repeated until the batch has run for
a while, and the time per separation is the best batch time divided by its
length; the median over the five source sizes is reported. Batching spreads
per-call setup over many separations, as a light curve does.

Writes OUT/report.md, OUT/figure.png and OUT/results.json (OUT defaults to
benchmarks/results, or benchmarks/results/quick with --quick) and prints
the summary table.
"""
from __future__ import annotations

import argparse
import datetime
import gc
import json
import math
import platform
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import peers  # noqa: E402

REFERENCE = HERE / "data" / "reference.tsv"
INSTRUCTIONS = HERE / "results" / "instructions.json"

# The targets the report checks.
DISK_TARGET_ERROR = 1e-11  # where |x - 1| >= 1e-2
DISK_TARGET_SPEEDUP = 30.0  # against MulensModel finite_source_uniform_WittMao94
LD_TARGET_ERROR = 1e-9
CONVERSION_TARGET_NS = 20.0


def load_reference(path: Path = REFERENCE) -> dict:
    ref: dict = {"disk": {}, "ld": {}, "ring": {}}
    with open(path) as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            kind, rho, x, r, value = line.rstrip("\n").split("\t")
            point = (float(x),) if r == "-" else (float(x), float(r))
            ref[kind].setdefault(float(rho), []).append((point, float(value)))
    return ref


def subsample(ref: dict, keep_every: int) -> dict:
    return {k: {rho: pts[::keep_every] for rho, pts in by_rho.items()} for k, by_rho in ref.items()}


def relative_error(got: float, want: float) -> float:
    return abs(got - want) / abs(want)


def evaluate(method: peers.Method, points: list, rho: float):
    """Values for every point: the whole batch at once and, when that fails,
    its halves in turn down to single points, so that one bad point neither
    hides the others nor costs one call per point."""
    failures = []

    def values_of(batch: list) -> list:
        try:
            return list(method.batch(batch, rho))
        except Exception as e:
            if len(batch) == 1:
                failures.append((batch[0], f"{type(e).__name__}: {str(e).splitlines()[0][:80]}"))
                return [None]
            half = len(batch) // 2
            return values_of(batch[:half]) + values_of(batch[half:])

    start = time.perf_counter()
    values = values_of(points)
    elapsed = time.perf_counter() - start
    return values, failures, (None if failures else elapsed)


def time_batch(method: peers.Method, points: list, rho: float, first: float | None,
               target: float, repeats: int, cap: int) -> float:
    """Seconds per separation: the best of `repeats` runs of the batch
    repeated k times, k chosen so that one run lasts about `target` s."""
    if not points:
        return math.nan
    if first is None:
        start = time.perf_counter()
        method.batch(points, rho)
        first = time.perf_counter() - start
    if first >= target:
        return first / len(points)
    k = max(1, min(cap, math.ceil(target / max(first, 1e-9))))
    batch = points * k
    best = math.inf
    gc.disable()
    try:
        for _ in range(repeats):
            start = time.perf_counter()
            method.batch(batch, rho)
            best = min(best, time.perf_counter() - start)
    finally:
        gc.enable()
    return min(best / len(batch), first / len(points))


def run_method(method: peers.Method, ref: dict, args) -> dict:
    result = {"name": method.name, "family": method.family, "target": method.target,
              "note": method.note, "rings": method.rings, "absent": method.absent}
    if method.absent:
        return result
    points_out, failures, times = [], [], {}
    for rho, rows in sorted(ref[method.target].items()):
        points = [p for p, _ in rows]
        values, fails, first = evaluate(method, points, rho)
        failures += [(rho,) + f for f in fails]
        ok_points = []
        for (p, want), got in zip(rows, values):
            good = got is not None and math.isfinite(got)
            if got is not None and not good:
                failures.append((rho, p, f"returned {got!r}"))
            err = relative_error(got, want) if good else None
            points_out.append({"rho": rho, "point": list(p), "ref": want, "got": got, "err": err})
            if good:
                ok_points.append(p)
        if first is None or len(ok_points) != len(points):
            first = None
        times[rho] = time_batch(method, ok_points, rho, first, args.target_time, args.repeats,
                                args.cap)
    errs = [p["err"] for p in points_out if p["err"] is not None]
    result.update({
        "points": len(points_out),
        "failed": len(points_out) - len(errs),
        "failures": [[f[0], list(f[1]), f[2]] for f in failures[:12]],
        "max_err": max(errs) if errs else None,
        "median_err": statistics.median(errs) if errs else None,
        "time_per_rho": {repr(k): v for k, v in times.items()},
        "median_time": statistics.median([v for v in times.values() if not math.isnan(v)])
        if times else None,
        "detail": points_out,
    })
    return result


def conversion_cost(repeats: int) -> dict:
    """ns per item to turn a list of 10^6 floats into a vector: a flux-map
    call with no separations converts its two tables and computes nothing."""
    import tessarin as t

    items = [i * 1e-6 for i in range(10**6)]
    best_in = best_in_out = math.inf
    for _ in range(repeats):
        start = time.perf_counter()
        t.discrete_flux_map_heyrovsky_magnification([], 1.0, 1.0, items, items)
        best_in = min(best_in, (time.perf_counter() - start) / 2e6)
        # rstar = 0: every result is NaN without computing anything, so this
        # is one list in and one list out.
        start = time.perf_counter()
        t.witt_mao_magnification(items, 1.0, 0.0)
        best_in_out = min(best_in_out, (time.perf_counter() - start) / 1e6)
    return {"in_ns": best_in * 1e9, "in_out_ns": best_in_out * 1e9}


# -- report -----------------------------------------------------------------


def fmt_err(v) -> str:
    return "-" if v is None else f"{v:.1e}"


def fmt_time(seconds) -> str:
    if seconds is None or (isinstance(seconds, float) and math.isnan(seconds)):
        return "-"
    us = seconds * 1e6
    return f"{us:.3g} µs" if us < 1000 else f"{us / 1000:.3g} ms"


def by_name(results: list, name: str):
    return next((r for r in results if r["name"] == name), None)


def limb_offset(x: float) -> float:
    return abs(x - 1.0)


def disk_profile(res: dict) -> list:
    """Largest error at each distance |x - 1| from the limb (both sides,
    every source size)."""
    rows: dict = {}
    for p in res["detail"]:
        off = limb_offset(p["point"][0])
        key = 0.0 if off == 0 else float(f"{off:.0e}")
        if key >= 1e-2:
            key = 1e-2
        if p["err"] is not None:
            rows[key] = max(rows.get(key, 0.0), p["err"])
    return sorted(rows.items())


def machine() -> str:
    cpu = platform.processor() or "?"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return f"{cpu}; Python {platform.python_version()}; {platform.system()} {platform.machine()}"


def revision() -> str:
    try:
        return subprocess.run(["git", "-C", str(HERE), "rev-parse", "--short", "HEAD"],
                              capture_output=True, text=True, check=True).stdout.strip()
    except (subprocess.CalledProcessError, FileNotFoundError):
        return "?"


def targets(results: list, conv: dict) -> list:
    out = []
    wm = by_name(results, "witt_mao_magnification")
    mm = by_name(results, "MulensModel finite_source_uniform_WittMao94")
    if wm and wm.get("detail"):
        far = [p["err"] for p in wm["detail"]
               if limb_offset(p["point"][0]) >= 1e-2 and p["err"] is not None]
        worst = max(far) if far else math.inf
        failed = sum(1 for p in wm["detail"] if limb_offset(p["point"][0]) >= 1e-2 and p["err"] is None)
        out.append(("witt_mao_magnification: max relative error ≤ 1e-11 where |x − 1| ≥ 1e-2",
                    worst <= DISK_TARGET_ERROR and failed == 0,
                    f"{worst:.1e} over {len(far)} points" + (f", {failed} failed" if failed else "")))
        if mm and mm.get("median_time"):
            ratio = mm["median_time"] / wm["median_time"]
            out.append(("witt_mao_magnification: ≥ 30× less time per separation than MulensModel "
                        "finite_source_uniform_WittMao94", ratio >= DISK_TARGET_SPEEDUP,
                        f"{ratio:.0f}× ({fmt_time(wm['median_time'])} against "
                        f"{fmt_time(mm['median_time'])})"))
        else:
            out.append(("witt_mao_magnification: ≥ 30× faster than MulensModel WittMao94", None,
                        "MulensModel absent"))
    ih = by_name(results, "integrated_heyrovsky_magnification")
    vb = by_name(results, "VBMicrolensing ESPLMagDark Tol 1e-05")
    if ih and ih.get("detail"):
        out.append(("integrated_heyrovsky_magnification: max relative error ≤ 1e-9 over the whole grid",
                    ih["failed"] == 0 and ih["max_err"] <= LD_TARGET_ERROR,
                    f"{ih['max_err']:.1e} over {ih['points']} points, {ih['failed']} failed"))
        if vb and vb.get("median_time"):
            out.append(("integrated_heyrovsky_magnification: less time per separation than "
                        "VBMicrolensing ESPLMagDark at Tol 1e-5",
                        ih["median_time"] < vb["median_time"],
                        f"{fmt_time(ih['median_time'])} against {fmt_time(vb['median_time'])} "
                        f"(VBMicrolensing max error {fmt_err(vb['max_err'])})"))
        else:
            out.append(("integrated_heyrovsky_magnification faster than ESPLMagDark Tol 1e-5", None,
                        "VBMicrolensing absent"))
    out.append(("Converting a list of 10^6 floats costs under 20 ns per item",
                conv["in_ns"] < CONVERSION_TARGET_NS, f"{conv['in_ns']:.1f} ns per item"))
    return out


def write_report(results: list, conv: dict, args, out_dir: Path, elapsed: float) -> str:
    rhos = sorted({float(k) for r in results for k in r.get("time_per_rho", {})})
    lines = []
    w = lines.append
    w("# Finite-source magnification: accuracy and speed\n")
    w(f"Generated by `python benchmarks/run.py{' --quick' if args.quick else ''}` on "
      f"{datetime.date.today().isoformat()} at revision {revision()}, in {elapsed:.0f} s.  ")
    w(f"Machine: {machine()}.  ")
    w("Reference: `benchmarks/data/reference.tsv` (mpmath, 20 significant digits; made by "
      "`benchmarks/make_reference.py`).\n")
    w("Grid: source radius ρ = rstar/re ∈ {" + ", ".join(f"{r:g}" for r in rhos) + "} Einstein "
      "radii; separations x = u/ρ from 0 to 10 in source radii, with |x − 1| from 1e-2 down to "
      "1e-6 on both sides of the limb and x = 1 itself"
      + (" (quick run: every third separation)" if args.quick else "") + ".\n")
    w("Relative error |A − A_ref| / A_ref at every point; **time per separation**: each source "
      "size's separations evaluated as one batch (a list or array where the interface takes one, "
      "a loop otherwise), best of repeated runs divided by the batch length, median over the "
      "source sizes. A point at which a method raises or returns NaN or infinity counts as "
      "*failed*: it is left out of the error statistics and out of the timed batch.\n")

    w("## Targets\n")
    w("| target | met | measured |")
    w("|---|---|---|")
    for what, met, measured in targets(results, conv):
        w(f"| {what} | {'yes' if met else ('n/a' if met is None else '**no**')} | {measured} |")
    w("")

    titles = {"disk": "Uniform disk (against the Witt–Mao closed form)",
              "ld": "Limb-darkened source, linear law with coefficient 0.6",
              "ring": "One ring (against the exact ring mean)"}
    for target in ("disk", "ld", "ring"):
        group = [r for r in results if r["target"] == target]
        if not group:
            continue
        w(f"## {titles[target]}\n")
        w("| method | points (failed) | max rel. error | median rel. error | time per separation "
          "(median) | note |")
        w("|---|---|---|---|---|---|")
        for r in group:
            if r["absent"]:
                w(f"| {r['name']} | absent | - | - | - | {r['absent']} |")
                continue
            w(f"| {r['name']} | {r['points']} ({r['failed']}) | {fmt_err(r['max_err'])} | "
              f"{fmt_err(r['median_err'])} | {fmt_time(r['median_time'])} | {r['note']} |")
        w("")
        w("Time per separation for each source size ρ:\n")
        w("| method | " + " | ".join(f"ρ = {x:g}" for x in rhos) + " |")
        w("|---|" + "---|" * len(rhos))
        for r in group:
            if r["absent"]:
                continue
            tp = {float(k): v for k, v in r["time_per_rho"].items()}
            w(f"| {r['name']} | " + " | ".join(fmt_time(tp.get(x)) for x in rhos) + " |")
        w("")
        w("Largest relative error for each source size ρ:\n")
        w("| method | " + " | ".join(f"ρ = {x:g}" for x in rhos) + " |")
        w("|---|" + "---|" * len(rhos))
        for r in group:
            if r["absent"]:
                continue
            per = {}
            for p in r["detail"]:
                if p["err"] is not None:
                    per[p["rho"]] = max(per.get(p["rho"], 0.0), p["err"])
            w(f"| {r['name']} | " + " | ".join(fmt_err(per.get(x)) for x in rhos) + " |")
        w("")
        failing = [r for r in group if not r["absent"] and r["failures"]]
        if failing:
            w("Failed points (first few per method):\n")
            for r in failing:
                shown = "; ".join(f"ρ = {f[0]:g}, x = {f[1][0]:g}"
                                  + (f", r = {f[1][1]:g}" if len(f[1]) > 1 else "") + f": {f[2]}"
                                  for f in r["failures"][:4])
                w(f"- {r['name']} ({r['failed']} failed): {shown}")
            w("")

    wm = by_name(results, "witt_mao_magnification")
    if wm and wm.get("detail"):
        w("## witt_mao_magnification near the limb\n")
        w("Largest relative error at each distance from the limb, both sides, all source sizes. "
          "The closed form's elliptic integrals lose digits as n and m approach 1, and within "
          "|x − 1| < 1e-5 the limb value is returned.\n")
        w("| \\|x − 1\\| | max rel. error |")
        w("|---|---|")
        for off, err in disk_profile(wm):
            label = "0 (limb)" if off == 0 else ("≥ 1e-2" if off >= 1e-2 else f"{off:.0e}")
            w(f"| {label} | {err:.1e} |")
        w("")

    discrete = [r for r in results if r["rings"] and not r["absent"]]
    if discrete:
        w("## discrete_flux_map_heyrovsky_magnification: error against the number of rings\n")
        w("N rings of equal flux (ring i at the radius enclosing the fraction (i + ½)/N of the "
          "flux of the default law, flux 1/N each), against the limb-darkened reference.\n")
        w("| N | max rel. error | median rel. error | time per separation |")
        w("|---|---|---|---|")
        for r in discrete:
            w(f"| {r['rings']} | {fmt_err(r['max_err'])} | {fmt_err(r['median_err'])} | "
              f"{fmt_time(r['median_time'])} |")
        w("")

    w("## Converting lists\n")
    w(f"- A list of 10^6 floats into the module: {conv['in_ns']:.1f} ns per item (a flux-map call "
      "with no separations, whose two tables are converted and nothing is computed).")
    w(f"- In and out (`witt_mao_magnification` with rstar = 0, which returns NaN without "
      f"computing): {conv['in_out_ns']:.1f} ns per item, including the creation of the result "
      "list's float objects and their release.\n")

    if INSTRUCTIONS.exists():
        counts = json.loads(INSTRUCTIONS.read_text())
        labels = [k for k in ("before", "after") if k in counts] + \
            sorted(k for k in counts if k not in ("before", "after"))
        if labels:
            w("## Instructions per call (callgrind)\n")
            w("Counted by `benchmarks/callgrind/measure.py` (valgrind --tool=callgrind on "
              "`benchmarks/callgrind/driver.cpp`, same compiler flags as the module); "
              "independent of the machine's load. "
              + ", ".join(f"{k}: revision {counts[k]['source']}" for k in labels) + ".\n")
            w("| kernel | " + " | ".join(labels) + (" | change |" if len(labels) > 1 else " |"))
            w("|---|" + "---|" * len(labels) + ("---|" if len(labels) > 1 else ""))
            for kernel, info in counts[labels[0]]["kernels"].items():
                vals = [counts[k]["kernels"].get(kernel, {}).get("per_call") for k in labels]
                row = f"| {info['what']} | " + " | ".join(f"{v:,.0f}" if v else "-" for v in vals)
                if len(labels) > 1 and vals[0] and vals[-1]:
                    row += f" | {100 * (vals[-1] / vals[0] - 1):+.1f} % |"
                elif len(labels) > 1:
                    row += " | - |"
                else:
                    row += " |"
                w(row)
            w("")

    w("## Figure\n")
    w("![error against time per separation](figure.png)\n")
    text = "\n".join(lines)
    (out_dir / "report.md").write_text(text)
    return text


def write_figure(results: list, out_dir: Path) -> None:
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    floor = 1e-17
    fig, (ax, bx) = plt.subplots(1, 2, figsize=(14, 6.5), gridspec_kw={"width_ratios": [2.2, 1]})
    colors = {"tessarin": "tab:blue", "MulensModel": "tab:orange", "VBMicrolensing": "tab:green"}
    markers = {"disk": "s", "ld": "o", "ring": "^"}
    for r in results:
        if r["absent"] or r["max_err"] is None or r["rings"] and r["rings"] not in (10, 100, 1000):
            continue
        t_us = r["median_time"] * 1e6
        err = max(r["max_err"], floor)
        ax.scatter([t_us], [err], color=colors[r["family"]], marker=markers[r["target"]], s=70,
                   edgecolor="black", zorder=3)
        ax.scatter([t_us], [max(r["median_err"], floor)], color=colors[r["family"]],
                   marker=markers[r["target"]], s=25, alpha=0.45, zorder=2)
        ax.plot([t_us, t_us], [max(r["median_err"], floor), err], color=colors[r["family"]],
                alpha=0.3, lw=1)
        label = (r["name"].replace("_magnification", "").replace("MulensModel finite_source_", "MM ")
                 .replace("VBMicrolensing ", "VBM ") + ("" if r["failed"] == 0 else f" ({r['failed']} failed)"))
        ax.annotate(label, (t_us, err), textcoords="offset points", xytext=(6, 3), fontsize=7)
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.set_xlabel("median time per separation (µs)")
    ax.set_ylabel("relative error against the mpmath reference\n(large marker: maximum; small: median)")
    ax.set_title("Error against time, one marker per method")
    from matplotlib.lines import Line2D
    handles = [Line2D([], [], color=c, marker="o", ls="", label=f) for f, c in colors.items()]
    handles += [Line2D([], [], color="gray", marker=m, ls="", label={"disk": "uniform disk",
                "ld": "limb-darkened", "ring": "ring mean"}[t]) for t, m in markers.items()]
    ax.legend(handles=handles, fontsize=8, loc="lower left")
    ax.grid(True, which="major", alpha=0.3)

    disc = [r for r in results if r["rings"] and not r["absent"] and r["max_err"] is not None]
    if disc:
        ns = [r["rings"] for r in disc]
        bx.loglog(ns, [r["max_err"] for r in disc], "o-", label="max")
        bx.loglog(ns, [r["median_err"] for r in disc], "s--", label="median")
        bx.set_xlabel("number of rings N (equal flux)")
        bx.set_ylabel("relative error")
        bx.set_title("discrete_flux_map_heyrovsky\nagainst the limb-darkened source")
        bx.grid(True, which="major", alpha=0.3)
        bx.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(out_dir / "figure.png", dpi=110)
    plt.close(fig)


def summary_table(results: list) -> str:
    rows = [("method", "target", "pts(fail)", "max err", "median err", "time/sep")]
    for r in results:
        if r["absent"]:
            rows.append((r["name"], r["target"], "absent", "", "", r["absent"][:40]))
        else:
            rows.append((r["name"], r["target"], f"{r['points']}({r['failed']})", fmt_err(r["max_err"]),
                         fmt_err(r["median_err"]), fmt_time(r["median_time"])))
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    return "\n".join("  ".join(c.ljust(w) for c, w in zip(row, widths)) for row in rows)


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true",
                        help="every third separation, short timings")
    parser.add_argument("--out", type=Path, help="directory for report.md, figure.png, results.json")
    parser.add_argument("--only", help="run only the methods whose name contains this text")
    args = parser.parse_args(argv)
    args.target_time = 0.02 if args.quick else 0.25
    args.repeats = 1 if args.quick else 3
    args.cap = 8 if args.quick else 64
    out_dir = args.out or (HERE / "results" / ("quick" if args.quick else ""))
    out_dir.mkdir(parents=True, exist_ok=True)

    start = time.time()
    ref = load_reference()
    if args.quick:
        ref = subsample(ref, 3)
    methods = peers.all_methods()
    if args.only:
        methods = [m for m in methods if args.only in m.name]
    if args.quick:
        methods = [m for m in methods if not m.rings or m.rings in (10, 100)]
    results = []
    for m in methods:
        t0 = time.time()
        results.append(run_method(m, ref, args))
        status = results[-1]["absent"] and "absent" or f"{time.time() - t0:.1f} s"
        print(f"  {m.name}: {status}", file=sys.stderr, flush=True)
    conv = conversion_cost(1 if args.quick else 5)
    elapsed = time.time() - start

    write_report(results, conv, args, out_dir, elapsed)
    write_figure(results, out_dir)
    slim = [{k: v for k, v in r.items() if k != "detail"} for r in results]
    (out_dir / "results.json").write_text(json.dumps({"methods": slim, "conversion": conv},
                                                     indent=1) + "\n")
    print(summary_table(results))
    print(f"\nconversion: {conv['in_ns']:.1f} ns per item in, {conv['in_out_ns']:.1f} ns in and out")
    for what, met, measured in targets(results, conv):
        print(f"[{'met' if met else ('n/a' if met is None else 'MISSED')}] {what}: {measured}")
    print(f"\nreport: {out_dir / 'report.md'}  figure: {out_dir / 'figure.png'}  ({elapsed:.0f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())

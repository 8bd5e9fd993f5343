"""The report of benchmarks/run.py: report.md, figure.png and the summary
table, from the results that benchmarks/measure.py collects."""
from __future__ import annotations

import datetime
import json
import math
import os
import platform
import subprocess
from pathlib import Path

import peers
from measure import LIGHT_CURVE, limb_offset

HERE = Path(__file__).resolve().parent
INSTRUCTIONS = HERE / "results" / "instructions.json"
WALLCLOCK = HERE / "results" / "wallclock.json"

# The targets the report checks.
DISK_TARGET_ERROR = 1e-11  # where |x - 1| >= 1e-2
DISK_TARGET_SPEEDUP = 30.0  # against MulensModel finite_source_uniform_WittMao94
LD_TARGET_ERROR = 1e-9
CONVERSION_TARGET_NS = 20.0


def fmt_err(v) -> str:
    return "-" if v is None else f"{v:.1e}"


def fmt_time(seconds) -> str:
    if seconds is None or (isinstance(seconds, float) and math.isnan(seconds)):
        return "-"
    us = seconds * 1e6
    return f"{us:.3g} µs" if us < 1000 else f"{us / 1000:.3g} ms"


def by_name(results: list, name: str):
    return next((r for r in results if r["name"] == name), None)


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
            peer_errors = "; ".join(
                f"{r['name'].replace('MulensModel finite_source_', 'MulensModel ')} "
                f"{fmt_err(r['max_err'])} in {fmt_time(r['median_time'])}"
                for r in results if r["target"] == "ld" and r["family"] != "tessarin"
                and not r["absent"])
            out.append(("integrated_heyrovsky_magnification: less time per separation than "
                        "VBMicrolensing ESPLMagDark at Tol 1e-5",
                        ih["median_time"] < vb["median_time"],
                        f"{fmt_time(ih['median_time'])} (max error {fmt_err(ih['max_err'])}) "
                        f"against {fmt_time(vb['median_time'])}. Peers' max errors: {peer_errors}"))
        else:
            out.append(("integrated_heyrovsky_magnification faster than ESPLMagDark Tol 1e-5", None,
                        "VBMicrolensing absent"))
    out.append(("Converting a list of 10^6 floats costs under 20 ns per item",
                conv["in_ns"] < CONVERSION_TARGET_NS, f"{conv['in_ns']:.1f} ns per item"))
    return out


def near_offset(profile: dict, offset: float) -> str:
    """The error at the tabulated distance from the limb nearest to offset."""
    keys = [k for k in profile if k > 0]
    if not keys:
        return "-"
    k = min(keys, key=lambda v: abs(math.log(v / offset)))
    return f"{fmt_err(profile[k])} at |x − 1| = {k:.0e}"


def notes(results: list) -> list:
    """The causes behind the errors and times, with this run's numbers."""
    out = []
    wm = by_name(results, "witt_mao_magnification")
    if wm and wm.get("detail"):
        prof = dict(disk_profile(wm))
        out.append(
            "**witt_mao_magnification near the limb.** The characteristic n = 4uρ/(u + ρ)² and the "
            "parameter m are rounded as they are formed, so their complements 1 − n = ((u − ρ)/(u + ρ))² "
            "and 1 − m carry an absolute error of about 1e-16, a relative one of about 1e-16/(x − 1)², "
            "which K, E and Π pass on as the lens nears the limb "
            f"({near_offset(prof, 5e-4)}, {near_offset(prof, 2e-5)}). Within "
            f"|x − 1| < 1e-5 the exact limb value is returned, off by the slope of A times the distance "
            f"(up to {fmt_err(max(v for k, v in prof.items() if k <= 1e-5))}). Forming 1 − n and 1 − m "
            "from (u − ρ)² and handing the complements to Carlson's integrals (as the reference "
            "generator does) would keep full precision down to the limb, but changes result bits.")
    ring = by_name(results, "heyrovsky_magnification")
    if ring and ring.get("detail"):
        out.append(
            "**heyrovsky_magnification next to the ring** has the same cause: just outside its "
            "window |r − l| < 1e-5 l the closed form's n and m are within 1e-10 of 1, hence its "
            f"largest error {fmt_err(ring['max_err'])}; elsewhere {fmt_err(ring['far_max_err'])}.")
    iwm = by_name(results, "integrated_witt_mao_magnification")
    ih = by_name(results, "integrated_heyrovsky_magnification")
    if iwm and ih and iwm.get("detail") and ih.get("detail"):
        out.append(
            f"**integrated_witt_mao_magnification** ({fmt_err(iwm['max_err'])}) differentiates the "
            "magnification of concentric disks by a central difference (step about 6e-6), which "
            "straddles the disk edge passing the lens, where the derivative has a logarithmic "
            f"singularity; **integrated_heyrovsky_magnification** ({fmt_err(ih['max_err'])}) "
            "integrates the ring means themselves and splits the integral at the ring through the "
            "lens.")
    fm = by_name(results, "integrated_flux_map_heyrovsky_magnification")
    if fm and fm.get("detail"):
        out.append(
            f"**The flux-map functions** ({fmt_err(fm['max_err'])}) are limited by the table, not "
            f"by the integration: the law tabulated at {peers.TABLE_POINTS} radii and interpolated "
            "linearly misses most near the limb, where √(1 − r²) has an unbounded slope. A finer "
            "table near r = 1 would move it.")
    disc = [r for r in results if r["rings"] and not r["absent"] and r["median_err"]]
    if len(disc) > 1:
        a, b = disc[0], disc[-1]
        slope = math.log(b["median_err"] / a["median_err"]) / math.log(b["rings"] / a["rings"])
        out.append(
            f"**discrete_flux_map_heyrovsky_magnification** with equal-flux rings is a midpoint rule "
            f"in the enclosed flux: its median error falls as N^{slope:.2f} here; the largest errors "
            "are at the limb, where the lens meets the outermost rings.")
    if ih and ih.get("median_time"):
        out.append(
            "**Time.** An integrated separation evaluates its integrand at all 385 nodes of the "
            "seven-level double-exponential rule (770 when the lens lies inside the source and the "
            "integral is split); each node costs a ring mean (K and Π) or, for the disk model, "
            "three disk magnifications (E, K and Π each). Most of that is Carlson's RJ: one arctangent "
            "(or two log1p) per duplication pass and a pow at the end, library calls that must stay "
            "as they are for the results to stay bit for bit. What would move it: fewer nodes (the "
            "rule could stop at its error estimate instead of running every level at tolerance "
            "1e-16), or Π from a quadratically convergent method (Bulirsch's cel, the AGM for the "
            "third kind); both change results.")
    return out


def write_report(results: list, conv: dict, args, out_dir: Path, elapsed: float) -> str:
    rhos = sorted({float(k) for r in results for k in r.get("time_per_rho", {})})
    lines = []
    w = lines.append
    w("# Finite-source magnification: accuracy and speed\n")
    w(f"Generated by `python benchmarks/run.py{' --quick' if args.quick else ''}` on "
      f"{datetime.date.today().isoformat()} at revision {revision()}, in {elapsed:.0f} s.  ")
    w(f"Machine: {machine()}; load average {args.load_before:.1f} at the start, "
      f"{os.getloadavg()[0]:.1f} at the end (times on a shared machine vary from run to run by "
      "some tens of per cent; the ratios within one run are what compares).  ")
    w("Reference: `benchmarks/data/reference.tsv` (mpmath, 20 significant digits; made by "
      "`benchmarks/make_reference.py`).\n")
    w("Grid: source radius ρ = rstar/re ∈ {" + ", ".join(f"{r:g}" for r in rhos) + "} Einstein "
      "radii; separations x = u/ρ from 0 to 10 in source radii, with |x − 1| from 1e-2 down to "
      "1e-6 on both sides of the limb and x = 1 itself"
      + (" (quick run: every third separation of ρ = 0.01, 0.1 and 1)" if args.quick else "")
      + ".\n")
    w("Relative error |A − A_ref| / A_ref at every point. **Time per separation**, for each "
      "source size, over that size's separations (copies a few ulp apart where more are needed), "
      "best of repeated runs, then the median over the source sizes: an interface that takes one "
      "separation per call is timed as a loop; one that takes a list or an array is timed on n "
      "and on 4n separations, t(n) = c0 + c1·n is fitted through the two, and the time per "
      f"separation is given for a light curve of {LIGHT_CURVE} separations, c1 + c0/{LIGHT_CURVE}"
      + (" (quick run: one batch, its time divided by its length)" if args.quick else "")
      + ". A point at which a method raises or returns NaN or infinity counts as "
      "*failed*: it is left out of the error statistics and out of the timed batch.\n")

    w("## Targets\n")
    w("| target | met | measured |")
    w("|---|---|---|")
    for what, met, measured in targets(results, conv):
        cell = what.replace("|", "\\|")
        w(f"| {cell} | {'yes' if met else ('n/a' if met is None else '**no**')} | {measured} |")
    w("")

    titles = {"disk": "Uniform disk (against the Witt–Mao closed form)",
              "ld": "Limb-darkened source, linear law with coefficient 0.6",
              "ring": "One ring (against the exact ring mean)"}
    for target in ("disk", "ld", "ring"):
        group = [r for r in results if r["target"] == target]
        if not group:
            continue
        w(f"## {titles[target]}\n")
        w("| method | points (failed) | max rel. error | max where \\|x − 1\\| ≥ 1e-2 | "
          "median rel. error | time per separation (median) | note |")
        w("|---|---|---|---|---|---|---|")
        for r in group:
            if r["absent"]:
                w(f"| {r['name']} | absent | - | - | - | - | {r['absent']} |")
                continue
            w(f"| {r['name']} | {r['points']} ({r['failed']}) | {fmt_err(r['max_err'])} | "
              f"{fmt_err(r['far_max_err'])} | {fmt_err(r['median_err'])} | "
              f"{fmt_time(r['median_time'])} | {r['note']} |")
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
        setups = [r for r in group if not r["absent"] and r.get("median_setup")]
        if setups:
            w("Fixed cost per call (c0 of the fit), median over the source sizes: " + "; ".join(
                f"{r['name']} {fmt_time(r['median_setup'])}" for r in setups) + ".\n")
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

    w("## What limits the numbers\n")
    for line in notes(results):
        w(f"- {line}")
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
            order = ["K", "E", "Pi", "ring", "disk", "integrated_ring", "integrated_disk"]
            kernels = counts[labels[0]]["kernels"]
            for kernel in sorted(kernels, key=lambda k: order.index(k) if k in order else 99):
                info = kernels[kernel]
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

    if WALLCLOCK.exists():
        wall = json.loads(WALLCLOCK.read_text())
        w("## Time per separation before and after the speed-ups\n")
        w(f"Both revisions built and timed in one run of `benchmarks/compare_builds.py --before "
          f"{wall['before']} --after {wall['after']}` (alternating, best of three), on this "
          "machine; every result is bit for bit the same in both (`benchmarks/bitcheck.py`).\n")
        w("| workload | before | after | change |")
        w("|---|---|---|---|")
        for k, v in wall["seconds_per_separation"].items():
            w(f"| {k} | {fmt_time(v['before'])} | {fmt_time(v['after'])} | "
              f"{100 * (v['after'] / v['before'] - 1):+.1f} % |")
        w("")

    w("## Figure\n")
    w("![error against time per separation](figure.png)\n")
    text = "\n".join(lines)
    (out_dir / "report.md").write_text(text)
    return text


def short_name(name: str) -> str:
    return (name.replace("_magnification", "").replace("MulensModel finite_source_", "MulensModel ")
            .replace("discrete_flux_map_heyrovsky", "discrete_flux_map_heyrovsky"))


def write_figure(results: list, out_dir: Path) -> None:
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.lines import Line2D

    floor = 1e-17
    fig, (ax, bx) = plt.subplots(1, 2, figsize=(16, 7.5), gridspec_kw={"width_ratios": [2.0, 1]})
    colors = {"tessarin": "tab:blue", "MulensModel": "tab:orange", "VBMicrolensing": "tab:green"}
    markers = {"disk": "s", "ld": "o", "ring": "^"}
    kinds = {"disk": "uniform disk", "ld": "limb-darkened", "ring": "ring mean"}
    shown = [r for r in results if not r["absent"] and r["max_err"] is not None
             and (not r["rings"] or r["rings"] in (10, 100, 1000))]
    handles, placed = [], []
    for number, r in enumerate(shown, 1):
        t_us = r["median_time"] * 1e6
        err = max(r["max_err"], floor)
        med = max(r["median_err"], floor)
        color, marker = colors[r["family"]], markers[r["target"]]
        ax.plot([t_us, t_us], [med, err], color=color, alpha=0.3, lw=1, zorder=1)
        ax.scatter([t_us], [med], color=color, marker=marker, s=22, alpha=0.45, zorder=2)
        ax.scatter([t_us], [err], color=color, marker=marker, s=80, edgecolor="black", zorder=3)
        if r.get("far_max_err") is not None and r["far_max_err"] < r["max_err"]:
            ax.scatter([t_us], [max(r["far_max_err"], floor)], color=color, marker="x", s=40,
                       zorder=3)
        # Numbers of markers that nearly coincide are stacked downwards.
        crowd = sum(1 for q in placed if abs(math.log(q[0] / t_us)) < 0.25
                    and abs(math.log(q[1] / err)) < 0.6)
        placed.append((t_us, err))
        ax.annotate(str(number), (t_us, err), textcoords="offset points",
                    xytext=(5, 4 - 11 * crowd), fontsize=8, fontweight="bold")
        failed = f" ({r['failed']} failed)" if r["failed"] else ""
        handles.append(Line2D([], [], color=color, marker=marker, ls="", markeredgecolor="black",
                              label=f"{number}  {short_name(r['name'])}{failed}"))
    ax.set_xscale("log")
    ax.set_yscale("log")
    ax.set_xlabel("median time per separation (µs)")
    ax.set_ylabel("relative error against the mpmath reference (large marker: maximum over\n"
                  "the grid; ×: maximum where |x − 1| ≥ 1e-2; small marker: median)")
    ax.set_title("Error against time, one marker per method "
                 "(square: uniform disk, circle: limb-darkened, triangle: ring)")
    ax.grid(True, which="major", alpha=0.3)
    ax.legend(handles=handles, fontsize=7, loc="upper left", bbox_to_anchor=(1.01, 1.0),
              borderaxespad=0, title="blue: tessarin, orange: MulensModel,\ngreen: VBMicrolensing",
              title_fontsize=7)

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
    else:
        bx.set_axis_off()
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

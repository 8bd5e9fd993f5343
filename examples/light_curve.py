"""Light curve of a point-mass lens crossing the face of a limb-darkened star.

A lens of angular Einstein radius 0.5 mas passes 0.01 Einstein radii from
the centre of a source star of angular radius 0.025 mas (0.05 Einstein
radii), so for about two days it transits the stellar disk. The script
computes the magnification over time for

- a point source (the textbook formula, no finite-source effect),
- a uniformly bright disk (Witt & Mao 1994),
- the built-in linear limb-darkening law, I = 1 - 0.6 (1 - mu), by both
  models: concentric uniform disks and rings (Heyrovsky 2003),
- a quadratic law, I = 1 - a (1 - mu) - b (1 - mu)^2, passed to the module
  as a table of radius and brightness,

where mu = sqrt(1 - r^2) and r is the radius on the stellar disk in source
radii. It prints a short table, checks that the curves behave as the physics
says they must, and writes light_curve.png (with matplotlib:
``pip install "tessarin[plot]"``).

Run:  python examples/light_curve.py [--output light_curve.png]
"""
from __future__ import annotations

import argparse
import math
import sys
import time

import tessarin

# Event geometry. re and rstar only enter through their ratio, so any common
# unit will do; angular radii in mas are the usual choice.
THETA_E = 0.5  # Einstein radius, mas
THETA_STAR = 0.025  # source radius, mas
RHO = THETA_STAR / THETA_E  # source radius in Einstein radii
T0 = 0.0  # time of closest approach, days
T_E = 20.0  # Einstein-radius crossing time, days
U0 = 0.01  # impact parameter, Einstein radii

# Quadratic limb darkening: typical of a cool giant in the I band.
QUAD_A, QUAD_B = 0.45, 0.25


def separation(t: float) -> float:
    """Lens-source separation at time t, in Einstein radii."""
    tau = (t - T0) / T_E
    return math.hypot(U0, tau)


def point_source(u: float) -> float:
    """Point-lens magnification of a point source at u Einstein radii."""
    return (u * u + 2) / (u * math.sqrt(u * u + 4))


def quadratic_law(r: float) -> float:
    mu = math.sqrt(max(0.0, 1 - r * r))
    return 1 - QUAD_A * (1 - mu) - QUAD_B * (1 - mu) ** 2


def quadratic_table(n: int = 201) -> tuple[list[float], list[float]]:
    """The quadratic law tabulated at radii r = sin(theta), theta uniform.

    The law changes fastest near the limb (it depends on r through
    sqrt(1 - r^2)); spacing the radii evenly in theta puts most of them
    there, where linear interpolation needs them.
    """
    radii = [math.sin(0.5 * math.pi * i / (n - 1)) for i in range(n)]
    radii[-1] = 1.0
    return radii, [quadratic_law(r) for r in radii]


def times() -> list[float]:
    """Coarse sampling over the whole event, fine sampling over the transit."""
    wide = [T0 + T_E * (-2.0 + 4.0 * i / 400) for i in range(401)]
    transit = [T0 + 1.6 * (-1.0 + 2.0 * i / 800) for i in range(801)]
    return sorted(set(wide + transit))


def compute() -> dict[str, list[float]]:
    t = times()
    u = [separation(ti) for ti in t]
    l = [ui / RHO for ui in u]  # the module takes separations in source radii
    bl, bf = quadratic_table()
    curves = {
        "t": t,
        "u": u,
        "point source": [point_source(ui) for ui in u],
        "uniform disk": tessarin.witt_mao_magnification(l, THETA_E, THETA_STAR),
        "linear LD, disks": tessarin.integrated_witt_mao_magnification(l, THETA_E, THETA_STAR),
        "linear LD, rings": tessarin.integrated_heyrovsky_magnification(l, THETA_E, THETA_STAR),
        "quadratic LD, table": tessarin.integrated_flux_map_heyrovsky_magnification(
            l, THETA_E, THETA_STAR, bl, bf),
    }
    return curves


MODELS = ["point source", "uniform disk", "linear LD, disks", "linear LD, rings",
          "quadratic LD, table"]
# What each curve is, in physical terms, for the legends.
LABELS = {
    "point source": "point source",
    "uniform disk": "uniform disk",
    "linear LD, disks": "linear limb darkening, u = 0.6 (concentric disks)",
    "linear LD, rings": "linear limb darkening, u = 0.6 (rings)",
    "quadratic LD, table": f"quadratic, a = {QUAD_A:g}, b = {QUAD_B:g} (a table)",
}
# Column headings of the printed table, which fits 80 columns.
SHORT = {"point source": "point", "uniform disk": "uniform", "linear LD, disks": "lin. disks",
         "linear LD, rings": "lin. rings", "quadratic LD, table": "quadratic"}


def print_table(curves: dict[str, list[float]]) -> None:
    t = curves["t"]
    print("Magnification: point source, uniform disk, linear limb darkening by disks")
    print("and by rings, quadratic limb darkening from a table; u in Einstein radii,")
    print("l = u / rho in source radii (the limb at l = 1).\n")
    header = f"{'t [d]':>6} {'u':>7} {'l':>7}" + "".join(f" {SHORT[name]:>10}" for name in MODELS)
    print(header)
    print("-" * len(header))
    for target in (0.0, 0.5, 0.9, 0.98, 1.0, 1.2, 1.6, 4.0, 20.0, 40.0):
        i = min(range(len(t)), key=lambda k: abs(t[k] - target))
        row = f"{t[i]:6.2f} {curves['u'][i]:7.4f} {curves['u'][i] / RHO:7.3f}"
        print(row + "".join(f" {curves[name][i]:10.5f}" for name in MODELS))


def check(curves: dict[str, list[float]]) -> list[str]:
    """What the physics requires of these curves; returns the failures."""
    failures = []
    finite = MODELS[1:]
    point = curves["point source"]
    # Far from the source (u = 2, forty source radii) the source looks like
    # a point: every model within 1e-3 of the point-source value.
    for i in (0, len(point) - 1):
        for name in finite:
            if abs(curves[name][i] / point[i] - 1) > 1e-3:
                failures.append(f"{name} at t = {curves['t'][i]} is not the point-source value")
    # The finite source caps the magnification below the point source's peak.
    peak = {name: max(curves[name]) for name in MODELS}
    for name in finite:
        if not peak[name] < 0.5 * peak["point source"]:
            failures.append(f"{name} peaks at {peak[name]:.3f}, not capped by the finite source")
    # The lens crosses near the centre, where a limb-darkened star is
    # brighter than a uniform one of the same flux: a higher peak.
    for name in finite[1:]:
        if not peak[name] > peak["uniform disk"]:
            failures.append(f"{name} peak {peak[name]:.4f} not above the uniform disk's")
    # The two models of the same law agree.
    worst = max(abs(a / b - 1) for a, b in zip(curves["linear LD, disks"],
                                               curves["linear LD, rings"]))
    if worst > 1e-4:
        failures.append(f"linear LD by disks and by rings differ by {worst:.2e}")
    return failures


def plot(curves: dict[str, list[float]], output: str) -> bool:
    try:
        import matplotlib
    except ImportError:
        print('matplotlib is not installed: pip install "tessarin[plot]" to draw the plot')
        return False
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    style = {
        "point source": dict(color="0.55", lw=1.2, ls=":"),
        "uniform disk": dict(color="tab:blue", lw=1.6),
        "linear LD, disks": dict(color="tab:red", lw=2.6, alpha=0.45),
        "linear LD, rings": dict(color="tab:red", lw=1.1, ls="--"),
        "quadratic LD, table": dict(color="tab:green", lw=1.4),
    }
    t = curves["t"]
    fig, (ax_full, ax_zoom, ax_ratio) = plt.subplots(
        3, 1, figsize=(8, 10), gridspec_kw=dict(height_ratios=[3, 3, 2]))

    for name in MODELS:
        ax_full.plot(t, curves[name], label=LABELS[name], **style[name])
    ax_full.set_yscale("log")
    ax_full.set_xlim(t[0], t[-1])
    ax_full.set_xlabel("time from closest approach [days]")
    ax_full.set_ylabel("magnification")
    ax_full.set_title(
        f"Point lens crossing a star: $\\rho_* = \\theta_*/\\theta_E$ = {RHO:g}, "
        f"$u_0$ = {U0:g}, $t_E$ = {T_E:g} d")
    ax_full.axvspan(-1.6, 1.6, color="0.9", zorder=0, label="enlarged below (±1.6 d)")
    # Upper left, clear of the peak in the middle.
    ax_full.legend(loc="upper left", fontsize=8)

    transit = [i for i, ti in enumerate(t) if abs(ti) <= 1.6]
    tt = [t[i] for i in transit]
    for name in MODELS:
        ax_zoom.plot(tt, [curves[name][i] for i in transit], label=LABELS[name], **style[name])
    finite_peak = max(max(curves[name]) for name in MODELS[1:])
    ax_zoom.set_ylim(0, 1.35 * finite_peak)
    ax_zoom.set_xlim(-1.6, 1.6)
    # The times at which the lens crosses the limb of the star (l = 1).
    limb = T_E * math.sqrt(RHO * RHO - U0 * U0)
    for x, side in ((-limb, "right"), (limb, "left")):
        ax_zoom.axvline(x, color="0.7", lw=0.8)
        ax_zoom.text(x, 0.04 * finite_peak, " lens on the limb ", color="0.4", fontsize=9,
                     ha=side)
    ax_zoom.text(0.0, 1.28 * finite_peak, "point source peaks at "
                 f"{max(curves['point source']):.0f}", ha="center", color="0.4", fontsize=9)
    ax_zoom.set_ylabel("magnification")
    ax_zoom.set_xlabel("time from closest approach [days]")
    ax_zoom.set_title("transit of the stellar disk", fontsize=10)

    uniform = curves["uniform disk"]
    for name in MODELS[2:]:
        ax_ratio.plot(tt, [curves[name][i] / uniform[i] - 1 for i in transit],
                      label=LABELS[name], **style[name])
    ax_ratio.axhline(0, color="tab:blue", lw=1.0)
    for x, side in ((-limb, "right"), (limb, "left")):
        ax_ratio.axvline(x, color="0.7", lw=0.8)
        ax_ratio.text(x, 0.07, " limb ", color="0.4", fontsize=9, ha=side)
    ax_ratio.set_xlim(-1.6, 1.6)
    ax_ratio.set_xlabel("time from closest approach [days]")
    ax_ratio.set_ylabel("$A / A_\\mathrm{uniform} - 1$")
    ax_ratio.set_title("limb-darkened models against the uniform disk", fontsize=10)
    # Room below the curves for the legend, clear of the zero line (the
    # uniform disk) and of the dips at the limb.
    low, high = ax_ratio.get_ylim()
    ax_ratio.set_ylim(low - 0.9 * (high - low), high)
    ax_ratio.legend(loc="lower center", fontsize=8)

    fig.tight_layout()
    fig.savefig(output, dpi=120)
    plt.close(fig)
    return True


def main() -> int:
    parser = argparse.ArgumentParser(
        description="Light curve of a point-mass lens crossing a limb-darkened star.")
    parser.add_argument("--output", default="light_curve.png", help="where to write the plot")
    args = parser.parse_args()

    start = time.perf_counter()
    curves = compute()
    elapsed = time.perf_counter() - start
    print(f"{len(curves['t'])} epochs, source radius {RHO:g} Einstein radii, "
          f"computed in {elapsed:.2f} s\n")
    print_table(curves)

    failures = check(curves)
    print()
    for failure in failures:
        print("CHECK FAILED:", failure)
    if not failures:
        print("checks: far from the source every curve is the point-source curve;")
        print("the finite source caps the peak; limb darkening raises it;")
        print("disks and rings agree")

    if plot(curves, args.output):
        print(f"wrote {args.output}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

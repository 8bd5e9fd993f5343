"""Accuracy and speed of the module's functions and of other finite-source
codes, side by side.

  python benchmarks/run.py            full run (a few minutes)
  python benchmarks/run.py --quick    smoke run: every third separation, rho = 0.01, 0.1, 1
                                      (under a minute)

Every method is compared with the mpmath reference set in
benchmarks/data/reference.tsv (made by benchmarks/make_reference.py): the
uniform disk, the default limb-darkened source (linear law, coefficient 0.6)
and ring means, for source radii rho in {0.001, 0.01, 0.1, 1, 10} Einstein
radii and separations x = u/rho from 0 to 10, crowded at the limb.

Errors: relative, |A - A_ref| / A_ref, per point; a point at which a method
raises or returns a non-finite value counts as failed and is listed, not
averaged. Time, for each source size, over that size's separations: a
method that takes one separation per call is timed as a loop; one that takes
a list or an array (and may have a fixed cost per call) is timed on n and on
4n separations, and the time per separation is given for a light curve of
1000 (the fixed cost spread over them). The median over the source sizes is
reported.

Writes OUT/report.md, OUT/figure.png and OUT/results.json (OUT defaults to
benchmarks/results, or benchmarks/results/quick with --quick) and prints
the summary table.
"""
from __future__ import annotations

import argparse
import json
import os
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import peers  # noqa: E402
from measure import (LIGHT_CURVE, QUICK_SOURCES, conversion_cost, load_reference,  # noqa: E402
                     run_method, subsample)
from report import summary_table, targets, write_figure, write_report  # noqa: E402


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true",
                        help="every third separation of three source sizes, short timings")
    parser.add_argument("--out", type=Path, help="directory for report.md, figure.png, results.json")
    parser.add_argument("--only", help="run only the methods whose name contains this text")
    args = parser.parse_args(argv)
    args.target_time = 0.02 if args.quick else 0.25
    args.min_batch = 50 if args.quick else 250
    args.light_curve = LIGHT_CURVE
    args.budget = 0.3 if args.quick else 3.0
    args.repeats = 1 if args.quick else 3
    out_dir = args.out or (HERE / "results" / ("quick" if args.quick else ""))
    out_dir.mkdir(parents=True, exist_ok=True)

    args.load_before = os.getloadavg()[0]
    start = time.time()
    ref = load_reference()
    if args.quick:
        ref = subsample(ref, 3, QUICK_SOURCES)
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

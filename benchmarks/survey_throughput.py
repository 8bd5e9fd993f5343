"""Throughput of examples/survey.py: 1 and 2 workers, each scheduler.

    python benchmarks/survey_throughput.py [--events 100]
        # writes results/survey.md and results/survey.json

Each run computes the same seeded events (1,000 limb-darkened epochs each);
the time excludes the start-up of a Dask cluster but includes that of a
process pool. The machine's load average is recorded with the figures:
on a shared machine they vary from run to run.
"""
from __future__ import annotations

import argparse
import json
import os
import platform
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "examples"))
import survey  # noqa: E402


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--events", type=int, default=100)
    parser.add_argument("--schedulers", default="serial,processes,threads,dask")
    args = parser.parse_args()

    rows = []
    for scheduler in args.schedulers.split(","):
        for workers in ((1,) if scheduler == "serial" else (1, 2)):
            load = os.getloadavg()[0]
            out = survey.survey(args.events, workers, scheduler)
            rows.append(dict(scheduler=scheduler, workers=out["workers"], events=out["events"],
                             seconds=round(out["seconds"], 3),
                             events_per_second=round(out["events_per_second"], 2),
                             separations_per_second=round(out["separations_per_second"]),
                             load_before=round(load, 2)))
            print(rows[-1], flush=True)

    machine = f"{platform.machine()}, {os.cpu_count()} cores, Python {platform.python_version()}"
    lines = ["# Survey throughput", "",
             f"Written by `python benchmarks/survey_throughput.py --events {args.events}` "
             f"on {machine}. {args.events} events of {survey.EPOCHS} limb-darkened epochs "
             "each; the load average (1 min) before each run is shown because the machine "
             "is shared.", "",
             "| scheduler | workers | seconds | events/s | separations/s | load before |",
             "| --- | ---: | ---: | ---: | ---: | ---: |"]
    for r in rows:
        lines.append(f"| {r['scheduler']} | {r['workers']} | {r['seconds']:.2f} | "
                     f"{r['events_per_second']:.2f} | {r['separations_per_second']:.3g} | "
                     f"{r['load_before']:.2f} |")
    results = os.path.join(ROOT, "benchmarks", "results")
    with open(os.path.join(results, "survey.md"), "w") as f:
        f.write("\n".join(lines) + "\n")
    with open(os.path.join(results, "survey.json"), "w") as f:
        json.dump(dict(machine=machine, events=args.events, epochs=survey.EPOCHS, runs=rows),
                  f, indent=1)
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""Time per separation with a 1e6-radius table: sorted, and with one pair of
neighbouring radii swapped near its start (the segment search must stay
logarithmic on a table that is not quite sorted).

  python benchmarks/nearly_sorted.py [SEPARATIONS]

Each call converts the table and integrates the normalisation once, so the
time per separation is the difference between a call with 1 + SEPARATIONS
separations (default 200) and one with a single separation, divided by
SEPARATIONS; best of three calls each.
"""
from __future__ import annotations

import sys
import time

import tessarin

N = 10**6


def tables():
    bl = [i / (N - 1) for i in range(N)]
    bf = [1 - 0.6 * (1 - (1 - r * r) ** 0.5) for r in bl]
    swapped = list(bl)
    swapped[10], swapped[11] = swapped[11], swapped[10]
    return bf, {"sorted": bl, "one swapped pair": swapped}


def per_separation(fn, bl, bf, k: int) -> float:
    best = {}
    for m in (1, 1 + k):
        ls = [0.5 + j / k for j in range(m)]
        times = []
        for _ in range(3):
            start = time.perf_counter()
            fn(ls, 1.0, 0.1, bl, bf)
            times.append(time.perf_counter() - start)
        best[m] = min(times)
    return (best[1 + k] - best[1]) / k


def main() -> None:
    k = int(sys.argv[1]) if len(sys.argv) > 1 else 200
    bf, by_name = tables()
    for model, fn in [("rings", tessarin.integrated_flux_map_heyrovsky_magnification),
                      ("disks", tessarin.integrated_flux_map_witt_mao_magnification)]:
        for name, bl in by_name.items():
            print(f"{model:5s} {name:16s} {per_separation(fn, bl, bf, k) * 1e3:8.3f} ms per separation",
                  flush=True)


if __name__ == "__main__":
    main()

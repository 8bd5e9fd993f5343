"""Calls from several Python threads at once.

The list functions compute without the interpreter lock, so threads that
call them on separate lists overlap. For each function this times, by the
wall clock, the same work done by 1 thread (the lists one after another) and
by T threads (one list each), T = 2 and, on a larger machine, the number of
cores; the speed-up is the serial time over the threaded time (T on idle
cores is ideal). The median of REPEATS runs is reported, with the load
average before and after (the machine may be shared).

    python benchmarks/threads.py            # results/threads.json
    python benchmarks/threads.py --quick
"""
from __future__ import annotations

import argparse
import json
import os
import pathlib
import platform
import statistics
import threading
import time

import tessarin

HERE = pathlib.Path(__file__).parent


def workloads(quick: bool):
    """(name, function, make the argument tuple for list number i)."""
    n_integrated = 500 if quick else 2000
    n_closed = 10**5
    return [
        ("integrated_heyrovsky_magnification", tessarin.integrated_heyrovsky_magnification,
         lambda i: ([0.3 + 1e-3 * (j + i) for j in range(n_integrated)], 1.0, 0.1)),
        ("integrated_witt_mao_magnification", tessarin.integrated_witt_mao_magnification,
         lambda i: ([0.3 + 1e-3 * (j + i) for j in range(n_integrated)], 1.0, 0.1)),
        ("witt_mao_magnification", tessarin.witt_mao_magnification,
         lambda i: ([1e-5 * (j + i) for j in range(n_closed)], 1.0, 0.1)),
    ]


def serial(f, argument_lists):
    start = time.perf_counter()
    for args in argument_lists:
        f(*args)
    return time.perf_counter() - start


def threaded(f, argument_lists):
    barrier = threading.Barrier(len(argument_lists) + 1)

    def work(args):
        barrier.wait()
        f(*args)

    threads = [threading.Thread(target=work, args=(a,)) for a in argument_lists]
    for t in threads:
        t.start()
    barrier.wait()
    start = time.perf_counter()
    for t in threads:
        t.join()
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--out", type=pathlib.Path, default=HERE / "results" / "threads.json")
    options = parser.parse_args()

    cores = os.cpu_count() or 1
    counts = sorted({2, cores} - {1})
    report = {"python": platform.python_version(), "cores": cores,
              "load_before": os.getloadavg(), "functions": {}}
    for name, f, make in workloads(options.quick):
        rows = {}
        for count in counts:
            lists = [make(i) for i in range(count)]
            f(*lists[0])  # warm up
            times_1, times_t = [], []
            for _ in range(options.repeats):
                times_1.append(serial(f, lists))
                times_t.append(threaded(f, lists))
            t1, tt = statistics.median(times_1), statistics.median(times_t)
            rows[count] = {"serial_s": t1, "threaded_s": tt, "speedup": t1 / tt}
            print(f"{name:38s} {count} threads: serial {t1:.3f} s, threaded {tt:.3f} s, "
                  f"speed-up {t1 / tt:.2f}x", flush=True)
        report["functions"][name] = rows
    report["load_after"] = os.getloadavg()
    print("load average before", report["load_before"], "after", report["load_after"])
    options.out.parent.mkdir(parents=True, exist_ok=True)
    options.out.write_text(json.dumps(report, indent=2) + "\n")


if __name__ == "__main__":
    main()

"""Finite-source light curves for many simulated events, in parallel.

Each event gets random (t0, u0, tE, rho) and a linear limb-darkening
coefficient from plausible distributions (seeded, so a run is repeatable),
and a light curve of 1,000 epochs over t0 +- 2 tE, limb-darkened
(examples/lensing.py: the uniform disk and the ring model combined for the
event's coefficient). The events are spread over

- a process pool (the default; concurrent.futures.ProcessPoolExecutor),
- threads (--scheduler threads): they compute in parallel only where the
  module lets go of the interpreter lock during a call; otherwise they
  take turns, and the throughput says so,
- Dask (--scheduler dask, or --dask): a LocalCluster of W single-threaded
  worker processes, or an existing cluster given by --address
  tcp://host:port (its workers need tessarin installed; the helper module
  is sent to them).

It prints the throughput: events and separations per second, and workers.
tqdm draws a progress bar when installed (pip install "tessarin[survey]",
which also brings Dask).

Run:  python examples/survey.py [--events 200] [--workers 2]
          [--scheduler processes|threads|dask] [--address tcp://host:port]
"""
from __future__ import annotations

import argparse
import math
import os
import random
import sys
import time
from concurrent.futures import ProcessPoolExecutor, ThreadPoolExecutor, as_completed

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import lensing  # noqa: E402  (the helper next to this script)

EPOCHS = 1000


def events(n: int, seed: int = 2008) -> list[dict]:
    """n events: t0 over a 200-day season, u0 uniform in [0, 1], tE
    log-normal around 20 days (the bulk of Galactic-bulge events), rho
    log-uniform from 3e-4 (a dwarf source) to 3e-2 (a giant), and a linear
    limb-darkening coefficient uniform in [0.4, 0.8]."""
    rng = random.Random(seed)
    out = []
    for i in range(n):
        out.append(dict(
            id=i,
            t0=rng.uniform(0.0, 200.0),
            u0=rng.uniform(0.0, 1.0),
            tE=math.exp(rng.gauss(math.log(20.0), 0.7)),
            rho=10 ** rng.uniform(math.log10(3e-4), math.log10(3e-2)),
            u_ld=rng.uniform(0.4, 0.8),
        ))
    return out


def light_curve(event: dict, epochs: int = EPOCHS) -> dict:
    """Times and magnifications of one event; the peak for the summary."""
    t0, t_e = event["t0"], event["tE"]
    t = [t0 + t_e * (-2.0 + 4.0 * i / (epochs - 1)) for i in range(epochs)]
    u = lensing.separation(t, t0, event["u0"], t_e)
    a = lensing.limb_darkened(u, event["rho"], event["u_ld"])
    return dict(id=event["id"], epochs=epochs, peak=max(a), t=t, magnification=a)


def progress(total: int):
    try:
        from tqdm import tqdm
    except ImportError:
        return None
    return tqdm(total=total, unit="event", file=sys.stderr)


def run_local(todo: list[dict], workers: int, scheduler: str) -> list[dict]:
    pool = ProcessPoolExecutor if scheduler == "processes" else ThreadPoolExecutor
    done = []
    bar = progress(len(todo))
    with pool(max_workers=workers) as executor:
        futures = [executor.submit(light_curve, e) for e in todo]
        for future in as_completed(futures):
            done.append(future.result())
            if bar is not None:
                bar.update()
    if bar is not None:
        bar.close()
    return done


def run_dask(todo: list[dict], workers: int,
             address: str | None) -> tuple[list[dict], int, float]:
    try:
        from dask.distributed import Client, LocalCluster
        from dask.distributed import as_completed as dask_completed
    except ImportError:
        sys.exit('Dask is not installed: pip install "tessarin[survey]"')
    cluster = None
    if address:
        client = Client(address)
    else:
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                               dashboard_address=None)
        client = Client(cluster)
    try:
        # Workers on another machine cannot import the helper from this
        # directory: send it to them.
        client.upload_file(os.path.join(HERE, "lensing.py"))
        n_workers = len(client.scheduler_info()["workers"])
        start = time.perf_counter()  # the cluster's start-up is not counted
        done = []
        bar = progress(len(todo))
        futures = client.map(light_curve, todo, pure=False)
        for future in dask_completed(futures):
            done.append(future.result())
            if bar is not None:
                bar.update()
        if bar is not None:
            bar.close()
        elapsed = time.perf_counter() - start
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    return done, n_workers, elapsed


def survey(n: int, workers: int, scheduler: str, address: str | None = None,
           seed: int = 2008) -> dict:
    """Compute n light curves; returns the results and the throughput."""
    todo = events(n, seed)
    if scheduler == "dask":
        done, workers, elapsed = run_dask(todo, workers, address)
    else:
        start = time.perf_counter()
        if scheduler == "serial":
            done = [light_curve(e) for e in todo]
        else:
            done = run_local(todo, workers, scheduler)
        elapsed = time.perf_counter() - start
    done.sort(key=lambda r: r["id"])
    separations = sum(r["epochs"] for r in done)
    return dict(results=done, seconds=elapsed, workers=workers, scheduler=scheduler,
                events=len(done), separations=separations,
                events_per_second=len(done) / elapsed,
                separations_per_second=separations / elapsed)


def main() -> int:
    parser = argparse.ArgumentParser(description="Finite-source light curves of many events.")
    parser.add_argument("--events", type=int, default=200, help="number of events (200)")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                        help="processes, threads or Dask workers (default: the CPU count)")
    parser.add_argument("--scheduler", choices=["processes", "threads", "dask", "serial"],
                        default="processes")
    parser.add_argument("--dask", action="store_true", help="same as --scheduler dask")
    parser.add_argument("--address", help="a Dask scheduler, tcp://host:port (implies --dask)")
    parser.add_argument("--seed", type=int, default=2008)
    args = parser.parse_args()
    if args.events < 1 or args.workers < 1:
        parser.error("--events and --workers must be at least 1")
    scheduler = "dask" if (args.dask or args.address) else args.scheduler

    out = survey(args.events, args.workers, scheduler, args.address, args.seed)
    peaks = sorted(r["peak"] for r in out["results"])
    where = args.address or "this machine"
    print(f"{out['events']} events x {EPOCHS} epochs, limb-darkened, on {where}: "
          f"{out['workers']} {scheduler} worker(s), {out['seconds']:.2f} s")
    print(f"throughput: {out['events_per_second']:.1f} events/s, "
          f"{out['separations_per_second']:.3g} separations/s "
          f"({out['events_per_second'] / out['workers']:.1f} events/s per worker)")
    print(f"peak magnification: median {peaks[len(peaks) // 2]:.2f}, highest {peaks[-1]:.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

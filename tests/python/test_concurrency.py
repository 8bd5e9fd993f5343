"""Threads and processes.

A fitting run calls the module from several Python threads and from process
pools. The calls hold the interpreter lock while they bind and convert their
arguments and build their results, let go of it while the model computes
(and for a moment while a conversion error is turned into a TypeError with
the argument's name), so other threads run in the middle of a call and
several calls compute at once; nothing a call keeps may be shared with
another. Results must be bit for bit those of serial calls, and every
failure the same exception with the same message.
"""
from __future__ import annotations

import multiprocessing
import pickle
import random
import subprocess
import sys
import textwrap
import threading
from concurrent.futures import ProcessPoolExecutor

import pytest

import tessarin
from adversarial import (
    FUNCTIONS,
    Floaty,
    RaisingFloat,
    Sequence,
    same_double,
    stderr_to_devnull,
)

THREADS = 8
ROUNDS = 10  # passes of each thread over the whole workload, in its own order


def workload():
    """Calls of all seven functions: successes, and failures of every kind."""
    wm = tessarin.witt_mao_magnification
    iwm = tessarin.integrated_witt_mao_magnification
    ifwm = tessarin.integrated_flux_map_witt_mao_magnification
    ring = tessarin.heyrovsky_magnification
    ih = tessarin.integrated_heyrovsky_magnification
    ifh = tessarin.integrated_flux_map_heyrovsky_magnification
    dfh = tessarin.discrete_flux_map_heyrovsky_magnification
    bl, bf = [0.0, 0.5, 1.0], [1.0, 0.8, 0.4]
    separations = [0.0, 0.3, 0.999, 1.0, 1.5, 7.0]
    calls = [
        (wm, ([0.1 * i for i in range(60)], 1.0, 0.05), {}),
        (wm, (separations, 2.0, 0.3), {}),
        (iwm, ([0.5, 3.0], 1.0, 0.1), {}),
        (ifwm, ([1.2], 1.0, 0.1, bl, bf), {}),
        (ring, (0.7, 0.4, 1.0, 0.1), {}),
        (ih, ([0.5, 3.0], 1.0, 0.1), {}),
        (ifh, ([1.2], 1.0, 0.1, bl, bf), {}),
        (dfh, (separations, 1.0, 0.1, bl, bf), {}),
        (dfh, ((0.5, Floaty(2.0)), 1.0, Floaty(0.1)), {"bl": (0.5,), "bf": Sequence([1.0])}),
        # Failures: a conversion TypeError (the lock is let go while it is
        # renamed), an exception of an item passed on, binding errors, a
        # computation error, a fatal error and a length hint no vector can
        # hold (MemoryError).
        (wm, ([0.5, "x"], 1.0, 0.1), {}),
        (ring, (0.5, RaisingFloat(TypeError("not a radius")), 1.0, 0.1), {}),
        (iwm, ([0.5, RaisingFloat(ValueError("bad"))], 1.0, 0.1), {}),
        (ih, ("abc", 1.0, 0.1), {}),
        (ifh, ([1.0], 1.0, 0.1, {0.5}, bf), {}),
        (wm, ([1.0], 1.0), {}),
        (ring, (0.5, 0.5, 1.0, 0.1), {"x": 1}),
        (wm, ([0.5, float("nan")], 1.0, 0.1), {}),
        (dfh, ([1.0], 1.0, 0.1, bl, bf[:2]), {}),
        (ifwm, (Sequence([1.0], length=2**60), 1.0, 0.1, bl, bf), {}),
    ]
    return calls


def outcome(call):
    f, args, kwargs = call
    try:
        return "value", f(*args, **kwargs)
    except BaseException as e:  # noqa: BLE001
        return "raised", (type(e), e.args)


def same(a, b) -> bool:
    if a[0] != b[0]:
        return False
    if a[0] == "raised":
        return a[1] == b[1]
    x = a[1] if isinstance(a[1], list) else [a[1]]
    y = b[1] if isinstance(b[1], list) else [b[1]]
    return len(x) == len(y) and all(same_double(p, q) for p, q in zip(x, y))


@pytest.fixture
def fast_switching():
    """Makes the interpreter hand the lock over as often as it can."""
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(interval)


def test_threads_calling_all_functions_at_once_match_serial_calls(fast_switching):
    calls = workload()
    assert {f.__name__ for f, _, _ in calls} == {f.name for f in FUNCTIONS}
    with stderr_to_devnull():
        expected = [outcome(c) for c in calls]
        assert {kind for kind, _ in expected} == {"value", "raised"}
        start = threading.Barrier(THREADS)
        mismatches, done = [], []

        def worker(seed):
            order = list(range(len(calls))) * ROUNDS
            random.Random(seed).shuffle(order)
            start.wait()
            for i in order:
                got = outcome(calls[i])
                if not same(got, expected[i]):
                    mismatches.append((i, got, expected[i]))
            done.append(len(order))

        threads = [threading.Thread(target=worker, args=(seed,)) for seed in range(THREADS)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(timeout=600)
    assert not any(t.is_alive() for t in threads)
    assert not mismatches, mismatches[:3]
    assert sum(done) == THREADS * ROUNDS * len(calls)


def test_other_python_threads_run_while_a_call_computes():
    # The list functions compute without the interpreter lock: a thread of
    # pure Python code advances while the call runs, however long it takes.
    ticks, stop = [0], threading.Event()

    def tick():
        while not stop.is_set():
            ticks[0] += 1

    worker = threading.Thread(target=tick)
    l = [0.5 + 1e-3 * i for i in range(200)]
    worker.start()
    try:
        while ticks[0] == 0:
            pass
        before = ticks[0]
        tessarin.integrated_heyrovsky_magnification(l, 1.0, 0.1)
        during = ticks[0] - before
    finally:
        stop.set()
        worker.join()
    assert during > 0


def test_first_fatal_errors_of_a_process_in_many_threads_share_one_class():
    # The PanicException class is made on first need; threads that all need
    # it at once must still end up with one class.
    code = textwrap.dedent(f"""
        import sys, threading
        import tessarin
        sys.setswitchinterval(1e-6)
        start = threading.Barrier({THREADS})
        classes = []

        def worker():
            start.wait()
            for _ in range(50):
                try:
                    tessarin.discrete_flux_map_heyrovsky_magnification(
                        [1.0], 1.0, 0.1, [0.5], [])
                except BaseException as e:
                    classes.append(type(e))

        threads = [threading.Thread(target=worker) for _ in range({THREADS})]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        print(len(classes), len(set(classes)), classes[0].__module__, classes[0].__name__)
    """)
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                            timeout=120)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == [str(THREADS * 50), "1", "pyo3_runtime", "PanicException"]


class Reentrant:
    """An item whose conversion calls the module itself: a success, a
    computation error and a fatal error, all inside the outer call."""

    def __init__(self, value):
        self.value = value
        self.inner = []

    def __float__(self):
        self.inner.append(tessarin.witt_mao_magnification([self.value], 1.0, 0.1))
        for failing in (lambda: tessarin.witt_mao_magnification([float("nan")], 1.0, 0.1),
                        lambda: tessarin.discrete_flux_map_heyrovsky_magnification(
                            [1.0], 1.0, 0.1, [0.5], [])):
            try:
                failing()
            except BaseException as e:  # noqa: BLE001
                self.inner.append(type(e).__name__)
        return self.value


def test_calls_made_from_inside_a_conversion():
    plain = [0.5, 2.0, 7.0]
    items = [Reentrant(x) for x in plain]
    with stderr_to_devnull():
        got = tessarin.discrete_flux_map_heyrovsky_magnification(
            items, Reentrant(1.0), Reentrant(0.1), items, [Reentrant(1.0)] * 3)
    assert got == tessarin.discrete_flux_map_heyrovsky_magnification(
        plain, 1.0, 0.1, plain, [1.0] * 3)
    for item in items:
        assert item.inner[0] == tessarin.witt_mao_magnification([item.value], 1.0, 0.1)
        assert item.inner[1:3] == ["RuntimeError", "PanicException"]


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_functions_pickle_by_reference(protocol):
    for function in FUNCTIONS:
        f = function.call
        assert pickle.loads(pickle.dumps(f, protocol)) is f


def _pool_calls():
    """Picklable calls (no hostile objects) and what each gives here."""
    calls = [(f, args) for f, args, kwargs in workload()
             if not kwargs and all(_plain(a) for a in args)]
    assert {f.__name__ for f, _ in calls} == {f.name for f in FUNCTIONS}
    return calls


def _plain(value) -> bool:
    if isinstance(value, (list, tuple)):
        return all(type(x) in (float, int) for x in value)
    return type(value) in (float, int, str)


def _in_worker(f, args):
    """Runs in a pool worker: the outcome, with exceptions as (name, args)."""
    try:
        return "value", f(*args)
    except BaseException as e:  # noqa: BLE001
        return "raised", (type(e).__name__, e.args)


@pytest.mark.parametrize("method", ["spawn", "fork", "forkserver"])
def test_process_pool_gives_the_serial_results(method):
    if method not in multiprocessing.get_all_start_methods():
        pytest.skip(f"no {method} start method here")
    calls = _pool_calls()
    with stderr_to_devnull():
        expected = [_in_worker(f, args) for f, args in calls]
        with multiprocessing.get_context(method).Pool(2) as pool:
            got = pool.starmap(_in_worker, calls * 3)
    for i, g in enumerate(got):
        e = expected[i % len(calls)]
        if e[0] == "raised":
            assert g == e, (calls[i % len(calls)], g, e)
        else:
            assert g[0] == "value" and same(g, e), (calls[i % len(calls)], g, e)


def test_exceptions_of_a_worker_reach_the_parent_and_the_pool_goes_on():
    wm = tessarin.witt_mao_magnification
    with multiprocessing.get_context("spawn").Pool(1) as pool:
        with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
            pool.apply(wm, ([float("nan")], 1.0, 0.1))
        with pytest.raises(TypeError, match="^argument 'l': must be real number, not NoneType$"):
            pool.apply(wm, ([None], 1.0, 0.1))
        assert pool.apply(wm, ([2.0], 1.0, 0.1)) == wm([2.0], 1.0, 0.1)


def test_a_fatal_error_in_a_pool_worker_reaches_the_parent_and_the_pool_goes_on():
    # PanicException is no Exception: multiprocessing.Pool's workers let it
    # end the worker, and the task's result never comes. The executor of
    # concurrent.futures catches it, but the class belongs to no importable
    # module and cannot be pickled back: the parent gets the pickling error,
    # with the worker's traceback and the message as its cause.
    context = multiprocessing.get_context("spawn")
    wm = tessarin.witt_mao_magnification
    with stderr_to_devnull(), ProcessPoolExecutor(1, mp_context=context) as pool:
        failed = pool.submit(tessarin.discrete_flux_map_heyrovsky_magnification,
                             [1.0], 1.0, 0.1, [0.5], [])
        with pytest.raises(pickle.PicklingError) as info:
            failed.result(timeout=300)
        assert "pyo3_runtime.PanicException: assertion `left == right` failed" in str(
            info.value.__cause__)
        assert pool.submit(wm, [2.0], 1.0, 0.1).result(timeout=300) == wm([2.0], 1.0, 0.1)

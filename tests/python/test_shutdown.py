"""Interpreter shutdown with daemon threads inside calls.

On CPython 3.9-3.13 a daemon thread that asks for the interpreter lock back
after finalisation has begun is ended by pthread_exit, a forced unwind
through the module's frames. Every place where a call lets go of the lock
is one where that can happen: renaming a conversion error, the computation
(run without the lock) and its interrupt checks. The process must exit 0
with nothing on standard error, every time.

Each scenario is a script run in a fresh interpreter RUNS times
(TESSARIN_SHUTDOWN_RUNS, 3 by default; the CI stage tools/ci/pythons.sh
runs 12 on every interpreter it finds).
"""
from __future__ import annotations

import os
import subprocess
import sys
import textwrap

import pytest

RUNS = int(os.environ.get("TESSARIN_SHUTDOWN_RUNS", "3"))

# Objects in reference cycles, collected during finalisation: running their
# finalisers hands the lock back and forth while the daemon threads wait.
FINALISE_SLOWLY = """
class Slow:
    def __del__(self):
        sum(range(20000))
junk = [Slow() for _ in range(300)]
for j in junk: j.me = j
del junk
time.sleep(0.1)
"""

SCENARIOS = {
    # The conversion error is renamed with the lock let go for a moment.
    "conversion_error": """
def work():
    while True:
        try:
            tessarin.witt_mao_magnification(["x"], 1.0, 0.1)
        except TypeError:
            pass
threading.Thread(target=work, daemon=True).start()
""",
    # Computations of every length end, and ask for the lock back, while
    # the interpreter shuts down: successes and computation errors.
    "computation": """
def work(f, args):
    while True:
        try:
            f(*args)
        except RuntimeError:
            pass
calls = [
    (tessarin.integrated_heyrovsky_magnification, ([0.5 + 0.01 * i for i in range(20)], 1.0, 0.1)),
    (tessarin.integrated_flux_map_witt_mao_magnification,
     ([0.3, 1.5], 1.0, 0.1, [0.0, 0.5, 1.0], [1.0, 0.8, 0.3])),
    (tessarin.witt_mao_magnification, ([0.01 * i for i in range(20000)], 1.0, 0.1)),
    (tessarin.witt_mao_magnification, ([float("nan")], 1.0, 0.1)),
    (tessarin.discrete_flux_map_heyrovsky_magnification,
     ([0.5, 1.5], 1.0, 0.1, [0.1 * i for i in range(100)], [1.0] * 100)),
    (tessarin.heyrovsky_magnification, (0.7, 0.4, 1.0, 0.1)),
]
for f, args in calls:
    threading.Thread(target=work, args=(f, args), daemon=True).start()
""",
    # Calls long enough to reach their interrupt checks, with a signal
    # handler installed, still running when the interpreter shuts down.
    "interrupt_checks": """
signal.signal(signal.SIGALRM, lambda *a: None)
signal.setitimer(signal.ITIMER_REAL, 0.01, 0.01)
def work(n):
    while True:
        tessarin.integrated_witt_mao_magnification([0.5 + 1e-4 * i for i in range(n)], 1.0, 0.1)
for n in (50, 500):
    threading.Thread(target=work, args=(n,), daemon=True).start()
tessarin.integrated_heyrovsky_magnification([0.5 + 1e-4 * i for i in range(100)], 1.0, 0.1)
signal.setitimer(signal.ITIMER_REAL, 0)  # the handler goes at exit; the timer must too
""",
}


def script(name: str) -> str:
    return ("import signal, threading, time, tessarin\n" + textwrap.dedent(SCENARIOS[name])
            + FINALISE_SLOWLY)


@pytest.mark.parametrize("name", sorted(SCENARIOS))
def test_daemon_threads_inside_calls_do_not_abort_the_exit(name, tmp_path):
    path = tmp_path / f"{name}.py"
    path.write_text(script(name))
    failures = []
    for _ in range(RUNS):
        result = subprocess.run([sys.executable, str(path)], capture_output=True, text=True,
                                timeout=120)
        if result.returncode != 0 or result.stderr:
            failures.append((result.returncode, result.stderr[-500:]))
    assert not failures, f"{len(failures)} of {RUNS} runs failed: {failures[:3]}"

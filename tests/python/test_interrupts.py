"""Signals during a computation.

Calls compute without the interpreter lock and look for pending signals on
the main thread as they go: a handler that raises ends the call with its
exception and no result, and the next call gives the same bits as before.
Each case runs in a subprocess, so that a call that could not be
interrupted shows as a timeout rather than a hung test run.
"""
from __future__ import annotations

import subprocess
import sys
import textwrap

import pytest

from adversarial import UNDER_ASAN

# Calls sized to run for seconds to minutes unless they are interrupted (the
# arguments are built before the signal is sent, so that it lands in the
# computation), and a short call whose bits are compared before and after.
LONG_CALLS = {
    "integrated_heyrovsky_magnification": (
        "([0.5 + 1e-6 * i for i in range(10**6)], 1.0, 0.1)", "f([0.5, 1.5], 1.0, 0.1)"),
    "integrated_witt_mao_magnification": (
        "([0.5 + 1e-6 * i for i in range(10**6)], 1.0, 0.1)", "f([0.5, 1.5], 1.0, 0.1)"),
    "integrated_flux_map_heyrovsky_magnification": (
        "([0.5 + 1e-6 * i for i in range(10**6)], 1.0, 0.1, [0.0, 0.5, 1.0], [1.0, 0.7, 0.2])",
        "f([0.5, 1.5], 1.0, 0.1, [0.0, 0.5, 1.0], [1.0, 0.7, 0.2])"),
    # The normalisation of a huge table: the interrupt lands between its
    # quadrature levels.
    "integrated_flux_map_witt_mao_magnification": (
        "([0.5] * 10**5, 1.0, 0.1, [i / 2e6 for i in range(2 * 10**6 + 1)],"
        " [1.0 - i / 4e6 for i in range(2 * 10**6 + 1)])",
        "f([0.5, 1.5], 1.0, 0.1, [0.0, 0.5, 1.0], [1.0, 0.7, 0.2])"),
    # One separation, a huge ring table: inside the ring loop.
    "discrete_flux_map_heyrovsky_magnification": (
        "([0.5] * 10**3, 1.0, 0.1, [1e-7 * i for i in range(10**7)], [1.0] * 10**7)",
        "f([0.5, 1.5], 1.0, 0.1, [0.2, 0.9], [1.0, 0.5])"),
    "witt_mao_magnification": (
        "([0.5] * (3 * 10**7), 1.0, 0.1)", "f([0.5, 1.5], 1.0, 0.1)"),
}
# The fitting functions at their tightest tolerance, over arrays sized from
# a short measured call to run for about 20 s (at most 10**7 points).
FSPL_LAWS = {
    "linear": "0.6", "quadratic": "0.45, 0.25", "claret": "0.5, 0.1, 0.2, -0.1",
    "tabulated": "[0.0, 0.5, 1.0], [0.4, 0.8, 1.0]",
}
for law, coefficients in FSPL_LAWS.items():
    LONG_CALLS[f"fspl.{law}"] = (
        f"(sized(lambda u: f(u, 0.1, {coefficients}, rtol=1e-12)), 0.1, {coefficients})",
        f"f([0.05, 0.5], 0.1, {coefficients}, rtol=1e-12).tolist()",
        "{'rtol': 1e-12}")

# How the signal arrives and what the handler does with it.
SENDERS = {
    # Ctrl-C: the default handler raises KeyboardInterrupt.
    "sigint": ("KeyboardInterrupt", """
        threading.Timer(0.5, lambda: os.kill(os.getpid(), signal.SIGINT)).start()
    """),
    # A timeout by signal.alarm-style timer whose handler raises.
    "sigalrm": ("TimeoutError", """
        def on_alarm(signum, frame):
            raise TimeoutError("computation took too long")
        signal.signal(signal.SIGALRM, on_alarm)
        signal.setitimer(signal.ITIMER_REAL, 0.5)
    """),
}

SCRIPT = """
import os, signal, sys, threading, time, tessarin
f = tessarin.{name}

def sized(call, seconds=20.0, cap=10**7):
    # Separations for `call` to take about `seconds`, from a short call.
    import numpy as np
    u = np.linspace(0.0, 0.3, 20000)
    start = time.perf_counter()
    call(u)
    per_point = max((time.perf_counter() - start) / u.size, 1e-10)
    return np.linspace(0.0, 0.3, int(min(cap, max(u.size, seconds / per_point))))

before = [x.hex() for x in {short}]
args = {long}
kwargs = {kwargs}
{send}
start = time.perf_counter()
try:
    result = f(*args, **kwargs)
    print("returned", len(result))
except BaseException as e:
    print("raised", type(e).__name__, "after %.3f s" % (time.perf_counter() - start))
print("same bits", [x.hex() for x in {short}] == before)
"""


@pytest.mark.parametrize("sender", sorted(SENDERS))
@pytest.mark.parametrize("name", sorted(LONG_CALLS))
def test_a_raising_signal_handler_ends_the_call(name, sender):
    expected, send = SENDERS[sender]
    long, short, *kwargs = LONG_CALLS[name]
    code = SCRIPT.format(name=name, long=long, short=short, kwargs=kwargs[0] if kwargs else "{}",
                         send=textwrap.indent(textwrap.dedent(send), ""))
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                            timeout=240)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert lines[0].startswith(f"raised {expected} after "), result.stdout
    assert lines[1] == "same bits True"
    # The latency is reported, not asserted: the machine may be loaded.
    print(f"{name} {sender}: {lines[0]}")


def test_calls_on_other_threads_go_on_while_the_main_thread_is_interrupted():
    # Only the main thread runs handlers; a worker's call is not cut short.
    code = """
import os, signal, threading, tessarin
f = tessarin.integrated_heyrovsky_magnification
l = [0.5 + 1e-3 * i for i in range(300)]
expected = f(l, 1.0, 0.1)
got = []
worker = threading.Thread(target=lambda: got.append(f(l, 1.0, 0.1)))
worker.start()
threading.Timer(0.05, lambda: os.kill(os.getpid(), signal.SIGINT)).start()
try:
    f([0.5 + 1e-6 * i for i in range(10**6)], 1.0, 0.1)
except KeyboardInterrupt:
    print("interrupted")
worker.join()
print(got == [expected])
"""
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                            timeout=240)
    assert result.returncode == 0, result.stderr
    assert result.stdout.split("\n")[:2] == ["interrupted", "True"]


# Sequences converted item by item that would take until memory runs out:
# the signal lands while they are read, before any computation. The address
# space is capped so that a conversion that does not look for signals ends
# in MemoryError (and fails the test) instead of filling the machine.
ENDLESS_ARGUMENTS = {
    "l, a range": ("witt_mao_magnification", "(range(10**19), 1.0, 0.1)"),
    "bl, a range": ("discrete_flux_map_heyrovsky_magnification",
                    "([0.5], 1.0, 0.1, range(10**19), [1.0])"),
    "bf, a range": ("integrated_flux_map_heyrovsky_magnification",
                    "([0.5], 1.0, 0.1, [0.0, 1.0], range(-10**19, 0))"),
}

# The conversion holds the interpreter lock, so no Python thread runs
# meanwhile: Ctrl-C comes from outside the process, as from a terminal.
CONVERSION_SENDERS = {
    "sigint": ("KeyboardInterrupt", """
        import subprocess
        subprocess.Popen(["sh", "-c", "sleep 0.5; kill -INT %d" % os.getpid()])
    """),
    "sigalrm": SENDERS["sigalrm"],
}

CONVERSION_SCRIPT = """
import os, resource, signal, sys, threading, time, tessarin
{cap}
f = tessarin.{name}
short = lambda: [x.hex() for x in tessarin.witt_mao_magnification([0.5, 1.5], 1.0, 0.1)]
before = short()
args = {args}
{send}
start = time.perf_counter()
try:
    f(*args)
    print("returned")
except BaseException as e:
    print("raised", type(e).__name__, "after %.3f s" % (time.perf_counter() - start))
print("same bits", short() == before)
"""


@pytest.mark.parametrize("sender", sorted(CONVERSION_SENDERS))
@pytest.mark.parametrize("case", sorted(ENDLESS_ARGUMENTS))
def test_a_raising_signal_handler_ends_the_conversion_of_an_endless_sequence(case, sender):
    expected, send = CONVERSION_SENDERS[sender]
    name, args = ENDLESS_ARGUMENTS[case]
    # The address space is capped at 2 GB, so that a conversion that does not
    # stop fails fast instead of filling the machine; not under
    # AddressSanitizer, whose shadow memory alone exceeds any such cap.
    cap = "" if UNDER_ASAN else "resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))"
    code = CONVERSION_SCRIPT.format(name=name, args=args, cap=cap,
                                    send=textwrap.indent(textwrap.dedent(send), ""))
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                            timeout=120)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert lines[0].startswith(f"raised {expected} after "), result.stdout
    assert lines[1] == "same bits True"
    print(f"{case} {sender}: {lines[0]}")

"""Hostile arguments for the robustness tests, and what the module must make of them.

Every object here either converts to a known double or fails in a known way,
and knows which: `Fails` says what Python must see when the module meets it.
The rule that decides what reaches Python (the argument-name rule):

- an exception whose type is exactly TypeError becomes a new TypeError
  "argument '<name>': <text>";
- a PanicException raised again by Python code is resumed as a new
  PanicException with the same message;
- every other exception reaches Python unchanged, as the same object.
"""
from __future__ import annotations

import collections
import dataclasses
import math
import os
import struct
import sys
from pathlib import Path

import tessarin

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import function_table  # noqa: E402

INF = math.inf
NAN = math.nan
DBL_MAX = 1.7976931348623157e308
SPECIAL_DOUBLES = [
    0.0, -0.0, 1.0, -1.0, 0.5, 2.0, INF, -INF, NAN, -NAN,
    5e-324, -5e-324, 2.2250738585072014e-308, 2.225073858507201e-308,
    DBL_MAX, -DBL_MAX, 1e-300, 1e300, 1e-8, 1e8, 1.0000000000000002, 0.9999999999999999,
]


def _asan_loaded() -> bool:
    try:
        with open("/proc/self/maps", encoding="utf-8", errors="replace") as maps:
            return any("libasan" in line for line in maps)
    except OSError:
        return False


# AddressSanitizer cannot report a failed allocation as std::bad_alloc: a
# huge reservation ends the process there. A sequence that claims 2**59
# items is harmless elsewhere (the reservation fails, the items are read
# anyway) and is left out under it.
UNDER_ASAN = _asan_loaded()


def bits(x: float) -> bytes:
    return struct.pack("<d", x)


def same_double(a: float, b: float) -> bool:
    """Bit for bit, except that any NaN matches any NaN."""
    return bits(a) == bits(b) or (math.isnan(a) and math.isnan(b))


_panic_class = None


def panic_class() -> type:
    """The PanicException class, reached through a raised instance."""
    global _panic_class
    if _panic_class is None:
        try:
            tessarin.discrete_flux_map_heyrovsky_magnification([], 1.0, 1.0, [0.5], [])
        except BaseException as e:  # noqa: BLE001
            _panic_class = type(e)
    return _panic_class


def planted(exception: BaseException) -> BaseException:
    """Marks an exception that one of the objects below will raise."""
    exception.planted = True
    return exception


class Interrupt(BaseException):
    """Neither an Exception nor anything the module knows."""


class MyTypeError(TypeError):
    """A subclass: passed on unchanged, without the argument name."""


# ---------------------------------------------------------------------------
# What a conversion gives


@dataclasses.dataclass(frozen=True)
class Fails:
    """How the conversion of an argument fails, as Python must see it."""

    kind: str  # "renamed", "same" or "panic"
    text: str = ""  # renamed: the text after "argument 'x': "; panic: the message
    instance: BaseException | None = None  # same: the exception passed on
    cause: BaseException | None = None  # renamed: the __cause__ kept

    def check(self, raised: BaseException, parameter: str) -> None:
        if self.kind == "renamed":
            assert type(raised) is TypeError, repr(raised)
            assert str(raised) == f"argument '{parameter}': {self.text}"
            assert raised.__cause__ is self.cause
            assert raised.__suppress_context__
        elif self.kind == "panic":
            assert type(raised) is panic_class(), repr(raised)
            assert raised.args == (self.text,)
        elif getattr(self.instance, "planted", False):
            # Raised by one of our objects: that very object reaches Python.
            assert raised is self.instance, (repr(raised), repr(self.instance))
        else:
            # Raised by the interpreter (an int too large for a double, ...).
            assert type(raised) is type(self.instance), repr(raised)
            assert raised.args == self.instance.args


def failure_of(exception: BaseException) -> Fails:
    """What the argument-name rule makes of an exception met in a conversion."""
    if type(exception) is TypeError:
        return Fails("renamed", str(exception), cause=exception.__cause__)
    if type(exception) is panic_class():
        return Fails("panic", str(exception))
    return Fails("same", instance=exception)


def float_outcome(obj) -> float | Fails:
    """What the float conversion gives for `obj`. math.ldexp(obj, 0) takes its
    argument through the interpreter's float protocol exactly as the module
    does and returns it unchanged (signed zeros, NaN and infinities too), so
    its value or its exception is the reference."""
    try:
        return math.ldexp(obj, 0)
    except BaseException as e:  # noqa: BLE001
        return failure_of(e)


# ---------------------------------------------------------------------------
# Hostile objects. Each records the protocol calls it receives in `LOG`, so
# that a test can tell which arguments were looked at. The log keeps only the
# latest entries (far more than one call makes), so that the leak tests can
# call these objects millions of times.

LOG: collections.deque[str] = collections.deque(maxlen=256)


class Tagged:
    tag = "?"


class Floaty(Tagged):
    """Converts through __float__."""

    def __init__(self, value: float):
        self.value = value

    def __float__(self):
        LOG.append(self.tag)
        return self.value

    def __repr__(self):
        return f"Floaty({self.value!r})"


class Indexy(Tagged):
    """An integer-like object: converts through __index__."""

    def __init__(self, value: int):
        self.value = value

    def __index__(self):
        LOG.append(self.tag)
        return self.value

    def __repr__(self):
        return f"Indexy({self.value!r})"


class RaisingFloat(Tagged):
    """__float__ raises the given exception (the same object every time, with
    its traceback cleared so that it does not grow from raise to raise)."""

    def __init__(self, exception: BaseException):
        self.exception = exception

    def __float__(self):
        LOG.append(self.tag)
        raise self.exception.with_traceback(None)

    def __repr__(self):
        return f"RaisingFloat({self.exception!r})"


class WrongFloat(Tagged):
    """__float__ returns something that is not a float."""

    def __float__(self):
        LOG.append(self.tag)
        return "1.5"

    def __repr__(self):
        return "WrongFloat()"


class Sequence(Tagged):
    """A sequence by __len__ and __getitem__, whose __len__ may lie or raise,
    and whose iterator may raise after `stop` items."""

    def __init__(self, items, length=None, length_error=None, stop=None, stop_error=None):
        self.items = list(items)
        self.length = length
        self.length_error = length_error
        self.stop = stop
        self.stop_error = stop_error

    def __len__(self):
        LOG.append(self.tag)
        if self.length_error is not None:
            raise self.length_error.with_traceback(None)
        return len(self.items) if self.length is None else self.length

    def __getitem__(self, i):
        return self.items[i]

    def __iter__(self):
        LOG.append(self.tag)
        for i, item in enumerate(self.items):
            if self.stop is not None and i == self.stop:
                raise self.stop_error.with_traceback(None)
            yield item
        if self.stop is not None and self.stop >= len(self.items):
            raise self.stop_error.with_traceback(None)

    def __repr__(self):
        return (f"Sequence({self.items!r}, length={self.length!r}, "
                f"length_error={self.length_error!r}, stop={self.stop!r}, "
                f"stop_error={self.stop_error!r})")


def tag(value, name: str) -> None:
    """Marks every hostile object in an argument with its parameter's name."""
    if isinstance(value, Tagged):
        value.tag = name
    if isinstance(value, (list, tuple, Sequence)):
        for item in (value.items if isinstance(value, Sequence) else value):
            tag(item, name)


def is_sequence(value) -> bool:
    """The interpreter's sequence check: item access, and no mapping."""
    return hasattr(type(value), "__getitem__") and not isinstance(value, dict)


def sequence_oracle(value):
    """What converting `value` to a float sequence must give."""
    if isinstance(value, str):
        return Fails("renamed", "Can't extract `str` to `Vec`")
    if not is_sequence(value):
        return Fails("renamed",
                     f"'{type(value).__qualname__}' object cannot be converted to 'Sequence'")
    if isinstance(value, Sequence):
        if value.length_error is not None:
            # Only an Exception from __len__ is discarded: KeyboardInterrupt,
            # SystemExit and the like (PanicException too) end the call.
            if not isinstance(value.length_error, Exception):
                return failure_of(value.length_error)
        elif value.length is not None and 2**60 <= value.length < 2**63:
            # More doubles than an address space holds: MemoryError, as
            # list() raises for such a hint, before any item is read.
            return Fails("same", instance=MemoryError())
    try:
        iterator = iter(value)
    except BaseException as e:  # noqa: BLE001
        return failure_of(e)
    values = []
    while True:
        try:
            item = next(iterator)
        except StopIteration:
            return values
        except BaseException as e:  # noqa: BLE001
            return failure_of(e)
        outcome = float_outcome(item)
        if isinstance(outcome, Fails):
            return outcome
        values.append(outcome)


@dataclasses.dataclass(frozen=True)
class Function:
    """A module function and the kinds of its parameters."""

    name: str
    parameters: tuple[str, ...]
    sequences: frozenset[str]
    can_fail: bool  # whether the model can return a computation error
    integrated: bool

    @property
    def call(self):
        return getattr(tessarin, self.name)

    @property
    def flux_map(self) -> bool:
        return "bf" in self.parameters

    @property
    def returns_list(self) -> bool:
        return "l" in self.sequences


# (can_fail, integrated) for each function of tools/function_table.py, whose
# names and parameters the table below takes.
TRAITS = {
    "witt_mao_magnification": (True, False),
    "integrated_witt_mao_magnification": (True, True),
    "integrated_flux_map_witt_mao_magnification": (True, True),
    "heyrovsky_magnification": (True, False),
    "integrated_heyrovsky_magnification": (False, True),
    "integrated_flux_map_heyrovsky_magnification": (False, True),
    "discrete_flux_map_heyrovsky_magnification": (True, False),
}
FUNCTIONS = [
    Function(name, tuple(p for p, _ in parameters),
             frozenset(p for p, k in parameters if k == function_table.SEQUENCE), *TRAITS[name])
    for name, parameters in function_table.FUNCTIONS
]
FUNCTION_IDS = [f.name for f in FUNCTIONS]

# Every computation error names the elliptic-integral function that found it.
KERNEL_PREFIXES = ("ellipk: ", "ellipe: ", "ellippi: ", "elliprf: ", "elliprc: ", "elliprd: ",
                   "elliprj: ")


def mismatch_message(left: int, right: int) -> str:
    return f"assertion `left == right` failed\n  left: {left}\n right: {right}"


class stderr_to_devnull:
    """Sends file descriptor 2 to /dev/null: fatal-error reports and resumed
    tracebacks, written thousands of times, would only fill the log."""

    def __enter__(self):
        self.saved = os.dup(2)
        null = os.open(os.devnull, os.O_WRONLY)
        os.dup2(null, 2)
        os.close(null)
        return self

    def __exit__(self, *exc):
        os.dup2(self.saved, 2)
        os.close(self.saved)
        return False

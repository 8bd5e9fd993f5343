"""Binding arguments to parameters and converting them to doubles."""
import array
import ctypes
import math
import struct
import subprocess
import sys
import tempfile
import warnings

import numpy as np
import pytest

import tessarin

wm = tessarin.witt_mao_magnification
ring = tessarin.heyrovsky_magnification


def outcome(f, *args):
    """What a call gives: its value (NaN made comparable) or its exception."""
    try:
        value = f(*args)
    except Exception as e:  # noqa: BLE001 - the model may refuse odd values
        return type(e), e.args
    values = value if isinstance(value, list) else [value]
    return [("nan" if math.isnan(x) else x) for x in values]


class Floaty:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value

    def __repr__(self):
        return f"Floaty({self.value})"


class Indexy:
    def __index__(self):
        return 3


@pytest.mark.parametrize("args, kwargs", [
    ((), {"rstar": 0.1, "re": 1.0, "l": [0.5, 3.0]}),
    (([0.5, 3.0],), {"rstar": 0.1, "re": 1.0}),
    (([0.5, 3.0], 1.0), {"rstar": 0.1}),
])
def test_keywords_in_any_order_and_mixed(args, kwargs):
    assert wm(*args, **kwargs) == wm([0.5, 3.0], 1.0, 0.1)
    assert ring(0.7, **{"rstar": 0.1, "re": 1.0, "r": 0.4}) == ring(0.7, 0.4, 1.0, 0.1)


@pytest.mark.parametrize("value, expected", [
    (1, 1.0), (True, 1.0), (False, 0.0), (Floaty(2.5), 2.5), (Indexy(), 3.0),
    (-1.0, -1.0), (Floaty(-1.0), -1.0), (2**53 + 1, float(2**53 + 1)),
    (float("inf"), float("inf")), (-float("inf"), -float("inf")), (float("nan"), float("nan")),
    (type("F", (float,), {})(0.25), 0.25),
])
def test_float_conversion(value, expected):
    # The model may refuse some of these values, but only as the model
    # (RuntimeError), exactly as it refuses the plain float.
    for args, plain in [(([0.5, 2.0], value, 0.1), ([0.5, 2.0], expected, 0.1)),
                        (([value], 1.0, 0.1), ([expected], 1.0, 0.1))]:
        got = outcome(wm, *args)
        assert got == outcome(wm, *plain)
        assert type(got) is list or got[0] is RuntimeError
    got = outcome(ring, value, 0.5, 1.0, 0.1)
    assert got == outcome(ring, expected, 0.5, 1.0, 0.1)
    assert type(got) is list or got[0] is RuntimeError


class SequenceOf:
    """A sequence by __len__ and __getitem__ only, reporting any length."""

    def __init__(self, items, length=None):
        self.items = list(items)
        self.length = len(self.items) if length is None else length

    def __len__(self):
        return self.length

    def __getitem__(self, i):
        return self.items[i]

    def __repr__(self):
        return f"{type(self).__name__}({self.items}, length={self.length})"


class BrokenLength(SequenceOf):
    def __len__(self):
        raise RuntimeError("no length")


@pytest.mark.parametrize("given", [
    (0.5, 2.0, 3.0),
    range(1, 4),
    SequenceOf([0.5, 2.0]),
    SequenceOf([0.5, 2.0], length=1000),   # a hint, not a promise
    SequenceOf([0.5, 2.0], length=0),
    SequenceOf([0.5, 2.0], length=2**60 - 1),  # cannot be reserved: grown instead
    SequenceOf([0.5, 2.0], length=2**63),  # OverflowError from len(): no hint
    BrokenLength([0.5, 2.0]),
    type("L", (list,), {})([0.5, 2.0]),
    [1, True, Floaty(2.5)],
    b"ab",
    [], (), range(0), b"",
], ids=repr)
def test_sequences_are_read_by_iteration(given):
    expected = [float(x) for x in iter(given)]  # list() would trust __len__
    got = wm(given, 1.0, 0.1)
    assert got == wm(expected, 1.0, 0.1) and len(got) == len(expected)


class RaisingLength(SequenceOf):
    def __init__(self, items, error):
        super().__init__(items)
        self.error = error

    def __len__(self):
        raise self.error


class Interrupted(KeyboardInterrupt):
    pass


@pytest.mark.parametrize("error", [
    KeyboardInterrupt(), SystemExit(3), GeneratorExit(), Interrupted("subclass"),
], ids=repr)
@pytest.mark.parametrize("parameter", ["l", "bl", "bf"])
def test_a_base_exception_from_len_ends_the_call_as_raised(error, parameter):
    # Only an Exception from __len__ means "no length to report"; an
    # interrupt or an exit request there ends the call with that very
    # exception, before any item is read.
    args = {"l": [0.5, 2.0], "re": 1.0, "rstar": 0.1, "bl": [0.0, 1.0], "bf": [1.0, 0.5]}
    args[parameter] = RaisingLength([0.5, 1.0], error)
    with pytest.raises(BaseException) as info:
        tessarin.discrete_flux_map_heyrovsky_magnification(**args)
    assert info.value is error


class Appending:
    """An item that lengthens the list it is in while it is converted."""

    def __init__(self, target):
        self.target = target

    def __float__(self):
        self.target.append(3.0)
        return 2.0


class Removing:
    """An item that removes itself and its successors while converted."""

    def __init__(self, target):
        self.target = target

    def __float__(self):
        del self.target[1:]
        return 2.0


@pytest.mark.parametrize("make", [Appending, Removing])
def test_list_changed_during_conversion_reads_like_its_iterator(make):
    # Exact lists are read by index; list subclasses through their
    # iterator. Both must see the same items.
    plain = [0.5]
    plain += [make(plain), 4.0]
    sub = type("L", (list,), {})([0.5])
    sub += [make(sub), 4.0]
    got = wm(plain, 1.0, 0.1)
    assert got == wm(sub, 1.0, 0.1)
    assert len(got) == (4 if make is Appending else 2)


def test_result_is_a_new_list_of_floats_one_per_separation():
    l = [0.5, 1.0, 2.0, 10.0]
    first, second = wm(l, 1.0, 0.1), wm(l, 1.0, 0.1)
    assert type(first) is list and len(first) == len(l)
    assert all(type(x) is float for x in first)
    assert first == second and first is not second
    assert type(ring(0.5, 0.5, 1.0, 0.1)) is float


# ---------------------------------------------------------------------------
# Buffers: exact NumPy arrays, array.array and memoryview of native doubles
# are read from their memory; the doubles must be those that iterating over
# them gives, bit for bit.

def _double(pattern):
    return struct.unpack("<d", struct.pack("<Q", pattern))[0]


# Quiet and signalling NaNs with payloads of either sign, signed zeros,
# infinities, subnormals, the extremes and plain separations.
BUFFER_VALUES = [0.5, 2.0, _double(0x7FF8_0000_DEAD_BEEF), -0.0, 0.0, math.inf, -math.inf,
                 _double(0xFFF8_0000_0000_0001), _double(0x7FF0_0000_0000_0001), 5e-324,
                 -1.7976931348623157e308, 1e-300, 3.0]


def _strided(values, step):
    """A view with `step` between items; the gaps hold values that must not
    be read."""
    whole = np.full(max(1, len(values) * abs(step)), 99.0)
    view = whole[::step][:len(values)]
    view[:] = values
    return view


def _read_only(a):
    a.flags.writeable = False
    return a


def _unaligned(values):
    raw = b"\0" + np.array(values, dtype=np.float64).tobytes()
    return np.frombuffer(raw, dtype=np.float64, offset=1)  # format "=d"


def _column(values):
    table = np.zeros((len(values), 3))
    table[:, 1] = values
    return table[:, 1]


class Plain(np.ndarray):
    """A subclass that keeps ndarray's item access: read from its buffer."""

    unit = "source radii"


class Mapped(np.memmap):
    pass


def _memmap(values, kind=np.memmap):
    # A file cannot be mapped empty: map one more item and slice (a memmap).
    file = tempfile.TemporaryFile()
    mapped = kind(file, dtype=np.float64, mode="w+", shape=(len(values) + 1,))
    mapped[:len(values)] = values
    return mapped[:len(values)]


BUFFERS = {
    "ndarray": lambda v: np.array(v, dtype=np.float64),
    "ndarray subclass": lambda v: np.array(v, dtype=np.float64).view(Plain),
    "memmap": _memmap,
    "memmap subclass": lambda v: _memmap(v, Mapped),
    "memmap, stride -2": lambda v: _memmap(_strided(v, 1))[::-2],
    "read-only": lambda v: _read_only(np.array(v)),
    "stride 2": lambda v: _strided(v, 2),
    "stride -1": lambda v: np.array(v)[::-1],
    "stride -3": lambda v: _strided(v, -3),
    "column of a 2-D array": _column,
    "unaligned": _unaligned,
    "packed record field": lambda v: np.array(
        [(1, x) for x in v], dtype=np.dtype([("a", "u1"), ("b", "f8")]))["b"],
    "array d": lambda v: array.array("d", v),
    "memoryview of array d": lambda v: memoryview(array.array("d", v)),
    "memoryview of ndarray, step -2": lambda v: memoryview(_strided(v, 1))[::-2],
    "read-only memoryview": lambda v: memoryview(np.array(v)).toreadonly(),
    "memoryview cast from bytes": lambda v: memoryview(
        bytearray(np.array(v).tobytes())).cast("d"),
}


@pytest.mark.parametrize("values", [BUFFER_VALUES, [], [0.25]], ids=["mixed", "empty", "one"])
@pytest.mark.parametrize("make", BUFFERS.values(), ids=BUFFERS.keys())
def test_buffers_give_the_doubles_of_their_iteration(make, values):
    given = make(values)
    items = given.tolist()  # plain floats, as iterating gives them
    assert len(items) == len(given)
    # A NaN's payload reaches the result only through the fluxes of the
    # discrete map; the separations and radii go through finite formulas.
    flux = tessarin.discrete_flux_map_heyrovsky_magnification
    finite = [x for x in items if math.isfinite(x) and x >= 0]
    sep = make(finite)
    radii = make([0.3] * len(values))
    for args, plain in [
        (([0.5, 2.0], 1.0, 0.1, radii, given), ([0.5, 2.0], 1.0, 0.1, radii.tolist(), items)),
        ((sep, 1.0, 0.1, sep, sep), (sep.tolist(), 1.0, 0.1, sep.tolist(), sep.tolist())),
    ]:
        assert bit_outcome(flux, *args) == bit_outcome(flux, *plain)
    assert bit_outcome(wm, sep, 1.0, 0.1) == bit_outcome(wm, sep.tolist(), 1.0, 0.1)


def bit_outcome(f, *args):
    """A call's result as bit patterns, or its exception's type and args."""
    try:
        return [struct.pack("<d", x) for x in f(*args)]
    except Exception as e:  # noqa: BLE001
        return type(e), e.args


class OwnIter(np.ndarray):
    def __iter__(self):
        return iter([7.0, 8.0])


class OwnGetItem(np.ndarray):
    def __getitem__(self, i):  # iteration uses it: two items, then IndexError
        if i >= 2:
            raise IndexError(i)
        return 9.0


class OwnLen(np.ndarray):
    def __len__(self):
        return 1


class MappedGetItem(np.memmap):
    def __getitem__(self, i):  # iteration uses it: two items, then IndexError
        if not isinstance(i, int):
            return super().__getitem__(i)
        if i >= 2:
            raise IndexError(i)
        return 9.0


def _plain3():
    return np.array([0.5, 2.0, 3.0])


def _released():
    view = memoryview(array.array("d", [1.0]))
    view.release()
    return view


# Objects that are not read from their buffer: subclasses, other shapes and
# other item formats. Each converts as its iteration says.
NOT_BUFFERS = {
    "masked array": lambda: np.ma.masked_array([0.5, 2.0, 3.0], mask=[0, 1, 0]),
    "masked array, nothing masked": lambda: np.ma.masked_array([0.5, 2.0, 3.0]),
    "subclass with __iter__": lambda: _plain3().view(OwnIter),
    "subclass with __getitem__": lambda: _plain3().view(OwnGetItem),
    "subclass with __len__": lambda: _plain3().view(OwnLen),
    "memmap subclass with __getitem__": lambda: _memmap([0.5, 2.0, 3.0], MappedGetItem),
    "matrix": lambda: np.matrix([[0.5, 2.0]]),
    "0-d array": lambda: np.array(2.0),
    "2-D array": lambda: np.array([[0.5, 2.0], [3.0, 4.0]]),
    "2-D array, no rows": lambda: np.zeros((0, 3)),
    "float32": lambda: np.array([0.5, 2.0, 3.1], dtype=np.float32),
    "int64": lambda: np.array([1, 2, 3]),
    "big-endian float64": lambda: np.array([0.5, 2.0], dtype=">f8"),
    "object array": lambda: np.array([0.5, 2.0], dtype=object),
    "datetime64": lambda: np.array(["2020-01-01"], dtype="M8[D]"),
    "bytes": lambda: b"ab",
    "memoryview of bytes": lambda: memoryview(b"ab"),
    "array f": lambda: array.array("f", [0.5, 2.0, 3.1]),
    "array i": lambda: array.array("i", [1, 2, 3]),
    "array d subclass": lambda: type("A", (array.array,), {})("d", [0.5, 2.0]),
    "memoryview cast to d, shape (2, 3)": lambda: memoryview(
        array.array("d", [0.5, 1, 2, 3, 4, 5])).cast("B").cast("d", (2, 3)),
    # memoryview iterates native formats only: NotImplementedError.
    "memoryview <d": lambda: memoryview((ctypes.c_double * 2)(0.5, 2.0)),
    "memoryview =d": lambda: memoryview(_unaligned([0.5, 2.0])),
    "memoryview >d": lambda: memoryview((ctypes.c_double.__ctype_be__ * 2)(0.5, 2.0)),
}


def iteration_outcome(f, given):
    """What converting `given` by iterating over it gives: its items in a
    list, or the error that starting the iteration raises."""
    try:
        items = list(iter(given))
    except TypeError as e:
        return TypeError, (f"argument 'l': {e}",)
    except Exception as e:  # noqa: BLE001
        return type(e), e.args
    return bit_outcome(f, items, 1.0, 0.1)


@pytest.mark.parametrize("make", NOT_BUFFERS.values(), ids=NOT_BUFFERS.keys())
def test_other_objects_are_converted_by_iteration(make):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # float() of a masked element warns
        assert bit_outcome(wm, make(), 1.0, 0.1) == iteration_outcome(wm, make())


@pytest.mark.parametrize("make, expected", [
    (NOT_BUFFERS["0-d array"], (TypeError, ("argument 'l': iteration over a 0-d array",))),
    (NOT_BUFFERS["memoryview cast to d, shape (2, 3)"],
     (NotImplementedError, ("multi-dimensional sub-views are not implemented",))),
    # Not compared with its iteration: CPython's iterator of a released view
    # returns with the ValueError set (a SystemError, or an empty list once
    # the error has been cleared); the conversion reports the ValueError.
    (_released, (ValueError, ("operation forbidden on released memoryview object",))),
    (NOT_BUFFERS["subclass with __iter__"], bit_outcome(wm, [7.0, 8.0], 1.0, 0.1)),
    (NOT_BUFFERS["subclass with __getitem__"], bit_outcome(wm, [9.0, 9.0], 1.0, 0.1)),
    (NOT_BUFFERS["subclass with __len__"], bit_outcome(wm, [0.5, 2.0, 3.0], 1.0, 0.1)),
    (NOT_BUFFERS["memmap subclass with __getitem__"], bit_outcome(wm, [9.0, 9.0], 1.0, 0.1)),
])
def test_objects_that_refuse_iteration_keep_their_errors(make, expected):
    assert bit_outcome(wm, make(), 1.0, 0.1) == expected


def test_memmap_is_read_without_calling_its_getitem():
    # Iterating a memmap calls its Python __getitem__ once per item; the
    # buffer holds the same doubles, so none is called.
    mapped = _memmap([0.5 + i / 1000 for i in range(1000)])
    calls = []

    def profile(frame, event, arg):
        if event == "call" and frame.f_code.co_name == "__getitem__":
            calls.append(frame.f_code.co_filename)

    sys.setprofile(profile)
    try:
        got = wm(mapped, 1.0, 0.1)
    finally:
        sys.setprofile(None)
    assert calls == []
    assert got == wm(mapped.tolist(), 1.0, 0.1)


NUMPY_LATE = """
import sys, tessarin
before = tessarin.witt_mao_magnification(memoryview(b"ab"), 1.0, 0.1)
assert "numpy" not in sys.modules, "the call imported numpy"
import numpy as np
a = np.array([0.5, 2.0])[::-1]
assert tessarin.witt_mao_magnification(a, 1.0, 0.1) == tessarin.witt_mao_magnification(
    [2.0, 0.5], 1.0, 0.1)
print("ok")
"""


def test_numpy_is_recognised_without_being_imported():
    result = subprocess.run([sys.executable, "-c", NUMPY_LATE], capture_output=True, text=True,
                            timeout=120)
    assert result.stdout == "ok\n", result.stderr


def test_a_type_named_like_ndarray_is_not_read_from_its_buffer():
    # Same tp_name, not the type that numpy publishes: iterated.
    fake = type("numpy.ndarray", (array.array,), {"__iter__": lambda self: iter([4.0])})
    assert wm(fake("d", [0.5, 2.0]), 1.0, 0.1) == wm([4.0], 1.0, 0.1)

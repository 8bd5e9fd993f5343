"""Binding arguments to parameters and converting them to doubles."""
import math

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

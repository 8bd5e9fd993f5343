"""Property-based tests: whatever the seven functions are given, each call
returns a list of floats of the right length (one float for
heyrovsky_magnification) or raises the exception that belongs to the fault,
and never crashes.

Two families:
- plain doubles of every kind (NaN, infinities, signed zeros, subnormals,
  the extremes) for every parameter: the models' own outcomes, and each
  separation computed on its own, as a list of one gives it;
- hostile objects: every container the conversion accepts or refuses, items
  that convert in every way or fail with any exception, sequences whose
  __len__ lies or raises and iterators that fail midway. What Python must
  see is worked out from the objects themselves (adversarial.py), and a
  call that converts is compared with the same call on plain lists.

The integrated models cost about a millisecond per separation, so they get
short lists and fewer examples.
"""
from __future__ import annotations

import array
import os

import numpy as np
import pytest
from hypothesis import HealthCheck, event, given, note, settings
from hypothesis import strategies as st

from adversarial import (
    FUNCTIONS,
    KERNEL_PREFIXES,
    LOG,
    SPECIAL_DOUBLES,
    UNDER_ASAN,
    Fails,
    Floaty,
    Indexy,
    Interrupt,
    MyTypeError,
    RaisingFloat,
    Sequence,
    WrongFloat,
    float_outcome,
    mismatch_message,
    panic_class,
    planted,
    same_double,
    sequence_oracle,
    tag,
)

_BASE = settings(
    deadline=None,
    derandomize=bool(os.environ.get("CI")),
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large],
)
# Examples per function: the closed forms are cheap, the integrals are not.
CHEAP = settings(_BASE, max_examples=500)
COSTLY = settings(_BASE, max_examples=50)
CLOSED_FORMS = [f for f in FUNCTIONS if not f.integrated]
INTEGRALS = [f for f in FUNCTIONS if f.integrated]


def max_separations(function) -> int:
    return 2 if function.integrated else 6


# Any double, with the ordinary range (separations and radii near the source)
# drawn often enough to reach the interior of every formula.
doubles = st.one_of(st.floats(), st.sampled_from(SPECIAL_DOUBLES), st.floats(-4.0, 4.0))


def call(function, args: dict, positional: bool = False):
    """The outcome of a call: ("value", v) or ("raised", exception)."""
    try:
        if positional:
            return "value", function.call(*[args[p] for p in function.parameters])
        return "value", function.call(**args)
    except BaseException as e:  # noqa: BLE001
        return "raised", e


def same_outcome(a, b) -> bool:
    if a[0] != b[0]:
        return False
    if a[0] == "raised":
        return type(a[1]) is type(b[1]) and a[1].args == b[1].args
    x, y = a[1], b[1]
    if isinstance(x, list):
        return (type(y) is list and len(x) == len(y)
                and all(same_double(p, q) for p, q in zip(x, y)))
    return same_double(x, y)


def check_model_outcome(function, converted: dict, outcome) -> None:
    """What a call whose arguments all converted may give."""
    kind, value = outcome
    if function.flux_map and len(converted["bl"]) != len(converted["bf"]):
        assert kind == "raised" and type(value) is panic_class(), value
        assert value.args == (mismatch_message(len(converted["bl"]), len(converted["bf"])),)
        return
    if kind == "raised":
        assert function.can_fail, repr(value)
        assert type(value) is RuntimeError, repr(value)
        assert len(value.args) == 1 and value.args[0].startswith(KERNEL_PREFIXES), value.args
        return
    if function.returns_list:
        assert type(value) is list and len(value) == len(converted["l"])
        assert all(type(x) is float for x in value)
    else:
        assert type(value) is float


def check_separations_independent(function, converted: dict, outcome) -> None:
    """Each separation is computed on its own: a list of one gives the same
    double, and a failing list fails as its first failing separation does."""
    for i, x in enumerate(converted["l"]):
        single = call(function, {**converted, "l": [x]})
        if outcome[0] == "value":
            assert single[0] == "value", single
            assert same_double(single[1][0], outcome[1][i]), (i, single, outcome)
        elif single[0] == "raised":
            assert same_outcome(single, outcome), (i, single, outcome)
            return
    assert outcome[0] == "value", ("no separation fails alone", outcome)


# ---------------------------------------------------------------------------
# Plain doubles


@st.composite
def plain_arguments(draw, function):
    args = {}
    for p in function.parameters:
        if p == "l" and p in function.sequences:
            args[p] = draw(st.lists(doubles, max_size=max_separations(function)))
        elif p not in function.sequences:
            args[p] = draw(doubles)
    if function.flux_map:
        n = draw(st.integers(0, 4))
        args["bl"] = draw(st.lists(doubles, min_size=n, max_size=n))
        # Now and then tables of unequal lengths: a fatal error.
        m = draw(st.one_of(st.just(n), st.integers(0, 4)))
        args["bf"] = draw(st.lists(doubles, min_size=m, max_size=m))
    return args


def check_any_doubles(function, args, positional):
    outcome = call(function, args, positional)
    note(f"outcome: {outcome!r}")
    check_model_outcome(function, args, outcome)
    if function.returns_list and not (function.flux_map and len(args["bl"]) != len(args["bf"])):
        check_separations_independent(function, args, outcome)


@pytest.mark.parametrize("fn", CLOSED_FORMS, ids=lambda f: f.name)
@CHEAP
@given(data=st.data(), positional=st.booleans())
def test_any_doubles(fn, data, positional):
    check_any_doubles(fn, data.draw(plain_arguments(fn), label="args"), positional)


@pytest.mark.parametrize("fn", INTEGRALS, ids=lambda f: f.name)
@COSTLY
@given(data=st.data(), positional=st.booleans())
def test_any_doubles_integrated(fn, data, positional):
    check_any_doubles(fn, data.draw(plain_arguments(fn), label="args"), positional)


# ---------------------------------------------------------------------------
# Hostile objects


class FloatSub(float):
    pass


class ListSub(list):
    pass


class StrSub(str):
    pass


def _with_cause(exception, cause):
    exception.__cause__ = cause
    return exception


# A fresh exception of every kind a conversion can meet.
EXCEPTIONS = st.one_of(
    st.builds(lambda: TypeError("item refused")),
    st.builds(lambda: _with_cause(TypeError("item refused"), KeyError("why"))),
    st.builds(lambda: MyTypeError("subclass")),
    st.builds(lambda: ValueError("bad value")),
    st.builds(lambda: OverflowError("too big")),
    st.builds(lambda: MemoryError()),
    st.builds(lambda: Interrupt("stop")),
    st.builds(lambda: panic_class()("raised again by Python code")),
).map(planted)

_BIG_INTS = st.integers(min_value=-2**1100, max_value=2**1100)
_CONVERTING = st.one_of(
    doubles,
    _BIG_INTS,
    st.booleans(),
    doubles.map(Floaty),
    doubles.map(FloatSub),
    _BIG_INTS.map(Indexy),
    doubles.map(np.float64),
    st.floats(width=32).map(np.float32),
    st.integers(min_value=-2**63, max_value=2**63 - 1).map(np.int64),
)
_REFUSING = st.one_of(
    st.sampled_from([None, "1.5", "", b"x", 1j]),
    st.builds(list),
    st.builds(WrongFloat),
    EXCEPTIONS.map(RaisingFloat),
)
# Objects for a float parameter or a sequence item: most convert.
ITEMS = st.one_of(_CONVERTING, _CONVERTING, _CONVERTING, _REFUSING)

# What a sequence's __len__ reports: the truth, a small lie, a negative
# number (ValueError), 2**60 or more (no vector can be that long), or more
# than an index holds (OverflowError).
_BIG_LENGTHS = [2**60, 2**62, 2**63 - 1, 2**63, 2**100]
if not UNDER_ASAN:
    _BIG_LENGTHS += [2**59, 2**60 - 1]  # cannot be reserved: read anyway
LENGTHS = st.one_of(st.none(), st.integers(-3, 40), st.sampled_from(_BIG_LENGTHS))

# Refused before any item is looked at.
NOT_SEQUENCES = st.one_of(
    st.text(max_size=3), st.text(max_size=3).map(StrSub),
    st.builds(lambda: {1.0}), st.builds(dict), st.builds(lambda: (x for x in [1.0])),
    st.sampled_from([None, 1.0, 3, object()]))


def _range(start, n, step):
    return range(start, start + n * step, step)


def _float64_view(values, step, writeable):
    whole = np.full(max(1, len(values) * abs(step)), 99.0)
    view = whole[::step][:len(values)]
    view[:] = values
    view.flags.writeable = writeable
    return view


_SEQUENCES = {}


def hostile_sequences(max_size: int):
    """Every kind of container, holding at most `max_size` items."""
    if max_size in _SEQUENCES:
        return _SEQUENCES[max_size]
    item_lists = st.lists(ITEMS, max_size=max_size)
    float_lists = st.lists(doubles, max_size=max_size)
    int64 = st.integers(min_value=-2**63, max_value=2**63 - 1)
    sized = st.integers(0, max_size)
    strategy = st.one_of(
        item_lists,
        item_lists.map(tuple),
        item_lists.map(ListSub),
        float_lists.map(lambda v: array.array("d", v)),
        float_lists.map(lambda v: np.array(v, dtype=np.float64)),
        st.lists(st.floats(width=32), max_size=max_size).map(
            lambda v: np.array(v, dtype=np.float32)),
        st.lists(int64, max_size=max_size).map(lambda v: np.array(v, dtype=np.int64)),
        item_lists.map(lambda v: np.array(v + [None], dtype=object)[:-1]),
        doubles.map(np.array),  # 0-d: no length, no iteration
        sized.map(lambda n: np.zeros((n, 2))),  # rows are not numbers
        float_lists.map(lambda v: memoryview(array.array("d", v))),
        # Read from their buffers: any stride, read-only, unaligned.
        st.builds(_float64_view, float_lists, st.sampled_from([1, 2, -1, -3]), st.booleans()),
        float_lists.map(lambda v: np.frombuffer(b"\0" + np.array(v).tobytes(), offset=1)),
        float_lists.map(lambda v: memoryview(np.array(v + v))[::-2]),
        st.lists(st.integers(0, 255), max_size=max_size).map(bytes),
        st.lists(st.integers(0, 255), max_size=max_size).map(bytearray),
        st.builds(_range, st.one_of(st.integers(-10, 10), _BIG_INTS), sized,
                  st.sampled_from([1, -1, 3, 2**70])),
        NOT_SEQUENCES,
        st.builds(Sequence, item_lists, length=LENGTHS),
        st.builds(Sequence, item_lists, length_error=EXCEPTIONS),
        st.builds(Sequence, item_lists, length=LENGTHS, stop=sized, stop_error=EXCEPTIONS),
    )
    _SEQUENCES[max_size] = strategy
    return strategy


def hostile_arguments(function):
    return st.fixed_dictionaries({
        p: (hostile_sequences(max_separations(function) if p == "l" else 4)
            if p in function.sequences else ITEMS)
        for p in function.parameters
    })


def check_hostile(function, args, positional):
    # The expected outcome, argument by argument in parameter order.
    converted, failed = {}, None
    for p in function.parameters:
        outcome = (sequence_oracle(args[p]) if p in function.sequences
                   else float_outcome(args[p]))
        if isinstance(outcome, Fails):
            failed = (p, outcome)
            break
        converted[p] = outcome
    note(f"expected: {failed or converted!r}")
    event("converted" if failed is None else f"{failed[1].kind}")

    for p in function.parameters:
        tag(args[p], p)
    LOG.clear()
    outcome = call(function, args, positional)
    note(f"outcome: {outcome!r}")

    if failed is not None:
        parameter, fails = failed
        assert outcome[0] == "raised", outcome
        fails.check(outcome[1], parameter)
        # Parameters after the failing one are never looked at.
        later = set(function.parameters[function.parameters.index(parameter) + 1:])
        assert not later & set(LOG), LOG
        return
    check_model_outcome(function, converted, outcome)
    # The conversion produced exactly the doubles that plain lists hold.
    assert same_outcome(outcome, call(function, converted)), converted


@pytest.mark.parametrize("fn", CLOSED_FORMS, ids=lambda f: f.name)
@CHEAP
@given(data=st.data(), positional=st.booleans())
def test_hostile_arguments(fn, data, positional):
    check_hostile(fn, data.draw(hostile_arguments(fn), label="args"), positional)


@pytest.mark.parametrize("fn", INTEGRALS, ids=lambda f: f.name)
@COSTLY
@given(data=st.data(), positional=st.booleans())
def test_hostile_arguments_integrated(fn, data, positional):
    check_hostile(fn, data.draw(hostile_arguments(fn), label="args"), positional)

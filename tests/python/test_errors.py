"""The exceptions of binding and conversion, for every function."""
import math
import sys

import pytest

import tessarin


def raises(function, *args, **kwargs):
    with pytest.raises(BaseException) as info:
        function.call(*args, **kwargs)
    return info.value


def type_error(function, *args, **kwargs) -> str:
    e = raises(function, *args, **kwargs)
    assert type(e) is TypeError
    return str(e)


def quoted(names):
    names = [f"'{n}'" for n in names]
    if len(names) <= 2:
        return " and ".join(names)
    return ", ".join(names[:-1]) + ", and " + names[-1]


WM = "witt_mao_magnification()"


@pytest.mark.parametrize("call, message", [
    (lambda f: f([1.0], 1.0), f"{WM} missing 1 required positional argument: 'rstar'"),
    (lambda f: f(), f"{WM} missing 3 required positional arguments: 'l', 're', and 'rstar'"),
    (lambda f: f(re=1.0), f"{WM} missing 2 required positional arguments: 'l' and 'rstar'"),
    (lambda f: f([1.0], 1.0, 0.1, 2.0), f"{WM} takes 3 positional arguments but 4 were given"),
    (lambda f: f([1.0], 1.0, 0.1, l=[2.0]), f"{WM} got multiple values for argument 'l'"),
    (lambda f: f([1.0], 1.0, 0.1, x=1), f"{WM} got an unexpected keyword argument 'x'"),
    (lambda f: f("abc", 1.0, 0.1), "argument 'l': Can't extract `str` to `Vec`"),
    (lambda f: f({1.0}, 1.0, 0.1),
     "argument 'l': 'set' object cannot be converted to 'Sequence'"),
    (lambda f: f([1.0], "1", 0.1), "argument 're': must be real number, not str"),
])
def test_witt_mao_messages(call, message):
    with pytest.raises(TypeError) as info:
        call(tessarin.witt_mao_magnification)
    assert type(info.value) is TypeError and str(info.value) == message


def test_missing_arguments(function):
    full, params = function.name + "()", function.parameters
    n = len(params)
    assert type_error(function) == (
        f"{full} missing {n} required positional arguments: {quoted(params)}")
    args = list(function.valid_arguments().values())
    assert type_error(function, *args[:-1]) == (
        f"{full} missing 1 required positional argument: '{params[-1]}'")
    # Keywords fill the middle: the missing ones are listed in parameter order.
    kw = {params[1]: args[1]}
    assert type_error(function, **kw) == (
        f"{full} missing {n - 1} required positional arguments: "
        f"{quoted([params[0], *params[2:]])}")
    assert type_error(function, *args[:-2]) == (
        f"{full} missing 2 required positional arguments: {quoted(params[-2:])}")


def test_too_many_positional_arguments(function):
    args = list(function.valid_arguments().values())
    n = len(args)
    full = function.name + "()"
    assert type_error(function, *args, 1.0) == (
        f"{full} takes {n} positional arguments but {n + 1} were given")
    # Counted before any keyword is looked at.
    assert type_error(function, *args, 1.0, 2.0, bogus=1) == (
        f"{full} takes {n} positional arguments but {n + 2} were given")


def test_multiple_values(function):
    args = list(function.valid_arguments().values())
    first, last = function.parameters[0], function.parameters[-1]
    assert type_error(function, *args, **{first: args[0]}) == (
        f"{function.name}() got multiple values for argument '{first}'")
    kw = function.valid_arguments()
    del kw[first]
    assert type_error(function, args[0], **kw, **{"X": 0}) == (
        f"{function.name}() got an unexpected keyword argument 'X'")
    # The first failing keyword wins, in the order given.
    assert type_error(function, *args[:-1], **{last: 1.0, first: 1.0, "zz": 1}) == (
        f"{function.name}() got multiple values for argument '{first}'")


@pytest.mark.parametrize("name, shown", [
    ("x", "x"),
    ("L", "L"),             # names are case-sensitive
    ("re ", "re "),
    ("l\udc80", "l\ufffd\ufffd\ufffd"),  # a lone surrogate: one U+FFFD per byte
    ("ré", "ré"),
])
def test_unexpected_keyword(function, name, shown):
    args = list(function.valid_arguments().values())
    assert type_error(function, *args, **{name: 1}) == (
        f"{function.name}() got an unexpected keyword argument '{shown}'")


class Outer:
    class Inner:
        pass


def test_sequence_parameters_refuse_str_and_non_sequences(function):
    for parameter in function.sequence_parameters:
        for bad, text in [
            ("abc", "Can't extract `str` to `Vec`"),
            ("", "Can't extract `str` to `Vec`"),
            (type("S", (str,), {})("1"), "Can't extract `str` to `Vec`"),
            ({1.0}, "'set' object cannot be converted to 'Sequence'"),
            ({1.0: 1.0}, "'dict' object cannot be converted to 'Sequence'"),
            ((x for x in [1.0]), "'generator' object cannot be converted to 'Sequence'"),
            (1.0, "'float' object cannot be converted to 'Sequence'"),
            (None, "'NoneType' object cannot be converted to 'Sequence'"),
            (Outer.Inner(), "'Outer.Inner' object cannot be converted to 'Sequence'"),
        ]:
            kw = function.valid_arguments()
            kw[parameter] = bad
            e = raises(function, **kw)
            assert type(e) is TypeError
            assert str(e) == f"argument '{parameter}': {text}"
            assert e.__cause__ is None and e.__suppress_context__


@pytest.mark.parametrize("qualname", [ValueError("hidden"), 42])
def test_unreadable_type_name(function, qualname):
    class Meta(type):
        def __getattribute__(cls, name):
            if name != "__qualname__":
                return super().__getattribute__(name)
            if isinstance(qualname, BaseException):
                raise qualname
            return qualname

    class Hidden(metaclass=Meta):
        pass

    for parameter in function.sequence_parameters:
        kw = function.valid_arguments()
        kw[parameter] = Hidden()
        assert type_error(function, **kw) == (
            f"argument '{parameter}': '<failed to extract type name>' object cannot be "
            "converted to 'Sequence'")


def float_refusal(value) -> str:
    """The interpreter's own message (math.isnan converts as the module does)."""
    try:
        math.isnan(value)
    except TypeError as e:
        return str(e)
    raise AssertionError("float() accepted it")


def test_float_and_item_refusals_name_the_argument(function):
    for parameter, kind in zip(function.parameters, function.kinds):
        for bad in ["x", [1.0], None, 1j]:
            kw = function.valid_arguments()
            kw[parameter] = [0.5, bad] if kind == "sequence" else bad
            e = raises(function, **kw)
            assert type(e) is TypeError
            assert str(e) == f"argument '{parameter}': {float_refusal(bad)}"
            assert e.__cause__ is None and e.__suppress_context__


class Raising:
    def __init__(self, exception):
        self.exception = exception

    def __float__(self):
        raise self.exception


def put(function, parameter, value):
    kw = function.valid_arguments()
    kind = function.kinds[function.parameters.index(parameter)]
    kw[parameter] = [0.5, value] if kind == "sequence" else value
    return kw


def test_type_error_keeps_its_cause(function):
    cause = KeyError("why")
    inner = TypeError("inner text")
    inner.__cause__ = cause
    for parameter in function.parameters:
        e = raises(function, **put(function, parameter, Raising(inner)))
        assert type(e) is TypeError
        assert str(e) == f"argument '{parameter}': inner text"
        assert e.__cause__ is cause and e.__suppress_context__


@pytest.mark.parametrize("exception", [
    ValueError("bad value"), OverflowError("too big"),
    type("MyTypeError", (TypeError,), {})("subclass"), KeyboardInterrupt(),
], ids=lambda e: type(e).__name__)
def test_other_exceptions_pass_unchanged(function, exception):
    for parameter in function.parameters:
        e = raises(function, **put(function, parameter, Raising(exception)))
        assert e is exception
        assert str(e) == str(exception)


def test_first_bad_argument_wins_and_later_ones_are_not_touched(function):
    kw = put(function, function.parameters[0], "x")
    for p in function.parameters[1:]:
        kw.update({p: put(function, p, Raising(AssertionError("touched")))[p]})
    assert str(raises(function, **kw)).startswith(f"argument '{function.parameters[0]}': ")


class Unprintable:
    def __str__(self):
        raise ValueError("no text")


def test_unprintable_error_text(function, monkeypatch):
    seen = []
    monkeypatch.setattr(sys, "unraisablehook", lambda u: seen.append(u))
    parameter = function.parameters[0]
    e = raises(function, **put(function, parameter, Raising(TypeError(Unprintable()))))
    assert str(e) == f"argument '{parameter}': <unprintable TypeError object>"
    assert len(seen) == 1 and type(seen[0].exc_value) is ValueError
    assert type(seen[0].object) is TypeError


def test_unprintable_keyword_name(function, monkeypatch):
    class Name(str):
        def __str__(self):
            raise ValueError("no text")

    seen = []
    monkeypatch.setattr(sys, "unraisablehook", lambda u: seen.append(u))
    args = list(function.valid_arguments().values())
    assert type_error(function, *args, **{Name("zz"): 1}) == (
        f"{function.name}() got an unexpected keyword argument '<unprintable Name object>'")
    assert len(seen) == 1 and str(seen[0].exc_value) == "no text"


def test_computation_error_is_runtime_error():
    with pytest.raises(RuntimeError) as info:
        tessarin.witt_mao_magnification([2.0, -5.0], 1.0, 0.1)
    assert info.value.args == ("elliprj: Fail to converge",)
    assert type(info.value) is RuntimeError

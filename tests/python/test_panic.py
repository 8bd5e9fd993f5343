"""Fatal errors: PanicException, the report on standard error, resuming."""
import re
import subprocess
import sys
import textwrap

import pytest

import tessarin

MISMATCH = "assertion `left == right` failed\n  left: 3\n right: 2"
DOC = (
    "\nThe exception raised when C++ code called from Python panics.\n\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n"
)


def mismatch(function):
    return function.call([1.0], 1.0, 1.0, [0.1, 0.2, 0.3], [1.0, 1.0])


def catch_panic(call):
    try:
        call()
    except Exception:  # noqa: BLE001
        pytest.fail("except Exception caught a PanicException")
    except BaseException as e:  # noqa: BLE001
        return e
    pytest.fail("no exception")


def test_length_mismatch_raises_panic_exception(flux_map_function, capfd):
    e = catch_panic(lambda: mismatch(flux_map_function))
    cls = type(e)
    assert cls.__name__ == cls.__qualname__ == "PanicException"
    assert cls.__module__ == "pyo3_runtime"
    assert cls.__bases__ == (BaseException,)
    assert cls.__doc__ == DOC
    assert e.args == (MISMATCH,) and str(e) == MISMATCH
    report = capfd.readouterr().err
    assert report.startswith("thread '<unnamed>' panicked at ")
    assert ":\n" + MISMATCH + "\n" in report
    # The location is the file's path inside the project.
    assert re.match(r"thread '<unnamed>' panicked at src/models/\w+\.cpp:\d+:\d+:\n", report)


def test_one_class_for_every_panic_and_not_a_module_attribute(flux_map_function):
    first = type(catch_panic(lambda: mismatch(flux_map_function)))
    again = type(catch_panic(lambda: tessarin.discrete_flux_map_heyrovsky_magnification(
        [1.0], 1.0, 1.0, [0.1], [])))
    assert first is again
    assert all(getattr(tessarin, n) is not first for n in dir(tessarin))
    assert "pyo3_runtime" not in sys.modules


class Huge:
    """Says it holds 2**61 items (more doubles than an address space) and
    yields three."""

    def __len__(self):
        return 2**61

    def __getitem__(self, i):
        if i < 3:
            return 0.5
        raise IndexError(i)


def test_a_length_hint_beyond_any_vector_is_memory_error_as_for_list(function, capfd):
    with pytest.raises(MemoryError):
        list(Huge())
    capfd.readouterr()
    for parameter in function.sequence_parameters:
        kw = function.valid_arguments()
        kw[parameter] = Huge()
        with pytest.raises(MemoryError) as raised:
            function.call(**kw)
        assert type(raised.value) is MemoryError and raised.value.args == ()
        # No fatal-error report: nothing is written at all.
        assert capfd.readouterr().err == ""
        function.call(**function.valid_arguments())


def run_python(code: str) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)],
                          capture_output=True, text=True, timeout=60)


RESUME = ("--- PyO3 is resuming a panic after fetching a PanicException from Python. ---\n"
          "Python stack trace below:\n")


@pytest.mark.parametrize("hook", ["__float__", "__len__", "__iter__"])
def test_panic_exception_raised_again_by_python_code_is_resumed(hook):
    result = run_python(f"""
        import tessarin
        try:
            tessarin.discrete_flux_map_heyrovsky_magnification(
                [1.0], 1.0, 1.0, [0.1, 0.2, 0.3], [1.0, 1.0])
        except BaseException as e:
            caught = e

        class Item:
            def __float__(self):
                raise caught

        class Sized(list):
            def __len__(self):
                raise caught

        class Iterable(list):
            def __iter__(self):
                raise caught

        value = {{"__float__": [0.5, Item()],
                  "__len__": Sized([0.5]), "__iter__": Iterable([0.5])}}["{hook}"]
        try:
            tessarin.witt_mao_magnification(value, 1.0, 0.1)
        except Exception:
            print("caught by except Exception")
        except BaseException as e:
            print(type(e) is type(caught), e is not caught, e.args == caught.args)
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout == "True True True\n"
    err = result.stderr
    # The first fatal error is reported; the resumed one is not reported again.
    assert err.count("panicked at") == 1
    assert err.count("note:") == 1
    resumed = err[err.index(RESUME):]
    assert resumed.startswith(RESUME + "Traceback (most recent call last):\n")
    assert resumed.endswith("pyo3_runtime.PanicException: assertion `left == right` failed\n"
                            "  left: 3\n right: 2\n")
    assert f", in {hook}\n" in resumed


def test_subclass_of_panic_exception_is_not_resumed():
    result = run_python("""
        import tessarin
        try:
            tessarin.discrete_flux_map_heyrovsky_magnification([], 1.0, 1.0, [0.1], [])
        except BaseException as e:
            Panic = type(e)

        class Mine(Panic):
            pass

        class Item:
            def __float__(self):
                raise Mine("mine")

        try:
            tessarin.witt_mao_magnification([Item()], 1.0, 0.1)
        except Mine as e:
            print("passed on", e.args)
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout == "passed on ('mine',)\n"
    assert "resuming" not in result.stderr


def test_unprintable_panic_exception_is_resumed_with_a_fixed_message():
    result = run_python("""
        import tessarin
        try:
            tessarin.discrete_flux_map_heyrovsky_magnification([], 1.0, 1.0, [0.1], [])
        except BaseException as e:
            Panic = type(e)

        class Bad:
            def __str__(self):
                raise ValueError

        class Item:
            def __float__(self):
                raise Panic(Bad())

        try:
            tessarin.witt_mao_magnification([Item()], 1.0, 0.1)
        except BaseException as e:
            print(type(e) is Panic, e.args)
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout == "True ('Unwrapped panic from Python code',)\n"

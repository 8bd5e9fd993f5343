"""What the module shows once imported: attributes, functions, signatures."""
import inspect
import shutil
import subprocess
import sys
import textwrap

import pytest

import tessarin
from conftest import FUNCTIONS


def test_module_attributes():
    assert tessarin.__name__ == "tessarin"
    assert tessarin.__doc__ == "A Python module implemented in C++."
    assert tessarin.__all__ == [f.name for f in FUNCTIONS]
    public = sorted(n for n in vars(tessarin) if not n.startswith("__"))
    # The seven functions and the submodule of the fitting functions, which
    # `__all__` leaves out (a star import brings the functions alone).
    assert public == sorted([f.name for f in FUNCTIONS] + ["fspl"])
    assert type(tessarin.fspl) is type(tessarin)
    assert tessarin.fspl.__name__ == "tessarin.fspl"


def test_function_object(function):
    f = function.call
    assert type(f).__name__ == "builtin_function_or_method"
    assert f.__name__ == f.__qualname__ == function.name
    assert f.__module__ == "tessarin"
    assert f.__self__ is tessarin
    assert f.__text_signature__ == "(" + ", ".join(function.parameters) + ")"
    assert f.__doc__ is None
    parameters = inspect.signature(f).parameters
    assert list(parameters) == list(function.parameters)
    for p in parameters.values():
        assert p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD
        assert p.default is inspect.Parameter.empty


def run_python(code: str) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)],
                          capture_output=True, text=True, timeout=60)


def test_second_initialisation_fails_and_the_first_module_lives_on():
    result = run_python("""
        import sys
        import tessarin
        first = tessarin
        before = first.witt_mao_magnification([2.0], 1.0, 0.1)
        del sys.modules["tessarin"]
        for attempt in range(2):
            try:
                import tessarin
            except ImportError as e:
                print(type(e).__name__, e)
            else:
                print("imported again")
        print(first.witt_mao_magnification([2.0], 1.0, 0.1) == before)
    """)
    assert result.returncode == 0, result.stderr
    message = ("PyO3 modules compiled for CPython 3.8 or older may only be initialized "
               "once per interpreter process")
    assert result.stdout.splitlines() == ["ImportError " + message] * 2 + ["True"]


@pytest.mark.skipif(shutil.which("nm") is None, reason="needs nm from binutils")
def test_only_the_init_function_is_exported():
    out = subprocess.run(["nm", "-D", "--defined-only", tessarin.__file__],
                         capture_output=True, text=True, check=True).stdout
    assert [line.split()[-1] for line in out.splitlines()] == ["PyInit_tessarin"]

"""The Python face of tessarin.fspl: the submodule, the functions' objects,
how arguments are bound, converted and broadcast, `out`, `rtol` and the
table, and what the calls share with the interpreter (its lock, signals,
process pools, references).

The values themselves belong to the kernel's tests; here a result is only
compared with the same function called on the same numbers in another
form, bit for bit.
"""
from __future__ import annotations

import inspect
import pickle
import subprocess
import sys
import textwrap
import threading
import time
from concurrent.futures import ProcessPoolExecutor
import multiprocessing

import numpy as np
import pytest

import tessarin
from tessarin import fspl
from test_leaks import assert_no_leak

MU = np.linspace(0.0, 1.0, 11)
INTENSITY = 1.0 - 0.6 * (1.0 - MU)

# name, the parameters after u and rho, valid values of them.
LAWS = [
    ("uniform", (), ()),
    ("linear", ("c",), (0.6,)),
    ("quadratic", ("a", "b"), (0.45, 0.25)),
    ("square_root", ("c", "d"), (0.3, 0.4)),
    ("logarithmic", ("c", "d"), (0.6, 0.2)),
    ("power2", ("c", "alpha"), (0.6, 0.5)),
    ("claret", ("a1", "a2", "a3", "a4"), (0.5, 0.1, 0.2, -0.1)),
    ("tabulated", ("mu", "intensity"), (MU, INTENSITY)),
]
NAMES = [name for name, _, _ in LAWS]
BROADCAST_LAWS = [law for law in LAWS if law[0] != "tabulated"]
# The surface brightness each docstring states.
PROFILES = {
    "uniform": "I(mu) = 1.",
    "linear": "I(mu) = 1 - c (1 - mu)",
    "quadratic": "I(mu) = 1 - a (1 - mu) - b (1 - mu)^2",
    "square_root": "I(mu) = 1 - c (1 - mu) - d (1 - sqrt(mu))",
    "logarithmic": "I(mu) = 1 - c (1 - mu) - d mu ln(mu)",
    "power2": "I(mu) = 1 - c (1 - mu^alpha)",
    "claret": "a_k (1 - mu^(k/2))",
    "tabulated": "interpolated linearly in mu",
}


def law_ids(laws):
    return [law[0] for law in laws]


def run_python(code: str, timeout=120) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                          text=True, timeout=timeout)


def same_bits(a, b) -> bool:
    a, b = np.asarray(a, np.float64), np.asarray(b, np.float64)
    return a.shape == b.shape and a.tobytes() == b.tobytes()


# ---------------------------------------------------------------------------
# The submodule and its functions.

def test_submodule_is_importable_every_way():
    import tessarin.fspl as imported
    assert imported is fspl is tessarin.fspl is sys.modules["tessarin.fspl"]
    assert fspl.__name__ == "tessarin.fspl"
    assert fspl.__all__ == NAMES
    assert sorted(n for n in vars(fspl) if not n.startswith("__")) == sorted(NAMES)
    assert "fspl" not in tessarin.__all__


@pytest.mark.parametrize("name, coefficients, values", LAWS, ids=law_ids(LAWS))
def test_function_object(name, coefficients, values):
    f = getattr(fspl, name)
    assert type(f).__name__ == "builtin_function_or_method"
    assert f.__name__ == f.__qualname__ == name
    assert f.__module__ == "tessarin.fspl"
    assert f.__self__ is fspl
    parameters = ("u", "rho") + coefficients
    assert f.__text_signature__ == (
        "(" + ", ".join(parameters) + ", *, rtol=1e-08, out=None, gradient=False)")
    signature = inspect.signature(f).parameters
    assert list(signature) == list(parameters) + ["rtol", "out", "gradient"]
    for p in parameters:
        assert signature[p].kind is inspect.Parameter.POSITIONAL_OR_KEYWORD
        assert signature[p].default is inspect.Parameter.empty
    for k in ("rtol", "out", "gradient"):
        assert signature[k].kind is inspect.Parameter.KEYWORD_ONLY
    assert [signature[k].default for k in ("rtol", "out", "gradient")] == [1e-8, None, False]
    doc = f.__doc__
    for phrase in [PROFILES[name], "mu = sqrt(1 - r^2)", "Einstein radii", "1e-12", "1e-3",
                   "rtol * (A - 1) + 4 eps", "1e-6 <= rho <= 1e3", "NaN", "u = inf gives 1",
                   "np.ma.filled(x, nan)", f">>> A = fspl.{name}("]:
        assert phrase in doc, (name, phrase)
    if name == "linear":
        assert "c = 3 Gamma / (2 + Gamma)" in doc and "An et al. (2002)" in doc


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_functions_pickle_by_reference(protocol):
    for name in NAMES:
        f = getattr(fspl, name)
        assert pickle.loads(pickle.dumps(f, protocol)) is f


def _call_in_worker(f, args):
    return f.__module__, f(*args)


def test_functions_and_results_cross_a_process_pool():
    u = np.linspace(0.0, 3.0, 31)
    calls = [(getattr(fspl, name), (u, 0.1) + tuple(values)) for name, _, values in LAWS]
    with ProcessPoolExecutor(2, mp_context=multiprocessing.get_context("spawn")) as pool:
        got = [pool.submit(_call_in_worker, f, args).result(timeout=300) for f, args in calls]
    for (f, args), (module, value) in zip(calls, got):
        assert module == "tessarin.fspl" and same_bits(value, f(*args))


def test_numpy_is_imported_at_the_first_call_only():
    result = run_python("""
        import sys
        before = set(sys.modules)
        import tessarin
        import tessarin.fspl
        from tessarin import fspl
        print(sorted(set(sys.modules) - before))
        tessarin.witt_mao_magnification([2.0], 1.0, 0.1)
        print("numpy" in sys.modules)
        fspl.linear(0.5, 0.1, 0.6)
        print("numpy" in sys.modules)
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["['tessarin', 'tessarin.fspl']", "False", "True"]


def test_without_numpy_a_call_raises_import_error_and_the_module_goes_on():
    result = run_python("""
        import sys
        sys.modules["numpy"] = None  # as if it were not installed
        import tessarin
        from tessarin import fspl
        for _ in range(2):
            try:
                fspl.uniform(0.5, 0.1)
            except ImportError as e:
                print(type(e).__name__, e, "|", type(e.__cause__).__name__)
        print(tessarin.witt_mao_magnification([0.0], 1.0, 1.0))
        del sys.modules["numpy"]
        print(type(fspl.uniform(0.5, 0.1)).__name__)
    """)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    message = "ImportError tessarin.fspl needs NumPy 1.23 or newer (pip install 'numpy>=1.23'): "
    assert lines[0].startswith(message) and lines[0].endswith("| ModuleNotFoundError")
    assert lines[1] == lines[0]
    assert lines[2:] == ["[2.23606797749979]", "float64"]


# ---------------------------------------------------------------------------
# Binding and converting the arguments.

BINDING_ERRORS = [
    ("linear", (), {}, "linear() missing 3 required positional arguments: 'u', 'rho', and 'c'"),
    ("linear", (0.5, 0.1), {}, "linear() missing 1 required positional argument: 'c'"),
    ("linear", (0.5, 0.1, 0.6, 1e-8), {}, "linear() takes 3 positional arguments but 4 were given"),
    ("uniform", (0.5, 0.1, 1e-8), {}, "uniform() takes 2 positional arguments but 3 were given"),
    ("linear", (0.5, 0.1, 0.6), {"u": 0.5}, "linear() got multiple values for argument 'u'"),
    ("linear", (0.5, 0.1, 0.6), {"tol": 1e-8}, "linear() got an unexpected keyword argument 'tol'"),
    ("claret", (0.5, 0.1), {"a1": 0, "a2": 0, "a4": 0},
     "claret() missing 1 required positional argument: 'a3'"),
    ("tabulated", (0.5, 0.1, MU), {"rtol": 1e-8},
     "tabulated() missing 1 required positional argument: 'intensity'"),
    ("uniform", (0.5, 0.1), {"rtol": "1e-8"}, "argument 'rtol': must be real number, not str"),
    ("uniform", (0.5, 0.1), {"rtol": None}, "argument 'rtol': must be real number, not NoneType"),
    ("uniform", (0.5, 0.1), {"out": [0.0]}, "out must be a float64 numpy.ndarray, not list"),
    ("uniform", (0.5, 0.1), {"out": np.zeros((), np.float32)},
     "out must have dtype float64, not float32"),
    ("uniform", ([0.5], 0.1), {"out": np.zeros(1, np.int64)},
     "out must have dtype float64, not int64"),
]


@pytest.mark.parametrize("name, args, kwargs, message", BINDING_ERRORS)
def test_binding_errors_raise_type_error(name, args, kwargs, message):
    with pytest.raises(TypeError) as info:
        getattr(fspl, name)(*args, **kwargs)
    assert str(info.value) == message


@pytest.mark.parametrize("name, coefficients, values", LAWS, ids=law_ids(LAWS))
def test_keywords_bind_as_positions(name, coefficients, values):
    f = getattr(fspl, name)
    u = np.array([0.05, 0.5, 3.0])
    by_position = f(u, 0.1, *values, rtol=1e-6)
    by_keyword = f(rtol=1e-6, **dict(zip(coefficients, values)), rho=0.1, u=u)
    assert same_bits(by_position, by_keyword)


# Each input in other forms that np.asarray(x, float64) reads as the same
# doubles; the result must be the same bits.
U = [0.0, 0.05, 0.1, 0.2, 3.0]
FORMS = {
    "list": lambda: U,
    "tuple": lambda: tuple(U),
    "list of ints and numpy scalars": lambda: [0, np.float64(0.05), 0.1, np.float64(0.2), 3],
    "big-endian": lambda: np.array(U, ">f8"),
    "strided": lambda: np.array([[x, -1.0] for x in U])[:, 0],
    "reversed": lambda: np.array(U[::-1])[::-1],
    "unaligned": lambda: np.frombuffer(b"\0" + np.array(U).tobytes(), np.float64, 5, 1),
    "read-only": lambda: _readonly(U),
    "object": lambda: np.array(U, dtype=object),
    "strings": lambda: [repr(x) for x in U],
    "ndarray subclass": lambda: np.array(U).view(type("Sub", (np.ndarray,), {})),
}


def _readonly(values):
    array = np.array(values)
    array.setflags(write=False)
    return array


@pytest.mark.parametrize("form", sorted(FORMS))
def test_inputs_convert_as_np_asarray_float64(form):
    expected = fspl.linear(np.array(U), 0.1, 0.6)
    assert same_bits(fspl.linear(FORMS[form](), 0.1, 0.6), expected)
    assert same_bits(fspl.linear(0.1, np.array(U) + 0.05, FORMS[form]()),
                     fspl.linear(0.1, np.array(U) + 0.05, np.array(U)))


def test_other_dtypes_are_cast_to_float64():
    as_float32 = np.array(U, np.float32)
    assert same_bits(fspl.uniform(as_float32, 0.1), fspl.uniform(as_float32.astype(np.float64), 0.1))
    integers = np.arange(4)
    assert same_bits(fspl.uniform(integers, 0.5), fspl.uniform([0.0, 1.0, 2.0, 3.0], 0.5))
    with pytest.raises(ValueError, match="could not convert string to float"):
        fspl.uniform("half", 0.1)
    with pytest.raises(TypeError, match="^argument 'rho': "):
        fspl.uniform(0.5, {0.1})


@pytest.mark.parametrize("name, coefficients, values", LAWS, ids=law_ids(LAWS))
def test_masked_elements_give_nan(name, coefficients, values):
    f = getattr(fspl, name)
    u = np.ma.array([0.05, 0.5, 3.0, 1.0], mask=[False, True, False, False])
    rho = np.ma.array([0.1, 0.1, 0.1, 0.1], mask=[False, False, False, True])
    got = f(u, rho, *values)
    assert type(got) is np.ndarray
    plain = f(np.array([0.05, np.nan, 3.0, 1.0]), np.array([0.1, 0.1, 0.1, np.nan]), *values)
    assert same_bits(got, plain)
    assert np.isnan(got[1]) and np.isnan(got[3]) and not np.isnan(got[0])


def test_masked_integers_and_coefficients():
    u = np.ma.array([1, 2, 3], mask=[False, True, False])
    got = fspl.linear(u, 0.5, np.ma.array([0.6, 0.6, 0.6], mask=[True, False, False]))
    assert np.isnan(got[:2]).all() and same_bits(got[2], fspl.linear(3.0, 0.5, 0.6))
    assert same_bits(fspl.uniform(np.ma.array([1.0, 2.0]), 0.5), fspl.uniform([1.0, 2.0], 0.5))


# ---------------------------------------------------------------------------
# Broadcasting and what comes back.

SHAPES = [
    # u, rho, coefficient: the result has the broadcast shape.
    ((), (), ()),
    ((7,), (), ()),
    ((7,), (7,), (7,)),
    ((1,), (), ()),
    ((5, 1), (3,), ()),
    ((), (4,), (2, 1)),
    ((2, 1, 4), (3, 1), (1,)),
    ((0,), (), ()),
    ((0, 3), (3,), (1, 1)),
    ((4, 3), (4, 3), (3,)),
]


@pytest.mark.parametrize("shapes", SHAPES, ids=[str(s) for s in SHAPES])
def test_broadcast_shapes_and_elementwise_values(shapes):
    rng = np.random.default_rng(len(str(shapes)))
    u = rng.uniform(0.0, 0.4, shapes[0])
    rho = rng.uniform(0.05, 0.2, shapes[1])
    c = rng.uniform(0.2, 0.8, shapes[2])
    got = fspl.linear(u, rho, c)
    shape = np.broadcast_shapes(*shapes)
    if shape == ():
        assert type(got) is np.float64
    else:
        assert type(got) is np.ndarray and got.dtype == np.float64 and got.shape == shape
    for index in np.ndindex(shape):
        one = fspl.linear(*(np.broadcast_to(x, shape)[index] for x in (u, rho, c)))
        assert same_bits(got[index], one)


def test_shapes_that_do_not_broadcast_raise_value_error():
    with pytest.raises(ValueError, match="could not be broadcast"):
        fspl.claret(np.zeros(3), 0.1, np.zeros(4), 0, 0, 0)
    with pytest.raises(ValueError, match="could not be broadcast"):
        fspl.tabulated(np.zeros(3), np.full(2, 0.1), MU, INTENSITY)


@pytest.mark.parametrize("value", [0.5, 1, np.float64(0.5), np.float32(0.5), np.array(0.5), True])
def test_scalars_give_a_numpy_float64(value):
    got = fspl.linear(value, 0.1, 0.6)
    assert type(got) is np.float64
    assert same_bits(got, fspl.linear(float(value), 0.1, 0.6))
    # One array among the inputs, even of one element, gives an array.
    assert type(fspl.linear(value, [0.1], 0.6)) is np.ndarray
    assert type(fspl.tabulated(value, 0.1, MU, INTENSITY)) is np.float64


def test_the_same_bits_whatever_the_layout_chunking_or_threads():
    rng = np.random.default_rng(7)
    u = rng.uniform(0.0, 0.5, (120, 150))
    rho = rng.uniform(0.01, 0.3, (120, 150))
    whole = fspl.quadratic(u, rho, 0.45, 0.25)
    # Element by element, on a sample.
    for i, j in zip(rng.integers(0, 120, 60), rng.integers(0, 150, 60)):
        assert same_bits(whole[i, j], fspl.quadratic(u[i, j], rho[i, j], 0.45, 0.25))
    # Transposed and Fortran-ordered, non-contiguous, flattened, in chunks.
    assert same_bits(fspl.quadratic(u.T, rho.T, 0.45, 0.25), whole.T)
    assert same_bits(fspl.quadratic(np.asfortranarray(u), rho, 0.45, 0.25), whole)
    big_u = np.zeros((240, 300))
    big_u[::2, ::2] = u
    assert same_bits(fspl.quadratic(big_u[::2, ::2], rho, 0.45, 0.25), whole)
    chunks = [fspl.quadratic(a, b, 0.45, 0.25)
              for a, b in zip(np.array_split(u.ravel(), 7), np.array_split(rho.ravel(), 7))]
    assert same_bits(np.concatenate(chunks).reshape(whole.shape), whole)
    # A coefficient broadcast from a column gives what the full array gives.
    column = np.full((120, 1), 0.45)
    assert same_bits(fspl.quadratic(u, rho, column, np.full((120, 150), 0.25)), whole)
    # Threads, each on its own rows.
    parts = [None] * 4

    def work(k):
        parts[k] = fspl.quadratic(u[k::4], rho[k::4], 0.45, 0.25)

    threads = [threading.Thread(target=work, args=(k,)) for k in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for k in range(4):
        assert same_bits(parts[k], whole[k::4])


@pytest.mark.parametrize("name, coefficients, values", LAWS, ids=law_ids(LAWS))
def test_invalid_elements_give_nan_without_an_exception(name, coefficients, values):
    f = getattr(fspl, name)
    got = f([np.nan, -1.0, 0.5, 0.5, 0.5], [0.1, 0.1, 0.0, -0.1, np.nan], *values)
    assert np.isnan(got).all()
    assert f(np.inf, 0.1, *values) == 1.0


# ---------------------------------------------------------------------------
# out

def test_out_is_filled_and_returned():
    u = np.linspace(0.0, 0.5, 12).reshape(3, 4)
    expected = fspl.linear(u, 0.1, 0.6)
    for out in [np.empty((3, 4)), np.empty((4, 3)).T, np.empty((3, 8))[:, ::2],
                np.empty((3, 4), ">f8")]:
        assert fspl.linear(u, 0.1, 0.6, out=out) is out
        assert same_bits(out, expected)
    # Inputs broadcast to the shape of out, as for a ufunc.
    out = np.empty((2, 3, 4))
    assert fspl.linear(u, 0.1, 0.6, out=out) is out
    assert same_bits(out, np.broadcast_to(expected, (2, 3, 4)))
    # A 0-d out is returned as it is, not as a scalar.
    zero_d = np.empty(())
    assert fspl.uniform(0.5, 0.1, out=zero_d) is zero_d
    assert same_bits(zero_d, fspl.uniform(0.5, 0.1))
    assert same_bits(fspl.uniform(u, 0.1, out=None), fspl.uniform(u, 0.1))


def test_out_of_the_wrong_shape_or_read_only_raises_value_error():
    u = np.linspace(0.0, 0.5, 4)
    for out in [np.empty(3), np.empty((4, 1)), np.empty(())]:
        with pytest.raises(ValueError):
            fspl.uniform(u, 0.1, out=out)
    frozen = np.zeros(4)
    frozen.setflags(write=False)
    with pytest.raises(ValueError, match="^output array is read-only$"):
        fspl.uniform(u, 0.1, out=frozen)
    assert not frozen.any()


@pytest.mark.parametrize("alias", ["u", "rho", "c", "shifted u", "reversed u", "all"])
def test_out_that_overlaps_an_input_gives_the_unaliased_result(alias):
    base = np.linspace(0.05, 0.6, 400)
    u, rho, c = base[:200].copy(), np.full(200, 0.1), np.full(200, 0.6)
    if alias == "shifted u":
        u = base[1:201]
        out = base[:200]
    elif alias == "reversed u":
        u = base[:200]
        out = base[:200][::-1]
    elif alias == "all":
        u = rho = c = out = np.full(200, 0.3)
    else:
        out = {"u": u, "rho": rho, "c": c}[alias]
    expected = fspl.linear(u.copy(), rho.copy(), c.copy())
    assert fspl.linear(u, rho, c, out=out) is out
    assert same_bits(out, expected)


# ---------------------------------------------------------------------------
# rtol and the table

@pytest.mark.parametrize("rtol", [1e-12, 1e-3, 1e-8, np.float64(1e-6), np.array(1e-4)])
def test_rtol_in_range_is_accepted(rtol):
    assert type(fspl.linear(0.5, 0.1, 0.6, rtol=rtol)) is np.float64


@pytest.mark.parametrize("rtol, shown", [
    (0.0, "0.0"), (1, "1.0"), (9.9e-13, "9.9e-13"), (1.0000000000000002e-3, "0.0010000000000000002"),
    (-1e-8, "-1e-08"), (float("nan"), "nan"), (float("inf"), "inf"), (True, "1.0"),
])
def test_rtol_out_of_range_raises_value_error(rtol, shown):
    with pytest.raises(ValueError) as info:
        fspl.uniform([0.5], 0.1, rtol=rtol)
    assert str(info.value) == f"rtol must be from 1e-12 to 0.001, not {shown}"


BAD_TABLES = [
    ([0.0, 0.5, 1.0], [1.0, 1.0]),          # lengths differ
    ([0.0], [1.0]),                          # one node
    ([], []),                                # none
    ([0.0, 0.7, 0.5, 1.0], [1.0] * 4),       # mu not sorted
    ([0.1, 1.0], [1.0, 1.0]),                # does not start at 0
    ([0.0, 0.9], [1.0, 1.0]),                # does not end at 1
    ([0.0, 1.0], [-0.1, 1.0]),               # negative intensity
    ([0.0, np.nan, 1.0], [1.0] * 3),         # a NaN node
    (np.ma.array([0.0, 0.5, 1.0], mask=[0, 1, 0]), [1.0] * 3),  # a masked node is NaN
    ([0.0, 1.0], [0.0, 0.0]),                # no flux
    (np.linspace(0.0, 1.0, 257), np.ones(257)),  # more nodes than the integral splits at
]


@pytest.mark.parametrize("mu, intensity", BAD_TABLES)
def test_malformed_tables_raise_value_error(mu, intensity):
    with pytest.raises(ValueError) as info:
        fspl.tabulated([0.5, 1.0], 0.1, mu, intensity)
    assert str(info.value)


def test_tables_must_be_one_dimensional_and_are_read_once():
    with pytest.raises(ValueError, match="^mu must be one-dimensional, not 2-dimensional$"):
        fspl.tabulated(0.5, 0.1, MU.reshape(1, -1), INTENSITY)
    with pytest.raises(ValueError, match="^intensity must be one-dimensional, not 0-dimensional$"):
        fspl.tabulated(0.5, 0.1, MU, 1.0)

    class Counted:
        reads = 0

        def __init__(self, values):
            self.values = np.asarray(values)

        def __array__(self, dtype=None, copy=None):
            Counted.reads += 1
            return self.values if dtype is None else self.values.astype(dtype)

    u = np.linspace(0.0, 1.0, 1000)
    got = fspl.tabulated(u, 0.1, Counted(MU), Counted(INTENSITY))
    assert Counted.reads == 2
    assert same_bits(got, fspl.tabulated(u, 0.1, list(MU), tuple(INTENSITY)))


# ---------------------------------------------------------------------------
# The interpreter lock and references

def long_linear_input():
    """Separations for a call of fspl.linear at rtol=1e-12 that lasts about a
    second, sized from a short measured call (at most 10**7 points)."""
    u = np.linspace(0.0, 0.3, 20000)
    start = time.perf_counter()
    fspl.linear(u, 0.1, 0.6, rtol=1e-12)
    per_point = max((time.perf_counter() - start) / u.size, 1e-10)
    return np.linspace(0.0, 0.3, int(min(1e7, max(2e4, 1.0 / per_point))))


def test_other_threads_run_and_compute_while_a_call_computes():
    # Held through the computation, the lock would let no other thread run
    # from the moment the call enters the module until it returns: another
    # thread's calls that finish in the second half of the call show that
    # it was let go.
    u = long_linear_input()
    finished, stop = [], threading.Event()
    expected = fspl.uniform([0.5, 2.0], 0.1)

    def other():
        while not stop.is_set():
            got = fspl.uniform([0.5, 2.0], 0.1)
            finished.append((time.perf_counter(), same_bits(got, expected)))

    worker = threading.Thread(target=other)
    worker.start()
    try:
        while not finished:
            time.sleep(0.001)
        start = time.perf_counter()
        fspl.linear(u, 0.1, 0.6, rtol=1e-12)
        end = time.perf_counter()
    finally:
        stop.set()
        worker.join()
    during = [ok for t, ok in finished if start + (end - start) / 2 < t < end]
    assert during and all(during), (len(finished), end - start)


LEAK_CASES = {
    "arrays": lambda: ((np.linspace(0, 1, 8), np.full(8, 0.1), np.full(8, 0.6)), {}),
    "lists": lambda: (([0.5, 1.0], [0.1], 0.6), {}),
    "scalars": lambda: ((0.5, 0.1, 0.6), {"rtol": 1e-6}),
    "out": lambda: ((np.linspace(0, 1, 8), 0.1, 0.6), {"out": np.empty(8)}),
    "aliased out": lambda: (lambda u: ((u, 0.1, 0.6), {"out": u}))(np.linspace(0, 1, 8)),
    "masked": lambda: ((np.ma.array([0.5, 1.0], mask=[0, 1]), 0.1, 0.6), {}),
}
LEAK_FAILURES = {
    "binding": lambda: ((0.5, 0.1), {}, TypeError),
    "conversion": lambda: (("half", 0.1, 0.6), {}, ValueError),
    "renamed conversion": lambda: ((0.5, {0.1}, 0.6), {}, TypeError),
    "rtol": lambda: ((0.5, 0.1, 0.6), {"rtol": 1.0}, ValueError),
    "out dtype": lambda: ((0.5, 0.1, 0.6), {"out": np.empty((), np.float32)}, TypeError),
    "out shape": lambda: (([0.5, 1.0], 0.1, 0.6), {"out": np.empty(3)}, ValueError),
    "broadcast": lambda: (([0.5, 1.0], [0.1] * 3, 0.6), {}, ValueError),
}


@pytest.mark.parametrize("case", sorted(LEAK_CASES) + sorted(LEAK_FAILURES))
def test_no_leak(case):
    if case in LEAK_CASES:
        args, kwargs = LEAK_CASES[case]()
        expected = None
    else:
        *call, expected = LEAK_FAILURES[case]()
        args, kwargs = call

    def run():
        if expected is None:
            fspl.linear(*args, **kwargs)
            return
        try:
            fspl.linear(*args, **kwargs)
        except expected:
            return
        raise AssertionError(f"{expected.__name__} not raised")

    assert_no_leak(run, list(args) + list(kwargs.values()) + [fspl.linear])


def test_no_leak_of_tables():
    mu, intensity = MU.copy(), list(INTENSITY)
    bad = [0.0, 0.5]

    def run():
        fspl.tabulated([0.5], 0.1, mu, intensity)
        try:
            fspl.tabulated([0.5], 0.1, mu, bad)
        except ValueError:
            pass

    assert_no_leak(run, [mu, intensity, bad])

#!/usr/bin/env bash
# The type stubs, as a user meets them: installs the module into a fresh
# virtual environment, then
#   1. stubtest: the stubs match the built module (names, parameters, kinds);
#   2. the examples in the stubs' docstrings and in README.md give what
#      they show;
#   3. a correct user script passes mypy --strict and pyright (basedpyright)
#      and runs; a wrong one is flagged by both on exactly its marked lines;
#   4. examples/light_curve.py passes mypy --strict.
# A single-file extension module cannot carry py.typed, so the stubs ship as
# the stub-only package tessarin-stubs in the same wheel (PEP 561); both
# checkers must find it there with no configuration.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
PYTHON=${PYTHON:-python3}
# WHEEL=path/to/tessarin-*.whl checks that wheel instead of building one.
TARGET=${WHEEL:-$ROOT}

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$PYTHON" -m venv "$WORK/venv"
VPY="$WORK/venv/bin/python"
echo "== installing the module, mypy and basedpyright into a fresh environment"
"$VPY" -m pip install -q --disable-pip-version-check "$TARGET" mypy basedpyright numpy matplotlib

# Run everything from outside the work tree, so that `import tessarin` is the
# installed module and its installed stubs.
cd "$WORK"
test -f "$("$VPY" -c 'import sysconfig; print(sysconfig.get_paths()["purelib"])')/tessarin-stubs/__init__.pyi" \
  || { echo "tessarin-stubs/__init__.pyi is not installed with the module"; exit 1; }

echo "== stubtest"
"$VPY" -m mypy.stubtest tessarin

echo "== examples in the stubs' docstrings and in README.md"
"$VPY" - "$ROOT/README.md" <<'EOF'
import ast, doctest, pathlib, re, sys, sysconfig
import tessarin

flags = doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE
parser, runner = doctest.DocTestParser(), doctest.DocTestRunner(optionflags=flags)

stub = pathlib.Path(sysconfig.get_paths()["purelib"]) / "tessarin-stubs" / "__init__.pyi"
tree = ast.parse(stub.read_text())
docs = {f.name: ast.get_docstring(f, clean=False) for f in tree.body if isinstance(f, ast.FunctionDef)}
missing = [name for name in tessarin.__all__ if not docs.get(name)]
if missing:
    sys.exit(f"functions without a docstring in the stubs: {missing}")
examples = 0
for name, doc in docs.items():
    test = parser.get_doctest(doc, dict(vars(tessarin)), name, str(stub), 0)
    if not test.examples:
        sys.exit(f"{name}: no example in its docstring")
    examples += len(test.examples)
    runner.run(test)
print(f"{examples} examples in {len(docs)} docstrings")

# The fitting functions: the last overload of each carries the docstring.
from tessarin import fspl
stub = stub.with_name("fspl.pyi")
tree = ast.parse(stub.read_text())
docs = {f.name: ast.get_docstring(f, clean=False) for f in tree.body
        if isinstance(f, ast.FunctionDef) and ast.get_docstring(f, clean=False)}
missing = [name for name in fspl.__all__ if not docs.get(name)]
if missing:
    sys.exit(f"fspl functions without a docstring in the stubs: {missing}")
for name, doc in docs.items():
    test = parser.get_doctest(doc, dict(vars(fspl)), "fspl." + name, str(stub), 0)
    if not test.examples:
        sys.exit(f"fspl.{name}: no example in its docstring")
    examples += len(test.examples)
    runner.run(test)
print(f"{examples} examples with the {len(docs)} docstrings of fspl")

# README: the interactive blocks share one namespace, read from the top, and
# must print what they show; the other blocks must run on their own. The
# names those take from their reader are given a flux map of unequal lengths,
# so that the exception snippet meets a real PanicException.
readme = pathlib.Path(sys.argv[1])
blocks = re.findall(r"^```python\n(.*?)^```", readme.read_text(), flags=re.S | re.M)
shared = {}
reader = {"tessarin": tessarin, "l": [0.5, 2.0], "re": 1.0, "rstar": 0.1,
          "bl": [0.0, 1.0], "bf": [1.0]}
for i, block in enumerate(blocks):
    name = f"README.md python block {i + 1}"
    if ">>>" in block:
        test = parser.get_doctest(block, shared, name, str(readme), 0)
        examples += len(test.examples)
        runner.run(test, clear_globs=False)
        shared = test.globs  # the DocTest ran on a copy
    else:
        if "PanicException" in block:
            print(f"{name}: the panic report below is expected")
        sys.stdout.flush()
        exec(compile(block, name, "exec"), dict(reader))
        print(f"{name} runs", flush=True)
if not blocks:
    sys.exit("README.md has no python block")
if runner.summarize(verbose=False).failed:
    sys.exit(1)
print(f"{examples} examples give what they show")
EOF

cat > user_ok.py <<'EOF'
"""Correct uses: must pass mypy --strict and pyright, and run."""
from typing import List

import numpy as np

import tessarin

try:
    from typing import assert_type
except ImportError:  # Python < 3.11
    from typing_extensions import assert_type

l = [0.0, 0.5, 1.5, 3.0]
assert_type(tessarin.witt_mao_magnification(l, 1.0, 0.1), List[float])
assert_type(tessarin.witt_mao_magnification(l=(0.5, 2), re=1, rstar=0.1), List[float])
assert_type(tessarin.integrated_witt_mao_magnification(np.linspace(0.0, 3.0, 7), 1.0, 0.1), List[float])
assert_type(tessarin.integrated_heyrovsky_magnification(range(3), 1.0, 0.1), List[float])
assert_type(tessarin.heyrovsky_magnification(0.5, 0.3, 1.0, 1.0), float)
assert_type(tessarin.heyrovsky_magnification(np.float64(0.5), 0.3, 1, 1), float)
radii = [0.0, 0.5, 1.0]
brightness = np.array([1.0, 0.9, 0.4])
assert_type(tessarin.integrated_flux_map_witt_mao_magnification(l, 1.0, 0.1, radii, brightness), List[float])
assert_type(tessarin.integrated_flux_map_heyrovsky_magnification(l, 1.0, 0.1, radii, brightness), List[float])
assert_type(tessarin.discrete_flux_map_heyrovsky_magnification(l, 1.0, 0.1, [0.25, 0.75], [0.5, 0.5]), List[float])
peak: float = max(tessarin.integrated_heyrovsky_magnification([0.0], 1.0, 0.1))
assert peak > 1.0

from typing import Union

import numpy.typing as npt

from tessarin import fspl

u = np.linspace(0.0, 0.3, 7)
assert_type(fspl.linear(0.5, 0.1, 0.6), np.float64)
assert_type(fspl.uniform(np.float64(0.5), 1, rtol=1e-6), np.float64)
assert_type(fspl.quadratic(u, 0.1, a=0.4, b=[0.2, 0.3][0]), Union[npt.NDArray[np.float64], np.float64])
assert_type(fspl.claret(u, 0.1, 0.5, 0.1, 0.2, -0.1), Union[npt.NDArray[np.float64], np.float64])
out: npt.NDArray[np.float64] = np.empty(7)
assert_type(fspl.square_root(u, 0.1, 0.3, 0.4, out=out), npt.NDArray[np.float64])
mu = np.linspace(0.0, 1.0, 11)
assert_type(fspl.tabulated(u, 0.1, mu, 1 - 0.6 * (1 - mu), rtol=1e-4), Union[npt.NDArray[np.float64], np.float64])
EOF

cat > user_wrong.py <<'EOF'
"""Wrong uses: each line marked `wrong` must be flagged, and no other."""
import tessarin

a: float = tessarin.witt_mao_magnification([0.5], 1.0, 0.1)  # wrong: returns a list
tessarin.heyrovsky_magnification([0.5], 0.3, 1.0, 1.0)  # wrong: l is one float here
tessarin.witt_mao_magnification("0.5", 1.0, 0.1)  # wrong: a str is no float sequence
tessarin.witt_mao_magnification(0.5, 1.0, 0.1)  # wrong: l must be a sequence
tessarin.integrated_heyrovsky_magnification([0.5], 1.0)  # wrong: rstar missing
tessarin.integrated_flux_map_heyrovsky_magnification([0.5], 1.0, 0.1, [0.0, 1.0])  # wrong: bf missing
tessarin.witt_mao_magnification([0.5], 1.0, rho=0.1)  # wrong: no such keyword
tessarin.discrete_flux_map_heyrovsky_magnification([0.5], "1", 0.1, [0.5], [1.0])  # wrong: re is a str
b: list[str] = tessarin.integrated_witt_mao_magnification([0.5], 1.0, 0.1)  # wrong: list of floats
tessarin.uniform_disk_magnification([0.5], 1.0, 0.1)  # wrong: no such function
from tessarin import fspl
fspl.linear(0.5, 0.1)  # wrong: c missing
fspl.uniform(0.5, 0.1, 1e-6)  # wrong: rtol is keyword only
c: float = fspl.power2([0.5, 1.0], 0.1, 0.6, 0.5)  # wrong: an array, not a float
fspl.tabulated(0.5, 0.1, [0.0, 1.0], [1.0, 1.0], out=[0.0])  # wrong: out is an ndarray
EOF
grep -n '# wrong' user_wrong.py | cut -d: -f1 | sort -n >expected_lines

echo '{"typeCheckingMode": "standard"}' >pyrightconfig.json
PYRIGHT=("$WORK/venv/bin/basedpyright" --pythonpath "$VPY")

# The line numbers at which a checker's output reports an error in $1.
flagged() { grep -oE "^(\./)?$1:[0-9]+(:[0-9]+)?(:| -) error" | sed -E 's/^[^:]*:([0-9]+).*/\1/' | sort -nu; }

echo "== mypy on a user's scripts"
"$VPY" -m mypy --strict --no-incremental user_ok.py
"$VPY" user_ok.py
if "$VPY" -m mypy --strict --no-incremental user_wrong.py >mypy_wrong.txt 2>&1; then
  cat mypy_wrong.txt; echo "mypy accepted user_wrong.py"; exit 1
fi
if ! flagged user_wrong.py <mypy_wrong.txt | diff -u expected_lines - ; then
  cat mypy_wrong.txt; echo "mypy did not flag exactly the wrong lines"; exit 1
fi
echo "mypy flags all $(wc -l <expected_lines) wrong uses and nothing else"

echo "== pyright (basedpyright) on a user's scripts"
"${PYRIGHT[@]}" user_ok.py
if "${PYRIGHT[@]}" user_wrong.py >pyright_wrong.txt 2>&1; then
  cat pyright_wrong.txt; echo "pyright accepted user_wrong.py"; exit 1
fi
sed -E 's/^ +//; s#^/.*/(user_wrong\.py)#\1#' pyright_wrong.txt >pyright_wrong_rel.txt
if ! flagged user_wrong.py <pyright_wrong_rel.txt | diff -u expected_lines - ; then
  cat pyright_wrong.txt; echo "pyright did not flag exactly the wrong lines"; exit 1
fi
echo "pyright flags all $(wc -l <expected_lines) wrong uses and nothing else"

echo "== mypy on examples/light_curve.py"
"$VPY" -m mypy --strict --no-incremental "$ROOT/examples/light_curve.py"

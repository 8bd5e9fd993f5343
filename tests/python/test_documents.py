"""What the README and the stubs' docstrings say about the module, against
the module and against each other."""
from __future__ import annotations

import ast
import math
import re
from pathlib import Path

import pytest

import tessarin

ROOT = Path(__file__).resolve().parents[2]
README = (ROOT / "README.md").read_text()
STUBS = (ROOT / "stubs" / "tessarin-stubs" / "__init__.pyi").read_text()


def stub_docstrings() -> dict[str, str]:
    tree = ast.parse(STUBS)
    docs = {"module": ast.get_docstring(tree, clean=False)}
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            docs[node.name] = ast.get_docstring(node, clean=False)
    return docs


def special_table(text: str) -> list[list[str]]:
    """The rows of the table of special separations (function, then what a
    NaN, negative or -inf separation gives, then what +inf gives)."""
    start = text.index("| function | NaN, negative or `-inf` separation |")
    rows = []
    for line in text[start:].splitlines()[2:]:
        if not line.startswith("|"):
            break
        rows.append([cell.strip().strip("`") for cell in line.strip("|").split("|")])
    return rows


def test_the_stubs_and_the_readme_give_one_table_of_special_separations():
    rows = special_table(README)
    assert rows == special_table(stub_docstrings()["module"])
    assert sorted(name for name, *_ in rows) == sorted(tessarin.__all__)


def call(name: str, x: float):
    f = getattr(tessarin, name)
    if name == "heyrovsky_magnification":
        return [f(x, 0.5, 1.0, 0.1)]
    if "flux_map" in name:
        return f([x], 1.0, 0.1, [0.0, 0.5, 1.0], [0.25, 0.5, 0.25])
    return f([x], 1.0, 0.1)


@pytest.mark.parametrize("row", special_table(README), ids=lambda row: row[0])
def test_special_separations_give_what_the_table_says(row):
    name, bad, plus_inf = row
    for x, said in [(math.nan, bad), (-0.5, bad), (-math.inf, bad), (math.inf, plus_inf)]:
        if said == "RuntimeError":
            with pytest.raises(RuntimeError, match="^elliprj: Fail to converge$"):
                call(name, x)
        elif said == "NaN":
            assert math.isnan(call(name, x)[0])
        elif said == "1.0":
            assert call(name, x) == [1.0]
        else:
            assert said == "the sum of the fluxes"
            assert call(name, x) == [1.0]  # the fluxes 0.25 + 0.5 + 0.25


def zones(text: str) -> dict[str, set[str]]:
    """The half-widths of the limb and ring windows that a text states."""
    text = text.replace("−", "-")
    return {
        "limb": set(re.findall(r"\|l - 1\| < ([0-9.e-]+)", text)),
        "ring": set(re.findall(r"\|r - l\| < ([0-9.e-]+) (?:·\s*)?l", text)),
    }


def test_every_stated_window_is_the_readmes():
    readme = zones(README)
    assert readme == {"limb": {"0.25"}, "ring": {"0.15"}}
    for name, doc in stub_docstrings().items():
        for window, stated in zones(doc).items():
            assert stated <= readme[window], (name, window, stated)
    stated = zones(STUBS)
    assert stated == readme


@pytest.mark.parametrize("sentence, value", [
    # The concentric disks' constant bias far out.
    (r"`integrated_witt_mao_magnification\(\s*\[1e4\], 1, 100\)` gives (\S+),",
     lambda: tessarin.integrated_witt_mao_magnification([1e4], 1, 100)[0]),
    # A disk too small for the closed form.
    (r"`witt_mao_magnification\(\[0\.0\], 1\.0, 1e-160\)` gives `(\w+)`",
     lambda: tessarin.witt_mao_magnification([0.0], 1.0, 1e-160)[0]),
    (r"`witt_mao_magnification\(\[1e300\], 1\.0,\s*1e9\)`\)",
     lambda: tessarin.witt_mao_magnification([1e300], 1.0, 1e9)[0]),
])
def test_values_quoted_in_the_readme(sentence, value):
    found = re.search(sentence, README)
    assert found, sentence
    if found.groups():
        quoted = found.group(1)
        if quoted[0].isdigit():  # rounded to its last digit
            decimals = len(quoted.partition(".")[2])
            assert abs(value() - float(quoted)) <= 0.5 * 10.0**-decimals
        else:
            assert repr(value()) == quoted
    else:
        assert value() == 1.0


def test_the_version_is_documented_and_typed():
    assert "`tessarin.__version__`" in README
    assert "\n__version__: str\n" in STUBS

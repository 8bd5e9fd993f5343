#!/usr/bin/env python3
"""Prints the requirements of the `test` extra in pyproject.toml, one a line.

The extra is the one list of what the tests need; scripts that cannot
install the package with it (the sanitizer stage tests a build tree, not an
installed module) install its requirements through this script:

    python3 -m pip install $(python3 tools/test_requirements.py)

With --build it prints the build requirements instead (NumPy's headers among
them), for the scripts that build the module with CMake directly or without
pip's build isolation:

    python3 -m pip install $(python3 tools/test_requirements.py --build)

Reads pyproject.toml with tomllib where it exists (Python 3.11 and newer),
and otherwise with a reader of the one table it needs.
"""
from __future__ import annotations

import ast
import re
import sys
from pathlib import Path

PYPROJECT = Path(__file__).resolve().parent.parent / "pyproject.toml"


def extra(text: str, name: str) -> list[str]:
    try:
        import tomllib
    except ImportError:
        return _extra_without_tomllib(text, name)
    return list(tomllib.loads(text)["project"]["optional-dependencies"][name])


def _extra_without_tomllib(text: str, name: str) -> list[str]:
    # The table runs from its header to the next header; the extra is a
    # `name = [ ... ]` array of plain strings, on one line or several.
    table = re.search(r"^\[project\.optional-dependencies\]\s*$(.*?)(?=^\[|\Z)", text,
                      flags=re.M | re.S)
    if table is None:
        raise KeyError("no [project.optional-dependencies] table")
    array = re.search(rf"^{re.escape(name)}\s*=\s*(\[.*?\])", table.group(1), flags=re.M | re.S)
    if array is None:
        raise KeyError(f"no {name!r} extra")
    # A TOML array of basic strings, without comments, reads as a Python list.
    body = re.sub(r"#[^\n\"]*$", "", array.group(1), flags=re.M)
    return [str(item) for item in ast.literal_eval(body)]


def build(text: str) -> list[str]:
    try:
        import tomllib
    except ImportError:
        return _build_without_tomllib(text)
    return list(tomllib.loads(text)["build-system"]["requires"])


def _build_without_tomllib(text: str) -> list[str]:
    table = re.search(r"^\[build-system\]\s*$(.*?)(?=^\[|\Z)", text, flags=re.M | re.S)
    array = table and re.search(r"^requires\s*=\s*(\[.*?\])", table.group(1), flags=re.M | re.S)
    if array is None:
        raise KeyError("no requires in [build-system]")
    return [str(item) for item in ast.literal_eval(array.group(1))]


def main() -> None:
    text = PYPROJECT.read_text()
    if sys.argv[1:] == ["--build"]:
        print("\n".join(build(text)))
        return
    name = sys.argv[1] if len(sys.argv) > 1 else "test"
    print("\n".join(extra(text, name)))


if __name__ == "__main__":
    main()

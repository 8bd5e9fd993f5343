"""Nothing compiled for AVX2 runs on the module's baseline path.

The vector paths are chosen at run time; everything else must run on any
x86-64. The module's disassembly must hold AVX instructions only in
functions whose demangled names carry ``avx2`` (tools/vector_isa.py says
why an inline function shared with an AVX2 unit could otherwise carry them
into the baseline path).
"""
from __future__ import annotations

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import tessarin

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import vector_isa  # noqa: E402

VECTOR_ENTRY = "tessarin::models::avx2::rings_over_source"
LANE_TYPE = "tessarin::lanes::avx2::Lanes4"

pytestmark = pytest.mark.skipif(shutil.which("objdump") is None,
                                reason="objdump (binutils) is not installed")


def _functions(path: str) -> dict[str, list[str]]:
    try:
        return vector_isa.functions(vector_isa.disassemble(path))
    except vector_isa.CannotCheck as reason:
        pytest.skip(f"{reason}; a build installed with "
                    "pip install --config-settings=install.strip=false . keeps it")


@pytest.fixture(scope="module")
def module_functions() -> dict[str, list[str]]:
    found = _functions(tessarin.__file__)
    assert found, f"objdump found no function in {tessarin.__file__}"
    return found


def test_avx_instructions_only_in_the_vector_paths(module_functions):
    bad = vector_isa.offenders(module_functions)
    assert not bad, (f"{tessarin.__file__}: AVX instructions in functions of the baseline "
                     f"path:\n{vector_isa.describe(bad)}")


def test_the_vector_paths_hold_avx_instructions(module_functions):
    # The entry points may be mere calls (in an unoptimised or instrumented
    # build); the kernels instantiated for four lanes hold the instructions.
    if not any(name.startswith(VECTOR_ENTRY + "(") for name in module_functions):
        pytest.skip(f"built without the AVX2 paths (no {VECTOR_ENTRY})")
    vector = [name for name, avx in module_functions.items() if avx]
    assert any(LANE_TYPE in name for name in vector), (
        f"no function instantiated for {LANE_TYPE} holds AVX instructions; those that do:\n"
        + "\n".join(vector))


CXX_SOURCES = {
    # One inline function, emitted by both units; the AVX2 unit comes first
    # on the link line, so its copy is the one kept.
    "shared.hpp": """
        inline double total(const double *x, int n) {
          double s[4] = {0, 0, 0, 0};
          for (int i = 0; i + 4 <= n; i += 4)
            for (int j = 0; j < 4; ++j) s[j] += x[i + j];
          return (s[0] + s[1]) + (s[2] + s[3]);
        }
    """,
    "vector.cpp": """
        #include "shared.hpp"
        namespace avx2 { double vector_total(const double *x, int n) { return total(x, n); } }
    """,
    "baseline.cpp": """
        #include "shared.hpp"
        double baseline_total(const double *x, int n) { return total(x, n); }
    """,
}


def test_a_shared_inline_function_compiled_for_avx2_is_found(tmp_path):
    compiler = shutil.which(os.environ.get("CXX", "")) or shutil.which("c++") \
        or shutil.which("g++")
    if compiler is None:
        pytest.skip("no C++ compiler to build the example with")
    for name, text in CXX_SOURCES.items():
        (tmp_path / name).write_text(text)
    library = tmp_path / "libshared.so"
    flags = ["-O2", "-fPIC", "-fno-inline", "-ffp-contract=off", "-c"]
    subprocess.run([compiler, *flags, "-mavx2", "-mno-fma", "vector.cpp", "-o", "vector.o"],
                   cwd=tmp_path, check=True)
    subprocess.run([compiler, *flags, "baseline.cpp", "-o", "baseline.o"], cwd=tmp_path,
                   check=True)
    subprocess.run([compiler, "-shared", "vector.o", "baseline.o", "-o", str(library)],
                   cwd=tmp_path, check=True)
    found = vector_isa.functions(vector_isa.disassemble(str(library)))
    assert any(name.startswith("total(") for name in vector_isa.offenders(found)), (
        vector_isa.describe({k: v for k, v in found.items() if v}) or "no AVX instruction")
    assert not any("avx2" in name for name in vector_isa.offenders(found))

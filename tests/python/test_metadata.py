"""The package metadata: one version and one list of test requirements,
both written in pyproject.toml alone and read from there by every build."""
from __future__ import annotations

import importlib.metadata
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import tessarin

ROOT = Path(__file__).resolve().parents[2]
PYPROJECT = ROOT / "pyproject.toml"
sys.path.insert(0, str(ROOT / "tools"))
import test_requirements  # noqa: E402


@pytest.fixture(scope="module")
def distribution():
    """The installed distribution the imported module belongs to."""
    try:
        dist = importlib.metadata.distribution("tessarin")
    except importlib.metadata.PackageNotFoundError:
        pytest.skip("tessarin is imported from a build tree, not installed")
    module = Path(tessarin.__file__).resolve()
    if not any(Path(dist.locate_file(f)).resolve() == module for f in dist.files or []):
        pytest.skip(f"the imported module {module} is not the installed distribution's")
    return dist


def pyproject_version() -> str:
    found = re.findall(r'^version\s*=\s*"([^"]+)"', PYPROJECT.read_text(), flags=re.M)
    assert len(found) == 1, found
    return found[0]


def test_version_is_the_one_in_pyproject(distribution):
    assert importlib.metadata.version("tessarin") == pyproject_version()
    assert distribution.metadata["Version"] == pyproject_version()
    # The module's own copy is built from the same line; it is no function,
    # so not in __all__.
    assert tessarin.__version__ == pyproject_version()
    assert type(tessarin.__version__) is str
    assert "__version__" not in tessarin.__all__


def test_plain_cmake_build_reads_the_version_from_pyproject(tmp_path):
    cmake = shutil.which("cmake")
    if cmake is None:
        pytest.skip("no cmake on PATH")
    configure = subprocess.run(
        [cmake, "-S", str(ROOT), "-B", str(tmp_path), "-DTESSARIN_BUILD_MODULE=OFF"],
        capture_output=True, text=True, timeout=120)
    assert configure.returncode == 0, configure.stdout + configure.stderr
    assert re.findall(r"^-- tessarin (\S+)$", configure.stdout, flags=re.M) == [pyproject_version()]


def test_test_requirements_are_the_test_extra(distribution):
    requires = distribution.requires or []
    installed = sorted(re.sub(r"\s*;.*$", "", r).replace(" ", "")
                       for r in requires if re.search(r"extra\s*==\s*['\"]test['\"]", r))
    text = PYPROJECT.read_text()
    assert sorted(r.replace(" ", "") for r in test_requirements.extra(text, "test")) == installed
    # The reader for Python < 3.11 gives the same list as tomllib.
    assert test_requirements._extra_without_tomllib(text, "test") == \
        test_requirements.extra(text, "test")
    # So does the reader of the build requirements, which hold NumPy (its
    # headers) for the builds that CMake runs without pip.
    build = test_requirements.build(text)
    assert test_requirements._build_without_tomllib(text) == build
    assert any(r.startswith("numpy>=") for r in build)
    assert not (ROOT / "requirements-test.txt").exists()

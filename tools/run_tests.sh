#!/usr/bin/env bash
# Runs every test: the C++ unit tests of the kernels (GoogleTest through
# CTest) and the pytest suite of the module, with the `python3` on PATH
# (PYTHON=... to choose another).
#
# GoogleTest is whatever CMake's find_package(GTest) finds: a distribution
# package, a conda or vcpkg install, or a build of your own (point CMake at
# it with CMAKE_PREFIX_PATH=/its/prefix or GTest_ROOT=/its/prefix). Only when
# CMake finds none is it installed with apt-get (through sudo when not root);
# when that is not possible either, the script says so and fails.
# CMAKE_ARGS="-DGTest_ROOT=..." passes further arguments to CMake.
#
# The Python tests alone need neither: pip install ".[test]" && python3 -m pytest tests/python
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON=${PYTHON:-python3}
BUILD=build/cpp
LOG=$BUILD/configure.log

# shellcheck disable=SC2086 # CMAKE_ARGS holds several words
configure() {
  mkdir -p "$BUILD"
  rm -f "$BUILD/CMakeCache.txt"
  cmake -S . -B "$BUILD" -DTESSARIN_BUILD_MODULE=OFF -DTESSARIN_BUILD_TESTS=ON \
    -DTESSARIN_WERROR=ON ${CMAKE_ARGS:-} >"$LOG" 2>&1
}

install_gtest() {
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "run_tests: cannot install it: not root and no sudo" >&2
      return 1
    fi
    sudo=sudo
  fi
  if ! command -v apt-get >/dev/null; then
    echo "run_tests: cannot install it: no apt-get on this system" >&2
    return 1
  fi
  echo "== installing GoogleTest with ${sudo:+sudo }apt-get"
  $sudo apt-get update -qq &&
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev >/dev/null
}

echo "== C++ kernel tests"
if ! configure; then
  if ! grep -q "GTest" "$LOG"; then
    cat "$LOG" >&2
    exit 1
  fi
  echo "run_tests: CMake finds no GoogleTest (find_package(GTest))"
  if ! install_gtest || ! configure; then
    cat "$LOG" >&2
    cat >&2 <<'MSG'
run_tests: FAILED: the C++ tests need GoogleTest, which CMake cannot find and
which could not be installed. Install it (Debian/Ubuntu: libgtest-dev; conda:
gtest; or build it) and, if CMake does not find it by itself, pass its prefix
in CMAKE_PREFIX_PATH or GTest_ROOT. The Python tests alone need no GoogleTest:
  pip install ".[test]" && python3 -m pytest tests/python
MSG
    exit 1
  fi
fi
cmake --build "$BUILD" -j 2
ctest --test-dir "$BUILD" --output-on-failure -j 2

echo "== Python module tests"
# With its symbol table: tests/python/test_dispatch.py reads the module's
# functions by name (scikit-build-core strips release builds by default).
"$PYTHON" -m pip install -q --root-user-action=ignore --config-settings=install.strip=false \
  ".[test]"
"$PYTHON" -m pytest -q tests/python

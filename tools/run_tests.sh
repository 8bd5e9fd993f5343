#!/usr/bin/env bash
# Installs everything the tests need and runs every test: the C++ unit tests
# of the kernels (GoogleTest through CTest) and the pytest suite of the module.
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON=${PYTHON:-python3}

if ! dpkg -s libgtest-dev >/dev/null 2>&1; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libgtest-dev >/dev/null
fi
"$PYTHON" -m pip install -q --root-user-action=ignore -r requirements-test.txt

echo "== C++ kernel tests"
cmake -S . -B build/cpp -DTESSARIN_BUILD_MODULE=OFF -DTESSARIN_BUILD_TESTS=ON -DTESSARIN_WERROR=ON >/dev/null
cmake --build build/cpp -j 2
ctest --test-dir build/cpp --output-on-failure -j 2

echo "== Python module tests"
"$PYTHON" -m pip install -q --root-user-action=ignore .
"$PYTHON" -m pytest -q tests/python

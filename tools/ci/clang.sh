#!/usr/bin/env bash
# CI stage: the module and the C++ kernel tests built with clang (Debian's
# clang 16), warnings as errors, the tests run, and every result of the
# clang-built module compared bit for bit with the committed baseline of the
# GCC build: the code must not lean on GCC, and the floating-point flags of
# cmake/flags.cmake must hold for clang too (its default contracts a*b + c).
#
# clang 16 rather than Debian's default clang 14: clang 14 cannot compile
# GCC 12's <source_location>.
set -euo pipefail
cd "$(dirname "$0")/../.."
PYTHON=${PYTHON:-python3}
BUILD=build/clang
CLANG=clang++-16

if ! command -v "$CLANG" >/dev/null || ! dpkg -s libgtest-dev >/dev/null 2>&1; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang-16 libgtest-dev >/dev/null
fi

# The build requirements (NumPy's headers) in the Python the build finds.
mapfile -t BUILD_REQUIREMENTS < <("$PYTHON" tools/test_requirements.py --build)
"$PYTHON" -m pip install -q --root-user-action=ignore "${BUILD_REQUIREMENTS[@]}"

echo "== clang build ($BUILD): $("$CLANG" --version | head -1)"
cmake -S . -B "$BUILD" -DCMAKE_CXX_COMPILER="$CLANG" \
  -DPython_EXECUTABLE="$(command -v "$PYTHON")" \
  -DTESSARIN_BUILD_MODULE=ON -DTESSARIN_BUILD_TESTS=ON -DTESSARIN_WERROR=ON >/dev/null
cmake --build "$BUILD" -j 2

echo "== C++ kernel tests (clang)"
ctest --test-dir "$BUILD" --output-on-failure -j 2

echo "== bit-for-bit check of the clang-built module"
MODULE_DIR="$PWD/$BUILD"
cd /tmp
loaded=$(PYTHONPATH="$MODULE_DIR" "$PYTHON" -c 'import tessarin; print(tessarin.__file__)')
case "$loaded" in
  "$MODULE_DIR"/*) ;;
  *) echo "clang: imported $loaded instead of the clang-built module" >&2; exit 1 ;;
esac
PYTHONPATH="$MODULE_DIR" "$PYTHON" "$OLDPWD/benchmarks/bitcheck.py" check \
  2> >(grep -v -e "panicked at" -e "^assertion \`left" -e "^  left:" -e "^ right:" \
    -e "^note: for a backtrace" >&2)
echo "clang: warning-free, tests pass, results identical to the last bit"

#!/usr/bin/env bash
# CI stage: the scalar code alone. The module is built with
# -DTESSARIN_VECTOR_LANES=OFF, which leaves out the AVX2 paths, and every
# result is compared bit for bit with the committed baseline, as the other
# stages compare the default build (which takes the AVX2 paths on a
# processor that has them): both paths must give the same bits. The build
# is also checked to hold no AVX instruction at all.
set -euo pipefail
cd "$(dirname "$0")/../.."
PYTHON=${PYTHON:-python3}
BUILD=build/scalar

# The build requirements (NumPy's headers) in the Python the build finds.
mapfile -t BUILD_REQUIREMENTS < <("$PYTHON" tools/test_requirements.py --build)
"$PYTHON" -m pip install -q --root-user-action=ignore "${BUILD_REQUIREMENTS[@]}"

echo "== scalar-only build ($BUILD)"
cmake -S . -B "$BUILD" -DPython_EXECUTABLE="$(command -v "$PYTHON")" \
  -DTESSARIN_BUILD_MODULE=ON -DTESSARIN_VECTOR_LANES=OFF -DTESSARIN_WERROR=ON >/dev/null
cmake --build "$BUILD" -j 2 >/dev/null
MODULE=$(ls "$PWD/$BUILD"/tessarin*.so)

# Any instruction on a ymm register, or VEX-encoded, means AVX code.
if objdump -d --no-show-raw-insn "$MODULE" | grep -q -E '%ymm|\bv(add|sub|mul|div|sqrt|mov)[a-z]*\b'; then
  echo "lanes: the scalar-only build holds AVX instructions" >&2
  exit 1
fi

echo "== bit-for-bit check of the scalar-only module"
cd /tmp
loaded=$(PYTHONPATH="$(dirname "$MODULE")" "$PYTHON" -c 'import tessarin; print(tessarin.__file__)')
[ "$loaded" = "$MODULE" ] || { echo "lanes: imported $loaded instead of $MODULE" >&2; exit 1; }
PYTHONPATH="$(dirname "$MODULE")" "$PYTHON" "$OLDPWD/benchmarks/bitcheck.py" check \
  2> >(grep -v -e "panicked at" -e "^assertion \`left" -e "^  left:" -e "^ right:" \
    -e "^note: for a backtrace" >&2)
echo "lanes: the scalar code gives the baseline's bits"

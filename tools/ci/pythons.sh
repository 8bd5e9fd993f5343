#!/usr/bin/env bash
# CI stage: the module on every CPython that the machine has (pyenv's
# interpreters 3.9 to 3.13 under $PYENV_ROOT/versions, or PYTHONS="path ...").
# For each: a fresh virtual environment, the module built and installed into
# it, then the tests of what depends on the interpreter's own threading and
# shutdown: daemon threads inside calls while the interpreter exits (each
# scenario 12 times), signals and interrupts, and calls from many threads.
#
# Builds are kept under build/pythons/<version> so that a second run only
# recompiles what changed.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
PYENV_ROOT=${PYENV_ROOT:-$HOME/.pyenv}
RUNS=${TESSARIN_SHUTDOWN_RUNS:-12}

if [ -z "${PYTHONS:-}" ]; then
  PYTHONS=""
  for minor in 9 10 11 12 13; do
    for candidate in "$PYENV_ROOT"/versions/3."$minor".*/bin/python3; do
      [ -x "$candidate" ] && PYTHONS+=" $candidate"
    done
  done
fi
if [ -z "$PYTHONS" ]; then
  echo "pythons: no CPython 3.9-3.13 found under $PYENV_ROOT/versions; nothing to do"
  exit 0
fi

status=0
for python in $PYTHONS; do
  version=$("$python" -c 'import platform; print(platform.python_version())')
  work="$ROOT/build/pythons/$version"
  echo "== CPython $version ($python)"
  rm -rf "$work/venv"
  "$python" -m venv "$work/venv"
  # Without build isolation: the build requirements (scikit-build-core,
  # NumPy's headers) go into the environment itself.
  mapfile -t requirements < <("$work/venv/bin/python" "$ROOT/tools/test_requirements.py" --build)
  "$work/venv/bin/python" -m pip install -q --disable-pip-version-check \
    "${requirements[@]}" pytest
  "$work/venv/bin/python" -m pip install -q --disable-pip-version-check --no-build-isolation \
    --config-settings=build-dir="$work/cmake" "$ROOT"
  # From another directory, so that the installed module is the one tested.
  (cd "$work" && TESSARIN_SHUTDOWN_RUNS=$RUNS "$work/venv/bin/python" -m pytest -q \
    -p no:cacheprovider "$ROOT/tests/python/test_shutdown.py" \
    "$ROOT/tests/python/test_interrupts.py" \
    "$ROOT/tests/python/test_concurrency.py::test_threads_calling_all_functions_at_once_match_serial_calls") ||
    { echo "pythons: FAILED on CPython $version" >&2; status=1; }
done
exit $status

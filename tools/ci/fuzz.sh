#!/usr/bin/env bash
# CI stage: libFuzzer over the C++ kernels, with AddressSanitizer and
# UndefinedBehaviorSanitizer, for a bounded time per target.
#
# Each target starts from its committed corpus (tests/fuzz/corpus/<target>,
# read only) and writes what it finds to build/fuzz/corpus/<target>. Any
# crash, sanitizer report, failed check or input that runs longer than the
# timeout (a loop that does not end) fails the stage; the input is kept in
# build/fuzz/artifacts.
#
#   FUZZ_SECONDS   fuzzing time per target (default 15)
#
# clang 16: the kernels use std::source_location, which clang 14 cannot
# compile against this libstdc++.
set -euo pipefail
cd "$(dirname "$0")/../.."
SECONDS_PER_TARGET=${FUZZ_SECONDS:-15}
BUILD=build/fuzz
CLANG=clang++-16

if ! command -v "$CLANG" >/dev/null || ! dpkg -s libclang-rt-16-dev >/dev/null 2>&1; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang-16 libclang-rt-16-dev \
    >/dev/null
fi

echo "== Fuzzing build ($BUILD)"
cmake -S tests/fuzz -B "$BUILD" -DCMAKE_CXX_COMPILER="$CLANG" >/dev/null
cmake --build "$BUILD" -j 2

export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export ASAN_OPTIONS="halt_on_error=1"

echo "== Arithmetic-geometric-mean loops on every pairing of magnitudes"
"$BUILD/sweep_agm"

targets=(elliptic interp quadrature models fspl)
# fuzz_lanes compares the AVX2 lanes with the scalar code, so it runs only
# where the processor has AVX2 (elsewhere it refuses to start rather than
# pass without comparing anything).
if grep -qw avx2 /proc/cpuinfo 2>/dev/null; then
  [ -x "$BUILD/fuzz_lanes" ] || { echo "fuzz: fuzz_lanes was not built" >&2; exit 1; }
  targets+=(lanes)
else
  echo "== fuzz_lanes skipped: this processor has no AVX2"
fi

status=0
summary=()
for target in "${targets[@]}"; do
  echo "== fuzz_$target for ${SECONDS_PER_TARGET} s"
  work="$BUILD/corpus/$target"
  artifacts="$BUILD/artifacts/$target"
  mkdir -p "$work" "$artifacts"
  log="$BUILD/fuzz_$target.log"
  # The committed corpus lives in the repository only (not in the sdist).
  seeds=()
  [ -d "tests/fuzz/corpus/$target" ] && seeds=("tests/fuzz/corpus/$target")
  if "$BUILD/fuzz_$target" -max_total_time="$SECONDS_PER_TARGET" -timeout=20 \
    -rss_limit_mb=2048 -dict=tests/fuzz/doubles.dict -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work" "${seeds[@]}" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    summary+=("fuzz_$target: $runs runs in ${SECONDS_PER_TARGET} s")
  else
    status=1
    summary+=("fuzz_$target: FAILED (log $log, input in $artifacts)")
    # The report, without the fatal-error lines that the models' flux-map
    # check writes on purpose.
    grep -v -e "^thread '<unnamed>' panicked" -e "^assertion \`left == right\`" \
      -e "^  left: " -e "^ right: " -e "^note: for a backtrace" "$log" | tail -60 >&2
  fi
done
printf '%s\n' "${summary[@]}"
if [ "$status" -ne 0 ]; then
  echo "fuzz: FAILED" >&2
  exit 1
fi
echo "fuzz: no crash, no sanitizer report, no timeout"

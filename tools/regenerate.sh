#!/usr/bin/env bash
# Regenerates the generated files of the tree, all from mpmath:
#
#   nodes       src/numeric/de_nodes.hpp, the quadrature's node table
#               (tools/gen_de_nodes.py; under a second)
#   elliptic    tests/data/elliptic_*.txt, references of the elliptic kernels
#               (tools/gen_elliptic_refs.py; under a minute)
#   models      tests/data/{uniform_disk,ring,small_disk,limb_darkened}.txt,
#               references of the models (tools/gen_model_refs.py; a few minutes)
#   benchmark   benchmarks/data/reference.tsv, the accuracy benchmark's
#               reference set (benchmarks/make_reference.py; about five minutes)
#   fspl-tables src/numeric/tanh_sinh_nodes.hpp, src/models/fspl/series_coefficients.hpp,
#               tests/data/fspl_cel.txt: the fitting family's node table, its
#               Laplacians and cel references (tools/gen_fspl_tables.py; seconds)
#   fspl-basis  src/models/fspl/basis_{grid.hpp,data.cpp}, the fitting family's
#               basis tables, from the installed module's own quadrature at
#               rtol 1e-12 (tools/gen_fspl_basis.py; seconds; --check compares
#               to 1e-9, the last bits following the platform's libm)
#   fspl        tests/data/truth_fspl.txt, two-route truth of the finite-source
#               point-lens laws (tools/gen_fspl_truth.py; about 25 minutes of one
#               core)
#
#   bash tools/regenerate.sh [--check] [all | nodes elliptic models benchmark ...]
#
# With no target, only the quick ones (nodes and elliptic). --check writes
# nothing: it regenerates into a scratch copy and fails if any file differs
# from the committed one (what CI does for the node table).
#
# The bit-for-bit baseline (benchmarks/data/bitcheck_baseline.json.gz) is a
# record of the module's own results, not a generated reference: only
# `python benchmarks/bitcheck.py record` from an unchanged build renews it.
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON=${PYTHON:-python3}
CHECK=0
TARGETS=()
for arg in "$@"; do
  case "$arg" in
    --check) CHECK=1 ;;
    all) TARGETS+=(nodes fspl-tables fspl-basis elliptic models benchmark fspl) ;;
    nodes | fspl-tables | fspl-basis | elliptic | models | benchmark | fspl) TARGETS+=("$arg") ;;
    -h | --help) sed -n '2,28p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "regenerate: unknown target $arg (nodes, fspl-tables, fspl-basis, elliptic, models, benchmark, fspl, all)" >&2; exit 2 ;;
  esac
done
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(nodes fspl-tables elliptic)

if ! "$PYTHON" -c "import mpmath" 2>/dev/null; then
  echo "regenerate: needs mpmath (python3 -m pip install mpmath)" >&2
  exit 1
fi

# The files each target writes and the script that writes them.
script_of() {
  case "$1" in
    nodes) echo tools/gen_de_nodes.py ;;
    fspl-tables) echo tools/gen_fspl_tables.py ;;
    fspl-basis) echo tools/gen_fspl_basis.py ;;
    elliptic) echo tools/gen_elliptic_refs.py ;;
    models) echo tools/gen_model_refs.py ;;
    benchmark) echo benchmarks/make_reference.py ;;
    fspl) echo tools/gen_fspl_truth.py ;;
  esac
}
files_of() {
  case "$1" in
    nodes) echo src/numeric/de_nodes.hpp ;;
    fspl-tables) echo src/numeric/tanh_sinh_nodes.hpp src/models/fspl/series_coefficients.hpp tests/data/fspl_cel.txt ;;
    fspl-basis) echo src/models/fspl/basis_grid.hpp src/models/fspl/basis_data.cpp ;;
    elliptic) echo tests/data/elliptic_{k,e,pi,rc,rf,rd,rj}.txt ;;
    models) echo tests/data/{uniform_disk,ring,small_disk,limb_darkened}.txt ;;
    benchmark) echo benchmarks/data/reference.tsv ;;
    fspl) echo tests/data/truth_fspl.txt ;;
  esac
}

status=0
for target in "${TARGETS[@]}"; do
  script=$(script_of "$target")
  if [ "$CHECK" -eq 0 ]; then
    echo "== $target: $script"
    "$PYTHON" "$script"
    continue
  fi
  if [ "$target" = fspl-basis ]; then
    echo "== $target: $script --check"
    "$PYTHON" "$script" --check >/dev/null || status=1
    continue
  fi
  # The scripts write next to themselves, so the check runs them in a
  # scratch copy of the tree and compares what they wrote.
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  tar --exclude=./build --exclude=./dist --exclude=./.git --exclude=./wheelhouse \
    --exclude=./tests/fuzz/corpus -cf - . | tar -xf - -C "$scratch"
  echo "== $target: $script --check"
  (cd "$scratch" && "$PYTHON" "$script" >/dev/null)
  for file in $(files_of "$target"); do
    if ! cmp -s "$file" "$scratch/$file"; then
      echo "regenerate: $file differs from a fresh run of $script:" >&2
      diff -u "$file" "$scratch/$file" | head -20 >&2
      status=1
    fi
  done
  rm -rf "$scratch"
done
[ "$status" -eq 0 ] || exit 1
[ "$CHECK" -eq 0 ] || echo "regenerate: ${TARGETS[*]}: the committed files are what the scripts write"

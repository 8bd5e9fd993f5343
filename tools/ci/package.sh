#!/usr/bin/env bash
# Packaging: `python -m build` makes the sdist and, from it, a wheel; both
# pass `twine check`; the wheel holds the module, its stubs and the licence
# with complete metadata; the sdist holds what a build needs and not the fuzz
# corpus. The wheel is repaired by auditwheel to a manylinux tag, checked
# (tag, glibc and libstdc++ symbol versions, exports), installed in a fresh
# environment and tested there, every result bit compared with the committed
# baseline (tools/ci/wheels.sh). Then the sdist is built and installed (with
# the plot extra) in a fresh environment, where the module imports and the
# demonstration runs and draws its plot.
#
# The sdist and the repaired wheel (only that one) are left in dist/
# (DIST=dir to change), for tools/ci/typecheck.sh to check the same wheel:
# WHEEL=dist/tessarin-*.whl.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
PYTHON=${PYTHON:-python3}
OUT=${DIST:-$ROOT/dist}

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

echo "== python -m build"
"$PYTHON" -m venv "$WORK/tools"
"$WORK/tools/bin/python" -m pip install -q --disable-pip-version-check build twine
mkdir -p "$OUT"
rm -f "$OUT"/tessarin-*.tar.gz "$OUT"/tessarin-*.whl
"$WORK/tools/bin/python" -m build --outdir "$OUT" "$ROOT" >"$WORK/build.log" 2>&1 \
  || { cat "$WORK/build.log"; exit 1; }
SDIST=$(ls "$OUT"/tessarin-*.tar.gz)
BUILT=$(ls "$OUT"/tessarin-*.whl)
VERSION=$(sed -n 's/^version = "\(.*\)"$/\1/p' pyproject.toml)
grep -q "^-- tessarin $VERSION\$" "$WORK/build.log" ||
  { echo "the CMake build did not report the version of pyproject.toml"; exit 1; }
echo "built $(basename "$SDIST") and $(basename "$BUILT")"

echo "== auditwheel repair, and the repaired wheel in a fresh environment"
mv "$BUILT" "$WORK/"
bash "$ROOT/tools/ci/wheels.sh" --wheel "$WORK/$(basename "$BUILT")" --out "$OUT" --bitcheck "$PYTHON"
WHEEL=$(ls "$OUT"/tessarin-*.whl)
case "$(basename "$WHEEL")" in
  *-manylinux_*_x86_64.whl) ;;
  *) echo "dist/ holds $(basename "$WHEEL"), not one manylinux wheel"; exit 1 ;;
esac

echo "== twine check"
"$WORK/tools/bin/twine" check --strict "$SDIST" "$WHEEL"

echo "== contents and metadata"
"$WORK/tools/bin/python" - "$SDIST" "$WHEEL" <<'EOF'
import email, re, sys, tarfile, zipfile

sdist, wheel = sys.argv[1:]
problems = []

with zipfile.ZipFile(wheel) as whl:
    names = whl.namelist()
    meta = email.message_from_bytes(
        whl.read(next(n for n in names if n.endswith(".dist-info/METADATA"))))
if not any(re.fullmatch(r"tessarin\.cpython-[^/]+\.so", n) for n in names):
    problems.append("wheel: no top-level tessarin extension module")
for stub in ["tessarin-stubs/__init__.pyi", "tessarin-stubs/fspl.pyi"]:
    if stub not in names:
        problems.append(f"wheel: no {stub}")
if not any(re.search(r"\.dist-info/(licenses/)?LICENSE$", n) for n in names):
    problems.append("wheel: no LICENSE in the .dist-info")
for n in names:
    if n.endswith("/"):  # auditwheel writes the directories as entries too
        continue
    if not re.match(r"(tessarin\.cpython-[^/]+\.so|tessarin-stubs/(__init__|fspl)\.pyi|tessarin-[^/]+\.dist-info/.+)$", n):
        problems.append(f"wheel: unexpected file {n}")

def need(field, pattern):
    values = meta.get_all(field) or []
    if not any(re.search(pattern, v) for v in values):
        problems.append(f"metadata: no {field} matching {pattern!r} (have {values})")

need("Name", r"^tessarin$")
need("Summary", r"gravitational lens")
need("Requires-Python", r">=\s*3\.9")
need("Author", r"The tessarin developers")
need("Classifier", r"^License :: OSI Approved :: MIT License$")
need("Classifier", r"^Topic :: Scientific/Engineering :: Astronomy$")
need("Classifier", r"^Typing :: Typed$")
for minor in range(9, 14):
    need("Classifier", rf"^Programming Language :: Python :: 3\.{minor}$")
if not (meta.get("License") == "MIT" or meta.get("License-Expression") == "MIT"):
    problems.append("metadata: licence is not MIT")
need("Provides-Extra", r"^plot$")
need("Provides-Extra", r"^test$")
need("Requires-Dist", r"^matplotlib.*extra == .plot.")
need("Requires-Dist", r"^pytest.*extra == .test.")
need("Requires-Dist", r"^numpy>=1\.23$")
need("Description-Content-Type", r"markdown")
if "## Set-up" not in (meta.get_payload() or ""):
    problems.append("metadata: the long description is not README.md")

with tarfile.open(sdist) as tar:
    members = {m.name.split("/", 1)[1] for m in tar.getmembers() if "/" in m.name}
for path in ["pyproject.toml", "CMakeLists.txt", "README.md", "LICENSE", "CHANGELOG.md",
             "PKG-INFO", "stubs/tessarin-stubs/__init__.pyi", "stubs/tessarin-stubs/fspl.pyi",
             "examples/light_curve.py",
             "src/lib.cpp", "src/exports.map", "tools/run_tests.sh"]:
    if path not in members:
        problems.append(f"sdist: {path} missing")
for path in ["tests/fuzz/CMakeLists.txt", "tests/python/conftest.py", "tools/ci/wheels.sh",
             "tools/test_requirements.py", "cmake/flags.cmake"]:
    if path not in members:
        problems.append(f"sdist: {path} missing")
for path in members:
    if path.startswith(("build/", ".ci/", "dist/", "wheelhouse/", ".git/", "tests/fuzz/corpus/")) \
            or path.endswith((".so", ".pyc")):
        problems.append(f"sdist: {path} should not be there")

for problem in problems:
    print(problem)
if problems:
    sys.exit(1)
print(f"wheel: {len(names)} files; sdist: {len(members)} files; metadata complete")
EOF

echo "== the sdist in a fresh environment"
"$PYTHON" -m venv "$WORK/fresh"
"$WORK/fresh/bin/python" -m pip install -q --disable-pip-version-check \
  "tessarin[plot] @ file://$SDIST"
cd "$WORK"
"$WORK/fresh/bin/python" - "$ROOT/tools/function_table.py" <<'EOF'
import math
import runpy
import sys
import tessarin

names = runpy.run_path(sys.argv[1])["NAMES"]
assert tessarin.__all__ == names, tessarin.__all__
# The lens at the centre of a disk as large as the Einstein ring: sqrt(5).
got = tessarin.witt_mao_magnification([0.0], 1.0, 1.0)[0]
assert abs(got - math.sqrt(5)) < 1e-14, got
print(f"{tessarin.__file__}: imports and computes")
EOF
"$WORK/fresh/bin/python" "$ROOT/tools/ci/smoke.py"
"$WORK/fresh/bin/python" "$ROOT/examples/light_curve.py" --output "$WORK/light_curve.png" >"$WORK/example.log" \
  || { cat "$WORK/example.log"; exit 1; }
tail -n 2 "$WORK/example.log"
head -c 8 "$WORK/light_curve.png" | od -An -tx1 | grep -q "89 50 4e 47 0d 0a 1a 0a" \
  || { echo "light_curve.png is not a PNG"; exit 1; }
echo "the demonstration ran and wrote a PNG of $(stat -c %s "$WORK/light_curve.png") bytes"

echo "== the examples from the sdist"
# The sdist must carry the examples with their data; the survey runs
# without its extras (no progress bar, a process pool).
mkdir -p "$WORK/unpacked"
tar -xzf "$SDIST" -C "$WORK/unpacked"
SRC=$(ls -d "$WORK"/unpacked/tessarin-*)
for path in examples/data/README.md examples/data/MOA_0300089_PLC_007.tbl \
            examples/data/Bron_0300089_PLC_002.tbl examples/data/CTIO_I_0300089_PLC_005.tbl \
            examples/lensing.py examples/fit_real_event.py examples/survey.py; do
  [ -f "$SRC/$path" ] || { echo "sdist: $path missing"; exit 1; }
done
"$WORK/fresh/bin/python" "$SRC/examples/survey.py" --events 8 --workers 2 2>/dev/null | tail -n 2

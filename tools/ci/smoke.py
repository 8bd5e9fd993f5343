"""A first computation with an installed tessarin, from outside the source
tree: the module imports, lists its seven functions and gives known values.

    python tools/ci/smoke.py
"""
import math
import sys
from pathlib import Path

import tessarin

if Path(tessarin.__file__).resolve().is_relative_to(Path(__file__).resolve().parents[2]):
    sys.exit(f"imported {tessarin.__file__} from the source tree, not an installed module")

assert tessarin.__all__ == [
    "witt_mao_magnification", "integrated_witt_mao_magnification",
    "integrated_flux_map_witt_mao_magnification", "heyrovsky_magnification",
    "integrated_heyrovsky_magnification", "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification"], tessarin.__all__
# The lens at the centre of a disk as large as the Einstein ring: sqrt(5);
# on its limb: (pi + 2) / pi.
centre, limb = tessarin.witt_mao_magnification([0.0, 1.0], 1.0, 1.0)
assert abs(centre - math.sqrt(5)) < 1e-14, centre
assert abs(limb - (math.pi + 2) / math.pi) < 1e-14, limb
# The two limb-darkened models agree; far from the star they tend to the
# point-source magnification (u^2 + 2) / (u sqrt(u^2 + 4)).
rings, disks = (f([0.0, 0.5, 30.0], 1.0, 0.1) for f in (
    tessarin.integrated_heyrovsky_magnification, tessarin.integrated_witt_mao_magnification))
for a, b in zip(rings, disks):
    assert abs(a - b) < 1e-4 * a, (rings, disks)
u = 3.0
assert abs(rings[2] - (u * u + 2) / (u * math.sqrt(u * u + 4))) < 1e-4, rings
print("a fatal-error report on unequal table lengths follows:", flush=True)
try:
    tessarin.integrated_flux_map_heyrovsky_magnification([0.5], 1.0, 0.1, [0.0, 1.0], [1.0])
except BaseException as error:  # PanicException derives from BaseException
    assert type(error).__name__ == "PanicException", repr(error)
else:
    sys.exit("unequal table lengths did not raise PanicException")
# The fitting functions: NumPy arrays in, broadcast, NumPy arrays out.
import numpy as np  # noqa: E402
from tessarin import fspl  # noqa: E402

bands = fspl.linear(np.linspace(0.0, 0.3, 7)[:, None], 0.1, [0.4, 0.6])
assert bands.shape == (7, 2) and bands.dtype == np.float64, bands
assert type(fspl.uniform(0.5, 0.1)) is np.float64
print(f"{tessarin.__file__}: imports and computes")

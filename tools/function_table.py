"""The seven functions of the module tessarin: names and parameters, in the
order of registration (the order of tessarin.__all__).

This is the one list. The module's __all__ and text signatures, the stubs,
the benchmarks' methods and tools/ci/package.sh are checked against it
(tests/python/test_function_table.py); tests/python/conftest.py and
tests/python/adversarial.py build their tables from it.
"""

SEQUENCE = "sequence"  # a sequence of floats
FLOAT = "float"

_SEPARATIONS = (("l", SEQUENCE), ("re", FLOAT), ("rstar", FLOAT))
_FLUX_MAP = _SEPARATIONS + (("bl", SEQUENCE), ("bf", SEQUENCE))

# (name, ((parameter, kind), ...)), in registration order.
FUNCTIONS = (
    ("witt_mao_magnification", _SEPARATIONS),
    ("integrated_witt_mao_magnification", _SEPARATIONS),
    ("integrated_flux_map_witt_mao_magnification", _FLUX_MAP),
    ("heyrovsky_magnification", (("l", FLOAT), ("r", FLOAT), ("re", FLOAT), ("rstar", FLOAT))),
    ("integrated_heyrovsky_magnification", _SEPARATIONS),
    ("integrated_flux_map_heyrovsky_magnification", _FLUX_MAP),
    ("discrete_flux_map_heyrovsky_magnification", _FLUX_MAP),
)

NAMES = [name for name, _ in FUNCTIONS]

"""The module's function table, for tests that hold for every function.

A test that takes a ``function`` argument runs once per registered function.
"""
from __future__ import annotations

import dataclasses

import tessarin

SEQUENCE = "sequence"
FLOAT = "float"


@dataclasses.dataclass(frozen=True)
class Function:
    name: str
    parameters: tuple[str, ...]
    kinds: tuple[str, ...]

    @property
    def call(self):
        return getattr(tessarin, self.name)

    @property
    def sequence_parameters(self) -> list[str]:
        return [p for p, k in zip(self.parameters, self.kinds) if k == SEQUENCE]

    @property
    def float_parameters(self) -> list[str]:
        return [p for p, k in zip(self.parameters, self.kinds) if k == FLOAT]

    def valid_arguments(self) -> dict[str, object]:
        """Arguments that bind and convert: l, radii and a two-ring flux map."""
        values = {"l": [0.5, 2.0], "r": 0.5, "re": 1.0, "rstar": 0.1,
                  "bl": [0.0, 1.0], "bf": [1.0, 0.5]}
        if self.kinds[0] == FLOAT:
            values["l"] = 0.5
        return {p: values[p] for p in self.parameters}


_SEPARATIONS = ("l", "re", "rstar")
_FLUX_MAP = ("l", "re", "rstar", "bl", "bf")
_SFF = (SEQUENCE, FLOAT, FLOAT)
_SFFSS = (SEQUENCE, FLOAT, FLOAT, SEQUENCE, SEQUENCE)

# In registration order.
FUNCTIONS = [
    Function("witt_mao_magnification", _SEPARATIONS, _SFF),
    Function("integrated_witt_mao_magnification", _SEPARATIONS, _SFF),
    Function("integrated_flux_map_witt_mao_magnification", _FLUX_MAP, _SFFSS),
    Function("heyrovsky_magnification", ("l", "r", "re", "rstar"), (FLOAT,) * 4),
    Function("integrated_heyrovsky_magnification", _SEPARATIONS, _SFF),
    Function("integrated_flux_map_heyrovsky_magnification", _FLUX_MAP, _SFFSS),
    Function("discrete_flux_map_heyrovsky_magnification", _FLUX_MAP, _SFFSS),
]
FLUX_MAP_FUNCTIONS = [f for f in FUNCTIONS if f.parameters == _FLUX_MAP]


def pytest_generate_tests(metafunc):
    if "function" in metafunc.fixturenames:
        metafunc.parametrize("function", FUNCTIONS, ids=[f.name for f in FUNCTIONS])
    if "flux_map_function" in metafunc.fixturenames:
        metafunc.parametrize("flux_map_function", FLUX_MAP_FUNCTIONS,
                             ids=[f.name for f in FLUX_MAP_FUNCTIONS])

"""The module's function table, for tests that hold for every function.

A test that takes a ``function`` argument runs once per registered function.
"""
from __future__ import annotations

import dataclasses
import sys
from pathlib import Path

import tessarin

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import function_table  # noqa: E402

SEQUENCE = function_table.SEQUENCE
FLOAT = function_table.FLOAT


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


# In registration order, from the one table of the functions.
FUNCTIONS = [
    Function(name, tuple(p for p, _ in parameters), tuple(k for _, k in parameters))
    for name, parameters in function_table.FUNCTIONS
]
FLUX_MAP_FUNCTIONS = [f for f in FUNCTIONS if f.parameters == ("l", "re", "rstar", "bl", "bf")]


def pytest_generate_tests(metafunc):
    if "function" in metafunc.fixturenames:
        metafunc.parametrize("function", FUNCTIONS, ids=[f.name for f in FUNCTIONS])
    if "flux_map_function" in metafunc.fixturenames:
        metafunc.parametrize("flux_map_function", FLUX_MAP_FUNCTIONS,
                             ids=[f.name for f in FLUX_MAP_FUNCTIONS])

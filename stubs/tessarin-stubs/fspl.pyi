"""Finite-source point-lens magnification for fitting light curves.

``u`` is the separation between the lens and the centre of the source and
``rho`` the radius of the source, both in Einstein radii; the surface
brightness of each law is a function of ``mu = sqrt(1 - r^2)``, with ``r``
the distance from the centre of the source in source radii. ``u``, ``rho``
and the coefficients broadcast as NumPy arrays do and are read as
``np.asarray(x, np.float64)`` (a masked array as ``np.ma.filled(x, nan)``).
Every function returns a new float64 array of the broadcast shape, a
``numpy.float64`` when every input is a scalar, or ``out`` when given.

``rtol`` (keyword only, from 1e-12 to 1e-3, default 1e-8) bounds the
relative error against the exact magnification of the stated profile, for
``1e-6 <= rho <= 1e3`` and every ``u >= 0``; for ``rho >= 1`` the error of
``A - 1`` is also within ``rtol * (A - 1) + 4 eps``. An element whose inputs
describe no valid source is NaN; ``u = inf`` gives 1.

``gradient=True`` (keyword only) returns the tuple ``(A, dA/du, dA/drho,
dA/dc...)``, one derivative per coefficient in argument order (none for
``uniform``; ``tabulated`` gives none with respect to its intensities), each
of the same shape as ``A``; ``out`` is then a tuple of as many arrays. ``A``
is what ``gradient=False`` gives, bit for bit; on the limb (``u = rho``) of
a source with a bright limb, ``dA/du`` is ``-inf`` and ``dA/drho`` ``+inf``.

Exceptions
----------
ValueError
    ``rtol`` out of range or NaN, inputs that do not broadcast or convert,
    ``out`` of the wrong shape or read-only, a malformed table.
TypeError
    A missing, repeated or unknown argument; ``out`` not a float64 ndarray
    (with ``gradient=True``, not a tuple of one per result); ``gradient``
    not True or False.
ImportError
    NumPy cannot be imported (it is imported at the first call).
"""

from typing import Any, Literal, Optional, TypeVar, Union, overload

import numpy as np
import numpy.typing as npt

__all__ = [
    "uniform",
    "linear",
    "quadratic",
    "square_root",
    "logarithmic",
    "power2",
    "claret",
    "tabulated",
]

# One value: the result is a numpy.float64.
_Scalar = Union[float, int, np.floating[Any], np.integer[Any]]
# The array given as ``out``, returned as it is.
_Out = TypeVar("_Out", bound=npt.NDArray[np.float64])

@overload
def uniform(
    u: _Scalar, rho: _Scalar, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> np.float64: ...
@overload
def uniform(
    u: npt.ArrayLike, rho: npt.ArrayLike, *, rtol: float = 1e-08, out: _Out, gradient: Literal[False] = False
) -> _Out: ...
@overload
def uniform(
    u: npt.ArrayLike, rho: npt.ArrayLike, *, rtol: float = 1e-08, out: Optional[tuple[npt.NDArray[np.float64], ...]] = None,
    gradient: Literal[True],
) -> tuple[Union[npt.NDArray[np.float64], np.float64], ...]: ...
@overload
def uniform(
    u: npt.ArrayLike, rho: npt.ArrayLike, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> Union[npt.NDArray[np.float64], np.float64]:
    """Magnification of a uniformly bright source star.

    Surface brightness ``I(mu) = 1``.

    Examples
    --------
    >>> import numpy as np
    >>> from tessarin import fspl
    >>> A = fspl.uniform(np.linspace(0.0, 0.3, 7), 0.1)
    >>> A.shape
    (7,)
    """

@overload
def linear(
    u: _Scalar, rho: _Scalar, c: _Scalar, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> np.float64: ...
@overload
def linear(
    u: npt.ArrayLike, rho: npt.ArrayLike, c: npt.ArrayLike, *, rtol: float = 1e-08, out: _Out, gradient: Literal[False] = False
) -> _Out: ...
@overload
def linear(
    u: npt.ArrayLike, rho: npt.ArrayLike, c: npt.ArrayLike, *, rtol: float = 1e-08, out: Optional[tuple[npt.NDArray[np.float64], ...]] = None,
    gradient: Literal[True],
) -> tuple[Union[npt.NDArray[np.float64], np.float64], ...]: ...
@overload
def linear(
    u: npt.ArrayLike, rho: npt.ArrayLike, c: npt.ArrayLike, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> Union[npt.NDArray[np.float64], np.float64]:
    """Magnification of a linearly limb-darkened source star;
    c = 3 Gamma / (2 + Gamma) for the Gamma of An et al. (2002).

    Surface brightness ``I(mu) = 1 - c (1 - mu)``.

    Examples
    --------
    >>> import numpy as np
    >>> from tessarin import fspl
    >>> A = fspl.linear(np.linspace(0.0, 0.3, 7), 0.1, 0.5)
    >>> A.shape
    (7,)
    """

@overload
def quadratic(
    u: _Scalar, rho: _Scalar, a: _Scalar, b: _Scalar, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> np.float64: ...
@overload
def quadratic(
    u: npt.ArrayLike, rho: npt.ArrayLike, a: npt.ArrayLike, b: npt.ArrayLike, *, rtol: float = 1e-08, out: _Out, gradient: Literal[False] = False
) -> _Out: ...
@overload
def quadratic(
    u: npt.ArrayLike, rho: npt.ArrayLike, a: npt.ArrayLike, b: npt.ArrayLike, *, rtol: float = 1e-08, out: Optional[tuple[npt.NDArray[np.float64], ...]] = None,
    gradient: Literal[True],
) -> tuple[Union[npt.NDArray[np.float64], np.float64], ...]: ...
@overload
def quadratic(
    u: npt.ArrayLike, rho: npt.ArrayLike, a: npt.ArrayLike, b: npt.ArrayLike, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> Union[npt.NDArray[np.float64], np.float64]:
    """Magnification of a source star with quadratic limb darkening.

    Surface brightness ``I(mu) = 1 - a (1 - mu) - b (1 - mu)^2``.

    Examples
    --------
    >>> import numpy as np
    >>> from tessarin import fspl
    >>> A = fspl.quadratic(np.linspace(0.0, 0.3, 7), 0.1, 0.5, 0.5)
    >>> A.shape
    (7,)
    """

@overload
def square_root(
    u: _Scalar, rho: _Scalar, c: _Scalar, d: _Scalar, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> np.float64: ...
@overload
def square_root(
    u: npt.ArrayLike, rho: npt.ArrayLike, c: npt.ArrayLike, d: npt.ArrayLike, *, rtol: float = 1e-08, out: _Out, gradient: Literal[False] = False
) -> _Out: ...
@overload
def square_root(
    u: npt.ArrayLike, rho: npt.ArrayLike, c: npt.ArrayLike, d: npt.ArrayLike, *, rtol: float = 1e-08, out: Optional[tuple[npt.NDArray[np.float64], ...]] = None,
    gradient: Literal[True],
) -> tuple[Union[npt.NDArray[np.float64], np.float64], ...]: ...
@overload
def square_root(
    u: npt.ArrayLike, rho: npt.ArrayLike, c: npt.ArrayLike, d: npt.ArrayLike, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> Union[npt.NDArray[np.float64], np.float64]:
    """Magnification of a source star with square-root limb darkening.

    Surface brightness ``I(mu) = 1 - c (1 - mu) - d (1 - sqrt(mu))``.

    Examples
    --------
    >>> import numpy as np
    >>> from tessarin import fspl
    >>> A = fspl.square_root(np.linspace(0.0, 0.3, 7), 0.1, 0.5, 0.5)
    >>> A.shape
    (7,)
    """

@overload
def logarithmic(
    u: _Scalar, rho: _Scalar, c: _Scalar, d: _Scalar, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> np.float64: ...
@overload
def logarithmic(
    u: npt.ArrayLike, rho: npt.ArrayLike, c: npt.ArrayLike, d: npt.ArrayLike, *, rtol: float = 1e-08, out: _Out, gradient: Literal[False] = False
) -> _Out: ...
@overload
def logarithmic(
    u: npt.ArrayLike, rho: npt.ArrayLike, c: npt.ArrayLike, d: npt.ArrayLike, *, rtol: float = 1e-08, out: Optional[tuple[npt.NDArray[np.float64], ...]] = None,
    gradient: Literal[True],
) -> tuple[Union[npt.NDArray[np.float64], np.float64], ...]: ...
@overload
def logarithmic(
    u: npt.ArrayLike, rho: npt.ArrayLike, c: npt.ArrayLike, d: npt.ArrayLike, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> Union[npt.NDArray[np.float64], np.float64]:
    """Magnification of a source star with logarithmic limb darkening.

    Surface brightness ``I(mu) = 1 - c (1 - mu) - d mu ln(mu)``.

    Examples
    --------
    >>> import numpy as np
    >>> from tessarin import fspl
    >>> A = fspl.logarithmic(np.linspace(0.0, 0.3, 7), 0.1, 0.5, 0.5)
    >>> A.shape
    (7,)
    """

@overload
def power2(
    u: _Scalar, rho: _Scalar, c: _Scalar, alpha: _Scalar, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> np.float64: ...
@overload
def power2(
    u: npt.ArrayLike, rho: npt.ArrayLike, c: npt.ArrayLike, alpha: npt.ArrayLike, *, rtol: float = 1e-08, out: _Out, gradient: Literal[False] = False
) -> _Out: ...
@overload
def power2(
    u: npt.ArrayLike, rho: npt.ArrayLike, c: npt.ArrayLike, alpha: npt.ArrayLike, *, rtol: float = 1e-08, out: Optional[tuple[npt.NDArray[np.float64], ...]] = None,
    gradient: Literal[True],
) -> tuple[Union[npt.NDArray[np.float64], np.float64], ...]: ...
@overload
def power2(
    u: npt.ArrayLike, rho: npt.ArrayLike, c: npt.ArrayLike, alpha: npt.ArrayLike, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> Union[npt.NDArray[np.float64], np.float64]:
    """Magnification of a source star with power-2 limb darkening.

    Surface brightness ``I(mu) = 1 - c (1 - mu^alpha)``.

    Examples
    --------
    >>> import numpy as np
    >>> from tessarin import fspl
    >>> A = fspl.power2(np.linspace(0.0, 0.3, 7), 0.1, 0.5, 0.5)
    >>> A.shape
    (7,)
    """

@overload
def claret(
    u: _Scalar, rho: _Scalar, a1: _Scalar, a2: _Scalar, a3: _Scalar, a4: _Scalar, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> np.float64: ...
@overload
def claret(
    u: npt.ArrayLike, rho: npt.ArrayLike, a1: npt.ArrayLike, a2: npt.ArrayLike, a3: npt.ArrayLike, a4: npt.ArrayLike, *, rtol: float = 1e-08, out: _Out, gradient: Literal[False] = False
) -> _Out: ...
@overload
def claret(
    u: npt.ArrayLike, rho: npt.ArrayLike, a1: npt.ArrayLike, a2: npt.ArrayLike, a3: npt.ArrayLike, a4: npt.ArrayLike, *, rtol: float = 1e-08, out: Optional[tuple[npt.NDArray[np.float64], ...]] = None,
    gradient: Literal[True],
) -> tuple[Union[npt.NDArray[np.float64], np.float64], ...]: ...
@overload
def claret(
    u: npt.ArrayLike, rho: npt.ArrayLike, a1: npt.ArrayLike, a2: npt.ArrayLike, a3: npt.ArrayLike, a4: npt.ArrayLike, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> Union[npt.NDArray[np.float64], np.float64]:
    """Magnification of a source star with Claret's four-coefficient law.

    Surface brightness ``I(mu) = 1 - sum over k = 1..4 of a_k (1 - mu^(k/2))``.

    Examples
    --------
    >>> import numpy as np
    >>> from tessarin import fspl
    >>> A = fspl.claret(np.linspace(0.0, 0.3, 7), 0.1, 0.5, 0.5, 0.5, 0.5)
    >>> A.shape
    (7,)
    """

@overload
def tabulated(
    u: _Scalar, rho: _Scalar, mu: npt.ArrayLike, intensity: npt.ArrayLike, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> np.float64: ...
@overload
def tabulated(
    u: npt.ArrayLike, rho: npt.ArrayLike, mu: npt.ArrayLike, intensity: npt.ArrayLike, *, rtol: float = 1e-08, out: _Out, gradient: Literal[False] = False
) -> _Out: ...
@overload
def tabulated(
    u: npt.ArrayLike, rho: npt.ArrayLike, mu: npt.ArrayLike, intensity: npt.ArrayLike, *, rtol: float = 1e-08, out: Optional[tuple[npt.NDArray[np.float64], ...]] = None,
    gradient: Literal[True],
) -> tuple[Union[npt.NDArray[np.float64], np.float64], ...]: ...
@overload
def tabulated(
    u: npt.ArrayLike, rho: npt.ArrayLike, mu: npt.ArrayLike, intensity: npt.ArrayLike, *, rtol: float = 1e-08, out: None = None, gradient: Literal[False] = False
) -> Union[npt.NDArray[np.float64], np.float64]:
    """Magnification of a source star with a tabulated I(mu) profile.

    Surface brightness linear in ``mu`` between the nodes of the table ``(mu, intensity)`` (one-dimensional, ``mu`` strictly increasing from 0 to 1, ``intensity`` non-negative; a malformed table raises ValueError). The table does not broadcast.

    Examples
    --------
    >>> import numpy as np
    >>> from tessarin import fspl
    >>> A = fspl.tabulated(np.linspace(0.0, 0.3, 7), 0.1, np.array([0.0, 1.0]), np.array([0.4, 1.0]))
    >>> A.shape
    (7,)
    """

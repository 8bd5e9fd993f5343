"""Finite-source magnification of a point-mass gravitational lens.

Units
-----
Separations ``l`` (and ring radii ``r``, ``bl``) are in **source radii**: the
distance between the lens and the centre of the source divided by the radius
of the source, so ``l = 1`` puts the lens on the limb. ``re`` (the Einstein
radius) and ``rstar`` (the source radius) are in one common unit of your
choice (for example both in milliarcseconds); only their ratio enters.

Exceptions
----------
TypeError
    An argument could not be bound or converted, e.g.
    ``argument 'l': Can't extract `str` to `Vec```.
RuntimeError
    A complete elliptic integral failed; the message names it, e.g.
    ``elliprj: Fail to converge`` or ``ellippi: n must be less than 1.``.
    No partial result is returned.
pyo3_runtime.PanicException
    A violated precondition (``bl`` and ``bf`` of different lengths) or an
    internal fatal error. It derives from ``BaseException``, so
    ``except Exception`` does not catch it.
MemoryError
    A result or a converted argument could not be allocated, or a sequence
    claims (``len()``) 2**60 items or more, as ``list()`` refuses it.

Special separations
-------------------
Separations are not checked. One that is NaN (a masked NumPy epoch read by
iteration is NaN too), negative or infinite gives, for the whole call where
the table says ``RuntimeError`` (``elliprj: Fail to converge``):

| function | NaN, negative or `-inf` separation | `+inf` separation |
| --- | --- | --- |
| `witt_mao_magnification` | `RuntimeError` | `RuntimeError` |
| `integrated_witt_mao_magnification` | `RuntimeError` | `RuntimeError` |
| `integrated_flux_map_witt_mao_magnification` | `RuntimeError` | `RuntimeError` |
| `heyrovsky_magnification` | `RuntimeError` | 1.0 |
| `discrete_flux_map_heyrovsky_magnification` | `RuntimeError` | the sum of the fluxes |
| `integrated_heyrovsky_magnification` | NaN | 1.0 |
| `integrated_flux_map_heyrovsky_magnification` | NaN | 1.0 |

A magnification is never below 1 (for a profile with no negative
brightness): where rounding would take a mean of the point lens under 1, it
is 1.

``__version__`` is the version of the package.

References
----------
Witt & Mao 1994, ApJ 430, 505 (uniform disk); Heyrovsky 2003, ApJ 594, 464
(ring of the source); Carlson 1995, Numer. Algorithms 10, 13 (elliptic
integrals); Takahasi & Mori 1974, Publ. RIMS 9, 721 (double-exponential
quadrature).
"""

from collections.abc import Sequence
from typing import Protocol, SupportsFloat, Union

__all__ = [
    "witt_mao_magnification",
    "integrated_witt_mao_magnification",
    "integrated_flux_map_witt_mao_magnification",
    "heyrovsky_magnification",
    "integrated_heyrovsky_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification",
]

class _FloatArray(Protocol):
    # What the module reads a sequence of floats from: a length and indexed
    # items that convert to float. A one-dimensional NumPy array fits; an
    # iterator or a set does not (the module refuses them at run time too).
    def __len__(self) -> int: ...
    def __getitem__(self, index: int, /) -> SupportsFloat: ...

_Floats = Union[Sequence[SupportsFloat], _FloatArray]

__version__: str

def witt_mao_magnification(
    l: _Floats, re: SupportsFloat, rstar: SupportsFloat
) -> list[float]:
    """Magnification of a uniformly bright disk, one value per separation.

    The closed form of Witt & Mao (1994) in complete elliptic integrals of
    the first, second and third kinds (evaluated through Carlson's symmetric
    integrals, Carlson 1995). The same expression serves a lens inside and
    outside the disk. Within a quarter of a source radius of the limb
    (``|l - 1| < 0.25``) the complements ``1 - n`` and ``1 - m`` are formed
    from the geometry, so the value keeps full precision down to the limb;
    on the limb itself (``l == 1``) it is the exact limb value. More than 25
    source radii out the small-disk expansion replaces the closed form.

    Parameters
    ----------
    l
        Separations between the lens and the centre of the source, in source
        radii (``l = 1`` is the limb).
    re
        Einstein radius of the lens.
    rstar
        Radius of the source, in the same unit as ``re``.

    Returns
    -------
    list[float]
        The magnification at each separation, in order; it tends to the
        point-lens value far from the source, never drops below 1 (and is 1
        where ``l * rstar / re`` overflows) and is ``sqrt(1 + 4 re²/rstar²)``
        with the lens at the centre. ``rstar = 0`` gives NaN. Sources below
        about 1e-103 Einstein radii are beyond the closed form (its products
        underflow): digits are lost from 1e-104 and the value is ``inf``
        below about 1e-106 within 25 source radii.

    Raises
    ------
    RuntimeError
        An elliptic integral failed at some separation:
        ``elliprj: Fail to converge`` for a NaN, negative or infinite
        separation. No partial result is returned.
    TypeError
        ``l`` is not a sequence of floats, or ``re``/``rstar`` not a float.

    Examples
    --------
    >>> witt_mao_magnification([0.0, 1.0, 1.5], re=1.0, rstar=1.0)
    [2.23606797749979, 1.6366197723675813, 1.1822777737535497]
    """

def integrated_witt_mao_magnification(
    l: _Floats, re: SupportsFloat, rstar: SupportsFloat
) -> list[float]:
    """Magnification of a linearly limb-darkened source, built on uniform disks.

    The brightness is ``I(r) = 1 - 0.6 (1 - sqrt(1 - r²))`` (linear limb
    darkening with coefficient 0.6: 1 at the centre, 0.4 at the limb). The
    source is taken as concentric uniform disks of radius ``r``, each
    magnified as in :func:`witt_mao_magnification` (Witt & Mao 1994); the
    annulus between ``r`` and ``r + dr`` receives ``π d/dr[r² A(r)] dr`` of
    magnified flux, the derivative taken by a central difference. The
    integral over ``r`` uses double-exponential quadrature (Takahasi & Mori
    1974) and is divided by the integral of ``2πr I(r)``.

    Parameters
    ----------
    l
        Separations between the lens and the centre of the source, in source
        radii.
    re
        Einstein radius of the lens.
    rstar
        Radius of the source, in the same unit as ``re``.

    Returns
    -------
    list[float]
        The magnification at each separation, in order: within 1.4e-5
        (relative) at the centre, about 1e-6 near the limb, and 6.6e-12 above
        the truth far from the lens (beyond about 1e3 Einstein radii), a
        constant bias of the central difference; never below 1.

    Raises
    ------
    RuntimeError
        The uniform-disk magnification of the whole source failed at some
        separation (an elliptic-integral message, as in
        :func:`witt_mao_magnification`): a NaN, negative or infinite
        separation. No partial result is returned.
    TypeError
        An argument could not be converted.

    Examples
    --------
    >>> integrated_witt_mao_magnification([0.0], re=1.0, rstar=1.0)  # doctest: +ELLIPSIS
    [2.401...]
    """

def integrated_flux_map_witt_mao_magnification(
    l: _Floats, re: SupportsFloat, rstar: SupportsFloat, bl: _Floats, bf: _Floats
) -> list[float]:
    """Magnification of a source with a tabulated radial profile, built on uniform disks.

    As :func:`integrated_witt_mao_magnification` (concentric uniform disks of
    Witt & Mao 1994, double-exponential quadrature of Takahasi & Mori 1974),
    with the surface brightness interpolated linearly in the table
    ``(bl, bf)``. The source is dark outside the table (below ``bl[0]`` and
    above ``bl[-1]``); a one-point table is a uniform source. The result does
    not depend on the scale of ``bf``: the profile is normalised by the
    integral of ``2πr I(r)`` over the source. Where the brightness jumps
    (the table starts above 0 or ends below 1 with a non-zero brightness,
    or repeats a radius with two brightnesses) the integrals are split, at
    up to 16 such radii.

    Parameters
    ----------
    l
        Separations between the lens and the centre of the source, in source
        radii.
    re
        Einstein radius of the lens.
    rstar
        Radius of the source, in the same unit as ``re``.
    bl
        Radii of the table, ascending, in source radii (0 the centre, 1 the
        limb).
    bf
        Surface brightness at each radius of ``bl`` (any positive scale).

    Returns
    -------
    list[float]
        The magnification at each separation, in order. An empty table gives
        NaN.

    Raises
    ------
    pyo3_runtime.PanicException
        ``len(bl) != len(bf)``; derives from ``BaseException``.
    RuntimeError
        The uniform-disk magnification failed (elliptic-integral message):
        a NaN, negative or infinite separation.
    TypeError
        An argument could not be converted.

    Examples
    --------
    >>> radii = [0.0, 0.5, 1.0]
    >>> integrated_flux_map_witt_mao_magnification([2.0], 1.0, 1.0, radii, [1.0, 1.0, 1.0])  # doctest: +ELLIPSIS
    [1.0766...]
    """

def heyrovsky_magnification(
    l: SupportsFloat, r: SupportsFloat, re: SupportsFloat, rstar: SupportsFloat
) -> float:
    """Mean magnification of one thin ring of the source (Heyrovsky 2003).

    The point-lens magnification averaged over a circle of radius ``r``
    around the centre of the source, with the lens at ``l`` from that centre:
    a closed form in complete elliptic integrals of the first and third
    kinds. Next to the ring (``|r - l| < 0.15 l``) the complements
    ``1 - n`` and ``1 - m`` are formed from the geometry, so the logarithmic
    rise towards the ring keeps full precision. It is not weighted by the
    ring's length or flux. Unlike the other functions, ``l`` is one float
    and so is the result.

    Parameters
    ----------
    l
        Separation between the lens and the centre of the source, in source
        radii (a single float).
    r
        Radius of the ring, in source radii (0 to 1 for rings of the source).
    re
        Einstein radius of the lens.
    rstar
        Radius of the source, in the same unit as ``re``.

    Returns
    -------
    float
        The ring magnification, never below 1; ``+inf`` with the lens
        exactly on the ring, and where the point-lens magnification at a
        subnormal distance exceeds the largest double; 1.0 for ``l = inf``.

    Raises
    ------
    RuntimeError
        An elliptic integral failed: ``elliprj: Fail to converge`` for a
        NaN or negative radius, or a NaN, negative or ``-inf`` separation.
    TypeError
        An argument is not a float.

    Examples
    --------
    >>> heyrovsky_magnification(0.5, 0.3, re=1.0, rstar=1.0)
    2.4257107856766726
    """

def integrated_heyrovsky_magnification(
    l: _Floats, re: SupportsFloat, rstar: SupportsFloat
) -> list[float]:
    """Magnification of a linearly limb-darkened source, built on rings.

    The brightness is ``I(r) = 1 - 0.6 (1 - sqrt(1 - r²))`` (linear limb
    darkening with coefficient 0.6). The source is cut into thin rings, each
    magnified as in :func:`heyrovsky_magnification` (Heyrovsky 2003), and
    the result is ``∫ I(r) 2πr A_ring(r) dr / ∫ I(r) 2πr dr`` over
    ``0 ≤ r ≤ 1``, by double-exponential quadrature (Takahasi & Mori 1974);
    with the lens inside the source the integral is split at ``r = l``,
    where the ring magnification diverges logarithmically.

    Parameters
    ----------
    l, re, rstar
        As in :func:`integrated_witt_mao_magnification`: separations in source
        radii, the Einstein radius and the source radius in one unit.

    Returns
    -------
    list[float]
        The magnification at each separation, in order; never below 1.

    Raises
    ------
    TypeError
        An argument could not be converted. No computation error is raised:
        a ring whose magnification fails counts as dark, and a separation at
        which every ring fails (NaN, negative or ``-inf``) gives NaN.

    Examples
    --------
    >>> integrated_heyrovsky_magnification([2.0], re=1.0, rstar=1.0)  # doctest: +ELLIPSIS
    [1.07491394...]
    """

def integrated_flux_map_heyrovsky_magnification(
    l: _Floats, re: SupportsFloat, rstar: SupportsFloat, bl: _Floats, bf: _Floats
) -> list[float]:
    """Magnification of a source with a tabulated radial profile, built on rings.

    As :func:`integrated_heyrovsky_magnification` (ring magnifications of
    Heyrovsky 2003, double-exponential quadrature of Takahasi & Mori 1974),
    with the surface brightness interpolated linearly in the table
    ``(bl, bf)``. The source is dark outside the table; a one-point table is
    a uniform source. Any limb-darkening law can be given this way, tabulated
    densely near the limb where it is steepest; the scale of ``bf`` does not
    matter. Where the brightness jumps (the table starts above 0 or ends
    below 1 with a non-zero brightness, or repeats a radius with two
    brightnesses) the integrals are split, at up to 16 such radii.

    Parameters
    ----------
    l, re, rstar, bl, bf
        As in :func:`integrated_flux_map_witt_mao_magnification`: separations
        in source radii, the Einstein radius and the source radius in one
        unit, and the table of radii (ascending, 0 to 1) and brightnesses
        (any positive scale).

    Returns
    -------
    list[float]
        The magnification at each separation, in order. An empty table gives
        NaN.

    Raises
    ------
    pyo3_runtime.PanicException
        ``len(bl) != len(bf)``; derives from ``BaseException``.
    TypeError
        An argument could not be converted.

    Examples
    --------
    >>> integrated_flux_map_heyrovsky_magnification([2.0], 1.0, 1.0, [0.0, 1.0], [1.0, 1.0])  # doctest: +ELLIPSIS
    [1.0766...]
    """

def discrete_flux_map_heyrovsky_magnification(
    l: _Floats, re: SupportsFloat, rstar: SupportsFloat, bl: _Floats, bf: _Floats
) -> list[float]:
    """Flux-weighted sum of ring magnifications for a source made of discrete rings.

    For each separation, ``sum(heyrovsky_magnification(l, bl[i], re, rstar)
    * bf[i])`` over the rings (Heyrovsky 2003). The sum is **not**
    normalised: fluxes that add up to 1 give a magnification, other fluxes a
    magnified flux in the units of ``bf``.

    Parameters
    ----------
    l, re, rstar
        As in :func:`integrated_witt_mao_magnification`: separations in source
        radii, the Einstein radius and the source radius in one unit.
    bl
        Radii of the rings, in source radii.
    bf
        Flux of each ring.

    Returns
    -------
    list[float]
        The magnified flux at each separation, in order; a list of 0.0 when
        there are no rings, ``inf`` where a ring passes exactly through the
        lens, unless its flux is 0: a ring of no flux adds nothing.

    Raises
    ------
    pyo3_runtime.PanicException
        ``len(bl) != len(bf)``; derives from ``BaseException``.
    RuntimeError
        A ring magnification failed (elliprj: Fail to converge for a NaN,
        negative or ``-inf`` separation; a ring of no flux is evaluated
        too). No partial result is returned.
    TypeError
        An argument could not be converted.

    Examples
    --------
    >>> discrete_flux_map_heyrovsky_magnification([0.5, 2.0], 1.0, 1.0, [0.25, 0.75], [0.5, 0.5])  # doctest: +ELLIPSIS
    [2.080..., 1.070...]
    """

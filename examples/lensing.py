"""Point-lens light-curve pieces shared by the examples.

Everything here works in the usual microlensing notation: the lens-source
separation u and the source radius rho in Einstein radii, times in days.
tessarin takes separations in source radii, l = u / rho, with re = 1 and
rstar = rho.

Linear limb darkening with any coefficient, from two module calls
-----------------------------------------------------------------
The linear law I(r) = 1 - u_LD (1 - mu), mu = sqrt(1 - r^2), is a sum of
two profiles, I = (1 - u_LD) * 1 + u_LD * mu. The magnified flux is linear
in the profile, so with the fluxes of the two parts,

    int 1  * 2 pi r dr = pi,     int mu * 2 pi r dr = 2 pi / 3,

the magnification of the law is the flux-weighted mean of the magnification
A_1 of a uniform disk and A_mu of the profile mu alone:

    A(u_LD) = [(1 - u_LD) pi A_1 + u_LD (2 pi / 3) A_mu]
              / [(1 - u_LD) pi + u_LD (2 pi / 3)].

The module's built-in law has u_LD = 0.6, whose two parts carry equal flux
(0.4 pi each, 0.8 pi in all), so A(0.6) = (A_1 + A_mu) / 2 and
A_mu = 2 A(0.6) - A_1. Substituting,

    A(u_LD) = [(1 - 5 u_LD / 3) A_1 + (4 u_LD / 3) A(0.6)] / (1 - u_LD / 3),

exact for every u_LD, with A_1 from witt_mao_magnification (closed form) and
A(0.6) from integrated_heyrovsky_magnification (rings). Changing u_LD costs
no new module call: a fit of the coefficient is free.

Conventions: u_LD is the coefficient of I(mu) / I(1) = 1 - u_LD (1 - mu).
The other common one, Gamma, normalises the law to unit flux,
I / <I> = 1 - Gamma (1 - 3 mu / 2); the two are related by
u_LD = 3 Gamma / (2 + Gamma), Gamma = 2 u_LD / (3 - u_LD).
"""
from __future__ import annotations

import math
from typing import Sequence

import tessarin

BUILTIN_LD = 0.6  # coefficient of the module's built-in linear law

# How many separations the module was asked for, for the examples' reports.
calls = {"separations": 0, "calls": 0}


def gamma_to_u(gamma: float) -> float:
    """Linear limb-darkening coefficient u from the flux-normalised Gamma."""
    return 3 * gamma / (2 + gamma)


def u_to_gamma(u_ld: float) -> float:
    return 2 * u_ld / (3 - u_ld)


def separation(t: Sequence[float], t0: float, u0: float, t_e: float) -> list[float]:
    """Lens-source separation in Einstein radii for rectilinear motion."""
    return [math.hypot(u0, (ti - t0) / t_e) for ti in t]


def point_source(u: Sequence[float]) -> list[float]:
    """Point-lens magnification of a point source (Paczynski 1986)."""
    return [(x * x + 2) / (x * math.sqrt(x * x + 4)) if x > 0 else math.inf for x in u]


def ld_terms(u: Sequence[float], rho: float) -> tuple[list[float], list[float]]:
    """The uniform disk and the built-in law at separations u (Einstein radii).

    Returns (A_1, A_0.6); combine them with `combine` for any coefficient.
    """
    l = [x / rho for x in u]
    calls["calls"] += 2
    calls["separations"] += 2 * len(l)
    return (tessarin.witt_mao_magnification(l, 1.0, rho),
            tessarin.integrated_heyrovsky_magnification(l, 1.0, rho))


def combine(terms: tuple[Sequence[float], Sequence[float]], u_ld: float) -> list[float]:
    """Magnification of the linear law with coefficient u_ld (see above)."""
    uniform, builtin = terms
    a = (1 - 5 * u_ld / 3) / (1 - u_ld / 3)
    b = (4 * u_ld / 3) / (1 - u_ld / 3)
    return [a * x + b * y for x, y in zip(uniform, builtin)]


def limb_darkened(u: Sequence[float], rho: float, u_ld: float) -> list[float]:
    """Finite-source magnification of a star with linear limb darkening u_ld."""
    return combine(ld_terms(u, rho), u_ld)


def solve_fluxes(magnification: Sequence[float], flux: Sequence[float],
                 sigma: Sequence[float]) -> tuple[float, float, float]:
    """Source and blend flux of one data set: F = f_s A + f_b, least squares.

    Weighted by 1 / sigma^2; the 2x2 normal equations solved in closed form.
    Returns (f_s, f_b, chi2).
    """
    s = sa = saa = sf = saf = 0.0
    for a, f, e in zip(magnification, flux, sigma):
        w = 1.0 / (e * e)
        s += w
        sa += w * a
        saa += w * a * a
        sf += w * f
        saf += w * a * f
    det = s * saa - sa * sa
    if not det > 0:
        raise ValueError("the magnification does not vary over the data set: "
                         "source and blend fluxes are degenerate")
    f_s = (s * saf - sa * sf) / det
    f_b = (saa * sf - sa * saf) / det
    chi2 = sum(((f - f_s * a - f_b) / e) ** 2 for a, f, e in zip(magnification, flux, sigma))
    return f_s, f_b, chi2

// The doc texts of `tessarin.fspl`: the module's docstring and, for each
// function, its text signature ("name(u, rho, *, rtol=1e-08, out=None, gradient=False)",
// which inspect.signature reads) and its docstring.
#pragma once

#include "binding/fspl/text.hpp"

namespace tessarin::binding::fspl::docs {

inline constexpr char MODULE[] =
    "Finite-source point-lens magnification for fitting light curves.\n"
    "\n"
    "The magnification of a limb-darkened source star by a point lens, in the\n"
    "notation of the field: u is the separation between the lens and the\n"
    "centre of the source and rho the radius of the source, both in Einstein\n"
    "radii. One function per surface-brightness law (uniform, linear,\n"
    "quadratic, square_root, logarithmic, power2, claret) and one for a\n"
    "tabulated I(mu) profile. They take NumPy arrays (or anything\n"
    "np.asarray reads), broadcast them against each other and return\n"
    "float64 arrays; each is right to a relative tolerance chosen by the\n"
    "caller (rtol). NumPy is imported at the first call.\n";

namespace parts {

inline constexpr char SEPARATOR[] = "\n--\n\n";

inline constexpr char MAGNIFICATION[] =
    "The point-lens magnification (u^2 + 2) / (u sqrt(u^2 + 4)) averaged over\n"
    "the face of a source star of radius rho whose centre lies at u from the\n"
    "lens, weighted by the surface brightness I of the star. The brightness\n"
    "depends on mu = sqrt(1 - r^2), where r is the distance from the centre\n"
    "of the star in source radii: mu = 1 at the centre, 0 at the limb. Only\n"
    "the shape of the profile matters, not its scale.\n"
    "\n"
    "u, rho and the coefficients broadcast against each other as NumPy\n"
    "arrays do (a coefficient per band against a light curve, a grid of\n"
    "rho). Each is read as np.asarray(x, np.float64); a masked array as\n"
    "np.ma.filled(x, nan), so that a masked element gives NaN. The\n"
    "computation runs without the interpreter lock, so that other threads\n"
    "run meanwhile, and Ctrl-C ends a long call.\n";

inline constexpr char U_AND_RHO[] =
    "Parameters\n"
    "----------\n"
    "u : array_like\n"
    "    Separation between the lens and the centre of the source, in\n"
    "    Einstein radii.\n"
    "rho : array_like\n"
    "    Radius of the source, in Einstein radii.\n";

inline constexpr char RTOL_AND_OUT[] =
    "rtol : float, optional, keyword only\n"
    "    The bound on the relative error of the result against the exact\n"
    "    magnification of the stated profile, for any rtol from 1e-12 to\n"
    "    1e-3 (default 1e-8). For rho >= 1 the error of A - 1 is also within\n"
    "    rtol * (A - 1) + 4 eps (eps = 2**-52): far from the lens A - 1 is\n"
    "    what is measured. The promise holds for 1e-6 <= rho <= 1e3 and every\n"
    "    u >= 0; outside that range of rho the value is computed, with no\n"
    "    promise. Coefficients are taken to be of order unity: a profile made\n"
    "    of coefficients beyond 1e6 that cancel to a brightness of order one\n"
    "    is computed with no promise.\n"
    "out : ndarray, optional, keyword only\n"
    "    A writeable float64 array for the result, of the broadcast shape of\n"
    "    the inputs (or of a shape they broadcast to, as for a ufunc); it is\n"
    "    filled and returned. It may share memory with an input: the\n"
    "    overlapping operands are copied first, as NumPy's ufuncs do. After a\n"
    "    call that raised, its contents are unspecified. With gradient=True,\n"
    "    a tuple of such arrays, one per result.\n"
    "gradient : bool, optional, keyword only\n"
    "    Also return the derivatives of A: a tuple (A, dA/du, dA/drho,\n"
    "    dA/dc...) with one derivative per coefficient of the law, in the\n"
    "    order of the arguments (none for uniform; tabulated gives none with\n"
    "    respect to its intensities). A is the array gradient=False gives,\n"
    "    bit for bit. The derivatives in u and rho come from differentiating\n"
    "    the same expressions forward (dual numbers), those in the\n"
    "    coefficients from the magnification's linearity in the profile; the\n"
    "    quadrature's step is halved until the derivatives in u and rho also\n"
    "    agree to the tolerance, on the scale A / max(u, rho). On the limb\n"
    "    (u = rho) of a source whose limb is bright, dA/du is -inf and dA/drho\n"
    "    +inf: both diverge logarithmically from either side.\n";

inline constexpr char METHOD[] =
    "\n"
    "Notes\n"
    "-----\n"
    "Each element chooses its method for the tolerance. From\n"
    "u / rho = max(2, (rtol / 100)^(-1/16)) on (2.4 at rtol = 1e-4, 4.2\n"
    "at 1e-8, 7.5 at 1e-12) the mean-value expansion in (rho / u)^2 with\n"
    "the profile's radial moments (up to nine terms, summed until a term\n"
    "is below the tolerance): a few hundred operations. Closer in, for\n"
    "sources up to 4 Einstein radii and every law made of mu^p\n"
    "(p = 0, 1/2, 1, 3/2, 2) and mu ln(mu) (all but power2 with another\n"
    "exponent, and tables): the uniform disk's closed form times a mix of\n"
    "precomputed ratios of each of those profiles' magnification to the\n"
    "uniform disk's, interpolated through 4 nodes (an error bound of about\n"
    "2e-6 of a ratio) or 8 (about 1e-9) in coordinates crowded towards the\n"
    "limb, used wherever that bound, weighted by the mix, is within half\n"
    "the tolerance: from rtol of about 1e-5 and 2e-9 (some 0.1 us an\n"
    "element). Otherwise the brightness-weighted sum of concentric\n"
    "uniform disks, each in closed form (Witt & Mao 1994, in Bulirsch's\n"
    "complete elliptic integral cel), integrated over mu by the tanh-sinh\n"
    "rule, split where a disk's limb passes through the lens and at a\n"
    "table's nodes; the step is halved until successive sums prove the\n"
    "tolerance. That takes about 50 disks\n"
    "at rtol = 1e-4, 90 at 1e-8 and 135 at 1e-12 for a lens over the star\n"
    "(about half as many outside it), and some 25 to 70 more per node of a\n"
    "table. The uniform disk needs no integral: one closed form (or the\n"
    "expansion) per element. Results do not depend on the array's shape,\n"
    "its chunking, the number of threads or the processor's vector\n"
    "instructions: every element is computed alone, bit for bit the same.\n";

inline constexpr char RETURNS[] =
    "\n"
    "Returns\n"
    "-------\n"
    "ndarray or numpy.float64\n"
    "    The magnification: a new float64 array of the broadcast shape of the\n"
    "    inputs, or a numpy.float64 when every input is a scalar (0-d), or\n"
    "    `out` when given. An element whose inputs describe no valid source\n"
    "    is NaN, never an error: u NaN or negative; rho <= 0, infinite or\n"
    "    NaN; a coefficient that is NaN or that makes the brightness negative\n"
    "    anywhere on 0 <= mu <= 1, or the total flux zero. u = inf gives 1.\n"
    "    With gradient=True, a tuple of such results: A and its derivatives\n"
    "    (NaN where A is NaN; 0 where A is 1 far out).\n";

inline constexpr char RAISES[] =
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    rtol outside [1e-12, 1e-3] or NaN; inputs that do not broadcast\n"
    "    together or do not convert to float64; `out` of a shape the inputs\n"
    "    do not broadcast to, or read-only.\n"
    "TypeError\n"
    "    A missing, repeated or unknown argument; `out` that is not a float64\n"
    "    ndarray (with gradient=True, not a tuple of as many as there are\n"
    "    results); gradient that is not True or False.\n"
    "ImportError\n"
    "    NumPy cannot be imported.\n";

inline constexpr char TABLE_RAISES[] =
    "ValueError\n"
    "    A malformed table: mu and intensity of different lengths, fewer\n"
    "    than two nodes or more than 256, mu not increasing or not running\n"
    "    from 0 to 1, a negative or non-finite intensity, or no flux at all.\n"
    "    The message says which.\n";

inline constexpr char EXAMPLE_START[] =
    "\n"
    "Examples\n"
    "--------\n"
    ">>> import numpy as np\n"
    ">>> from tessarin import fspl\n"
    ">>> u = np.linspace(0.0, 0.3, 7)  # a lens crossing the star\n";

} // namespace parts

using namespace parts;

inline constexpr auto UNIFORM =
    join("uniform(u, rho, *, rtol=1e-08, out=None, gradient=False)", SEPARATOR,
         "Magnification of a uniformly bright source star by a point lens.\n"
         "\n"
         "Surface brightness I(mu) = 1.\n"
         "\n",
         MAGNIFICATION, "\n", U_AND_RHO, RTOL_AND_OUT, RETURNS, RAISES, METHOD, EXAMPLE_START,
         ">>> A = fspl.uniform(u, 0.1)\n"
         ">>> A.shape\n"
         "(7,)\n");

inline constexpr auto LINEAR =
    join("linear(u, rho, c, *, rtol=1e-08, out=None, gradient=False)", SEPARATOR,
         "Magnification of a linearly limb-darkened source star by a point lens.\n"
         "\n"
         "Surface brightness I(mu) = 1 - c (1 - mu).\n"
         "\n"
         "The coefficient Gamma of An et al. (2002), with the brightness\n"
         "normalised to unit flux as (1 - Gamma (1 - 3 mu / 2)) / pi, is the same\n"
         "law with c = 3 Gamma / (2 + Gamma) (Gamma = 2 c / (3 - c)).\n"
         "\n",
         MAGNIFICATION, "\n", U_AND_RHO,
         "c : array_like\n"
         "    Linear limb-darkening coefficient: c <= 1 (the limb's brightness\n"
         "    1 - c is not negative); c < 0 brightens the limb.\n",
         RTOL_AND_OUT, RETURNS, RAISES, METHOD, EXAMPLE_START,
         ">>> A = fspl.linear(u, 0.1, 0.6)\n"
         ">>> bands = fspl.linear(u[:, None], 0.1, [0.4, 0.6, 0.8])  # three bands\n"
         ">>> bands.shape\n"
         "(7, 3)\n");

inline constexpr auto QUADRATIC =
    join("quadratic(u, rho, a, b, *, rtol=1e-08, out=None, gradient=False)", SEPARATOR,
         "Magnification of a source star with quadratic limb darkening.\n"
         "\n"
         "Surface brightness I(mu) = 1 - a (1 - mu) - b (1 - mu)^2.\n"
         "\n",
         MAGNIFICATION, "\n", U_AND_RHO,
         "a, b : array_like\n"
         "    Quadratic limb-darkening coefficients.\n",
         RTOL_AND_OUT, RETURNS, RAISES, METHOD, EXAMPLE_START,
         ">>> A = fspl.quadratic(u, 0.1, 0.45, 0.25)\n");

inline constexpr auto SQUARE_ROOT =
    join("square_root(u, rho, c, d, *, rtol=1e-08, out=None, gradient=False)", SEPARATOR,
         "Magnification of a source star with square-root limb darkening.\n"
         "\n"
         "Surface brightness I(mu) = 1 - c (1 - mu) - d (1 - sqrt(mu)).\n"
         "\n",
         MAGNIFICATION, "\n", U_AND_RHO,
         "c, d : array_like\n"
         "    Square-root limb-darkening coefficients.\n",
         RTOL_AND_OUT, RETURNS, RAISES, METHOD, EXAMPLE_START,
         ">>> A = fspl.square_root(u, 0.1, 0.3, 0.4)\n");

inline constexpr auto LOGARITHMIC =
    join("logarithmic(u, rho, c, d, *, rtol=1e-08, out=None, gradient=False)", SEPARATOR,
         "Magnification of a source star with logarithmic limb darkening.\n"
         "\n"
         "Surface brightness I(mu) = 1 - c (1 - mu) - d mu ln(mu), which is\n"
         "1 - c at the limb (mu ln(mu) tends to 0).\n"
         "\n",
         MAGNIFICATION, "\n", U_AND_RHO,
         "c, d : array_like\n"
         "    Logarithmic limb-darkening coefficients.\n",
         RTOL_AND_OUT, RETURNS, RAISES, METHOD, EXAMPLE_START,
         ">>> A = fspl.logarithmic(u, 0.1, 0.6, 0.2)\n");

inline constexpr auto POWER2 =
    join("power2(u, rho, c, alpha, *, rtol=1e-08, out=None, gradient=False)", SEPARATOR,
         "Magnification of a source star with power-2 limb darkening.\n"
         "\n"
         "Surface brightness I(mu) = 1 - c (1 - mu^alpha).\n"
         "\n",
         MAGNIFICATION, "\n", U_AND_RHO,
         "c : array_like\n"
         "    Power-2 limb-darkening coefficient.\n"
         "alpha : array_like\n"
         "    Exponent of mu, alpha >= 0 (0 is the uniform disk). The promise\n"
         "    holds up to alpha = 1e3; beyond, the central peak of the profile\n"
         "    is narrower than the integral resolves.\n",
         RTOL_AND_OUT, RETURNS, RAISES, METHOD, EXAMPLE_START,
         ">>> A = fspl.power2(u, 0.1, 0.6, 0.5)\n");

inline constexpr auto CLARET =
    join("claret(u, rho, a1, a2, a3, a4, *, rtol=1e-08, out=None, gradient=False)", SEPARATOR,
         "Magnification of a source star with Claret's four-coefficient limb darkening.\n"
         "\n"
         "Surface brightness I(mu) = 1 - sum over k = 1..4 of a_k (1 - mu^(k/2))\n"
         "(Claret 2000).\n"
         "\n",
         MAGNIFICATION, "\n", U_AND_RHO,
         "a1, a2, a3, a4 : array_like\n"
         "    The four coefficients, of mu^(1/2), mu, mu^(3/2) and mu^2.\n",
         RTOL_AND_OUT, RETURNS, RAISES, METHOD, EXAMPLE_START,
         ">>> A = fspl.claret(u, 0.1, 0.5, 0.1, 0.2, -0.1)\n");

inline constexpr auto TABULATED =
    join("tabulated(u, rho, mu, intensity, *, rtol=1e-08, out=None, gradient=False)", SEPARATOR,
         "Magnification of a source star with a tabulated I(mu) profile.\n"
         "\n"
         "Surface brightness interpolated linearly in mu between the nodes of\n"
         "the table (mu[i], intensity[i]): a model-atmosphere profile, for\n"
         "instance. The table is one source for every element: mu and intensity\n"
         "do not broadcast.\n"
         "\n",
         MAGNIFICATION, "\n", U_AND_RHO,
         "mu : array_like\n"
         "    The nodes, one-dimensional, strictly increasing from 0 (the limb)\n"
         "    to 1 (the centre); at most 256 of them.\n"
         "intensity : array_like\n"
         "    The surface brightness at each node (any positive scale),\n"
         "    one-dimensional, non-negative, as long as mu.\n",
         RTOL_AND_OUT, RETURNS, RAISES, TABLE_RAISES, METHOD, EXAMPLE_START,
         ">>> mu = np.linspace(0.0, 1.0, 101)\n"
         ">>> A = fspl.tabulated(u, 0.1, mu, 1 - 0.6 * (1 - mu))  # the linear law\n");

} // namespace tessarin::binding::fspl::docs

// Fuzz target: the elliptic integrals on arbitrary doubles.
//
// Beyond "no crash, no undefined behaviour, no endless loop" (libFuzzer's
// -timeout catches the last), every result must keep the functions'
// contract: the argument checks give exactly their fixed messages, in their
// order; anything that passes them is a value, or one of the fixed messages
// of the functions called; and K and E keep bounds that hold for every
// parameter: both finite and positive for every finite m < 1, E(m) >= 1 for
// every finite m <= 1, and K(m) >= pi/2 >= E(m) on [0, 1].
//
// The complete cases RF(0, y, z) and RD(0, y, z) run arithmetic-geometric
// mean loops that end by their own test alone; they get the fuzzed pair
// directly.
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "../elliptic_messages.hpp"
#include "elliptic/carlson.hpp"
#include "elliptic/legendre.hpp"
#include "fuzz_input.hpp"
#include "math_constants.hpp"

namespace {

using tessarin::Result;
namespace carlson = tessarin::carlson;
namespace legendre = tessarin::legendre;

constexpr double INF = std::numeric_limits<double>::infinity();
using tessarin::HALF_PI;
constexpr double SLACK = 1e-12;

using namespace elliptic_messages;

bool fails_with(const Result<double> &r, const char *message) {
  return !r.ok() && std::strcmp(r.error(), message) == 0;
}

// A value, or one of the messages of the elliptic kernels.
bool value_or_kernel_error(const Result<double> &r) {
  if (r.ok()) return true;
  for (const char *prefix :
       {"ellipk: ", "ellipe: ", "ellippi: ", "elliprf: ", "elliprc: ", "elliprd: ", "elliprj: "}) {
    if (std::strncmp(r.error(), prefix, std::strlen(prefix)) == 0) return true;
  }
  return false;
}

// Two or more arguments zero, or one negative (fmin ignores a NaN).
bool rf_domain_error(double x, double y, double z) {
  return std::fmin(std::fmin(x, y), z) < 0 || std::fmin(std::fmin(x + y, y + z), x + z) == 0;
}

void check_k(double m) {
  const Result<double> K = legendre::ellipk(m);
  if (m > 1) {
    FUZZ_CHECK(fails_with(K, "ellipk: m must be less than 1."));
    return;
  }
  FUZZ_CHECK(K.ok());
  const double k = K.value();
  if (std::isnan(m)) {
    FUZZ_CHECK(std::isnan(k));
  } else if (m == 1) {
    FUZZ_CHECK(k == INF);
  } else if (std::isfinite(m)) {
    FUZZ_CHECK(std::isfinite(k) && k > 0);
    if (m >= 0) FUZZ_CHECK(k >= HALF_PI - SLACK);
  } else {
    FUZZ_CHECK(!std::isnan(k) && k >= 0);
  }
}

void check_e(double m) {
  const Result<double> E = legendre::ellipe(m);
  if (m > 1) {
    FUZZ_CHECK(fails_with(E, "ellipe: m must be less than 1."));
    return;
  }
  FUZZ_CHECK(E.ok());
  const double e = E.value();
  if (std::isnan(m)) {
    FUZZ_CHECK(std::isnan(e));
  } else if (std::isfinite(m)) {
    FUZZ_CHECK(std::isfinite(e) && e >= 1 - SLACK);
    if (m >= 0) FUZZ_CHECK(e <= HALF_PI + SLACK);
  }
}

void check_pi(double n, double m) {
  const Result<double> P = legendre::ellippi(n, m);
  if (m >= 1) {
    FUZZ_CHECK(fails_with(P, "ellippi: m must be less than 1."));
    return;
  }
  if (n > 1) {
    FUZZ_CHECK(fails_with(P, "ellippi: n must be less than 1."));
    return;
  }
  FUZZ_CHECK(value_or_kernel_error(P));
  if (n == 0 && m != 0) {
    const Result<double> K = legendre::ellipk(m);
    FUZZ_CHECK(P.ok() == K.ok());
    if (P.ok()) FUZZ_CHECK(tessarin::fuzz::same_double(P.value(), K.value()));
  }
}

void check_rc(double x, double y) {
  const Result<double> r = carlson::elliprc(x, y);
  if (x < 0) {
    FUZZ_CHECK(fails_with(r, "elliprc: x must be non-negative."));
  } else if (y == 0) {
    FUZZ_CHECK(fails_with(r, "elliprc: y must be non-zero."));
  } else {
    FUZZ_CHECK(r.ok());
  }
}

void check_rf(double x, double y, double z) {
  const Result<double> r = carlson::elliprf(x, y, z);
  if (rf_domain_error(x, y, z)) {
    FUZZ_CHECK(fails_with(r, RF_DOMAIN));
  } else {
    FUZZ_CHECK(r.ok() || fails_with(r, "elliprf: Failed to converge."));
  }
}

void check_rd(double x, double y, double z) {
  const Result<double> r = carlson::elliprd(x, y, z);
  if (std::fmin(x, y) < 0 || x + y == 0) {
    FUZZ_CHECK(fails_with(r, RD_DOMAIN));
  } else if (0 >= z) {
    FUZZ_CHECK(fails_with(r, "elliprd: z must be positive"));
  } else {
    FUZZ_CHECK(r.ok() || fails_with(r, "elliprd: Failed to converge."));
  }
}

void check_rj(double x, double y, double z, double p) {
  const Result<double> r = carlson::elliprj(x, y, z, p);
  if (rf_domain_error(x, y, z)) {
    FUZZ_CHECK(fails_with(r, RJ_DOMAIN));
  } else if (p == 0) {
    FUZZ_CHECK(fails_with(r, "elliprj: p must be non-zero"));
  } else {
    FUZZ_CHECK(value_or_kernel_error(r));
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  tessarin::fuzz::FuzzInput in(data, size);
  const double x = in.real();
  const double y = in.real();
  const double z = in.real();
  const double p = in.real();

  check_k(x);
  check_e(x);
  check_pi(x, y);
  check_pi(y, x);
  check_rc(x, y);
  check_rf(x, y, z);
  check_rd(x, y, z);
  check_rj(x, y, z, p);
  // The arithmetic-geometric-mean loops, and the duplication of RJ with
  // the arguments that ellippi passes.
  check_rf(0.0, y, z);
  check_rf(y, 0.0, z);
  check_rd(0.0, y, z);
  check_rj(0.0, y, 1.0, p);
  // The duplication core checks nothing itself: it must still end and stay
  // defined on any arguments.
  FUZZ_CHECK(value_or_kernel_error(carlson::_elliprj(x, y, z, p)));
  return 0;
}

// K(m), E(m) and Pi(n, m): agreement with mpmath (tables from
// tools/gen_elliptic_refs.py), exact special values, identities and the
// error messages with their order of checks.
#include <cmath>
#include <limits>

#include "elliptic/legendre.hpp"
#include "math_constants.hpp"
#include "test_elliptic_support.hpp"

namespace {

using namespace tessarin;
using namespace elliptic_test;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

Result<double> k(const std::vector<double> &a) {
  return legendre::ellipk(a[0]);
}
Result<double> e(const std::vector<double> &a) {
  return legendre::ellipe(a[0]);
}
Result<double> pi(const std::vector<double> &a) {
  return legendre::ellippi(a[0], a[1]);
}
// Legendre's relation E K' + E' K - K K' = pi/2 (DLMF 19.7.1), K' = K(1 - m);
// the table's m = i/128 make 1 - m exact.
Result<double> legendre_relation(const std::vector<double> &a) {
  const double m = a[0], mc = 1 - m;
  const Result<double> k = legendre::ellipk(m), kc = legendre::ellipk(mc);
  const Result<double> e = legendre::ellipe(m), ec = legendre::ellipe(mc);
  for (const Result<double> *r : {&k, &kc, &e, &ec})
    if (!r->ok()) return *r;
  return (e.value() * kc.value() + ec.value() * k.value()) - k.value() * kc.value();
}

// Tolerances a little above the worst measured with glibc's libm. The
// tables cover m in [0, 1) with 1 - m down to 1e-15 and 2^-53, m < 0 down to
// -1e300, n < 0 and 0 < n < 1 (with 1 - n down to 1e-12). Legendre's
// relation subtracts K K' (up to 4.4 at m = 1/16) from a sum near it, which
// scales the ULP errors of the terms by about 3: 8 ULPs measured.
INSTANTIATE_TEST_SUITE_P(
    LegendreTables, ReferenceTable,
    ::testing::Values(TableCase{"k_unit", "elliptic_k.txt", "unit", k, ulp_distance, 2},
                      TableCase{"k_near1", "elliptic_k.txt", "near1", k, ulp_distance, 3},
                      TableCase{"k_neg", "elliptic_k.txt", "neg", k, ulp_distance, 3},
                      TableCase{"e_unit", "elliptic_e.txt", "unit", e, ulp_distance, 2},
                      TableCase{"e_near1", "elliptic_e.txt", "near1", e, ulp_distance, 2},
                      TableCase{"e_neg", "elliptic_e.txt", "neg", e, ulp_distance, 8},
                      TableCase{"pi_npos", "elliptic_pi.txt", "npos", pi, ulp_distance, 4},
                      TableCase{"pi_nneg", "elliptic_pi.txt", "nneg", pi, ulp_distance, 4},
                      TableCase{"pi_mneg", "elliptic_pi.txt", "mneg", pi, ulp_distance, 3},
                      TableCase{"pi_diag", "elliptic_pi.txt", "diag", pi, ulp_distance, 2},
                      TableCase{"pi_random", "elliptic_pi.txt", "random", pi, ulp_distance, 4},
                      TableCase{"legendre_relation", "elliptic_e.txt", "legendre",
                                legendre_relation, ulp_distance, 10}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    LegendreSpecial, ExactValue,
    ::testing::Values(ExactCase{"k_0", [] { return legendre::ellipk(0); }, HALF_PI},
                      ExactCase{"k_minus_0", [] { return legendre::ellipk(-0.0); }, HALF_PI},
                      ExactCase{"k_1_is_inf", [] { return legendre::ellipk(1); }, INF},
                      ExactCase{"k_minus_inf", [] { return legendre::ellipk(-INF); }, 0},
                      ExactCase{"k_nan", [] { return legendre::ellipk(NaN); }, NaN},
                      ExactCase{"e_0", [] { return legendre::ellipe(0); }, HALF_PI},
                      ExactCase{"e_1", [] { return legendre::ellipe(1); }, 1},
                      ExactCase{"e_minus_inf", [] { return legendre::ellipe(-INF); }, INF},
                      ExactCase{"e_nan", [] { return legendre::ellipe(NaN); }, NaN},
                      ExactCase{"pi_0_0", [] { return legendre::ellippi(0, 0); }, HALF_PI},
                      ExactCase{"pi_0_nan", [] { return legendre::ellippi(0, NaN); }, NaN}),
    case_name);

TEST(LegendreIdentities, PiOfZeroCharacteristicIsK) {
  for (double m : {0.3, 0.999999, -2.0, 1 - 0x1p-53})
    expect_same_double(legendre::ellippi(0, m).value(), legendre::ellipk(m).value());
}

TEST(LegendreIdentities, PiOfZeroParameter) {
  // Pi(n, 0) = pi / (2 sqrt(1 - n)), through RJ(0, 1, 1, 1 - n) (n > 0, by
  // the RC difference or by duplication) and the change of characteristic
  // (n < 0); the expected values are pi/(2 sqrt(1 - n)) rounded once.
  struct Case {
    double n, expected;
  } cases[] = {{0.5, 0x1.1c5831add62e4p+1},
               {0.1, 0x1.a7e03233784dbp+0},
               {-0.5, 0x1.48552f88091a8p+0},
               {-3, 0x1.921fb54442d18p-1}};
  for (const Case &c : cases)
    EXPECT_LE(ulp_distance(legendre::ellippi(c.n, 0).value(), c.expected), 2) << "n = " << c.n;
}

TEST(LegendreIdentities, NegativeParameterTransformations) {
  // DLMF 19.7.2: E(-1) = sqrt(2) E(1/2); K(-1) = K(1/2)/sqrt(2).
  const double sqrt2 = std::sqrt(2.0);
  EXPECT_LE(ulp_distance(legendre::ellipe(-1).value(), sqrt2 * legendre::ellipe(0.5).value()), 1);
  EXPECT_LE(ulp_distance(legendre::ellipk(-1).value(), legendre::ellipk(0.5).value() / sqrt2), 2);
  // The polynomial alone would give a negative K here.
  EXPECT_GT(legendre::ellipk(-5).value(), 0);
}

constexpr double ABOVE_ONE = 0x1.0000000000001p+0;

INSTANTIATE_TEST_SUITE_P(
    LegendreMessages, ErrorMessage,
    ::testing::Values(ErrorCase{"k_above_one", [] { return legendre::ellipk(ABOVE_ONE); },
                                "ellipk: m must be less than 1."},
                      ErrorCase{"k_inf", [] { return legendre::ellipk(INF); },
                                "ellipk: m must be less than 1."},
                      ErrorCase{"e_above_one", [] { return legendre::ellipe(ABOVE_ONE); },
                                "ellipe: m must be less than 1."},
                      ErrorCase{"pi_m_one", [] { return legendre::ellippi(0.5, 1); },
                                "ellippi: m must be less than 1."},
                      ErrorCase{"pi_m_one_n_zero", [] { return legendre::ellippi(0, 1); },
                                "ellippi: m must be less than 1."},
                      ErrorCase{"pi_m_before_n", [] { return legendre::ellippi(2, 1); },
                                "ellippi: m must be less than 1."},
                      ErrorCase{"pi_n_above_one", [] { return legendre::ellippi(ABOVE_ONE, 0.5); },
                                "ellippi: n must be less than 1."},
                      ErrorCase{"pi_n_one", [] { return legendre::ellippi(1, 0.5); },
                                "elliprj: p must be non-zero"},
                      ErrorCase{"pi_nan_n", [] { return legendre::ellippi(NaN, 0.5); },
                                "elliprj: Fail to converge"},
                      ErrorCase{"pi_nan_n_m0", [] { return legendre::ellippi(NaN, 0); },
                                "elliprj: Fail to converge"},
                      ErrorCase{"pi_nan_m", [] { return legendre::ellippi(0.5, NaN); },
                                "elliprj: Fail to converge"},
                      ErrorCase{"pi_nan_m_negative_n", [] { return legendre::ellippi(-0.5, NaN); },
                                "elliprj: Fail to converge"}),
    case_name);

} // namespace

namespace {

using namespace tessarin;
using namespace elliptic_test;

Result<double> k_c(const std::vector<double> &a) {
  return legendre::ellipk_complement(a[0]);
}
Result<double> e_c(const std::vector<double> &a) {
  const auto r = legendre::ellipke_complement(a[0]);
  if (!r) return r.failure();
  return r.value().e;
}
Result<double> k_of_ke_c(const std::vector<double> &a) {
  const auto r = legendre::ellipke_complement(a[0]);
  if (!r) return r.failure();
  return r.value().k;
}
Result<double> pi_c(const std::vector<double> &a) {
  return legendre::ellippi_complement(a[0], a[1], a[2]);
}

// 1 - m from 1e-300 and 1 - n from 1e-100 to 0.9 (tools/gen_elliptic_refs.py, the
// integrals at the exact complements): where m and n themselves would round
// to 1, the complements keep every digit.
INSTANTIATE_TEST_SUITE_P(
    ComplementTables, ReferenceTable,
    ::testing::Values(TableCase{"k", "elliptic_complement.txt", "k", k_c, ulp_distance, 3},
                      TableCase{"ke_k", "elliptic_complement.txt", "k", k_of_ke_c, ulp_distance, 3},
                      TableCase{"e", "elliptic_complement.txt", "e", e_c, ulp_distance, 2},
                      TableCase{"pi", "elliptic_complement.txt", "pi", pi_c, ulp_distance, 8}),
    case_name);

TEST(ComplementEntryPoints, AgreeWithThePlainOnesWhereTheComplementIsExact) {
  // 1 - m is exact for these m, so both roads take the same arithmetic.
  for (double m : {0.0625, 0.5, 0.75, 0.9990234375, 1 - 0x1p-40, 1 - 0x1p-53, -3.0}) {
    expect_same_double(legendre::ellipk_complement(1 - m).value(), legendre::ellipk(m).value());
    const auto ke = legendre::ellipke_complement(1 - m).value();
    expect_same_double(ke.e, legendre::ellipe(m).value());
    expect_same_double(ke.k, legendre::ellipk(m).value());
    for (double n : {0.25, 0.5, 1 - 0x1p-30, -2.0})
      expect_same_double(legendre::ellippi_complement(n, 1 - n, 1 - m).value(),
                         legendre::ellippi(n, m).value());
  }
}

TEST(ComplementEntryPoints, LimitsAndMessages) {
  EXPECT_EQ(legendre::ellipk_complement(0).value(), std::numeric_limits<double>::infinity());
  EXPECT_EQ(legendre::ellipke_complement(0).value().e, 1.0);
  EXPECT_STREQ(legendre::ellipk_complement(-0x1p-1074).error(), "ellipk: m must be less than 1.");
  EXPECT_STREQ(legendre::ellipke_complement(-1).error(), "ellipe: m must be less than 1.");
  EXPECT_STREQ(legendre::ellippi_complement(0.5, 0.5, 0).error(),
               "ellippi: m must be less than 1.");
  EXPECT_STREQ(legendre::ellippi_complement(1.5, -0.5, 0.5).error(),
               "ellippi: n must be less than 1.");
  EXPECT_STREQ(legendre::ellippi_complement(1, 0, 0.5).error(), "elliprj: p must be non-zero");
}

} // namespace

// Carlson's RC, RF, RD and RJ: agreement with mpmath over every branch
// (tables from tools/gen_elliptic_refs.py), the test values published with
// the algorithms (Carlson, Numer. Algorithms 10 (1995) 13-26), the addition
// theorems, exact special values and the error messages with their order of
// checks.
#include <cmath>
#include <limits>

#include "../elliptic_messages.hpp"
#include "elliptic/carlson.hpp"
#include "math_constants.hpp"
#include "test_elliptic_support.hpp"

namespace {

using namespace tessarin;
using namespace elliptic_test;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

Result<double> rc(const std::vector<double> &a) {
  return carlson::elliprc(a[0], a[1]);
}
Result<double> rf(const std::vector<double> &a) {
  return carlson::elliprf(a[0], a[1], a[2]);
}
Result<double> rd(const std::vector<double> &a) {
  return carlson::elliprd(a[0], a[1], a[2]);
}
Result<double> rj(const std::vector<double> &a) {
  return carlson::elliprj(a[0], a[1], a[2], a[3]);
}

// Left-hand sides of the addition theorems (DLMF 19.26.1 and 19.26.9 with
// z = 0), with l m = x y; the tables hold RF(x, y, 0) and RJ(x, y, 0, p).
// Both halves run the duplication, the right-hand sides the AGM or the
// x = 0 path: the identity ties the branches together.
Result<double> rf_addition(const std::vector<double> &a) {
  const double x = a[0], y = a[1], l = a[2], m = (x * y) / l;
  const Result<double> r1 = carlson::elliprf(x + l, y + l, l);
  const Result<double> r2 = carlson::elliprf(x + m, y + m, m);
  for (const Result<double> *r : {&r1, &r2})
    if (!r->ok()) return *r;
  return r1.value() + r2.value();
}
Result<double> rj_addition(const std::vector<double> &a) {
  const double x = a[0], y = a[1], p = a[2], l = a[3], m = (x * y) / l;
  const Result<double> r1 = carlson::elliprj(x + l, y + l, l, p + l);
  const Result<double> r2 = carlson::elliprj(x + m, y + m, m, p + m);
  const Result<double> rc =
      carlson::elliprc((p * p) * (((x + y) + l) + m), (p * (p + l)) * (p + m));
  for (const Result<double> *r : {&r1, &r2, &rc})
    if (!r->ok()) return *r;
  return (r1.value() + r2.value()) + 3 * rc.value();
}

// Tolerances in ULPs a little above the worst measured with glibc's libm;
// the principal value of RJ changes sign and is held to an absolute error
// (relative above 1). Among the published values the worst is the
// principal value RJ(2, 3, 4, -1/2), 6 ULPs; the addition rows add the
// rounding of the shifted arguments.
INSTANTIATE_TEST_SUITE_P(
    CarlsonTables, ReferenceTable,
    ::testing::Values(
        TableCase{"rc_general", "elliptic_rc.txt", "general", rc, ulp_distance, 4},
        TableCase{"rc_close", "elliptic_rc.txt", "close", rc, ulp_distance, 3},
        TableCase{"rc_x0", "elliptic_rc.txt", "x0", rc, ulp_distance, 2},
        TableCase{"rc_ypv", "elliptic_rc.txt", "ypv", rc, ulp_distance, 3},
        TableCase{"rf_dup", "elliptic_rf.txt", "dup", rf, ulp_distance, 3},
        TableCase{"rf_equal", "elliptic_rf.txt", "equal", rf, ulp_distance, 2},
        TableCase{"rf_equal0", "elliptic_rf.txt", "equal0", rf, ulp_distance, 1},
        TableCase{"rf_agm", "elliptic_rf.txt", "agm", rf, ulp_distance, 2},
        TableCase{"rd_dup", "elliptic_rd.txt", "dup", rd, ulp_distance, 5},
        TableCase{"rd_agm", "elliptic_rd.txt", "agm", rd, ulp_distance, 9},
        TableCase{"rd_y0", "elliptic_rd.txt", "y0", rd, ulp_distance, 4},
        TableCase{"rd_equal", "elliptic_rd.txt", "equal", rd, ulp_distance, 4},
        TableCase{"rj_dup", "elliptic_rj.txt", "dup", rj, ulp_distance, 5},
        TableCase{"rj_x0", "elliptic_rj.txt", "x0", rj, ulp_distance, 3},
        TableCase{"rj_yy", "elliptic_rj.txt", "yy", rj, ulp_distance, 10},
        TableCase{"rj_xxx", "elliptic_rj.txt", "xxx", rj, ulp_distance, 3},
        TableCase{"rj_zp", "elliptic_rj.txt", "zp", rj, ulp_distance, 2},
        TableCase{"rj_pv", "elliptic_rj.txt", "pv", rj, scaled_abs_error, 1e-15},
        TableCase{"rc_carlson95", "elliptic_rc.txt", "carlson95", rc, ulp_distance, 1},
        TableCase{"rf_carlson95", "elliptic_rf.txt", "carlson95", rf, ulp_distance, 1},
        TableCase{"rd_carlson95", "elliptic_rd.txt", "carlson95", rd, ulp_distance, 3},
        TableCase{"rj_carlson95", "elliptic_rj.txt", "carlson95", rj, ulp_distance, 8},
        TableCase{"rf_addition", "elliptic_rf.txt", "addition", rf_addition, ulp_distance, 4},
        TableCase{"rj_addition", "elliptic_rj.txt", "addition", rj_addition, ulp_distance, 4}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    CarlsonSpecial, ExactValue,
    ::testing::Values(
        ExactCase{"rc_0_quarter_is_pi", [] { return carlson::elliprc(0, 0.25); }, PI},
        ExactCase{"rc_0_4", [] { return carlson::elliprc(0, 4); }, PI / 4},
        ExactCase{"rc_equal", [] { return carlson::elliprc(4, 4); }, 0.5},
        ExactCase{"rc_0_negative_pv_is_0", [] { return carlson::elliprc(0, -2); }, 0},
        ExactCase{"rc_nan", [] { return carlson::elliprc(NaN, 1); }, NaN},
        ExactCase{"rf_xxx", [] { return carlson::elliprf(4, 4, 4); }, 0.5},
        ExactCase{"rf_xx0", [] { return carlson::elliprf(4, 4, 0); }, PI / 4},
        ExactCase{"rf_x0x", [] { return carlson::elliprf(4, 0, 4); }, PI / 4},
        ExactCase{"rf_0xx", [] { return carlson::elliprf(0, 4, 4); }, PI / 4},
        ExactCase{"rd_xxx", [] { return carlson::elliprd(4, 4, 4); }, 0.125},
        ExactCase{"rd_0yy", [] { return carlson::elliprd(0, 4, 4); }, 0x1.2d97c7f3321d2p-2},
        ExactCase{"rd_x0x_swaps", [] { return carlson::elliprd(4, 0, 4); }, 0x1.2d97c7f3321d2p-2},
        ExactCase{"rj_xxxx", [] { return carlson::elliprj(4, 4, 4, 4); }, 0.125}),
    case_name);

// Reductions must route to the same computation, not merely a close value.
TEST(CarlsonReductions, SameBitsAsTheReducedForm) {
  expect_same_double(carlson::elliprj(0.5, 2, 3, 3).value(), carlson::elliprd(0.5, 2, 3).value());
  expect_same_double(carlson::elliprj(2, 2, 5, 3).value(), carlson::elliprj(5, 2, 2, 3).value());
  expect_same_double(carlson::elliprj(2, 2, 5, 2.1).value(),
                     carlson::elliprj(5, 2, 2, 2.1).value());
  expect_same_double(carlson::elliprj(0.5, 3, 3, 3).value(), carlson::elliprd(0.5, 3, 3).value());
  // Without an equal pair in (x, y) the arguments stay where they are.
  expect_same_double(carlson::elliprj(2, 5, 2, 3).value(), carlson::_elliprj(2, 5, 2, 3).value());
}

TEST(CarlsonSpotValues, PublishedValues) {
  // DLMF 19.2(iv): RC(9/4, 2) = ln 2, RC(1/4, -2) = (ln 2)/3.
  EXPECT_LE(ulp_distance(carlson::elliprc(2.25, 2).value(), 0.6931471805599453), 1);
  EXPECT_LE(ulp_distance(carlson::elliprc(0.25, -2).value(), 0.23104906018664842), 2);
  // The principal value of RJ is negative here.
  EXPECT_LT(carlson::elliprj(0, 0.01, 1, -0.1).value(), 0);
}

using namespace elliptic_messages;

INSTANTIATE_TEST_SUITE_P(
    CarlsonMessages, ErrorMessage,
    ::testing::Values(
        ErrorCase{"rc_x_before_y", [] { return carlson::elliprc(-1, 0); },
                  "elliprc: x must be non-negative."},
        ErrorCase{"rc_y_zero", [] { return carlson::elliprc(1, 0); },
                  "elliprc: y must be non-zero."},
        ErrorCase{"rc_y_minus_zero", [] { return carlson::elliprc(1, -0.0); },
                  "elliprc: y must be non-zero."},
        ErrorCase{"rf_negative", [] { return carlson::elliprf(1, -1e-300, 2); }, RF_DOMAIN},
        ErrorCase{"rf_two_zero", [] { return carlson::elliprf(0, 1, 0); }, RF_DOMAIN},
        ErrorCase{"rf_nan_dup", [] { return carlson::elliprf(NaN, 1, 2); },
                  "elliprf: Failed to converge."},
        ErrorCase{"rd_negative_before_z", [] { return carlson::elliprd(-1, 1, 0); }, RD_DOMAIN},
        ErrorCase{"rd_xy_zero_before_z", [] { return carlson::elliprd(0, 0, -1); }, RD_DOMAIN},
        ErrorCase{"rd_z_zero", [] { return carlson::elliprd(1, 1, 0); },
                  "elliprd: z must be positive"},
        ErrorCase{"rd_z_negative", [] { return carlson::elliprd(1, 0, -2); },
                  "elliprd: z must be positive"},
        ErrorCase{"rd_nan_dup", [] { return carlson::elliprd(1, 2, NaN); },
                  "elliprd: Failed to converge."},
        ErrorCase{"rj_negative_before_p", [] { return carlson::elliprj(1, 1, -1, 0); }, RJ_DOMAIN},
        ErrorCase{"rj_two_zero_before_p", [] { return carlson::elliprj(0, 0, 1, 0); }, RJ_DOMAIN},
        ErrorCase{"rj_p_zero", [] { return carlson::elliprj(1, 2, 3, 0); },
                  "elliprj: p must be non-zero"},
        ErrorCase{"rj_p_zero_equal_args", [] { return carlson::elliprj(2, 2, 2, -0.0); },
                  "elliprj: p must be non-zero"},
        ErrorCase{"rj_nan_p", [] { return carlson::elliprj(1, 2, 3, NaN); },
                  "elliprj: Fail to converge"},
        ErrorCase{"rj_nan_x_pv", [] { return carlson::elliprj(NaN, 1, 2, -1); },
                  "elliprj: Fail to converge"}),
    case_name);

} // namespace

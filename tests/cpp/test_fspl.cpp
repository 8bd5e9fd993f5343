// The fitting family's kernels: Bulirsch's cel, the uniform disk built on
// it, the limb-darkening profiles and the evaluator's element rules.
// References: tests/data/fspl_cel.txt (tools/gen_fspl_tables.py) and
// tests/data/truth_disk.txt (tools/accuracy_truth.py).
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "elliptic/bulirsch.hpp"
#include "models/fspl/disk.hpp"
#include "models/fspl/fspl.hpp"
#include "models/fspl/profile.hpp"

using namespace tessarin::models::fspl;
using tessarin::elliptic::bulirsch::cel;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

std::vector<std::vector<std::string>> rows_of(const std::string &name) {
  std::ifstream in(std::string(TESSARIN_TEST_DATA) + "/" + name);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::vector<std::string> row;
    for (std::string v; fields >> v;)
      row.push_back(v);
    rows.push_back(row);
  }
  return rows;
}

} // namespace

TEST(Cel, MatchesCarlsonsIntegrals) {
  const auto rows = rows_of("fspl_cel.txt");
  ASSERT_EQ(rows.size(), 120u);
  double worst = 0.0;
  std::string where;
  for (const auto &r : rows) {
    const double kc = std::stod(r[0]), p = std::stod(r[1]), a = std::stod(r[2]),
                 b = std::stod(r[3]);
    const long double truth = std::stold(r[4]);
    const double err = static_cast<double>(std::fabs((cel(kc, p, a, b) - truth) / truth));
    if (err > worst) {
      worst = err;
      where = r[0] + " " + r[1] + " " + r[2] + " " + r[3];
    }
  }
  EXPECT_LE(worst, 2e-15) << "worst at " << where;
}

TEST(Cel, SpecialCases) {
  // K(0) = E(0) = pi/2; E(1) = 1 (kc -> 0 with b = kc^2 = 0).
  EXPECT_DOUBLE_EQ(cel(1.0, 1.0, 1.0, 1.0), M_PI / 2);
  EXPECT_NEAR(cel(1e-300, 1.0, 1.0, 0.0), 1.0, 1e-15);
  // The pair is the sum of its two integrals.
  const double pair =
      tessarin::elliptic::bulirsch::cel_pair_sum(0.3, {0.7, 1.0, 2.0}, {1.0, 0.5, -0.25});
  EXPECT_NEAR(pair, cel(0.3, 0.7, 1.0, 2.0) + cel(0.3, 1.0, 0.5, -0.25), 4e-16 * pair);
}

// The disk against the two-route truth, per regime (the separation formed
// as x rho, as the truth's inputs are; next to the limb that rounding moves
// the value by up to a few ulp times ln|x - 1|).
TEST(UniformDisk, MatchesTruthPerRegime) {
  const std::map<std::string, double> bound = {
      {"centre", 1e-15},  {"far", 1e-14},       {"limb", 4e-15},     {"near-limb", 2e-15},
      {"on-limb", 1e-15}, {"outside", 2.5e-14}, {"very-far", 1e-15},
  };
  std::map<std::string, double> worst;
  for (const auto &r : rows_of("truth_disk.txt")) {
    const double rho = std::stod(r[1]), x = std::stod(r[2]);
    const long double truth = std::stold(r[3]);
    const double a = disk_magnification(x * rho, rho);
    const double err = static_cast<double>(std::fabs((a - truth) / truth));
    worst[r[0]] = std::max(worst[r[0]], err);
  }
  ASSERT_EQ(worst.size(), bound.size());
  for (const auto &[regime, err] : worst)
    EXPECT_LE(err, bound.at(regime)) << regime;
}

struct ProfileCase {
  Law law;
  std::vector<double> coefficients;
  bool valid;
  double flux; // N_0 = 2 int I mu dmu, when valid
};

class Profiles : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(Profiles, ValidityAndFlux) {
  const ProfileCase &c = GetParam();
  Profile p;
  const bool valid = make_profile(c.law, c.coefficients.data(), nullptr, p);
  ASSERT_EQ(valid, c.valid);
  if (!valid) return;
  double n0;
  p.moments(&n0, 1);
  EXPECT_NEAR(n0, c.flux, 1e-15);
  EXPECT_NEAR(p.centre(), 1.0, 4e-16); // every law is 1 at the centre
  // The tables' mix: flux fractions summing to 1, for every law made of the
  // basis profiles (power-2 only for the exponents among them).
  const BasisMix mix = basis_mix(p, n0);
  const bool basis_exponent =
      p.c_alpha == 0.0 || p.alpha == 0.5 || p.alpha == 1.0 || p.alpha == 1.5 || p.alpha == 2.0;
  ASSERT_EQ(mix.usable, basis_exponent);
  if (!mix.usable) return;
  double sum = mix.uniform;
  for (double w : mix.weight)
    sum += w;
  EXPECT_NEAR(sum, 1.0, 1e-15);
}

INSTANTIATE_TEST_SUITE_P(
    Laws, Profiles,
    ::testing::Values(
        ProfileCase{Law::uniform, {}, true, 1.0},
        ProfileCase{Law::linear, {0.6}, true, 1.0 - 0.6 / 3},
        ProfileCase{Law::linear, {1.0}, true, 2.0 / 3}, // zero at the limb
        ProfileCase{Law::linear, {-0.5}, true, 1.0 + 0.5 / 3},
        ProfileCase{Law::linear, {1.0000001}, false, 0}, ProfileCase{Law::linear, {NaN}, false, 0},
        ProfileCase{Law::linear, {INF}, false, 0},
        // 1 - a x - b x^2, x = 1 - mu: flux 1 - a/3 - b/6.
        ProfileCase{Law::quadratic, {0.45, 0.25}, true, 1.0 - 0.45 / 3 - 0.25 / 6},
        ProfileCase{Law::quadratic, {2.0, -1.0}, true, 1.0 - 2.0 / 3 + 1.0 / 6}, // mu^2
        ProfileCase{Law::quadratic, {0.5, 0.6}, false, 0},  // negative at the limb
        ProfileCase{Law::quadratic, {3.0, -2.0}, false, 0}, // dips inside
        ProfileCase{Law::quadratic, {0.3, NaN}, false, 0},
        // 1 - c (1 - mu) - d (1 - sqrt mu): flux 1 - c/3 - d/5.
        ProfileCase{Law::square_root, {0.3, 0.4}, true, 1.0 - 0.3 / 3 - 0.4 / 5},
        ProfileCase{Law::square_root, {0.8, 0.3}, false, 0},
        ProfileCase{Law::square_root, {4.0, -3.9}, false, 0}, // negative vertex
        // 1 - c (1 - mu) - d mu ln mu: flux 1 - c/3 + 2d/9.
        ProfileCase{Law::logarithmic, {0.6, 0.2}, true, 1.0 - 0.6 / 3 + 0.4 / 9},
        ProfileCase{Law::logarithmic, {0.99, -0.6}, false, 0}, // convex dip
        ProfileCase{Law::logarithmic, {0.95, -0.5}, true, 1.0 - 0.95 / 3 - 1.0 / 9},
        // 1 - c (1 - mu^alpha): flux 1 - c alpha / (alpha + 2).
        ProfileCase{Law::power2, {0.6, 0.6}, true, 1.0 - 0.6 * 0.6 / 2.6},
        ProfileCase{Law::power2, {0.9, 0.0}, true, 1.0},
        ProfileCase{Law::power2, {0.6, 0.5}, true, 1.0 - 0.6 * 0.5 / 2.5},
        ProfileCase{Law::power2, {1.0, 2.0}, true, 0.5},
        ProfileCase{Law::power2, {0.5, -0.1}, false, 0},
        ProfileCase{Law::power2, {1.1, 0.5}, false, 0},
        // Claret: flux 1 - sum a_k k / (k + 4).
        ProfileCase{Law::claret,
                    {0.7, -0.6, 0.9, -0.35},
                    true,
                    1.0 - 0.7 / 5 + 0.6 * 2 / 6 - 0.9 * 3 / 7 + 0.35 * 4 / 8},
        ProfileCase{Law::claret, {0.0, 0.0, 0.0, 1.0}, true, 1.0 - 0.5}, // mu^2
        // 1 - 4 t + 4 t^2 = (1 - 2t)^2 touches zero at t = 1/2 (rounding allowed);
        // a little more curvature and it dips below.
        ProfileCase{Law::claret, {-4.0, 4.0, 0.0, 0.0}, true, 1.0 + 4.0 / 5 - 4.0 * 2 / 6},
        ProfileCase{Law::claret, {-4.0, 4.01, 0.0, 0.0}, false, 0},
        ProfileCase{Law::claret, {0.0, 0.0, -12.0, 12.0}, false, 0}));

TEST(Profiles, TableChecks) {
  struct Case {
    Table table;
    bool ok;
  };
  const std::vector<Case> cases = {
      {{{0.0, 1.0}, {0.5, 1.0}}, true},
      {{{0.0, 0.5, 1.0}, {0.2, 1.0, 1.0}}, true},
      {{{0.0, 1.0}, {0.5}}, false},                  // lengths differ
      {{{0.0}, {1.0}}, false},                       // one node
      {{{0.0, 0.7, 0.5, 1.0}, {1, 1, 1, 1}}, false}, // not increasing
      {{{0.0, 0.5, 0.5, 1.0}, {1, 1, 1, 1}}, false}, // repeated node
      {{{0.1, 1.0}, {1.0, 1.0}}, false},             // does not start at 0
      {{{0.0, 0.9}, {1.0, 1.0}}, false},             // does not end at 1
      {{{0.0, 1.0}, {-0.1, 1.0}}, false},            // negative
      {{{0.0, 1.0}, {0.0, 0.0}}, false},             // no flux
      {{{0.0, NaN, 1.0}, {1, 1, 1}}, false},
      {{{0.0, 1.0}, {1.0, INF}}, false},
  };
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(check_table(cases[i].table) == nullptr, cases[i].ok) << "case " << i;
  // The most nodes a table may have, and one more.
  for (std::size_t n : {MAX_TABLE_NODES, MAX_TABLE_NODES + 1}) {
    Table table;
    for (std::size_t i = 0; i < n; ++i) {
      table.mu.push_back(static_cast<double>(i) / static_cast<double>(n - 1));
      table.intensity.push_back(1.0);
    }
    EXPECT_EQ(check_table(table) == nullptr, n == MAX_TABLE_NODES) << n;
    if (n == MAX_TABLE_NODES) {
      // A lens over the star: every node a cut, the value that of the
      // uniform disk the flat table is.
      Evaluator e(Law::tabulated, 1e-8, &table);
      const double a = e(0.05, 0.1, nullptr);
      EXPECT_NEAR(a, disk_magnification(0.05, 0.1), 1e-8 * a);
    }
  }
}

TEST(Profiles, TableMomentsMatchTheLawItTabulates) {
  // A table of the linear law is the law: every moment agrees.
  const Table table{{0.0, 0.3, 1.0}, {0.4, 0.4 + 0.6 * 0.3, 1.0}};
  const double c = 0.6;
  Profile t, l;
  ASSERT_TRUE(make_profile(Law::tabulated, nullptr, &table, t));
  ASSERT_TRUE(make_profile(Law::linear, &c, nullptr, l));
  double mt[10], ml[10];
  t.moments(mt, 10);
  l.moments(ml, 10);
  for (int k = 0; k < 10; ++k)
    EXPECT_NEAR(mt[k], ml[k], 4e-15 * ml[0]) << k;
  for (double mu : {0.01, 0.29, 0.31, 0.99})
    EXPECT_NEAR(t.slope(mu), c, 1e-15) << mu;
}

// Element rules: NaN for what is not a source or a separation, 1 at an
// infinite separation, the same value at every tolerance within it.
TEST(Evaluator, ElementRules) {
  const double c = 0.6;
  for (double rtol : {1e-4, 1e-8, 1e-12}) {
    Evaluator e(Law::linear, rtol);
    EXPECT_TRUE(std::isnan(e(NaN, 0.1, &c)));
    EXPECT_TRUE(std::isnan(e(-1e-300, 0.1, &c)));
    EXPECT_TRUE(std::isnan(e(0.1, 0.0, &c)));
    EXPECT_TRUE(std::isnan(e(0.1, -0.1, &c)));
    EXPECT_TRUE(std::isnan(e(0.1, INF, &c)));
    EXPECT_TRUE(std::isnan(e(0.1, NaN, &c)));
    EXPECT_EQ(e(INF, 0.1, &c), 1.0);
    EXPECT_EQ(e(1e300, 0.1, &c), 1.0);
    const double bad = 1.5;
    EXPECT_TRUE(std::isnan(e(0.1, 0.1, &bad)));
  }
}

// The derivative profiles dI/dtheta: their moments and slopes are the
// derivatives of the law's (central differences; exact for the laws linear
// in their coefficients), for every coefficient of every law.
TEST(Profiles, DerivativeProfilesDifferentiateTheLaw) {
  const std::vector<std::pair<Law, std::vector<double>>> laws = {
      {Law::linear, {0.6}},           {Law::quadratic, {0.45, 0.25}},
      {Law::square_root, {0.3, 0.4}}, {Law::logarithmic, {0.6, 0.2}},
      {Law::power2, {0.6, 0.7}},      {Law::claret, {0.7, -0.6, 0.9, -0.35}},
  };
  for (const auto &[law, coefficients] : laws) {
    Profile derivatives[4];
    derivative_profiles(law, coefficients.data(), derivatives);
    for (std::size_t j = 0; j < coefficients.size(); ++j) {
      const double h = 1e-5;
      auto moved = coefficients;
      Profile up, down;
      moved[j] = coefficients[j] + h;
      ASSERT_TRUE(make_profile(law, moved.data(), nullptr, up));
      moved[j] = coefficients[j] - h;
      ASSERT_TRUE(make_profile(law, moved.data(), nullptr, down));
      double m_up[4], m_down[4], m[4];
      up.moments(m_up, 4);
      down.moments(m_down, 4);
      derivatives[j].moments(m, 4);
      for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(m[k], (m_up[k] - m_down[k]) / (2 * h), 1e-9) << int(law) << " " << j;
      for (double mu : {0.01, 0.3, 0.8}) {
        EXPECT_NEAR(derivatives[j].slope(mu), (up.slope(mu) - down.slope(mu)) / (2 * h), 1e-7)
            << int(law) << " " << j << " " << mu;
      }
      EXPECT_NEAR(derivatives[j].centre(), (up.centre() - down.centre()) / (2 * h), 1e-9);
    }
  }
}

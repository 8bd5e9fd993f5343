// Internals of the integrated models that Python cannot see.
// Reference table: tests/data/small_disk.txt from tools/gen_model_refs.py.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "models/concentric_disks.hpp"
#include "models/integrated.hpp"
#include "models/models.hpp"
#include "models/profile.hpp"
#include "models/tabulated_profile.hpp"
#include "numeric/quadrature.hpp"

using namespace tessarin::models;
using tessarin::quadrature::double_exponential::integrate;

namespace {

std::vector<std::vector<double>> load(const std::string &name) {
  std::ifstream in(std::string(TESSARIN_TEST_DATA) + "/" + name);
  std::vector<std::vector<double>> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::vector<double> row;
    for (std::string v; fields >> v;)
      row.push_back(std::stod(v));
    rows.push_back(row);
  }
  return rows;
}

} // namespace

TEST(Profile, DefaultNormIsTheRulesOwnIntegral) {
  const auto flux = [](double r) { return (tessarin::TWO_PI * r) * DefaultProfile{}(r); };
  const auto out = integrate(flux, 0.0, 1.0, 1e-16);
  EXPECT_EQ(out.integral, DEFAULT_PROFILE_NORM);
  EXPECT_EQ(out.evaluations, 385u);
}

TEST(Profile, DefaultLawAtCentreMiddleAndLimb) {
  EXPECT_EQ(DefaultProfile{}(0.0), 1.0);
  EXPECT_EQ(DefaultProfile{}(1.0), 0.4);
  EXPECT_DOUBLE_EQ(DefaultProfile{}(0.5), 1 - 0.6 * (1 - std::sqrt(0.75)));
}

TEST(Profile, TabulatedDefaultLawNorm) {
  Vector bl, bf;
  for (int i = 0; i <= 10; ++i) {
    const double r = i / 10.0;
    bl.push_back(r);
    bf.push_back(1 - 0.6 * (1 - std::sqrt(1 - r * r)));
  }
  EXPECT_EQ(TabulatedProfile(bl, bf).norm(), 2.4819063715734426);
}

TEST(Profile, TabulatedJumpsInsideTheSource) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char *name;
    Vector bl, bf, jumps;
  };
  const Case cases[] = {
      {"whole disk", {0, 1}, {1, 1}, {}},
      {"smaller star", {0, 0.5}, {1, 1}, {0.5}},
      {"annulus", {0.3, 1}, {1, 1}, {0.3}},
      {"dark at both ends", {0.3, 0.8}, {0, 0}, {}},
      {"step after a dark start", {0.2, 0.5, 0.5, 1}, {0, 1, 0.5, 0.5}, {0.5}},
      {"repeated radius, one brightness", {0, 0.5, 0.5, 1}, {1, 0.7, 0.7, 0.4}, {}},
      {"one point is uniform", {0.5}, {2}, {}},
      {"beyond the limb", {1.2, 2}, {1, 1}, {}},
      {"edges at 0 and 1", {-0.0, 0.5, 1}, {1, 2, 1}, {}},
      {"unsorted: first and last point", {0.7, 0.1, 0.4, 0.9}, {1, 2, 0.5, 1}, {0.7, 0.9}},
      {"NaN brightness at a step", {0, 0.5, 0.5, 1}, {1, nan, 1, 1}, {0.5}},
      {"a step at the first radius", {0.4, 0.4, 1}, {1, 2, 2}, {0.4}},
  };
  for (const Case &c : cases) {
    const TabulatedProfile profile(c.bl, c.bf);
    const auto got = profile.jumps();
    EXPECT_EQ(Vector(got.begin(), got.end()), c.jumps) << c.name;
  }
}

TEST(Profile, TooManyJumpsKeepTheLargest) {
  // Steps at 0.02, 0.04, ..., 0.8, the step at radius 0.02 k of size k:
  // the normalisation sees jumps of size 0.02 k^2, so the largest radii win.
  Vector bl = {0}, bf = {1000};
  double level = 1000;
  for (int k = 1; k <= 40; ++k) {
    bl.insert(bl.end(), {0.02 * k, 0.02 * k});
    bf.insert(bf.end(), {level, level - k});
    level -= k;
  }
  bl.push_back(1);
  bf.push_back(level);
  const TabulatedProfile profile(bl, bf);
  const auto got = profile.jumps();
  ASSERT_EQ(got.size(), MAX_JUMPS);
  for (std::size_t i = 0; i < MAX_JUMPS; ++i)
    EXPECT_EQ(got[i], 0.02 * static_cast<double>(40 - MAX_JUMPS + 1 + i));
}

TEST(Pieces, CutsAndTheLensMergeInOrder) {
  // The sum of the pieces, left to right, against the pieces by hand.
  const auto f = [](double r) { return std::exp(r); };
  const auto rule = [&](double a, double b) { return integrate(f, a, b, 1e-16).integral; };
  const std::vector<double> cuts = {0.25, 0.5};
  EXPECT_EQ(integrate_in_pieces(f, {}, 2.0), rule(0, 1));
  EXPECT_EQ(integrate_in_pieces(f, {}, 0.4), rule(0, 0.4) + rule(0.4, 1));
  EXPECT_EQ(integrate_in_pieces(f, cuts, 0.4),
            ((rule(0, 0.25) + rule(0.25, 0.4)) + rule(0.4, 0.5)) + rule(0.5, 1));
  EXPECT_EQ(integrate_in_pieces(f, cuts, 0.5), (rule(0, 0.25) + rule(0.25, 0.5)) + rule(0.5, 1));
  EXPECT_EQ(integrate_in_pieces(f, cuts, 0.1),
            ((rule(0, 0.1) + rule(0.1, 0.25)) + rule(0.25, 0.5)) + rule(0.5, 1));
  EXPECT_EQ(integrate_in_pieces(f, cuts, 0.9),
            ((rule(0, 0.25) + rule(0.25, 0.5)) + rule(0.5, 0.9)) + rule(0.9, 1));
  EXPECT_EQ(integrate_in_pieces(f, cuts, std::nan("")),
            (rule(0, 0.25) + rule(0.25, 0.5)) + rule(0.5, 1));
}

TEST(ConcentricDisks, WholeSourceAndNegativeRadii) {
  const auto whole = witt_mao_magnification({0.3, 1.7}, 1.0, 0.2);
  ASSERT_TRUE(whole.ok());
  const ConcentricDisks inside(0.3, 0.2, whole.value()[0]);
  EXPECT_EQ(inside(1.0), whole.value()[0]);
  EXPECT_EQ(inside(-1e-9), 0.0);
  // Away from r = 1 the disk is computed afresh, with the same closed form.
  const ConcentricDisks outside(1.7, 0.2, whole.value()[1]);
  const auto again = witt_mao_magnification({1.7 / 0.5}, 1.0, 0.2 * 0.5);
  ASSERT_TRUE(again.ok());
  EXPECT_NEAR(outside(0.5) / again.value()[0], 1.0, 1e-14);
}

TEST(ConcentricDisks, PointLensAtZeroRadius) {
  const double u = 0.7;
  const ConcentricDisks disks(3.5, 0.2, 0.0);
  EXPECT_DOUBLE_EQ(disks(0.0), (u * u + 2) / (u * std::sqrt(u * u + 4)));
}

TEST(SmallDisk, AgreesWithTheHighPrecisionDiskMean) {
  // Beyond the switch the expansion holds to rounding; short of it the
  // closed form serves, having lost about (u/R)^2 / 2 ulp to cancellation.
  const auto rows = load("small_disk.txt");
  ASSERT_FALSE(rows.empty());
  double worst[2] = {0, 0};
  std::string where[2];
  for (const auto &row : rows) {
    const double u = row[0], R = row[1];
    const bool far = u / R > SMALL_DISK_FROM;
    const double got = far ? small_disk_mean(u, R) : UniformDisk(R).at(u / R, u).value();
    const double err = std::fabs(got / row[2] - 1);
    if (err > worst[far]) {
      worst[far] = err;
      where[far] = "u=" + std::to_string(u) + " R=" + std::to_string(R);
    }
  }
  EXPECT_LT(worst[1], 4.5e-16) << "expansion, worst at " << where[1];
  EXPECT_LT(worst[0], 1e-13) << "closed form, worst at " << where[0];
}

TEST(SmallDisk, MeetsTheClosedFormAtTheSwitch) {
  // Just inside the switch the closed form has lost ~25^2 ulp at most.
  for (const double rho : {1e-3, 0.3, 5.0}) {
    const double l = 2.0;
    const double r = l / SMALL_DISK_FROM;
    const ConcentricDisks disks(l, rho, 0.0);
    const double closed = UniformDisk(r * rho).at(l / r, l * rho).value();
    EXPECT_NEAR(disks(r * (1 + 1e-12)) / closed, 1.0, 1e-12) << "rho=" << rho;
  }
}

// Internals of the integrated models that Python cannot see.
// Reference table: tests/data/small_disk.txt from tools/gen_model_refs.py.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "models/concentric_disks.hpp"
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

// The AVX2 lanes of the kernels and of the ring model against the scalar
// code, bit for bit: lane i of a vector result must be what the double
// instantiation (and, where the road is the same, the public entry point)
// gives for the arguments of lane i, whatever the other three lanes hold.
//
// Each kernel gets a pool of arguments on every road it has (NaN, infinite,
// zero and negative arguments, the thresholds of its branches, values that
// converge in one pass and values that exhaust the pass cap, seeded random
// values), and the pool is cut into groups of four twice over: every case in
// every lane position beside random companions, and the pool in three seeded
// shuffles. The lane kernels are evaluated by lanes_avx2_probe.cpp, the one
// translation unit of this test compiled for AVX2.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "elliptic/carlson.hpp"
#include "elliptic/legendre.hpp"
#include "lanes_avx2_probe.hpp"
#include "models/concentric_disks.hpp"
#include "models/disks_over_lanes.hpp"
#include "models/profile.hpp"
#include "models/ring.hpp"
#include "models/rings_over_source.hpp"
#include "models/tabulated_profile.hpp"
#include "models/uniform_disk.hpp"
#include "models/vector_paths.hpp"
#include "numeric/interp.hpp"
#include "numeric/numdiff.hpp"
#include "stop.hpp"

// Set by tests/cpp/CMakeLists.txt where the build has the vector paths and
// the processor that configured it has AVX2: there the comparison must run.
#ifndef TESSARIN_TEST_REQUIRE_AVX2
#define TESSARIN_TEST_REQUIRE_AVX2 0
#endif

#if !TESSARIN_VECTOR_LANES

TEST(VectorLanes, BuiltWithoutTheAvx2Paths) {
  if (TESSARIN_TEST_REQUIRE_AVX2) FAIL() << "configured for the AVX2 paths, built without them";
  GTEST_SKIP() << "built without the AVX2 paths (TESSARIN_VECTOR_LANES=OFF or no -mavx2)";
}

#else

namespace {

namespace carlson = tessarin::carlson;
namespace legendre = tessarin::legendre;
namespace models = tessarin::models;
namespace probe = lanes_probe::avx2;
using tessarin::Result;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double denorm = std::numeric_limits<double>::denorm_min();
constexpr double dmax = std::numeric_limits<double>::max();
constexpr std::size_t W = probe::WIDTH;

std::uint64_t bits(double v) {
  return std::bit_cast<std::uint64_t>(v);
}

// Bit for bit, except that every NaN equals every NaN: where two NaNs meet
// in an addition or a multiplication, x86 returns the first operand's, and
// the compiler may commute the operands of either instantiation, so the
// sign and payload of a NaN are no part of the results.
bool same_value(double a, double b) {
  return bits(a) == bits(b) || (std::isnan(a) && std::isnan(b));
}

std::string hex(double v) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%a", v);
  return buffer;
}

double up(double v) {
  return std::nextafter(v, inf);
}
double down(double v) {
  return std::nextafter(v, -inf);
}

// A seeded generator that gives the same sequence with every standard
// library (splitmix64).
class Random {
public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15u);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
  // Uniform in [0, 1).
  double uniform() { return static_cast<double>(next() >> 11) * 0x1p-53; }
  // 10^u with u uniform in [lo, hi).
  double log_uniform(double lo, double hi) { return std::pow(10.0, lo + (hi - lo) * uniform()); }

private:
  std::uint64_t state_;
};

// Lanes compared and lanes that differed, over the whole run, and the lanes
// where both gave a NaN with different bits; printed at the end.
struct Tally {
  std::size_t lanes = 0;
  std::size_t differing = 0;
  std::size_t nan_bits_differing = 0;
};
Tally &tally() {
  static Tally t;
  return t;
}

class TallyReport : public ::testing::Environment {
public:
  void TearDown() override {
    std::printf("[ lanes    ] %zu lanes compared with the scalar code, %zu differing (%zu "
                "NaN in both with other bits)\n",
                tally().lanes, tally().differing, tally().nan_bits_differing);
  }
};
[[maybe_unused]] ::testing::Environment *const tally_report =
    ::testing::AddGlobalTestEnvironment(new TallyReport);

// Counts one lane compared, and whether it differed.
bool record_lane(bool same) {
  ++tally().lanes;
  tally().differing += !same;
  return same;
}

// same_value, counting the NaNs whose bits differ.
bool same_lane_value(double got, double expected) {
  tally().nan_bits_differing +=
      std::isnan(got) && std::isnan(expected) && bits(got) != bits(expected);
  return same_value(got, expected);
}

// Compares one lane's double with the scalar one.
bool same_lane(double got, double expected, const std::string &where) {
  if (record_lane(same_lane_value(got, expected))) return true;
  ADD_FAILURE() << where << ": lane " << hex(got) << ", scalar " << hex(expected);
  return false;
}

// Groups of four indices into a pool of n cases: every case in every lane
// position beside companions drawn at random from the pool, then the pool in
// three seeded shuffles, four consecutive cases a group.
std::vector<std::array<std::size_t, W>> lane_groups(std::size_t n, std::uint64_t seed) {
  Random random(seed);
  std::vector<std::array<std::size_t, W>> groups;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t position = 0; position < W; ++position) {
      std::array<std::size_t, W> g{};
      for (std::size_t k = 0; k < W; ++k)
        g[k] = k == position ? i : random.below(n);
      groups.push_back(g);
    }
  }
  std::vector<std::size_t> order(n);
  for (std::size_t i = 0; i < n; ++i)
    order[i] = i;
  for (int shuffle = 0; shuffle < 3; ++shuffle) {
    for (std::size_t i = n; i > 1; --i)
      std::swap(order[i - 1], order[random.below(i)]);
    for (std::size_t i = 0; i < n; i += W) {
      std::array<std::size_t, W> g{};
      for (std::size_t k = 0; k < W; ++k)
        g[k] = order[(i + k) % n];
      groups.push_back(g);
    }
  }
  return groups;
}

// Skips where the processor has no AVX2, but fails where the build was
// configured on one that has it: there the comparison has to run.
#define REQUIRE_VECTOR_PATH()                                                                      \
  do {                                                                                             \
    if (!models::avx2::available()) {                                                              \
      if (TESSARIN_TEST_REQUIRE_AVX2)                                                              \
        FAIL() << "configured on a processor with AVX2, but avx2::available() is false";           \
      GTEST_SKIP() << "this processor has no AVX2";                                                \
    }                                                                                              \
  } while (0)

// ---------------------------------------------------------------------------
// The elliptic lane kernels.

// Up to five arguments of one lane (an `active` flag among them where the
// kernel takes one: 0 or 1).
using Args = std::array<double, 5>;

// What a kernel gives for one lane.
struct LaneOut {
  double v[2] = {0, 0};
  bool failed = false;
  const char *message = nullptr;
};

struct KernelCase {
  const char *name;
  std::vector<Args> (*pool)();
  // Values compared per lane (v[0] and, for two, v[1]).
  int values;
  // The double instantiation at one lane's arguments.
  LaneOut (*scalar)(const Args &);
  // The four lanes at once; returns the kernel's message (or nullptr).
  const char *(*vector)(const Args (&)[W], LaneOut (&)[W]);
  // The public entry point where it takes the same road: nullopt elsewhere.
  std::optional<LaneOut> (*reference)(const Args &);
};
std::ostream &operator<<(std::ostream &os, const KernelCase &c) {
  return os << c.name;
}

// Arguments of a lane group, one array per argument, and the active lanes
// where argument `active_column` is the flag.
constexpr std::size_t NO_FLAG = std::tuple_size_v<Args>;
template <std::size_t N> struct Columns {
  double c[N][W];
  bool active[W];
  explicit Columns(const Args (&a)[W], std::size_t active_column = NO_FLAG) {
    for (std::size_t k = 0; k < W; ++k) {
      for (std::size_t j = 0; j < N; ++j)
        c[j][k] = a[k][j];
      active[k] = active_column < NO_FLAG && a[k][active_column] != 0;
    }
  }
};

const std::vector<double> &positive_specials() {
  static const std::vector<double> values = {
      denorm, 0x1p-1022, 1e-300, 1e-100, 1e-30,     1e-16, 0x1p-53, 0x1p-52, 1e-8,
      1e-3,   0.1,       0.5,    0.9,    down(1.0), 1.0,   up(1.0), 1.2,     2.0,
      3.0,    1e3,       1e8,    1e16,   1e100,     1e300, dmax,    inf};
  return values;
}

// RF(0, b, a) = pi / (2 M(sqrt(a), sqrt(b))); a zero argument gives +inf
// without entering the loop (which would not end on it).
std::vector<Args> rf_pool() {
  std::vector<Args> pool = {{1.0, 0.0}, {0.0, 2.0}, {0.0, 0.0}, {-0.0, 1e-300}, {inf, 0.0}};
  std::vector<double> values = positive_specials();
  values.insert(values.end(), {nan, -nan, -1.0, -inf, 1.0000001, 0.9999999});
  for (const double b : values)
    pool.push_back({1.0, b});
  for (const double a : {1e-300, 1e-8, 0.5, 2.0, 1e8, 1e300, inf, nan})
    for (const double b : {denorm, 1e-16, 0.5, 1.0, 3.0, 1e16, dmax, nan})
      pool.push_back({a, b});
  Random random(11);
  for (int i = 0; i < 120; ++i)
    pool.push_back({random.log_uniform(-300, 300), random.log_uniform(-300, 300)});
  for (int i = 0; i < 60; ++i)
    pool.push_back({1.0, random.uniform() + 0x1p-60});
  return pool;
}

TEST(RfAgm, AZeroArgumentGivesInfinityAtOnce) {
  for (const auto &[a, b] : {std::pair{1.0, 0.0}, {0.0, 2.0}, {0.0, 0.0}, {-0.0, 5.0}})
    EXPECT_EQ(carlson::internal::rf_agm<double>(a, b), inf) << a << ", " << b;
}

LaneOut rf_scalar(const Args &a) {
  LaneOut o;
  o.v[0] = carlson::internal::rf_agm<double>(a[0], a[1]);
  return o;
}

const char *rf_vector(const Args (&a)[W], LaneOut (&out)[W]) {
  const Columns<2> c(a);
  double v[W];
  probe::rf_agm(c.c[0], c.c[1], v);
  for (std::size_t k = 0; k < W; ++k)
    out[k].v[0] = v[k];
  return nullptr;
}

std::optional<LaneOut> rf_reference(const Args &a) {
  const Result<double> r = carlson::elliprf(0, a[1], a[0]);
  if (!r) return std::nullopt;
  LaneOut o;
  o.v[0] = r.value();
  return o;
}

// RJ by duplication: the models' road RJ(0, mc, 1, p), general arguments,
// arguments that no check has filtered (the kernel's callers check them),
// and seeded random sets. Every seventh case is inactive.
std::vector<Args> rj_pool() {
  std::vector<Args> pool;
  const double mcs[] = {1e-300, 1e-30, 1e-16, 1e-8, 1e-3, 0.1, 0.5, 0.9, down(1.0)};
  for (const double mc : mcs) {
    const double ps[] = {1e-300, 1e-100,    1e-16,        1e-8,     1e-4,     0.01, 0.3,
                         0.5,    down(1.0), up(1.0),      1 - 1e-8, 1 + 1e-8, 2.0,  1e8,
                         1e300,  mc,        mc * 1.00001, inf,      nan};
    for (const double p : ps)
      pool.push_back({0.0, mc, 1.0, p, 1.0});
  }
  // e = delta / d^2 in the window (-1.5, -0.5), where the sum term takes
  // 1 + e in its exact form, and below it: y << p << z.
  for (const double y : {1e-12, 1e-8, 1e-6})
    for (const double p : {1e-5, 1e-4, 1e-3, 1e-2})
      pool.push_back({0.0, y, 1.0, p, 1.0});
  for (const double p : {0.25, 0.5, 2.0, 40.0})
    pool.push_back({1e-6, 1e-4, 1e4, p, 1.0});
  // Converged on the first pass (all equal) and exhausting the cap (NaN,
  // negative, a spread beyond 4^100).
  for (const double v : {0.5, 1.0, 7.0})
    pool.push_back({v, v, v, v, 1.0});
  for (const Args &a : std::vector<Args>{{nan, 1.0, 2.0, 0.5, 1.0},
                                         {1.0, nan, 2.0, 0.5, 1.0},
                                         {0.0, 0.5, 1.0, -0.5, 1.0},
                                         {-1.0, 0.5, 1.0, 0.5, 1.0},
                                         {0.0, 0.0, 1.0, 0.5, 1.0},
                                         {0.0, 0.0, 0.0, 0.5, 1.0},
                                         {0.0, 1.0, 1.0, 0.0, 1.0},
                                         {0.0, 1e-300, 1e300, 1.0, 1.0},
                                         {denorm, 1.0, dmax, 1.0, 1.0},
                                         {0.0, 1.0, inf, 0.5, 1.0},
                                         {inf, inf, inf, inf, 1.0},
                                         {1.0, 2.0, 3.0, -inf, 1.0}})
    pool.push_back(a);
  for (const double x : {1e-3, 0.5, 2.0})
    for (const double y : {0.5, 3.0, 1e3})
      for (const double p : {1e-3, 0.5, 1.0, 2.5, 1e3})
        pool.push_back({x, y, 3.0, p, 1.0});
  Random random(23);
  for (int i = 0; i < 200; ++i) {
    const double x = i % 3 == 0 ? 0.0 : random.log_uniform(-20, 20);
    pool.push_back({x, random.log_uniform(-20, 20), random.log_uniform(-20, 20),
                    random.log_uniform(-20, 20), 1.0});
  }
  for (std::size_t i = 0; i < pool.size(); i += 7)
    pool[i][4] = 0.0;
  return pool;
}

LaneOut from(const carlson::internal::LaneResult<double> &r) {
  LaneOut o;
  o.v[0] = r.value;
  o.failed = r.failed;
  o.message = r.message;
  return o;
}

LaneOut rj_scalar(const Args &a) {
  return from(carlson::internal::rj_duplication<double>(a[0], a[1], a[2], a[3], a[4] != 0));
}

const char *rj_vector(const Args (&a)[W], LaneOut (&out)[W]) {
  const Columns<4> c(a, 4);
  double v[W];
  bool failed[W];
  const char *message = nullptr;
  probe::rj_duplication(c.c[0], c.c[1], c.c[2], c.c[3], c.active, v, failed, &message);
  for (std::size_t k = 0; k < W; ++k) {
    out[k].v[0] = v[k];
    out[k].failed = failed[k];
  }
  return message;
}

std::optional<LaneOut> rj_reference(const Args &a) {
  if (a[4] == 0) return std::nullopt;
  const Result<double> r = carlson::_elliprj(a[0], a[1], a[2], a[3]);
  LaneOut o;
  o.failed = !r;
  o.v[0] = r ? r.value() : 0.0;
  o.message = r.error();
  return o;
}

// K and E of the complementary parameter: 0, the 2^-52 threshold of K's
// logarithmic limit, 1 and beyond, and what the polynomials are made for.
std::vector<Args> complement_pool() {
  std::vector<Args> pool;
  for (const double x : {0.0,     -0.0,        denorm, 0x1p-1022, 0x1p-60, 0x1p-53,   down(0x1p-52),
                         0x1p-52, up(0x1p-52), 1e-16,  1e-8,      0.5,     down(1.0), 1.0,
                         up(1.0), 2.0,         inf,    -inf,      nan,     -nan,      -1.0})
    pool.push_back({x});
  for (int i = 1; i <= 60; ++i)
    pool.push_back({std::ldexp(1.0, -i)});
  Random random(31);
  for (int i = 0; i < 150; ++i)
    pool.push_back({random.uniform() + 0x1p-70});
  for (int i = 0; i < 50; ++i)
    pool.push_back({random.log_uniform(-300, 0)});
  return pool;
}

LaneOut k_scalar(const Args &a) {
  LaneOut o;
  o.v[0] = legendre::internal::k_of_complement<double>(a[0]);
  return o;
}

const char *k_vector(const Args (&a)[W], LaneOut (&out)[W]) {
  const Columns<1> c(a);
  double v[W];
  probe::k_of_complement(c.c[0], v);
  for (std::size_t k = 0; k < W; ++k)
    out[k].v[0] = v[k];
  return nullptr;
}

// Where 1 - (1 - x) is x, K(1 - x) takes the same road as well.
bool complement_round_trips(double x) {
  return 1 - (1 - x) == x;
}

std::optional<LaneOut> k_reference(const Args &a) {
  const double x = a[0];
  if (!(0 < x && x < 1) && !std::isnan(x)) return std::nullopt;
  const Result<double> r = legendre::ellipk_complement(x);
  LaneOut o;
  o.v[0] = r.value();
  if (!std::isnan(x) && complement_round_trips(x)) {
    const Result<double> direct = legendre::ellipk(1 - x);
    EXPECT_EQ(bits(direct.value()), bits(r.value())) << "ellipk(1 - " << hex(x) << ")";
  }
  return o;
}

LaneOut ek_scalar(const Args &a) {
  const auto ek = legendre::internal::ek_of_complement_lanes<double>(a[0]);
  LaneOut o;
  o.v[0] = ek.e;
  o.v[1] = ek.k;
  return o;
}

const char *ek_vector(const Args (&a)[W], LaneOut (&out)[W]) {
  const Columns<1> c(a);
  double e[W], k[W];
  probe::ek_of_complement(c.c[0], e, k);
  for (std::size_t i = 0; i < W; ++i) {
    out[i].v[0] = e[i];
    out[i].v[1] = k[i];
  }
  return nullptr;
}

std::optional<LaneOut> ek_reference(const Args &a) {
  const double x = a[0];
  if (!(0 < x && x < 1) && !std::isnan(x)) return std::nullopt;
  const auto r = legendre::ellipke_complement(x);
  LaneOut o;
  o.v[0] = r.value().e;
  o.v[1] = r.value().k;
  return o;
}

// Pi from the complements: regular lanes, and lanes that pi_regular turns
// away (n, mc or p at or beyond their bounds). mc is never 0: RF's mean has
// no end there, and the callers never pass it.
std::vector<Args> pi_pool() {
  std::vector<Args> pool;
  const double ns[] = {1e-300, 1e-8, 0.3, 0.5, down(1.0), 1.0, 2.0, -0.5, 0.0, nan};
  const double mcs[] = {1e-300, 1e-16, 1e-4, 0.5, down(1.0), 1.0, 1.5, -0.5, nan};
  for (const double n : ns)
    for (const double mc : mcs)
      pool.push_back({n, mc, 1 - n, 1.0});
  for (const double p : {0.0, -1.0, 1.0, up(1.0), 0.5, 1e-300, 1e300, inf, nan})
    for (const double mc : {1e-12, 0.25, 0.75})
      pool.push_back({0.4, mc, p, 1.0});
  Random random(47);
  for (int i = 0; i < 150; ++i) {
    const double n = random.uniform() + 0x1p-60;
    const double q = random.log_uniform(-12, 0);
    pool.push_back({n, q * random.uniform() + 0x1p-80, q * q, 1.0});
  }
  for (std::size_t i = 3; i < pool.size(); i += 11)
    pool[i][3] = 0.0;
  return pool;
}

LaneOut pi_scalar(const Args &a) {
  const bool regular = legendre::internal::pi_regular<double>(a[0], a[1], a[2]);
  LaneOut o = from(legendre::internal::pi_of_complements<double>(a[0], a[1], a[2], a[3] != 0));
  // The mask is the kernel's too: carried in v[1].
  o.v[1] = regular ? 1.0 : 0.0;
  return o;
}

const char *pi_vector(const Args (&a)[W], LaneOut (&out)[W]) {
  const Columns<3> c(a, 3);
  double v[W];
  bool failed[W], regular[W];
  const char *message = nullptr;
  probe::pi_of_complements(c.c[0], c.c[1], c.c[2], c.active, v, failed, &message);
  probe::pi_regular(c.c[0], c.c[1], c.c[2], regular);
  for (std::size_t k = 0; k < W; ++k) {
    out[k].v[0] = v[k];
    out[k].v[1] = regular[k] ? 1.0 : 0.0;
    out[k].failed = failed[k];
  }
  return message;
}

std::optional<LaneOut> pi_reference(const Args &a) {
  if (a[3] == 0 || !legendre::internal::pi_regular<double>(a[0], a[1], a[2])) return std::nullopt;
  const Result<double> r = legendre::ellippi_complement(a[0], a[2], a[1]);
  LaneOut o;
  o.failed = !r;
  o.v[0] = r ? r.value() : 0.0;
  o.v[1] = 1.0;
  o.message = r.error();
  return o;
}

std::vector<Args> pair_pool() {
  const double values[] = {0.0, -0.0, 1.0, -1.0, 0.5,    1e-300,  -1e300,
                           inf, -inf, nan, -nan, denorm, -denorm, dmax};
  std::vector<Args> pool;
  for (const double a : values)
    for (const double b : values)
      pool.push_back({a, b});
  return pool;
}

LaneOut min_scalar(const Args &a) {
  LaneOut o;
  o.v[0] = carlson::internal::min_number<double>(a[0], a[1]);
  return o;
}
LaneOut max_scalar(const Args &a) {
  LaneOut o;
  o.v[0] = carlson::internal::max_number<double>(a[0], a[1]);
  return o;
}

template <void (*F)(const double *, const double *, double *)>
const char *pair_vector(const Args (&a)[W], LaneOut (&out)[W]) {
  const Columns<2> c(a);
  double v[W];
  F(c.c[0], c.c[1], v);
  for (std::size_t k = 0; k < W; ++k)
    out[k].v[0] = v[k];
  return nullptr;
}

std::vector<Args> series_pool() {
  std::vector<Args> pool;
  Random random(59);
  for (int i = 0; i < 200; ++i) {
    Args a{};
    for (int j = 0; j < 4; ++j)
      a[j] = (random.uniform() * 2 - 1) * random.log_uniform(-20, 0);
    pool.push_back(a);
  }
  for (const double s : {0.0, -0.0, nan, inf, -inf, 1e300, denorm})
    for (int j = 0; j < 4; ++j) {
      Args a = {1e-3, -2e-4, 5e-5, 1e-6};
      a[j] = s;
      pool.push_back(a);
    }
  return pool;
}

LaneOut series_scalar(const Args &a) {
  LaneOut o;
  o.v[0] = carlson::internal::rd_rj_series<double>(a[0], a[1], a[2], a[3]);
  return o;
}

const char *series_vector(const Args (&a)[W], LaneOut (&out)[W]) {
  const Columns<4> c(a);
  double v[W];
  probe::rd_rj_series(c.c[0], c.c[1], c.c[2], c.c[3], v);
  for (std::size_t k = 0; k < W; ++k)
    out[k].v[0] = v[k];
  return nullptr;
}

const KernelCase KERNELS[] = {
    {"rf_agm", rf_pool, 1, rf_scalar, rf_vector, rf_reference},
    {"rj_duplication", rj_pool, 1, rj_scalar, rj_vector, rj_reference},
    {"k_of_complement", complement_pool, 1, k_scalar, k_vector, k_reference},
    {"ek_of_complement", complement_pool, 2, ek_scalar, ek_vector, ek_reference},
    {"pi_of_complements", pi_pool, 2, pi_scalar, pi_vector, pi_reference},
    {"min_number", pair_pool, 1, min_scalar, pair_vector<probe::min_number>, nullptr},
    {"max_number", pair_pool, 1, max_scalar, pair_vector<probe::max_number>, nullptr},
    {"rd_rj_series", series_pool, 1, series_scalar, series_vector, nullptr},
};

class LaneKernel : public ::testing::TestWithParam<KernelCase> {};

TEST_P(LaneKernel, EveryLaneIsTheScalarResult) {
  REQUIRE_VECTOR_PATH();
  const KernelCase &kernel = GetParam();
  const std::vector<Args> pool = kernel.pool();
  std::vector<LaneOut> scalar;
  std::vector<std::optional<LaneOut>> reference;
  for (const Args &a : pool) {
    scalar.push_back(kernel.scalar(a));
    reference.push_back(kernel.reference ? kernel.reference(a) : std::nullopt);
  }
  const std::size_t before = tally().lanes, differing = tally().differing;
  std::size_t failed_lanes = 0, mixed_groups = 0, referenced = 0;
  for (const auto &group : lane_groups(pool.size(), 0x5eed0000u + pool.size())) {
    Args args[W];
    for (std::size_t k = 0; k < W; ++k)
      args[k] = pool[group[k]];
    LaneOut out[W];
    const char *message = kernel.vector(args, out);
    std::size_t failed_here = 0;
    bool message_is_a_lanes = false;
    for (std::size_t k = 0; k < W; ++k) {
      const std::size_t i = group[k];
      const LaneOut &s = scalar[i];
      const auto where = [&] {
        std::string text = std::string(kernel.name) + " case " + std::to_string(i) + " (";
        for (std::size_t j = 0; j < 5; ++j)
          text += (j ? ", " : "") + hex(pool[i][j]);
        return text + ") in lane " + std::to_string(k);
      };
      bool same = out[k].failed == s.failed;
      for (int j = 0; j < kernel.values && same && !s.failed; ++j)
        same = same_lane_value(out[k].v[j], s.v[j]);
      if (!record_lane(same)) {
        ADD_FAILURE() << where() << ": lane failed " << out[k].failed << " value "
                      << hex(out[k].v[0]) << " " << hex(out[k].v[1]) << "; scalar failed "
                      << s.failed << " value " << hex(s.v[0]) << " " << hex(s.v[1]);
        continue;
      }
      if (s.failed) {
        ++failed_here;
        if (message != nullptr && s.message != nullptr && std::strcmp(message, s.message) == 0)
          message_is_a_lanes = true;
        continue;
      }
      if (reference[i]) {
        ++referenced;
        const LaneOut &r = *reference[i];
        EXPECT_EQ(r.failed, s.failed) << where() << ": entry point and scalar kernel";
        for (int j = 0; j < kernel.values && !r.failed; ++j)
          EXPECT_TRUE(same_value(r.v[j], s.v[j])) << where() << " value " << j << ": entry point "
                                                  << hex(r.v[j]) << ", kernel " << hex(s.v[j]);
      }
    }
    failed_lanes += failed_here;
    if (failed_here > 0 && failed_here < W) ++mixed_groups;
    // A message exactly where a lane failed, and then one of those lanes'.
    if (failed_here == 0) {
      EXPECT_EQ(message, nullptr) << kernel.name << ": a message with no lane failed";
    } else {
      EXPECT_TRUE(message_is_a_lanes) << kernel.name << ": message "
                                      << (message ? message : "(none)") << " is no failed lane's";
    }
  }
  const std::size_t compared = tally().lanes - before;
  std::printf("[ lanes    ] %s: %zu lanes compared, %zu differing; %zu failed lanes, "
              "%zu groups mixing failed and converged lanes, %zu lanes also against the "
              "entry point\n",
              kernel.name, compared, tally().differing - differing, failed_lanes, mixed_groups,
              referenced);
  EXPECT_GT(compared, 4 * pool.size());
  if (kernel.reference) {
    EXPECT_GT(referenced, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, LaneKernel, ::testing::ValuesIn(KERNELS),
                         [](const auto &info) { return std::string(info.param.name); });

// The pools reach the roads they are meant to: RJ lanes that fail beside
// lanes that converge, and sum terms on each road of e: the window
// (-1.5, -0.5), where 1 + e is formed exactly, (-0.5, 0) and e > 0. (For
// non-negative arguments e is a product of three factors
// (sqrt(p) - sqrt(a)) / (sqrt(p) + sqrt(a)), so |e| < 1.)
TEST(LanePools, ReachEveryRoadOfRj) {
  std::size_t window = 0, small = 0, positive = 0, failing = 0, converging = 0;
  for (const Args &a : rj_pool()) {
    const double x = a[0], y = a[1], z = a[2], p = a[3];
    const double delta = (p - z) * ((p - y) * (p - x));
    const double rp = std::sqrt(p);
    const double d = (std::sqrt(z) + rp) * ((std::sqrt(x) + rp) * (std::sqrt(y) + rp));
    const double e = delta / (d * d);
    window += -1.5 < e && e < -0.5;
    small += -0.5 <= e && e < 0;
    positive += e > 0;
    const bool failed = carlson::internal::rj_duplication<double>(x, y, z, p, true).failed;
    failing += failed;
    converging += !failed;
  }
  EXPECT_GT(window, 5u);
  EXPECT_GT(small, 5u);
  EXPECT_GT(positive, 5u);
  EXPECT_GT(failing, 5u);
  EXPECT_GT(converging, 300u);
}

// ---------------------------------------------------------------------------
// The ring's closed form and the fallback of its special lanes.

struct RingRow {
  std::string name;
  double re, rstar, l;
};
std::ostream &operator<<(std::ostream &os, const RingRow &r) {
  return os << r.name;
}

std::vector<RingRow> ring_rows() {
  const struct {
    const char *name;
    double re, rstar;
  } lenses[] = {{"eta1e-4", 1e-4, 1.0}, {"eta0_1", 0.1, 1.0}, {"eta1", 1.0, 1.0},
                {"eta30", 30.0, 1.0},   {"eta1e4", 1e4, 1.0}, {"eta0", 0.0, 1.0}};
  const struct {
    const char *name;
    double l;
  } separations[] = {
      {"l0", 0.0},
      {"l1e-3", 1e-3},
      {"l0_3", 0.3},
      {"l0_999", 0.999},
      {"l1", 1.0},
      {"l1plus", 1.0000001},
      {"l1_5", 1.5},
      {"l10", 10.0},
      {"l1e6", 1e6},
      {"l2p500", 0x1p500},
      {"l1_5x2p500", 0x1.8p500},
      {"lminus0_5", -0.5},
      {"lnan", nan},
      {"linf", inf},
      {"ltiny", denorm},
  };
  std::vector<RingRow> rows;
  for (const auto &lens : lenses)
    for (const auto &s : separations)
      rows.push_back({std::string(lens.name) + "_" + s.name, lens.re, lens.rstar, s.l});
  return rows;
}

// Radii on every road of the ring mean at separation l: on the lens
// (r == l), at the edges of the zone |r - l| < 0.15 l, 1e5 eta from the lens,
// beyond 2^500, the source's centre and limb, NaN, infinite and negative
// radii, and seeded random radii over the source.
std::vector<double> ring_radii(double eta, double l, std::uint64_t seed) {
  std::vector<double> r = {0.0, -0.0, -1.0, 1e-300, denorm,  0.5,         1.0,    down(1.0),
                           1.2, nan,  inf,  -inf,   0x1p500, up(0x1p500), 0x1p501};
  const auto around = [&r](double c) {
    if (!std::isfinite(c)) return;
    r.insert(r.end(), {c, up(c), down(c), up(up(c)), down(down(c))});
  };
  around(l);
  r.push_back(l * (1 + 1e-12));
  r.push_back(l * (1 - 1e-12));
  const double zone = 0.15 * l;
  around(l + zone);
  around(l - zone);
  around(l * 1.15);
  around(l * 0.85);
  around(l + 1e5 * eta);
  around(l - 1e5 * eta);
  Random random(seed);
  for (int i = 0; i < 40; ++i)
    r.push_back(1.2 * random.uniform());
  for (int i = 0; i < 10; ++i)
    r.push_back(random.log_uniform(-12, 3));
  return r;
}

// A profile with steps: jumps at 0.3 and at its outer edge, 0.9.
models::TabulatedProfile stepped_profile() {
  return models::TabulatedProfile({0.0, 0.3, 0.3, 0.7, 0.9}, {1.0, 0.9, 0.5, 0.4, 0.2});
}

class RingLanes : public ::testing::TestWithParam<RingRow> {};

TEST_P(RingLanes, ClosedFormLanesAreTheScalarMeans) {
  REQUIRE_VECTOR_PATH();
  const RingRow &row = GetParam();
  const models::RingLens ring(row.re, row.rstar);
  const double eta = row.re / row.rstar;
  const std::vector<double> radii = ring_radii(eta, row.l, bits(row.l) ^ bits(eta));
  std::size_t special = 0, regular = 0, zone = 0, mixed = 0;
  for (const auto &group : lane_groups(radii.size(), 0x21a6u)) {
    double r[W], value[W];
    bool lane_special[W];
    for (std::size_t k = 0; k < W; ++k)
      r[k] = radii[group[k]];
    probe::ring_closed_form(ring, row.l, r, value, lane_special);
    std::size_t special_here = 0;
    for (std::size_t k = 0; k < W; ++k) {
      const std::string where = row.name + " r " + hex(r[k]) + " in lane " + std::to_string(k);
      bool scalar_special = false;
      const double scalar = ring.closed_form<double>(row.l, r[k], scalar_special);
      const bool same = lane_special[k] == scalar_special &&
                        (scalar_special || same_lane_value(value[k], scalar));
      if (!record_lane(same)) {
        ADD_FAILURE() << where << ": lane special " << lane_special[k] << " value " << hex(value[k])
                      << "; scalar special " << scalar_special << " value " << hex(scalar);
        continue;
      }
      if (scalar_special) {
        ++special_here;
        continue;
      }
      ++regular;
      zone += std::fabs(r[k] - row.l) < 0.15 * row.l;
      const Result<double> mean = ring(row.l, r[k]);
      ASSERT_TRUE(mean.ok()) << where << ": " << mean.error();
      EXPECT_TRUE(same_value(mean.value(), scalar))
          << where << ": operator() " << hex(mean.value()) << ", closed form " << hex(scalar);
    }
    special += special_here;
    if (special_here > 0 && special_here < W) ++mixed;
  }
  std::printf("[ lanes    ] %s: %zu regular lanes (%zu in the zone next to the ring), %zu "
              "special, %zu mixed groups\n",
              row.name.c_str(), regular, zone, special, mixed);
  EXPECT_GT(special, 0u);
}

// RingFlux over whole lists of radii (the last vector partial), where the
// special lanes fall back to the scalar mean one by one.
TEST_P(RingLanes, FluxWithFallbackIsTheScalarFlux) {
  REQUIRE_VECTOR_PATH();
  const RingRow &row = GetParam();
  const models::RingLens ring(row.re, row.rstar);
  const models::DefaultProfile smooth;
  const models::TabulatedProfile stepped = stepped_profile();
  const double eta = row.re / row.rstar;
  std::vector<double> radii = ring_radii(eta, row.l, bits(row.l) + 7);
  Random random(bits(row.l));
  for (std::size_t i = radii.size(); i > 1; --i)
    std::swap(radii[i - 1], radii[random.below(i)]);
  for (const std::size_t n : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5},
                              std::size_t{7}, radii.size()}) {
    std::vector<double> lane(n), scalar(n);
    probe::ring_flux_default(ring, row.l, radii.data(), lane.data(), n);
    models::RingFlux<double, models::DefaultProfile>(ring, row.l, smooth)(radii.data(),
                                                                          scalar.data(), n);
    for (std::size_t i = 0; i < n; ++i)
      same_lane(lane[i], scalar[i], row.name + " default profile, r " + hex(radii[i]));
    probe::ring_flux_tabulated(ring, stepped, row.l, radii.data(), lane.data(), n);
    models::RingFlux<double, models::TabulatedProfile>(ring, row.l, stepped)(radii.data(),
                                                                             scalar.data(), n);
    for (std::size_t i = 0; i < n; ++i)
      same_lane(lane[i], scalar[i], row.name + " stepped profile, r " + hex(radii[i]));
  }
}

INSTANTIATE_TEST_SUITE_P(Separations, RingLanes, ::testing::ValuesIn(ring_rows()),
                         [](const auto &info) {
                           std::string name = info.param.name;
                           for (char &c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// ---------------------------------------------------------------------------
// The uniform disk's closed form (and its expansion far out), one disk per
// lane, and the concentric disks of the limb-darkened integral.

struct DiskRow {
  const char *name;
  double rho;
};
std::ostream &operator<<(std::ostream &os, const DiskRow &r) {
  return os << r.name;
}
const DiskRow DISK_ROWS[] = {{"rho1em4", 1e-4}, {"rho0_01", 0.01}, {"rho0_5", 0.5},
                             {"rho1", 1.0},     {"rho30", 30.0},   {"rho1e4", 1e4}};

// Separations (disk radii) on every road of the disk: the limb and the edges
// of the zone |x - 1| < 0.25, the switch to the expansion at 25 (and at 2
// beyond 1e4 Einstein radii), the centre, far out, NaN, infinite and
// negative, and seeded random ones.
std::vector<double> disk_separations(double rho, std::uint64_t seed) {
  std::vector<double> x = {0.0,  -0.0, -1.0, 1e-300, denorm, 0.5, 1.0, up(1.0), down(1.0),
                           0.75, 1.25, 2.0,  25.0,   1e6,    nan, inf, -inf,    dmax};
  for (const double c : {0.75, 1.25, 2.0, 25.0, 1e4 / rho}) {
    x.insert(x.end(), {up(c), down(c), up(up(c))});
  }
  Random random(seed);
  for (int i = 0; i < 30; ++i)
    x.push_back(3 * random.uniform());
  for (int i = 0; i < 10; ++i)
    x.push_back(random.log_uniform(-8, 8));
  return x;
}

class DiskLanes : public ::testing::TestWithParam<DiskRow> {};

// Lanes of one disk, and lanes of four disks (each lane its own radius, as
// the concentric disks have): the special flags and every regular value as
// the double instantiation gives them, and that value the public road's.
TEST_P(DiskLanes, ClosedFormLanesAreTheScalarDisk) {
  REQUIRE_VECTOR_PATH();
  const DiskRow &row = GetParam();
  const std::vector<double> xs = disk_separations(row.rho, bits(row.rho));
  const double radii[] = {row.rho, row.rho * 0.37, row.rho * 2.5, row.rho};
  std::size_t special = 0, regular = 0;
  for (const auto &group : lane_groups(xs.size(), 0xd15cu)) {
    double rho[W], x[W], u[W], value[W];
    bool lane_special[W];
    for (std::size_t k = 0; k < W; ++k) {
      rho[k] = radii[(group[k] + k) % W];
      x[k] = xs[group[k]];
      u[k] = x[k] * rho[k];
    }
    probe::disk_closed_form(rho, x, u, value, lane_special);
    for (std::size_t k = 0; k < W; ++k) {
      const std::string where = std::string(row.name) + " rho " + hex(rho[k]) + " x " + hex(x[k]);
      const models::UniformDisk disk(rho[k]);
      bool scalar_special = false;
      const double scalar = disk.closed_form(x[k], u[k], scalar_special);
      const bool same = lane_special[k] == scalar_special &&
                        (scalar_special || same_lane_value(value[k], scalar));
      if (!record_lane(same)) {
        ADD_FAILURE() << where << ": lane special " << lane_special[k] << " value " << hex(value[k])
                      << "; scalar special " << scalar_special << " value " << hex(scalar);
        continue;
      }
      if (scalar_special) {
        ++special;
        continue;
      }
      ++regular;
      const Result<double> at = disk.at(x[k], u[k]);
      ASSERT_TRUE(at.ok()) << where << ": " << at.error();
      EXPECT_TRUE(same_value(at.value(), scalar))
          << where << ": at() " << hex(at.value()) << ", closed form " << hex(scalar);
    }
  }
  EXPECT_GT(special, 0u);
  EXPECT_GT(regular, 0u);
}

// DiskFlux: three disks per point (the central difference), the special
// lanes by the scalar ConcentricDisks, over whole lists of radii.
TEST_P(DiskLanes, ConcentricDiskFluxIsTheScalarFlux) {
  REQUIRE_VECTOR_PATH();
  const DiskRow &row = GetParam();
  const double eps3 = tessarin::numdiff::constants::CBRT_EPS;
  std::vector<double> radii = {0.0, -0.0, 1e-300, 0.5, 1.0, up(1.0), down(1.0), nan, -0.25};
  Random random(bits(row.rho));
  for (int i = 0; i < 45; ++i)
    radii.push_back(random.uniform());
  for (const double l : {0.0, 1e-3, 0.3, 0.999, 1.0, 1.3, 7.0, 60.0, 1e6}) {
    const auto whole = models::witt_mao_magnification({l}, 1.0, row.rho);
    ASSERT_TRUE(whole.ok());
    const models::ConcentricDisks disks(l, row.rho, whole.value()[0]);
    for (const std::size_t n : {std::size_t{1}, std::size_t{3}, radii.size()}) {
      std::vector<double> lane(n), scalar(n);
      probe::disk_flux_default(disks, eps3, radii.data(), lane.data(), n);
      models::DiskFlux<double, models::DefaultProfile>(disks, models::DefaultProfile{},
                                                       eps3)(radii.data(), scalar.data(), n);
      for (std::size_t i = 0; i < n; ++i)
        same_lane(lane[i], scalar[i],
                  std::string(row.name) + " l " + hex(l) + " r " + hex(radii[i]));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Disks, DiskLanes, ::testing::ValuesIn(DISK_ROWS),
                         [](const auto &info) { return std::string(info.param.name); });

// The separations of witt_mao_magnification four at a time: values, the
// failure that ends a list and where a stop ends it, as the scalar loop
// gives them.
TEST(DiskListLanes, SeparationsOfAListAreTheScalarList) {
  REQUIRE_VECTOR_PATH();
  for (const DiskRow &row : DISK_ROWS) {
    const std::vector<double> l = disk_separations(row.rho, 99);
    for (const std::size_t n : {std::size_t{1}, std::size_t{6}, l.size()}) {
      const std::span<const double> ls(l.data(), n);
      std::vector<double> scalar(n), vector(n);
      std::size_t scalar_done = 0, vector_done = 0;
      const char *scalar_failure =
          models::disk_at_separations<double>(ls, row.rho, {}, scalar.data(), scalar_done);
      const char *vector_failure =
          models::avx2::disk_at_separations(ls, row.rho, {}, vector.data(), vector_done);
      EXPECT_EQ(scalar_failure == nullptr, vector_failure == nullptr) << row.name;
      if (scalar_failure != nullptr && vector_failure != nullptr) {
        EXPECT_STREQ(scalar_failure, vector_failure) << row.name;
      }
      if (scalar_failure != nullptr) continue;
      ASSERT_EQ(vector_done, scalar_done) << row.name;
      for (std::size_t i = 0; i < scalar_done; ++i)
        same_lane(vector[i], scalar[i], std::string(row.name) + " x " + hex(l[i]));
    }
  }
}

// ---------------------------------------------------------------------------
// Tabulated profiles: the segment search and the line over lanes.

TEST(TableLanes, FilledLanesAreTheScalarInterpolation) {
  REQUIRE_VECTOR_PATH();
  const std::vector<std::pair<std::vector<double>, std::vector<double>>> tables = {
      {{}, {}},
      {{0.5}, {2.0}},
      {{0.0, 1.0}, {1.0, 0.4}},
      {{0.0, 0.3, 0.3, 0.7, 0.9}, {1.0, 0.9, 0.5, 0.4, 0.2}},
      {{0.2, 0.1, 0.6, 0.4, 0.9, 0.8}, {1, 2, 3, 4, 5, 6}},     // unsorted
      {{0.0, nan, 0.5, 1.0}, {1.0, 0.8, 0.6, 0.4}},             // a NaN abscissa
      {{0.0, 0.25, 0.5, 0.75, 1.0}, {1.0, nan, 0.6, inf, 0.4}}, // odd brightnesses
      {{-inf, 0.0, 1.0, inf}, {0.0, 1.0, 0.5, 0.0}},            // infinite ends
  };
  std::vector<double> xp = {0.0, -0.0, 1.0, 0.3,  up(0.3), down(0.3),
                            0.5, nan,  inf, -inf, -1.0,    2.0};
  Random random(5);
  for (int i = 0; i < 40; ++i)
    xp.push_back(1.4 * random.uniform() - 0.2);
  // A table of 101 radii, as a tabulated law has.
  std::vector<double> r101, b101;
  for (int i = 0; i <= 100; ++i) {
    r101.push_back(i / 100.0);
    b101.push_back(1 - 0.6 * (1 - std::sqrt(1 - (i / 100.0) * (i / 100.0))));
  }
  auto all = tables;
  all.emplace_back(r101, b101);
  for (const auto &[x, y] : all) {
    const tessarin::interp::LinearTable table(x, y);
    for (const double fill : {0.0, -2.5}) {
      for (const auto &group : lane_groups(xp.size(), x.size())) {
        double p[W], out[W];
        for (std::size_t k = 0; k < W; ++k)
          p[k] = xp[group[k]];
        probe::table_filled(table, p, fill, out);
        for (std::size_t k = 0; k < W; ++k) {
          const double expected = table(p[k], tessarin::interp::OutOfRange::Fill(fill));
          same_lane(out[k], expected, "table of " + std::to_string(x.size()) + " at " + hex(p[k]));
          EXPECT_TRUE(same_value(table.filled(p[k], fill), expected));
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------
// The models' paths over the source: the vector path that the module takes
// against the scalar one, separation by separation.

// One path of a model over a source: fills out[0 .. l.size()) and returns
// how many were computed before `stop` said stop.
using PathFn = std::size_t (*)(std::span<const double> l, double re, double rstar,
                               tessarin::StopCheck stop, double *out);

struct SourcePath {
  const char *name;
  PathFn scalar;
  PathFn vector;
};

template <class Profile>
std::size_t rings_path(bool vector, const Profile &profile, double norm, std::span<const double> l,
                       double re, double rstar, tessarin::StopCheck stop, double *out) {
  const models::RingLens ring(re, rstar);
  const auto jumps = models::jumps_of(profile);
  if (vector) return models::avx2::rings_over_source(l, ring, profile, norm, jumps, stop, out);
  return models::rings_over_source<double>(l, ring, profile, norm, jumps, stop, out);
}

template <bool Vector>
std::size_t rings_default(std::span<const double> l, double re, double rstar,
                          tessarin::StopCheck stop, double *out) {
  return rings_path(Vector, models::DefaultProfile{}, models::DEFAULT_PROFILE_NORM, l, re, rstar,
                    stop, out);
}

template <bool Vector>
std::size_t rings_stepped(std::span<const double> l, double re, double rstar,
                          tessarin::StopCheck stop, double *out) {
  const models::TabulatedProfile profile = stepped_profile();
  return rings_path(Vector, profile, profile.norm(), l, re, rstar, stop, out);
}

template <class Profile>
std::size_t disks_path(bool vector, const Profile &profile, double norm, std::span<const double> l,
                       double re, double rstar, tessarin::StopCheck stop, double *out) {
  const double rho = rstar / re;
  // The whole source's magnification, or NaN where the model would have
  // failed before it came to the disks (the disks are compared all the same).
  std::vector<double> whole(l.size(), nan);
  std::size_t done = 0;
  if (models::disk_at_separations<double>(l, rho, {}, whole.data(), done) != nullptr)
    whole.assign(l.size(), nan);
  const auto jumps = models::jumps_of(profile);
  const double eps3 = tessarin::numdiff::constants::CBRT_EPS;
  if (vector)
    return models::avx2::disks_over_source(l, rho, whole, profile, norm, jumps, eps3, stop, out);
  return models::disks_over_source<double>(l, rho, whole, profile, norm, jumps, eps3, stop, out);
}

template <bool Vector>
std::size_t disks_default(std::span<const double> l, double re, double rstar,
                          tessarin::StopCheck stop, double *out) {
  return disks_path(Vector, models::DefaultProfile{}, models::DEFAULT_PROFILE_NORM, l, re, rstar,
                    stop, out);
}

template <bool Vector>
std::size_t disks_stepped(std::span<const double> l, double re, double rstar,
                          tessarin::StopCheck stop, double *out) {
  const models::TabulatedProfile profile = stepped_profile();
  return disks_path(Vector, profile, profile.norm(), l, re, rstar, stop, out);
}

const SourcePath PATHS[] = {
    {"rings_default_profile", rings_default<false>, rings_default<true>},
    {"rings_stepped_profile", rings_stepped<false>, rings_stepped<true>},
    {"disks_default_profile", disks_default<false>, disks_default<true>},
    {"disks_stepped_profile", disks_stepped<false>, disks_stepped<true>},
};

struct Scenario {
  const char *name;
  double re, rstar;
  std::vector<double> l;
};

const std::vector<Scenario> &scenarios() {
  static const std::vector<Scenario> s = {
      {"lens_inside_source", 1.0, 0.1, {0.0, 1e-3, 0.3, 0.85, 0.999999, 1.0, 1.000001, 1.15, 2.0}},
      {"small_einstein_radius", 1e-3, 1.0, {0.0, 0.5, 1.0, 1.0001, 3.0}},
      {"large_einstein_radius", 1e4, 1.0, {0.0, 0.5, 1.0, 2.0, 1e5, 1e9}},
      {"far_from_lens", 1.0, 1.0, {1e5 - 1, 1e5 + 2, 1e6, 0x1.8p500, 1e300}},
      {"invalid_separations", 1.0, 1.0, {nan, inf, -inf, -0.5, -0.0}},
      {"no_lens", 0.0, 1.0, {0.5, 2.0}},
      {"point_source", 1.0, 0.0, {0.5}},
  };
  return s;
}

struct SourceCase {
  const SourcePath *path;
  const Scenario *scenario;
};
std::ostream &operator<<(std::ostream &os, const SourceCase &c) {
  return os << c.path->name << "/" << c.scenario->name;
}

std::vector<SourceCase> source_cases() {
  std::vector<SourceCase> cases;
  for (const SourcePath &path : PATHS)
    for (const Scenario &s : scenarios())
      cases.push_back({&path, &s});
  return cases;
}

class SourceLanes : public ::testing::TestWithParam<SourceCase> {};

TEST_P(SourceLanes, VectorPathGivesTheScalarMeans) {
  REQUIRE_VECTOR_PATH();
  const SourceCase &c = GetParam();
  const Scenario &s = *c.scenario;
  std::vector<double> scalar(s.l.size()), vector(s.l.size());
  ASSERT_EQ(c.path->scalar(s.l, s.re, s.rstar, {}, scalar.data()), s.l.size());
  ASSERT_EQ(c.path->vector(s.l, s.re, s.rstar, {}, vector.data()), s.l.size());
  for (std::size_t i = 0; i < s.l.size(); ++i)
    same_lane(vector[i], scalar[i], std::string(c.path->name) + " l " + hex(s.l[i]));
}

// Stopped after a number of polls, both paths stop at the same separation
// with the same values before it.
TEST_P(SourceLanes, StopsWhereTheScalarPathStops) {
  REQUIRE_VECTOR_PATH();
  const SourceCase &c = GetParam();
  const Scenario &s = *c.scenario;
  struct Countdown {
    int left;
  };
  const auto poll = [](void *context) { return --static_cast<Countdown *>(context)->left < 0; };
  for (const int polls : {0, 1, 5, 40}) {
    Countdown scalar_left{polls}, vector_left{polls};
    tessarin::StopSource scalar_source(poll, &scalar_left), vector_source(poll, &vector_left);
    std::vector<double> scalar(s.l.size()), vector(s.l.size());
    const std::size_t done = c.path->scalar(s.l, s.re, s.rstar, scalar_source, scalar.data());
    ASSERT_EQ(c.path->vector(s.l, s.re, s.rstar, vector_source, vector.data()), done)
        << polls << " polls";
    EXPECT_EQ(scalar_left.left, vector_left.left) << polls << " polls";
    for (std::size_t i = 0; i < done; ++i)
      same_lane(vector[i], scalar[i], std::string(c.path->name) + " l " + hex(s.l[i]));
  }
}

INSTANTIATE_TEST_SUITE_P(Models, SourceLanes, ::testing::ValuesIn(source_cases()),
                         [](const auto &info) {
                           return std::string(info.param.path->name) + "_" +
                                  info.param.scenario->name;
                         });

} // namespace

#endif // TESSARIN_VECTOR_LANES

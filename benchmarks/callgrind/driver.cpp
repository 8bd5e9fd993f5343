// Instruction counts of the hot paths, for valgrind --tool=callgrind.
//
// Each measure_* function evaluates one kernel or model over a fixed set of
// arguments that mirrors what the models feed it (parameters spread over
// [0, 1) and crowded towards 1, ring geometries from the quadrature's nodes).
// measure.py runs the driver once per kernel with collection switched on
// only inside that function (--toggle-collect) and divides the count by the
// number of calls printed here.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "elliptic/legendre.hpp"
#include "models/models.hpp"

namespace {

using tessarin::models::Vector;

volatile double sink;

// Parameters m in [0, 1): half evenly spread, half crowding towards 1 as in
// the ring and disk geometries near the lens.
std::vector<double> parameters() {
  std::vector<double> m;
  for (int i = 0; i < 100; ++i)
    m.push_back(i / 100.0);
  for (int i = 1; i <= 100; ++i)
    m.push_back(1 - std::pow(10.0, -0.12 * i));
  return m;
}

struct Ring {
  double l, r, eta;
};

// Ring geometries: separations inside, near and outside the source, radii
// spread over the source, Einstein radii from 0.1 to 100 source radii.
std::vector<Ring> rings() {
  std::vector<Ring> out;
  for (double eta : {0.1, 1.0, 10.0, 100.0})
    for (double l : {0.2, 0.7, 0.98, 1.3, 3.0})
      for (int i = 1; i <= 20; ++i)
        out.push_back({l, i / 20.0 - 0.013, eta});
  return out;
}

// The (n, m) pairs that the ring model hands to Pi.
std::vector<std::pair<double, double>> characteristics() {
  std::vector<std::pair<double, double>> out;
  for (const Ring &g : rings()) {
    const double s = g.l + g.r, d = g.r - g.l;
    const double w = g.eta * g.eta * 4 + d * d;
    const double k = std::sqrt((g.l * g.r) / w) * ((g.eta * 4) / s);
    out.emplace_back(((g.l * 4) * g.r) / (s * s), k * k);
  }
  return out;
}

// Separations in source radii: the centre, inside, next to the limb,
// outside and far out.
const Vector SEPARATIONS = {0.0, 0.5, 0.99, 1.5, 4.0};
// Sources of 0.01 and 1 Einstein radius.
const double SOURCES[] = {0.01, 1.0};

// The uniform disk over many separations at once.
Vector disk_separations() {
  Vector l;
  for (int i = 0; i < 100; ++i)
    l.push_back(i * 0.03 + 0.001);
  return l;
}

} // namespace

extern "C" {

__attribute__((noinline)) void measure_K(const std::vector<double> &ms) {
  for (double m : ms)
    sink = tessarin::legendre::ellipk(m).value();
}

__attribute__((noinline)) void measure_E(const std::vector<double> &ms) {
  for (double m : ms)
    sink = tessarin::legendre::ellipe(m).value();
}

__attribute__((noinline)) void measure_Pi(const std::vector<std::pair<double, double>> &nm) {
  for (const auto &[n, m] : nm)
    sink = tessarin::legendre::ellippi(n, m).value();
}

__attribute__((noinline)) void measure_ring(const std::vector<Ring> &rs) {
  for (const Ring &g : rs)
    sink = tessarin::models::heyrovsky_magnification(g.l, g.r, g.eta, 1.0).value();
}

__attribute__((noinline)) void measure_disk(const Vector &l) {
  for (double rho : SOURCES)
    sink = tessarin::models::witt_mao_magnification(l, 1.0, rho).value()[0];
}

__attribute__((noinline)) void measure_integrated_ring(const Vector &l) {
  for (double rho : SOURCES)
    sink = tessarin::models::integrated_heyrovsky_magnification(l, 1.0, rho)[0];
}

__attribute__((noinline)) void measure_integrated_disk(const Vector &l) {
  for (double rho : SOURCES)
    sink = tessarin::models::integrated_witt_mao_magnification(l, 1.0, rho).value()[0];
}

} // extern "C"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: driver K|E|Pi|ring|disk|integrated_ring|integrated_disk\n");
    return 2;
  }
  const char *what = argv[1];
  std::size_t calls = 0;
  if (!std::strcmp(what, "K")) {
    const auto ms = parameters();
    measure_K(ms);
    calls = ms.size();
  } else if (!std::strcmp(what, "E")) {
    const auto ms = parameters();
    measure_E(ms);
    calls = ms.size();
  } else if (!std::strcmp(what, "Pi")) {
    const auto nm = characteristics();
    measure_Pi(nm);
    calls = nm.size();
  } else if (!std::strcmp(what, "ring")) {
    const auto rs = rings();
    measure_ring(rs);
    calls = rs.size();
  } else if (!std::strcmp(what, "disk")) {
    const Vector l = disk_separations();
    measure_disk(l);
    calls = 2 * l.size();
  } else if (!std::strcmp(what, "integrated_ring")) {
    measure_integrated_ring(SEPARATIONS);
    calls = 2 * SEPARATIONS.size();
  } else if (!std::strcmp(what, "integrated_disk")) {
    measure_integrated_disk(SEPARATIONS);
    calls = 2 * SEPARATIONS.size();
  } else {
    std::fprintf(stderr, "unknown kernel %s\n", what);
    return 2;
  }
  std::printf("%zu\n", calls);
  return 0;
}

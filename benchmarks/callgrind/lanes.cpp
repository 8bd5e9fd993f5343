// Instruction counts of the list models on the benchmark light curves, for
// benchmarks/lanes.py: the same build is run with the vector paths
// (-DTESSARIN_VECTOR_LANES=ON) and without them (OFF), under
//   valgrind --tool=callgrind --toggle-collect=measure_lanes lanes FUNCTION FILE
// so that only the model calls are counted, not reading the file.
//
// FILE: the tabulated profile's radii on the first line, its brightness on
// the second (read by the flux-map functions alone), then one light curve a
// line: rho (Einstein radii) followed by the separations in source radii.
// Prints the number of separations evaluated and the sum of the results.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "models/models.hpp"

namespace {

namespace m = tessarin::models;
using m::Vector;

// One model call's arguments, made before collection starts; the vectors
// are moved into the call.
struct Call {
  double rho;
  Vector l, bl, bf;
};

Vector numbers(const std::string &line) {
  std::istringstream in(line);
  Vector out;
  for (double v; in >> v;)
    out.push_back(v);
  return out;
}

enum class Function {
  integrated_heyrovsky,
  integrated_flux_map_heyrovsky,
  integrated_witt_mao,
  integrated_flux_map_witt_mao,
  witt_mao,
};

double sum(const Vector &v) {
  double s = 0;
  for (double x : v)
    s += x;
  return s;
}

} // namespace

extern "C" __attribute__((noinline)) double measure_lanes(Function f, std::vector<Call> &calls) {
  double total = 0;
  for (Call &c : calls) {
    switch (f) {
      case Function::integrated_heyrovsky:
        total += sum(m::integrated_heyrovsky_magnification(std::move(c.l), 1.0, c.rho));
        break;
      case Function::integrated_flux_map_heyrovsky:
        total += sum(m::integrated_flux_map_heyrovsky_magnification(
            std::move(c.l), 1.0, c.rho, std::move(c.bl), std::move(c.bf)));
        break;
      case Function::integrated_witt_mao:
        total += sum(m::integrated_witt_mao_magnification(std::move(c.l), 1.0, c.rho).value());
        break;
      case Function::integrated_flux_map_witt_mao:
        total += sum(m::integrated_flux_map_witt_mao_magnification(std::move(c.l), 1.0, c.rho,
                                                                   std::move(c.bl), std::move(c.bf))
                         .value());
        break;
      case Function::witt_mao:
        total += sum(m::witt_mao_magnification(std::move(c.l), 1.0, c.rho).value());
        break;
    }
  }
  return total;
}

int main(int argc, char **argv) {
  static const std::pair<const char *, Function> NAMES[] = {
      {"integrated_heyrovsky_magnification", Function::integrated_heyrovsky},
      {"integrated_flux_map_heyrovsky_magnification", Function::integrated_flux_map_heyrovsky},
      {"integrated_witt_mao_magnification", Function::integrated_witt_mao},
      {"integrated_flux_map_witt_mao_magnification", Function::integrated_flux_map_witt_mao},
      {"witt_mao_magnification", Function::witt_mao},
  };
  if (argc != 3) {
    std::fprintf(stderr, "usage: lanes FUNCTION FILE\n");
    return 2;
  }
  const Function *f = nullptr;
  for (const auto &[name, value] : NAMES)
    if (!std::strcmp(argv[1], name)) f = &value;
  if (!f) {
    std::fprintf(stderr, "unknown function %s\n", argv[1]);
    return 2;
  }
  std::ifstream in(argv[2]);
  std::string line;
  Vector bl, bf;
  if (std::getline(in, line)) bl = numbers(line);
  if (std::getline(in, line)) bf = numbers(line);
  std::vector<Call> calls;
  std::size_t separations = 0;
  while (std::getline(in, line)) {
    Vector v = numbers(line);
    if (v.empty()) continue;
    Call c{v[0], Vector(v.begin() + 1, v.end()), bl, bf};
    separations += c.l.size();
    calls.push_back(std::move(c));
  }
  if (calls.empty()) {
    std::fprintf(stderr, "no light curve in %s\n", argv[2]);
    return 2;
  }
  const double total = measure_lanes(*f, calls);
  std::printf("%zu %.17g\n", separations, total);
  return 0;
}

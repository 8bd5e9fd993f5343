// Cost of the stop checks when nothing stops: each model timed with the
// default check (no source: a null test) and with a source whose poll does
// what the module's does between signal checks (read the steady clock and
// compare), alternating, best of ROUNDS by CPU time.
//
//   g++ -std=c++20 -O2 -ffp-contract=off -Isrc benchmarks/stop_cost.cpp \
//       build/cpp/libtessarin_core.a -o /tmp/stop_cost && /tmp/stop_cost
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

#include "models/models.hpp"
#include "stop.hpp"

namespace {

using namespace tessarin;
using Clock = std::chrono::steady_clock;

Clock::time_point never; // the poll's deadline: always in the past

bool clock_poll(void *) {
  return Clock::now() < never;
}

double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double best(const std::function<void(StopCheck)> &run, bool with_source, int rounds) {
  double fastest = 1e30;
  for (int i = 0; i < rounds; ++i) {
    StopSource source(clock_poll, nullptr);
    const double start = cpu_seconds();
    run(with_source ? StopCheck(source) : StopCheck{});
    fastest = std::min(fastest, cpu_seconds() - start);
  }
  return fastest;
}

} // namespace

int main() {
  constexpr int ROUNDS = 15;
  std::vector<double> closed(200000), integrated(300), rings(1000);
  for (std::size_t i = 0; i < closed.size(); ++i)
    closed[i] = 1e-5 * static_cast<double>(i);
  for (std::size_t i = 0; i < integrated.size(); ++i)
    integrated[i] = 0.3 + 3e-3 * static_cast<double>(i);
  for (std::size_t i = 0; i < rings.size(); ++i)
    rings[i] = 1e-3 * static_cast<double>(i);
  const std::vector<double> bl{0.0, 0.5, 1.0}, bf{1.0, 0.7, 0.2}, ones(rings.size(), 1.0);
  const std::vector<std::pair<const char *, std::function<void(StopCheck)>>> cases = {
      {"witt_mao_magnification",
       [&](StopCheck s) { (void)models::witt_mao_magnification(closed, 1.0, 0.1, s); }},
      {"integrated_heyrovsky_magnification",
       [&](StopCheck s) {
         (void)models::integrated_heyrovsky_magnification(integrated, 1.0, 0.1, s);
       }},
      {"integrated_witt_mao_magnification",
       [&](StopCheck s) {
         (void)models::integrated_witt_mao_magnification(integrated, 1.0, 0.1, s);
       }},
      {"integrated_flux_map_witt_mao_magnification",
       [&](StopCheck s) {
         (void)models::integrated_flux_map_witt_mao_magnification(integrated, bl, bf, 1.0, 0.1, s);
       }},
      {"discrete_flux_map_heyrovsky_magnification",
       [&](StopCheck s) {
         (void)models::discrete_flux_map_heyrovsky_magnification({0.5, 1.5}, rings, ones, 1.0, 0.1,
                                                                 s);
       }},
  };
  for (const auto &[name, run] : cases) {
    double without = 1e30, with = 1e30;
    for (int r = 0; r < 3; ++r) { // alternate, so that load changes hit both alike
      without = std::min(without, best(run, false, ROUNDS / 3));
      with = std::min(with, best(run, true, ROUNDS / 3));
    }
    std::printf("%-44s no check %.4f s  polled %.4f s  cost %+.2f %%\n", name, without, with,
                100.0 * (with - without) / without);
  }
}

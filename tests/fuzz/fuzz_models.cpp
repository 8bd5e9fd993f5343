// Fuzz target: the seven magnification models on arbitrary doubles.
//
// Each model returns one value per separation or one of the elliptic
// kernels' messages, and each separation is computed on its own: a list of
// one gives the same double. Flux-map tables of unequal length are a fatal
// error (tessarin::Panic), raised before anything is computed.
//
// The integrated models run hundreds of ring or disk evaluations per
// separation, so an input runs them on at most two separations, and only
// one of the groups below per input.
#include <cstring>
#include <vector>

#include "fuzz_input.hpp"
#include "models/models.hpp"
#include "panic.hpp"

namespace {

namespace models = tessarin::models;
using tessarin::Result;
using tessarin::fuzz::same_double;
using Vector = std::vector<double>;

bool kernel_message(const char *message) {
  for (const char *prefix :
       {"ellipk: ", "ellipe: ", "ellippi: ", "elliprf: ", "elliprc: ", "elliprd: ", "elliprj: "}) {
    if (std::strncmp(message, prefix, std::strlen(prefix)) == 0) return true;
  }
  return false;
}

// One value per separation, or a kernel message.
void check_list(const Result<Vector> &r, std::size_t separations) {
  if (r.ok()) {
    FUZZ_CHECK(r.value().size() == separations);
  } else {
    FUZZ_CHECK(kernel_message(r.error()));
  }
}

// The list's values are those of lists of one; a failing list fails with the
// message of its first failing separation.
template <class Model> void check_each_alone(const Vector &l, const Result<Vector> &all, Model m) {
  for (std::size_t i = 0; i < l.size(); ++i) {
    const Result<Vector> one = m(Vector{l[i]});
    if (all.ok()) {
      FUZZ_CHECK(one.ok() && one.value().size() == 1);
      FUZZ_CHECK(same_double(one.value()[0], all.value()[i]));
    } else if (!one.ok()) {
      FUZZ_CHECK(std::strcmp(one.error(), all.error()) == 0);
      return;
    }
  }
  FUZZ_CHECK(all.ok());
}

// A flux-map model on tables of unequal length must stop with a fatal error.
template <class Model> bool panics(Model m) {
  try {
    (void)m();
  } catch (const tessarin::Panic &) {
    return true;
  }
  return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  tessarin::fuzz::FuzzInput in(data, size);
  const std::size_t group = in.count(3);
  const bool integrated = group >= 2;
  const Vector l = in.reals(in.count(integrated ? 2 : 6));
  const double re = in.real();
  const double rstar = in.real();
  const double r = in.real();
  const std::size_t rings = in.count(4);
  const Vector bl = in.reals(rings);
  // One input in sixteen has tables of unequal length.
  const Vector bf = in.reals((in.byte() & 15) == 0 ? in.count(4) : rings);
  const bool equal = bl.size() == bf.size();

  switch (group) {
    case 0: {
      const auto wm = [&](Vector v) { return models::witt_mao_magnification(v, re, rstar); };
      const Result<Vector> all = wm(l);
      check_list(all, l.size());
      check_each_alone(l, all, wm);
      const Result<double> ring =
          models::heyrovsky_magnification(l.empty() ? r : l[0], r, re, rstar);
      FUZZ_CHECK(ring.ok() || kernel_message(ring.error()));
      break;
    }
    case 1: {
      const auto discrete = [&](Vector v) {
        return models::discrete_flux_map_heyrovsky_magnification(v, re, rstar, bl, bf);
      };
      if (!equal) {
        FUZZ_CHECK(panics([&] { return discrete(l); }));
        break;
      }
      const Result<Vector> all = discrete(l);
      check_list(all, l.size());
      check_each_alone(l, all, discrete);
      break;
    }
    case 2: {
      check_list(models::integrated_witt_mao_magnification(l, re, rstar), l.size());
      FUZZ_CHECK(models::integrated_heyrovsky_magnification(l, re, rstar).size() == l.size());
      break;
    }
    default: {
      const auto flux_wm = [&] {
        return models::integrated_flux_map_witt_mao_magnification(l, re, rstar, bl, bf);
      };
      const auto flux_h = [&] {
        return models::integrated_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf);
      };
      if (!equal) {
        FUZZ_CHECK(panics(flux_wm));
        FUZZ_CHECK(panics(flux_h));
        break;
      }
      check_list(flux_wm(), l.size());
      FUZZ_CHECK(flux_h().size() == l.size());
      break;
    }
  }
  return 0;
}

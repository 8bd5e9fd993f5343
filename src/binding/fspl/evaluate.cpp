#include "binding/fspl/evaluate.hpp"

#include <array>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "binding/lock.hpp"
#include "binding/released.hpp"
#include "panic.hpp"

namespace tessarin::binding::fspl {

namespace {

namespace model = tessarin::models::fspl;

// u, rho, up to four coefficients, and the outputs: the magnification, or
// with its derivatives in u, rho and each coefficient.
constexpr int MAX_OPERANDS = 6 + 7;

static_assert(sizeof(npy_intp) == sizeof(std::ptrdiff_t) && std::is_signed_v<npy_intp> &&
                  std::is_signed_v<std::ptrdiff_t>,
              "NumPy's strides are handed to the kernel as ptrdiff_t");

// A NumPy iterator, deallocated when it goes out of scope. Deallocation
// writes back the copies that the iterator made of an output that
// overlapped an input: `finish` does it on success, where its failure is
// the call's; on an error path the destructor does it and drops a failure,
// the call having failed already. Without the lock (a thread ended during
// the interpreter's finalisation, binding/lock.hpp) it is left alone.
class Iterator {
public:
  explicit Iterator(NpyIter *iterator) noexcept : iterator_(iterator) {}
  Iterator(const Iterator &) = delete;
  Iterator &operator=(const Iterator &) = delete;
  ~Iterator() {
    if (iterator_ != nullptr && !lock_lost && NpyIter_Deallocate(iterator_) != NPY_SUCCEED) {
      PyErr_Clear();
    }
  }

  NpyIter *get() const noexcept { return iterator_; }
  explicit operator bool() const noexcept { return iterator_ != nullptr; }

  [[nodiscard]] bool finish() noexcept {
    return NpyIter_Deallocate(std::exchange(iterator_, nullptr)) == NPY_SUCCEED;
  }

private:
  NpyIter *iterator_;
};

} // namespace

Expected<PyObject *> evaluate(model::Law law, std::span<const Owned> inputs,
                              const model::Table *table, double rtol, std::span<Owned> outs,
                              bool gradient) {
  const int count = static_cast<int>(inputs.size());
  const int results = static_cast<int>(outs.size());
  const int n_coef = model::coefficient_count(law);
  if (count != 2 + n_coef || results != (gradient ? 3 + n_coef : 1) ||
      count + results > MAX_OPERANDS) {
    panic("fspl: wrong number of operands for the law");
  }
  Owned float64 =
      Owned::steal(must(reinterpret_cast<PyObject *>(PyArray_DescrFromType(NPY_DOUBLE))));
  std::array<PyArrayObject *, MAX_OPERANDS> operands{};
  std::array<npy_uint32, MAX_OPERANDS> operand_flags{};
  std::array<PyArray_Descr *, MAX_OPERANDS> dtypes{};
  bool scalars = true;
  for (int i = 0; i < count + results; ++i)
    dtypes[i] = reinterpret_cast<PyArray_Descr *>(float64.get());
  for (int i = 0; i < count; ++i) {
    operands[i] = reinterpret_cast<PyArrayObject *>(inputs[i].get());
    scalars = scalars && PyArray_NDIM(operands[i]) == 0;
    // The kernel reads native, aligned doubles: an input that is neither
    // is read through the iterator's buffers.
    operand_flags[i] = NPY_ITER_READONLY | NPY_ITER_NBO | NPY_ITER_ALIGNED;
  }
  // The outputs are given all together or not at all.
  const bool allocate = !outs[0];
  for (int k = 0; k < results; ++k) {
    operands[count + k] = reinterpret_cast<PyArrayObject *>(outs[k].get());
    // As a ufunc's output: never broadcast, made of the broadcast shape
    // when not given.
    operand_flags[count + k] = NPY_ITER_WRITEONLY | NPY_ITER_NBO | NPY_ITER_ALIGNED |
                               NPY_ITER_NO_BROADCAST | (allocate ? NPY_ITER_ALLOCATE : 0);
  }
  // One inner loop per call of the kernel (EXTERNAL_LOOP), as long as the
  // memory allows (GROWINNER), buffered only where an operand needs it;
  // empty arrays pass (ZEROSIZE_OK); an output that overlaps an input is
  // written through a copy (COPY_IF_OVERLAP), since the kernel may read an
  // input after writing the output of an earlier element. KEEPORDER walks
  // the memory in its own order and gives a new output the inputs' layout.
  const npy_uint32 flags = NPY_ITER_EXTERNAL_LOOP | NPY_ITER_BUFFERED | NPY_ITER_GROWINNER |
                           NPY_ITER_ZEROSIZE_OK | NPY_ITER_COPY_IF_OVERLAP;
  Iterator iterator(NpyIter_MultiNew(count + results, operands.data(), flags, NPY_KEEPORDER,
                                     NPY_EQUIV_CASTING, operand_flags.data(), dtypes.data()));
  if (!iterator) return take_or_system_error();
  // Every operand is float64: copying one into a buffer needs no
  // interpreter, which is what lets the loop run without the lock.
  if (NpyIter_IterationNeedsAPI(iterator.get())) panic("fspl: float64 iteration needs the API");

  std::array<Owned, MAX_OPERANDS> made;
  for (int k = 0; k < results; ++k) {
    made[static_cast<std::size_t>(k)] =
        allocate ? Owned::take_ref(reinterpret_cast<PyObject *>(
                       NpyIter_GetOperandArray(iterator.get())[count + k]))
                 : std::move(outs[k]);
  }

  if (NpyIter_GetIterSize(iterator.get()) > 0) {
    NpyIter_IterNextFunc *next = NpyIter_GetIterNext(iterator.get(), nullptr);
    if (next == nullptr) return take_or_system_error();
    char **data = NpyIter_GetDataPtrArray(iterator.get());
    const auto *strides =
        reinterpret_cast<const std::ptrdiff_t *>(NpyIter_GetInnerStrideArray(iterator.get()));
    const npy_intp *size = NpyIter_GetInnerLoopSizePtr(iterator.get());
    model::Evaluator evaluator(law, rtol, table);
    NpyIter *walk = iterator.get();
    const auto done = Released::run([&](StopCheck stop) {
      do {
        const auto n = static_cast<std::size_t>(*size);
        if (!(gradient ? evaluator.run_gradient(n, data, strides, stop)
                       : evaluator.run(n, data, strides, stop))) {
          return false;
        }
      } while (next(walk) != 0);
      return true;
    });
    if (!done) return take_or_system_error(); // a signal handler raised
  }
  if (!iterator.finish()) return take_or_system_error();
  // A 0-d result as the numpy.float64 it holds.
  const auto finished = [&](Owned &result) -> PyObject * {
    if (!(allocate && scalars)) return result.release();
    return PyArray_Return(reinterpret_cast<PyArrayObject *>(result.release()));
  };
  if (!gradient) {
    PyObject *result = finished(made[0]);
    if (result == nullptr) return take_or_system_error();
    return result;
  }
  Owned tuple = Owned::steal(PyTuple_New(results));
  if (!tuple) return take_or_system_error();
  for (int k = 0; k < results; ++k) {
    PyObject *item = finished(made[static_cast<std::size_t>(k)]);
    if (item == nullptr) return take_or_system_error();
    PyTuple_SET_ITEM(tuple.get(), k, item); // steals the reference
  }
  return tuple.release();
}

} // namespace tessarin::binding::fspl

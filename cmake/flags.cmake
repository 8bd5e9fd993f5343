# Compiler flags shared by every build of the kernels: the extension module,
# the C++ unit tests (CMakeLists.txt) and the fuzz targets (tests/fuzz).
# Include this file from a directory scope; the flags apply to every target
# defined below it.
#
# Every floating-point operation is rounded on its own. GCC fuses a*b+c into
# an FMA by default in C++ (-ffp-contract=fast), and clang contracts within
# an expression (-ffp-contract=on) since clang 14: either would change the
# last bits of the results on a target with FMA instructions. Never
# -ffast-math or -Ofast: the kernels rely on IEEE NaN and infinity.
set(TESSARIN_FP_FLAGS -ffp-contract=off -fno-fast-math)
set(TESSARIN_WARNING_FLAGS -Wall -Wextra)

if(NOT CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang|AppleClang)$")
  message(FATAL_ERROR "tessarin needs GCC or clang (for ${TESSARIN_FP_FLAGS}); "
    "found ${CMAKE_CXX_COMPILER_ID}")
endif()

add_compile_options(${TESSARIN_FP_FLAGS} ${TESSARIN_WARNING_FLAGS})

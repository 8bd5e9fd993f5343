# The translation units of the vector paths (src/models/avx2/*.cpp), compiled
# for AVX2 without FMA: the packed operations round as the scalar ones do,
# and contraction stays off (cmake/flags.cmake). Everything else is compiled
# for the baseline instruction set, and src/models/vector_paths.cpp chooses
# at run time. Needs nothing beyond GCC or clang for x86-64.
include(CheckCXXCompilerFlag)

# Compiles the given sources of `target` for AVX2 without FMA, as the vector
# paths are: for the tests' own vector translation units.
function(tessarin_compile_for_avx2 target)
  set_source_files_properties(${ARGN} TARGET_DIRECTORY ${target}
    PROPERTIES COMPILE_OPTIONS "-mavx2;-mno-fma")
endfunction()

# Adds the vector paths to `target` where they can be built, and tells the
# caller's scope whether they were in TESSARIN_VECTOR_LANES_BUILT.
function(tessarin_add_vector_lanes target root)
  set(enable OFF)
  if(TESSARIN_VECTOR_LANES AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
    check_cxx_compiler_flag("-mavx2 -mno-fma" TESSARIN_CXX_HAS_MAVX2)
    if(TESSARIN_CXX_HAS_MAVX2)
      set(enable ON)
    endif()
  endif()
  if(enable)
    file(GLOB sources CONFIGURE_DEPENDS ${root}/src/models/avx2/*.cpp)
    target_sources(${target} PRIVATE ${sources})
    tessarin_compile_for_avx2(${target} ${sources})
    target_compile_definitions(${target} PUBLIC TESSARIN_VECTOR_LANES=1)
    message(STATUS "tessarin: AVX2 paths built, chosen at run time")
  else()
    target_compile_definitions(${target} PUBLIC TESSARIN_VECTOR_LANES=0)
    message(STATUS "tessarin: scalar code only")
  endif()
  set(TESSARIN_VECTOR_LANES_BUILT ${enable} PARENT_SCOPE)
endfunction()

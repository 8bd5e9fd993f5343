// Keeps the module loadable with an older libstdc++ than the one it was
// built with (the manylinux wheels; see the README, Platforms).
//
// GCC 11 and newer make std::allocator<T>::allocate call
// std::__throw_bad_array_new_length() when asked for more than SIZE_MAX
// bytes. That one function is the module's only reference to a symbol of
// libstdc++ newer than GCC 5 (version GLIBCXX_3.4.29, GCC 11), and it would
// make the wheel demand a system as new as the build machine. The module
// defines it itself, with the library's own behaviour; the version script
// keeps the definition inside the module, and every other libstdc++ symbol
// still comes from the system's copy.
//
// Linking libstdc++ statically instead would add more than it removes: the
// static library of a current distribution is built against its own glibc
// and pulls in arc4random (glibc 2.36), _dl_find_object (2.35) and
// __libc_single_threaded (2.32).
#include <new>

#if defined(__GLIBCXX__) && defined(_GLIBCXX_RELEASE) && _GLIBCXX_RELEASE >= 11
namespace std {

[[noreturn]] void __throw_bad_array_new_length() {
  throw bad_array_new_length();
}

} // namespace std
#endif

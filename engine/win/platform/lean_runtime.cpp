// Two pieces of the C++ runtime replaced by smaller ones. Every export
// catches whatever is thrown (export_support.h), so no exception ever reaches
// a terminate handler, and the only thing an export needs to know of a
// failure inside the standard containers is that it happened.
#include <bits/functexcept.h>

#include <cstdlib>
#include <new>

// The default handler prints the demangled type of the exception that ended
// the process: it brings in the demangler and the runtime's printf.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The containers' error paths. The runtime's versions build logic_error and
// its kin around a copied message, which brings in a second string
// implementation; a length or range failure here is a request for more than
// the memory holds, and is reported as such.
namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_alloc(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { throw bad_alloc(); }
void __throw_out_of_range_fmt(const char*, ...) { throw bad_alloc(); }
}  // namespace std

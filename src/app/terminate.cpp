// The program's handler of an uncaught exception. The library's default one writes the
// exception's demangled type name to the standard error stream, which a windowed program has
// not got, and brings a demangler of some 45 KB with it; this one ends the process the same way
// without either.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx

#include <cstdlib>
#include <exception>

// The C++ library's handler for an uncaught exception names the exception's type, and
// with it links a demangler and a printf of its own: a fifth of VornSet.exe. The program
// throws nothing of its own, and the text would go to a console that the program draws
// cell by cell; a plain abort ends the process the same way. This definition takes the
// place of the library's (the build tells the linker to take it first).
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

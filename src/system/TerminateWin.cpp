// The handler the C++ runtime calls when an exception leaves a program uncaught. It replaces
// the runtime's own, which prints the exception's demangled type name: the demangler alone
// is about 45 KB of every statically linked program. This one prints what() instead, to the
// standard error like the original, and ends the program the same way.
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
  static bool Terminating = false;
  if (!Terminating) {
    Terminating = true;
    if (const std::exception_ptr Current = std::current_exception()) {
      try {
        std::rethrow_exception(Current);
      } catch (const std::exception& E) {
        std::fputs("terminate called after throwing an exception: ", stderr);
        std::fputs(E.what(), stderr);
        std::fputs("\n", stderr);
      } catch (...) {
        std::fputs("terminate called after throwing an exception of an unknown type\n", stderr);
      }
    } else {
      std::fputs("terminate called without an active exception\n", stderr);
    }
  }
  std::abort();
}

}  // namespace __gnu_cxx

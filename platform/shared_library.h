// A shared library loaded at run time, for what only an option needs: a run
// without the option neither maps the library nor pays for its start-up
// (its relocations, and those of the libraries it needs, are resident
// memory at once).

#ifndef TOVEX_PLATFORM_SHARED_LIBRARY_H_
#define TOVEX_PLATFORM_SHARED_LIBRARY_H_

#include <memory>
#include <string>

namespace tovex {

class SharedLibrary {
 public:
  // Loads the library `soname` ("libcares.so.2") with every symbol bound
  // now; null, with `*error` the loader's reason, when it cannot. The
  // library stays mapped for the rest of the process even after the object
  // goes away: a library may have left callbacks behind (at exit, in
  // threads) that must not point into unmapped code.
  static std::unique_ptr<SharedLibrary> Open(const std::string& soname,
                                             std::string* error);
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Sets `*function` to the library's function `symbol`; false, with
  // `*function` null, when the library has none.
  template <typename Function>
  bool Find(const char* symbol, Function* function) const {
    *function = reinterpret_cast<Function>(Address(symbol));
    return *function != nullptr;
  }

 private:
  explicit SharedLibrary(void* handle) : handle_(handle) {}
  void* Address(const char* symbol) const;

  void* handle_;
};

}  // namespace tovex

#endif  // TOVEX_PLATFORM_SHARED_LIBRARY_H_

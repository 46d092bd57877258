#include "platform/shared_library.h"

#include <dlfcn.h>

namespace tovex {

std::unique_ptr<SharedLibrary> SharedLibrary::Open(const std::string& soname,
                                                   std::string* error) {
  void* handle = dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) {
    const char* reason = dlerror();
    *error = reason != nullptr ? reason : "cannot be loaded";
    return nullptr;
  }
  return std::unique_ptr<SharedLibrary>(new SharedLibrary(handle));
}

SharedLibrary::~SharedLibrary() { dlclose(handle_); }

void* SharedLibrary::Address(const char* symbol) const {
  return dlsym(handle_, symbol);
}

}  // namespace tovex

#include "core/shared_library.h"

namespace sim {

void* open_library(const char* soname, std::string* error) {
  void* library = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = ::dlerror();
    *error = std::string("cannot load ") + soname + (why ? std::string(": ") + why : std::string());
  }
  return library;
}

}  // namespace sim

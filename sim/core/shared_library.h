// Libraries board-sim opens when it first needs them (dlopen), not at start:
// a run that reads no WAV file and no DWARF loads neither libsndfile (and the
// eight codec libraries it brings) nor libdw, whose loading and relocation
// took about a millisecond of every start.
#pragma once
#include <dlfcn.h>

#include <string>

namespace sim {

// The library of that soname, opened for good (the loader counts the
// openings); nullptr, with *error set, when it cannot be.
void* open_library(const char* soname, std::string* error);

// `library`'s function `name`, into *f; false, with *error set, when it has
// none.
template <typename F>
bool library_function(void* library, const char* name, F* f, std::string* error) {
  *f = reinterpret_cast<F>(::dlsym(library, name));
  if (!*f) *error = std::string("no function ") + name + " in the library";
  return *f != nullptr;
}

}  // namespace sim

#include "core/file_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace sim {

std::string parent_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string base_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string resolve_target(const std::string& path, std::string* error) {
  std::string p = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      char buf[PATH_MAX];
      const ssize_t n = ::readlink(p.c_str(), buf, sizeof buf - 1);
      if (n < 0) {
        *error = p + ": " + std::strerror(errno);
        return {};
      }
      const std::string link(buf, static_cast<size_t>(n));
      p = link[0] == '/' ? link : parent_of(p) + "/" + link;
      continue;
    }
    char real[PATH_MAX];
    if (::realpath(p.c_str(), real)) return real;
    const std::string dir = parent_of(p);
    if (!::realpath(dir.c_str(), real)) {
      *error = "directory " + dir + " does not exist";
      return {};
    }
    const std::string base = base_of(p);
    if (base.empty() || base == "." || base == "..") {
      *error = "names a directory";
      return {};
    }
    return std::string(real) + (std::strcmp(real, "/") == 0 ? "" : "/") + base;
  }
  *error = "too many levels of symbolic links";
  return {};
}

}  // namespace sim

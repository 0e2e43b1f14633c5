#include "devices/eeprom_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/log.h"

namespace sim {

namespace {

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

std::string os_error(const std::string& what) { return what + ": " + std::strerror(errno); }

// mkdir -p. The state directory holds nobody else's business, hence 0700.
bool make_directories(const std::string& dir, std::string* error) {
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = dir.find('/', pos + 1);
    partial = dir.substr(0, pos);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = os_error("cannot create directory " + partial);
      return false;
    }
  }
  struct stat st;
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = dir + ": not a directory";
    return false;
  }
  return true;
}

bool write_all(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string EepromFile::default_path(std::string* error) {
  std::string base;
  const char* xdg = std::getenv("XDG_STATE_HOME");
  if (xdg && xdg[0] == '/') {  // the XDG rules say to ignore a relative path
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !home[0]) {
      const passwd* pw = ::getpwuid(::getuid());
      home = pw ? pw->pw_dir : nullptr;
    }
    if (!home || !home[0]) {
      *error = "no home directory to keep the EEPROM image in (set HOME or XDG_STATE_HOME, or use --eeprom)";
      return {};
    }
    base = std::string(home) + "/.local/state";
  }
  const std::string dir = base + "/board-sim";
  if (!make_directories(dir, error)) return {};
  return dir + "/eeprom.bin";
}

bool EepromFile::open(const std::string& path, std::string* error) {
  path_ = path;
  image_.fill(0xFF);
  exists_ = false;

  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) {
      *error = os_error(path);
      return false;
    }
    // A new part. Check now that the first write cycle will have somewhere to go.
    const std::string dir = parent_of(path);
    struct stat dst;
    if (::stat(dir.c_str(), &dst) != 0 || !S_ISDIR(dst.st_mode)) {
      *error = path + ": directory " + dir + " does not exist";
      return false;
    }
    return true;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = path + ": not a regular file";
    return false;
  }
  if (st.st_size != static_cast<off_t>(At24c04::kSize)) {
    *error = path + ": is " + std::to_string(st.st_size) + " bytes, an EEPROM image is " +
             std::to_string(At24c04::kSize) + " bytes; refusing to use it (the file is left as it is)";
    return false;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = os_error(path);
    return false;
  }
  size_t got = 0;
  while (got < image_.size()) {
    ssize_t n = ::read(fd, image_.data() + got, image_.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  if (got != image_.size()) {
    *error = path + ": short read (" + std::to_string(got) + " of " + std::to_string(image_.size()) + " bytes)";
    image_.fill(0xFF);
    return false;
  }
  exists_ = true;
  return true;
}

bool EepromFile::save(const At24c04::Image& image, std::string* error) {
  std::string tmp = parent_of(path_) + "/." + base_of(path_) + ".XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) {
    *error = os_error("cannot create a temporary file beside " + path_);
    return false;
  }
  // mkstemp makes the file private; give it the image's mode, or the usual one.
  struct stat st;
  mode_t mode;
  if (::stat(path_.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = ::fchmod(fd, mode) == 0 && write_all(fd, image.data(), image.size()) && ::fsync(fd) == 0;
  if (!ok) *error = os_error("cannot write " + tmp);
  if (::close(fd) != 0 && ok) {
    ok = false;
    *error = os_error("cannot write " + tmp);
  }
  if (ok && ::rename(tmp.c_str(), path_.c_str()) != 0) {
    ok = false;
    *error = os_error("cannot replace " + path_);
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  // Make the rename itself durable.
  const int dir = ::open(parent_of(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  image_ = image;
  exists_ = true;
  return true;
}

void EepromFile::attach(At24c04& eeprom) {
  eeprom.set_contents(image_);
  eeprom.set_write_listener([this](const At24c04::Image& image) {
    std::string error;
    if (!save(image, &error)) log_warning("eeprom", error + " (the image in the file is the previous one)");
  });
}

}  // namespace sim

#include "devices/eeprom_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/file_paths.h"
#include "core/log.h"

namespace sim {

namespace {

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

namespace {

constexpr std::time_t kStaleAge = 10 * 60;  // seconds; a save takes milliseconds

std::string host_name() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || !name[0]) return "host";
  for (char* c = name; *c; ++c)
    if (*c == '/' || *c == '.') *c = '_';
  return name;
}

// The whole of a small file, or false.
bool read_exactly(const std::string& path, uint8_t* data, size_t size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  size_t got = 0;
  while (got < size) {
    ssize_t n = ::read(fd, data + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  uint8_t extra;
  const bool longer = got == size && ::read(fd, &extra, 1) > 0;
  ::close(fd);
  return got == size && !longer;
}

}  // namespace

bool EepromFile::open(const std::string& path, std::string* error) {
  path_ = path;
  image_.fill(0xFF);
  exists_ = false;
  save_failed_ = failure_reported_ = change_reported_ = false;
  if (path.empty()) {
    *error = "no EEPROM file named";
    return false;
  }
  std::string why;
  target_ = resolve_target(path, &why);
  if (target_.empty()) {
    *error = path + ": " + why;
    return false;
  }
  const std::string via = target_ == path ? "" : " (" + target_ + ")";

  struct stat st;
  if (::stat(target_.c_str(), &st) != 0) {
    if (errno != ENOENT) {
      *error = os_error(path + via);
      return false;
    }
  } else {
    if (!S_ISREG(st.st_mode)) {
      *error = path + via + ": not a regular file";
      return false;
    }
    if (st.st_size != static_cast<off_t>(At24c04::kSize)) {
      *error = path + via + ": is " + std::to_string(st.st_size) + " bytes, an EEPROM image is " +
               std::to_string(At24c04::kSize) + " bytes; refusing to use it (the file is left as it is)";
      return false;
    }
    if (::access(target_.c_str(), W_OK) != 0 || !(st.st_mode & S_IWUSR)) {
      *error = path + via + ": is read-only, and board-sim saves what the firmware writes there "
               "(make it writable, or name another file with --eeprom)";
      return false;
    }
    if (!read_exactly(target_, image_.data(), image_.size())) {
      *error = os_error(path + via + ": cannot read the image");
      image_.fill(0xFF);
      return false;
    }
    exists_ = true;
  }

  remove_stale_temporaries();
  // The first write cycle must have somewhere to go: prove now that the
  // directory takes a temporary file of the image's size (not on a full disk,
  // not read-only), rather than lose the firmware's writes one by one. Not
  // synced: the file is removed at once, and a sync (then a removal that
  // must free written blocks) cost every start a millisecond or more.
  std::string tmp;
  if (!write_temporary(image_, &tmp, &why, false)) {
    *error = path + via + ": cannot save the image there: " + why;
    return false;
  }
  ::unlink(tmp.c_str());
  return true;
}

bool EepromFile::write_temporary(const At24c04::Image& image, std::string* tmp, std::string* error, bool sync) {
  *tmp = parent_of(target_) + "/." + base_of(target_) + ".board-sim-" + host_name() + "-" +
         std::to_string(::getpid()) + ".XXXXXX";
  const int fd = ::mkstemp(tmp->data());
  if (fd < 0) {
    *error = os_error("cannot create a temporary file in " + parent_of(target_));
    return false;
  }
  // mkstemp makes the file private; give it the image's mode, or the usual one.
  struct stat st;
  mode_t mode;
  if (::stat(target_.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = ::fchmod(fd, mode) == 0;
  const uint8_t* data = image.data();
  size_t left = image.size();
  while (ok && left > 0) {
    const ssize_t n = writer_ ? writer_(fd, data, left) : ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      ok = false;
      break;
    }
    data += n;
    left -= static_cast<size_t>(n);
  }
  ok = ok && (!sync || ::fsync(fd) == 0);
  if (!ok) *error = os_error("cannot write " + *tmp);
  if (::close(fd) != 0 && ok) {
    ok = false;
    *error = os_error("cannot write " + *tmp);
  }
  if (!ok) ::unlink(tmp->c_str());
  return ok;
}

void EepromFile::remove_stale_temporaries() {
  const std::string dir = parent_of(target_);
  const std::string prefix = "." + base_of(target_) + ".";
  const std::string ours = prefix + "board-sim-" + host_name() + "-";
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  const std::time_t now = std::time(nullptr);
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string rest = name.substr(prefix.size());
    const bool old_style = rest.size() == 6;  // ".NAME.XXXXXX", before the pid was in the name
    const bool this_host = name.compare(0, ours.size(), ours) == 0;
    if (!old_style && rest.compare(0, 10, "board-sim-") != 0) continue;
    const std::string full = dir + "/" + name;
    struct stat st;
    if (::lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    bool stale = now - st.st_mtime > kStaleAge;
    if (!stale && this_host) {
      // ours + PID + ".XXXXXX"
      const std::string pid_text = name.substr(ours.size(), name.size() - ours.size() - 7);
      char* end = nullptr;
      const long pid = std::strtol(pid_text.c_str(), &end, 10);
      if (end && !*end && pid > 0)
        stale = pid == ::getpid() || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
    }
    if (stale) ::unlink(full.c_str());
  }
  ::closedir(d);
}

void EepromFile::notice_external_change() {
  if (change_reported_) return;
  At24c04::Image now{};
  const bool readable = read_exactly(target_, now.data(), now.size());
  const bool changed = exists_ ? !readable || now != image_ : ::access(target_.c_str(), F_OK) == 0;
  if (!changed) return;
  change_reported_ = true;
  log_warning("eeprom", path_ + ": changed by another program since board-sim " +
                            (exists_ ? std::string("last read or wrote it") : std::string("started")) +
                            "; the board's image replaces it now (said once)");
}

bool EepromFile::save(const At24c04::Image& image, std::string* error) {
  notice_external_change();
  std::string tmp;
  if (!write_temporary(image, &tmp, error)) return false;
  if (::rename(tmp.c_str(), target_.c_str()) != 0) {
    *error = os_error("cannot replace " + target_);
    ::unlink(tmp.c_str());
    return false;
  }
  // Make the rename itself durable.
  const int dir = ::open(parent_of(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  image_ = image;
  exists_ = true;
  return true;
}

void EepromFile::attach(At24c04& eeprom) {
  part_ = &eeprom;
  eeprom.set_contents(image_);
  eeprom.set_write_listener([this](const At24c04::Image& image) {
    std::string error;
    save_failed_ = !save(image, &error);
    if (save_failed_ && !failure_reported_) {
      failure_reported_ = true;
      log_warning("eeprom", error + ": what the firmware writes is not in " + path_ +
                                " (tried again at each write cycle and at the end; said once)");
    }
  });
}

bool EepromFile::finish(std::string* error) {
  if (!save_failed_) return true;
  if (part_ && save(part_->contents(), error)) {
    save_failed_ = false;
    return true;
  }
  if (!part_) *error = "no part attached";
  *error = path_ + " does not hold what the firmware wrote (" + *error + ")";
  return false;
}

}  // namespace sim

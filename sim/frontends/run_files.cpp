#include "frontends/run_files.h"

#include "core/file_paths.h"
#include "frontends/quoting.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

std::string kind_of(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// What the input rule says about a file already opened or stat'ed.
bool regular_within(const struct stat& st, uint64_t max_bytes, std::string* why) {
  if (!S_ISREG(st.st_mode)) {
    *why = "is " + kind_of(st.st_mode) + "; a regular file is needed";
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > max_bytes) {
    *why = "is " + format_size(static_cast<uint64_t>(st.st_size)) + ", more than the " + format_size(max_bytes) +
           " this input may have";
    return false;
  }
  return true;
}

// A file's identity for the collision rule.
struct Identity {
  bool exists = false;
  bool exempt = false;  // a character device
  dev_t dev = 0;
  ino_t ino = 0;
  std::string name;  // canonical, for a file still to be created
};

bool identify(const std::string& path, Identity* id, std::string* error) {
  const std::string target = resolve_target(path, error);
  if (target.empty()) return false;
  struct stat st;
  if (::stat(target.c_str(), &st) == 0) {
    id->exists = true;
    id->exempt = S_ISCHR(st.st_mode);
    id->dev = st.st_dev;
    id->ino = st.st_ino;
  }
  id->name = target;
  return true;
}

bool same_file(const Identity& a, const Identity& b) {
  if (a.exempt || b.exempt) return false;
  if (a.exists != b.exists) return false;
  return a.exists ? a.dev == b.dev && a.ino == b.ino : a.name == b.name;
}

}  // namespace

std::string format_size(uint64_t bytes) {
  if (bytes >= (1ull << 30) && bytes % (1ull << 30) == 0) return std::to_string(bytes >> 30) + " GiB";
  if (bytes >= (1ull << 20) && bytes % (1ull << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= (1ull << 10) && bytes % (1ull << 10) == 0) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

void RunFiles::input(const std::string& what, const std::string& path, uint64_t max_bytes) {
  if (!path.empty()) entries_.push_back({what, path, false, max_bytes});
}

void RunFiles::output(const std::string& what, const std::string& path) {
  if (!path.empty()) entries_.push_back({what, path, true, 0});
}

bool RunFiles::check(std::string* error) const {
  std::vector<Identity> ids(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    auto bad = [&](const std::string& why) {
      // The reason may name the path (or a directory of it) again.
      *error = quoted_path(e.what) + ": " + quoted_path(e.path) + ": " + quoted_line(why, 1024);
      return false;
    };
    std::string why;
    struct stat st;
    if (!e.is_output) {
      if (::stat(e.path.c_str(), &st) != 0) return bad(std::strerror(errno));
      if (!regular_within(st, e.max_bytes, &why)) return bad(why);
      if (::access(e.path.c_str(), R_OK) != 0) return bad(std::string("cannot read it: ") + std::strerror(errno));
    } else {
      const std::string target = resolve_target(e.path, &why);
      if (target.empty()) return bad(why);
      if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return bad("is a directory");
        // The owner's write bit counts even for root: a file made read-only
        // is someone's wish not to have it overwritten.
        if (S_ISREG(st.st_mode) && (::access(target.c_str(), W_OK) != 0 || !(st.st_mode & S_IWUSR)))
          return bad("is read-only");
      } else {
        const std::string dir = parent_of(target);
        if (::access(dir.c_str(), W_OK | X_OK) != 0)
          return bad("cannot create a file in " + dir + ": " + std::strerror(errno));
      }
    }
    if (!identify(e.path, &ids[i], &why)) return bad(why);
  }
  for (size_t i = 0; i < entries_.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (!entries_[i].is_output && !entries_[j].is_output) continue;
      if (!same_file(ids[i], ids[j])) continue;
      // Name the output that would do the damage first.
      const Entry& out = entries_[i].is_output ? entries_[i] : entries_[j];
      const Entry& other = &out == &entries_[i] ? entries_[j] : entries_[i];
      *error = quoted_path(out.what) + ": " + quoted_path(out.path) + " is the same file as " + quoted_path(other.what) +
               " " + quoted_path(other.path) +
               "; nothing was written";
      return false;
    }
  }
  return true;
}

bool read_regular_file(const std::string& path, uint64_t max_bytes, std::vector<uint8_t>* bytes, std::string* error) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *error = quoted_path(path) + ": " + std::strerror(errno);
    return false;
  }
  struct stat st;
  std::string why;
  if (::fstat(fd, &st) != 0 || !regular_within(st, max_bytes, &why)) {
    *error = quoted_path(path) + ": " + (why.empty() ? std::strerror(errno) : why);
    ::close(fd);
    return false;
  }
  bytes->clear();
  uint8_t buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = quoted_path(path) + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    bytes->insert(bytes->end(), buf, buf + n);
    if (bytes->size() > max_bytes) {  // it grew while being read
      *error = quoted_path(path) + ": more than the " + format_size(max_bytes) + " this input may have";
      ::close(fd);
      return false;
    }
  }
  ::close(fd);
  return true;
}

}  // namespace sim

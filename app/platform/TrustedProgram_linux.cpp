#include "app/platform/TrustedProgram_linux.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace vorn::platform {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string prefix(const std::vector<std::string>& parts, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += "/" + parts[i];
  return text.empty() ? "/" : text;
}

bool others_may_write(const struct stat& st) { return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

// Why the folder could let someone else replace what lies below it; empty when it cannot.
std::string folder_refusal(const struct stat& st, uid_t owner, bool own_folder) {
  if (st.st_uid != 0 && st.st_uid != owner) return "belongs to another user";
  if (!others_may_write(st)) return {};
  // In a sticky folder only an entry's owner may rename or remove it, so root's sticky folder keeps
  // the folders below it in place; it cannot keep a file placed directly in it.
  if (!own_folder && (st.st_mode & S_ISVTX) && st.st_uid == 0) return {};
  return "is writable by others";
}

}  // namespace

int open_trusted_program(const std::string& path, uid_t owner, std::string& why) {
  if (path.empty() || path[0] != '/') {
    why = "not an absolute path";
    return -1;
  }
  const std::vector<std::string> parts = components(path);
  if (parts.empty()) {
    why = "names no file";
    return -1;
  }
  for (const std::string& part : parts) {
    if (part == "." || part == "..") {
      why = "the path steps through . or ..";
      return -1;
    }
  }
  Descriptor folder(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  for (std::size_t i = 0;; ++i) {
    const bool own_folder = i + 1 == parts.size();
    struct stat st {};
    if (folder.get() < 0 || ::fstat(folder.get(), &st) != 0) {
      why = "folder " + prefix(parts, i) + " cannot be opened (missing, not a folder or a link)";
      return -1;
    }
    if (std::string refusal = folder_refusal(st, owner, own_folder); !refusal.empty()) {
      why = "folder " + prefix(parts, i) + " " + refusal;
      return -1;
    }
    if (own_folder) break;
    folder.reset(::openat(folder.get(), parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  Descriptor file(::openat(folder.get(), parts.back().c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (file.get() < 0 || ::fstat(file.get(), &st) != 0) {
    why = "the file cannot be opened";
    return -1;
  }
  if (S_ISLNK(st.st_mode)) why = "the file is a symbolic link";
  else if (!S_ISREG(st.st_mode)) why = "not a regular file";
  else if (st.st_uid != 0 && st.st_uid != owner) why = "the file belongs to another user";
  else if (others_may_write(st)) why = "the file is writable by others";
  else if ((st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0) why = "the file is not executable";
  else return file.release();
  return -1;
}

}  // namespace vorn::platform

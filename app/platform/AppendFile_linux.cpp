#include "app/platform/AppendFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/WideText.h"

namespace vorn::platform {
namespace {

// The folder may be one that others can write to, so the name is neither followed as a link nor
// allowed to block on a FIFO, and only a plain file of the user's own with no second name is kept.
int open_private(const std::string& path) {
  constexpr int kFlags = O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  int fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0600);
  if (fd < 0 && errno == EEXIST) fd = ::open(path.c_str(), kFlags);
  if (fd < 0) return -1;
  struct stat st;
  int status = -1;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && st.st_nlink == 1 &&
            (status = fcntl(fd, F_GETFL)) >= 0 && fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == 0 &&
            ((st.st_mode & 077) == 0 || fchmod(fd, 0600) == 0);
  if (!ok) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

AppendFile::~AppendFile() { close(); }

bool AppendFile::open(const std::wstring& path, std::uint64_t& size_before) {
  close();
  if (path.empty()) return false;
  int fd = open_private(Utf8FromWide(path));
  if (fd < 0) return false;
  off_t end = ::lseek(fd, 0, SEEK_END);
  if (end < 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_before = static_cast<std::uint64_t>(end);
  return true;
}

bool AppendFile::is_open() const { return fd_ >= 0; }

bool AppendFile::write(std::string_view bytes) {
  if (fd_ < 0) return false;
  struct stat st;
  const off_t start = ::fstat(fd_, &st) == 0 ? st.st_size : -1;
  while (!bytes.empty()) {
    ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // Part of a line that a full disk cut short is taken back: in a UTF-16 file an odd byte left
      // behind would garble every line written once there is room again.
      if (start >= 0) (void)::ftruncate(fd_, start);
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void AppendFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace vorn::platform

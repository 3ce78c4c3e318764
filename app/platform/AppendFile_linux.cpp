#include "app/platform/AppendFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "app/WideText.h"

namespace vorn::platform {

AppendFile::~AppendFile() { close(); }

bool AppendFile::open(const std::wstring& path, std::uint64_t& size_before) {
  close();
  if (path.empty()) return false;
  int fd = ::open(Utf8FromWide(path).c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
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
  while (!bytes.empty()) {
    ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void AppendFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace vorn::platform

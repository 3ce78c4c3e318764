#include "platform/PrivateFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "dovod/LastError.h"

namespace dovod::platform {
namespace {

bool fail(int error, const char* what) {
  set_last_error(ErrorCode::NotAvailable, static_cast<unsigned long>(error), what);
  return false;
}

int fail_fd(int fd, int error, const char* what) {
  if (fd >= 0) ::close(fd);
  fail(error, what);
  return -1;
}

// Opens without following a link and without waiting for a FIFO's other end, then keeps the
// descriptor only for a plain file of the effective user with no other name: a hard link could
// otherwise lead the writes into a file of the user's elsewhere. Blocking I/O afterwards.
int open_checked(const std::string& path, int flags) {
  constexpr int kSafe = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = ::open(path.c_str(), flags | kSafe, 0600);
  if (fd < 0 && errno == EEXIST && (flags & O_EXCL)) fd = ::open(path.c_str(), (flags & ~(O_CREAT | O_EXCL)) | kSafe);
  if (fd < 0) return fail_fd(fd, errno, "cannot open the file");
  struct stat st;
  if (fstat(fd, &st) != 0) return fail_fd(fd, errno, "cannot inspect the file");
  if (!S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1)
    return fail_fd(fd, EPERM, "not a plain file of the user's own");
  int status = fcntl(fd, F_GETFL);
  if (status < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) return fail_fd(fd, errno, "fcntl failed");
  if ((st.st_mode & 077) != 0 && (flags & O_ACCMODE) != O_RDONLY && fchmod(fd, 0600) != 0)
    return fail_fd(fd, errno, "cannot make the file private");
  return fd;
}

bool write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

std::FILE* PrivateFile::open_append(const std::string& path) {
  int fd = open_checked(path, O_RDWR | O_APPEND | O_CREAT | O_EXCL);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "a+");
  if (!file) fail_fd(fd, errno, "fdopen failed");
  return file;
}

std::optional<std::string> PrivateFile::read(const std::string& path, std::size_t max_bytes) {
  int fd = open_checked(path, O_RDONLY);
  if (fd < 0) return std::nullopt;
  // The text grows with what the file holds: the limit is far above a usual file's size, and
  // setting aside all of it for each read made every small file cost a megabyte.
  std::string content;
  char chunk[16384];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      fail_fd(fd, errno, "read failed");
      return std::nullopt;
    }
    if (n == 0) break;
    content.append(chunk, static_cast<std::size_t>(n));
    if (content.size() > max_bytes) {
      fail_fd(fd, EFBIG, "the file is too large");
      return std::nullopt;
    }
  }
  ::close(fd);
  return content;
}

bool PrivateFile::replace(const std::string& path, std::string_view content) {
  std::string temporary = path + ".XXXXXX";
  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return fail(errno, "mkstemp failed");
  bool ok = write_all(fd, content) && fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && rename(temporary.c_str(), path.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    unlink(temporary.c_str());
    return fail(error, "replacing the file failed");
  }
  return true;
}

}  // namespace dovod::platform

#include "app/platform/NamedEvent.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "app/WideText.h"

namespace vorn::platform {
namespace {

// The abstract address of a name: a leading zero byte, then the name in UTF-8 (not terminated).
bool address_of(std::wstring_view name, sockaddr_un& address, socklen_t& length) {
  std::string text = Utf8FromWide(name);
  if (text.empty() || text.size() + 1 > sizeof address.sun_path) return false;
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, text.data(), text.size());
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + text.size());
  return true;
}

}  // namespace

NamedEvent::~NamedEvent() { close(); }

bool NamedEvent::open_existing(std::wstring_view name) {
  close();
  sockaddr_un address;
  socklen_t length = 0;
  if (!address_of(name, address, length)) return false;
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  // Connecting a datagram socket succeeds only when someone is bound to the name.
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

bool NamedEvent::set() {
  if (fd_ < 0) return false;
  const char signal = 1;
  // Never block: a creator that already has an unread signal is set anyway.
  ssize_t n = ::send(fd_, &signal, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
  return n == 1 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
}

bool NamedEvent::create(std::wstring_view name) {
  close();
  sockaddr_un address;
  socklen_t length = 0;
  if (!address_of(name, address, length)) return false;
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

bool NamedEvent::wait(std::chrono::milliseconds timeout) {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLIN, 0};
  int ms = timeout.count() < 0 ? -1 : static_cast<int>(timeout.count());
  int n;
  do {
    n = ::poll(&p, 1, ms);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  char signal = 0;
  return ::recv(fd_, &signal, 1, MSG_DONTWAIT) >= 0;
}

void NamedEvent::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace vorn::platform

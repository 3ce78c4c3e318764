#include "app/platform/NamedEvent.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "app/WideText.h"
#include "app/platform/CallingUser_linux.h"
#include "platform/Folders.h"

namespace vorn::platform {
namespace {

using dovod::platform::Folders;

// The folder where `uid`'s events live, checked to be that user's alone, so that no one else can
// have put a socket there. The tool's own is its runtime folder. As root for a user it is where the
// user's host software makes them when started by the user's session or by this tool (whose
// environment names no temporary folder): the session folder, else the user's folder in /tmp.
std::string event_folder(uid_t uid) {
  if (uid == geteuid()) return Folders::runtime_folder();
  for (std::string folder : {"/run/user/" + std::to_string(uid), "/tmp/dovod-" + std::to_string(uid)}) {
    struct stat st;
    if (lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid && (st.st_mode & 077) == 0) {
      return folder + "/";
    }
  }
  return {};
}

// The socket's address for `name` in `folder`; nothing when the path would not fit.
std::optional<sockaddr_un> address_of(const std::string& folder, std::wstring_view name) {
  std::string text = Utf8FromWide(name);
  if (folder.empty() || text.empty()) return std::nullopt;
  std::string path = folder + Folders::escaped_file_name(text) + ".event";
  sockaddr_un address{};
  if (path.size() + 1 > sizeof address.sun_path) return std::nullopt;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

bool connect_to(int fd, const sockaddr_un& address) {
  return ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// A socket file outlives a creator that died; one that still takes a connection is a live event.
bool stale(const sockaddr_un& address) {
  struct stat st;
  if (lstat(address.sun_path, &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
  int probe = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  bool refused = !connect_to(probe, address) && errno == ECONNREFUSED;
  ::close(probe);
  return refused;
}

}  // namespace

NamedEvent::~NamedEvent() { close(); }

bool NamedEvent::open_existing(std::wstring_view name) {
  close();
  const uid_t owner = calling_user().uid;
  std::optional<sockaddr_un> address = address_of(event_folder(owner), name);
  if (!address) return false;
  // The folder is the owner's alone; the socket must be the owner's too (root's when the owner is
  // root), or someone with access to the folder planted it.
  struct stat st;
  if (lstat(address->sun_path, &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != owner) return false;
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  // Connecting a datagram socket succeeds only while its creator still has it open.
  if (!connect_to(fd, *address)) {
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
  std::optional<sockaddr_un> address = address_of(Folders::runtime_folder(), name);
  if (!address) return false;
  int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  auto bind_to = [&] { return ::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0; };
  bool bound = bind_to();
  if (!bound && errno == EADDRINUSE && stale(*address)) {
    ::unlink(address->sun_path);
    bound = bind_to();
  }
  if (!bound) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  // Senders are identified with each datagram, so that wait() can ignore other users.
  int on = 1;
  setsockopt(fd_, SOL_SOCKET, SO_PASSCRED, &on, sizeof on);
  path_ = address->sun_path;
  struct stat st;
  if (stat(path_.c_str(), &st) == 0) inode_ = st.st_ino;
  return true;
}

bool NamedEvent::wait(std::chrono::milliseconds timeout) {
  if (fd_ < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int ms = -1;
    if (timeout.count() >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      ms = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
    pollfd p{fd_, POLLIN, 0};
    int n = ::poll(&p, 1, ms);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    char signal = 0;
    iovec data{&signal, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (::recvmsg(fd_, &message, MSG_DONTWAIT) < 0) continue;
    // Only the user (or root, who may end the user's programs anyway) can set the event.
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_CREDENTIALS) continue;
      ucred sender;
      std::memcpy(&sender, CMSG_DATA(c), sizeof sender);
      if (sender.uid == geteuid() || sender.uid == 0) return true;
    }
  }
}

void NamedEvent::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  // Removes our socket file, unless another creator has replaced it since.
  struct stat st;
  if (!path_.empty() && lstat(path_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_ino == inode_) {
    ::unlink(path_.c_str());
  }
  path_.clear();
  inode_ = 0;
}

}  // namespace vorn::platform

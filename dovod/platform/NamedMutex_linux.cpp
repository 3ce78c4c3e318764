#include "platform/NamedMutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "dovod/LastError.h"
#include "dovod/xLog.h"
#include "platform/Folders.h"

namespace dovod::platform {
namespace {

// File names grow by up to three bytes per character when escaped; longer names are refused
// rather than cut, since two cut names could meet.
constexpr std::size_t kMaxFileName = 240;

// A flock belongs to an open file, not to a thread, so the threads of this process agree among
// themselves first: one shared record per lock file, owned by one thread at a time, and only the
// owning thread holds the file lock.
struct Shared {
  explicit Shared(int descriptor) : fd(descriptor) {}
  ~Shared() { ::close(fd); }
  std::mutex mutex;
  std::condition_variable released;
  std::thread::id owner;
  unsigned depth = 0;
  const int fd;
};

std::mutex& registry_mutex() {
  static auto* m = new std::mutex;
  return *m;
}

std::map<std::string, std::weak_ptr<Shared>>& registry() {
  static auto* r = new std::map<std::string, std::weak_ptr<Shared>>;
  return *r;
}

bool fail(unsigned long system_error, const char* message) {
  set_last_error(ErrorCode::NotAvailable, system_error, message);
  return false;
}

// Our own folder, private to the user, in the runtime folder (checked there too): a folder that
// someone else made first, or opened to others, leaves the mutex unusable rather than unshared.
std::string lock_folder() {
  std::string runtime = Folders::runtime_folder();
  if (runtime.empty()) return {};
  std::string folder = runtime + "dovod-locks";
  if (!Folders::create_private_directory(folder)) return {};
  return folder + "/";
}

std::shared_ptr<Shared> open_shared(const std::string& path) {
  std::lock_guard<std::mutex> guard(registry_mutex());
  auto& slot = registry()[path];
  if (auto existing = slot.lock()) return existing;
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    registry().erase(path);
    fail(static_cast<unsigned long>(errno), "cannot open the named mutex file");
    return nullptr;
  }
  auto shared = std::make_shared<Shared>(fd);
  slot = shared;
  return shared;
}

// Takes the file lock, polling while another process holds it when there is a deadline.
bool lock_file(int fd, bool unlimited, std::chrono::steady_clock::time_point deadline) {
  auto pause = std::chrono::microseconds(200);
  for (;;) {
    if (::flock(fd, unlimited ? LOCK_EX : LOCK_EX | LOCK_NB) == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return fail(static_cast<unsigned long>(errno), "flock failed");
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return fail(0, "timed out waiting for the named mutex");
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::microseconds(5000));
  }
}

}  // namespace

struct NamedMutex::Impl {
  std::shared_ptr<Shared> shared;
  unsigned held = 0;  // this object's share of the owner's depth
};

NamedMutex::NamedMutex() : impl_(std::make_unique<Impl>()) {}

NamedMutex::~NamedMutex() {
  if (!impl_->shared || impl_->held == 0) return;
  Shared& s = *impl_->shared;
  std::lock_guard<std::mutex> guard(s.mutex);
  s.depth -= std::min(s.depth, impl_->held);
  if (s.depth == 0) {
    ::flock(s.fd, LOCK_UN);
    s.owner = {};
    s.released.notify_one();
  }
}

bool NamedMutex::init(const std::string& name) {
  xLog("NamedMutex", LOG_INFO, "dovod::NamedMutex::init", "Mutex name: %s", name.c_str());
  if (impl_->shared) return fail(0, "named mutex already initialised");
  std::string file = Folders::escaped_file_name(name) + ".lock";
  if (name.empty() || file.size() > kMaxFileName) return fail(ENAMETOOLONG, "unusable named mutex name");
  std::string folder = lock_folder();
  if (folder.empty()) return false;
  impl_->shared = open_shared(folder + file);
  return impl_->shared != nullptr;
}

bool NamedMutex::lock() { return lock_for(std::chrono::milliseconds::max()); }

bool NamedMutex::lock_for(std::chrono::milliseconds limit) {
  if (DOVOD_ASSERT(impl_->shared != nullptr)) return fail(0, "named mutex not initialised");
  Shared& s = *impl_->shared;
  const bool unlimited = limit == std::chrono::milliseconds::max();
  const auto deadline = unlimited ? std::chrono::steady_clock::time_point::max() : std::chrono::steady_clock::now() + limit;
  const auto me = std::this_thread::get_id();

  std::unique_lock<std::mutex> guard(s.mutex);
  if (s.owner == me) {
    ++s.depth;
    ++impl_->held;
    return true;
  }
  auto free = [&] { return s.owner == std::thread::id(); };
  if (unlimited) {
    s.released.wait(guard, free);
  } else if (!s.released.wait_until(guard, deadline, free)) {
    return fail(0, "timed out waiting for the named mutex");
  }
  // Claimed for this thread; the others of the process wait on the record while we wait on the file.
  s.owner = me;
  guard.unlock();
  bool ok = lock_file(s.fd, unlimited, deadline);
  guard.lock();
  if (!ok) {
    s.owner = {};
    s.released.notify_one();
    return false;
  }
  s.depth = 1;
  ++impl_->held;
  return true;
}

bool NamedMutex::unlock() {
  if (DOVOD_ASSERT(impl_->shared != nullptr)) return fail(0, "named mutex not initialised");
  Shared& s = *impl_->shared;
  std::lock_guard<std::mutex> guard(s.mutex);
  if (impl_->held == 0 || s.owner != std::this_thread::get_id()) return fail(EPERM, "named mutex not held by this thread");
  --impl_->held;
  if (--s.depth == 0) {
    ::flock(s.fd, LOCK_UN);
    s.owner = {};
    s.released.notify_one();
  }
  return true;
}

}  // namespace dovod::platform

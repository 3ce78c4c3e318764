#include "platform/NamedMutex.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "dovod/LastError.h"
#include "dovod/xLog.h"

namespace dovod::platform {
namespace {

bool fail(unsigned long system_error, const char* message) {
  set_last_error(ErrorCode::NotAvailable, system_error, message);
  return false;
}

}  // namespace

struct NamedMutex::Impl {
  HANDLE hMutex_ = nullptr;
  std::atomic<unsigned> held{0};  // releases this object owes; the mutex counts recursion itself
};

NamedMutex::NamedMutex() : impl_(std::make_unique<Impl>()) {}

NamedMutex::~NamedMutex() {
  for (; impl_->held > 0; --impl_->held) {
    if (DOVOD_ASSERT(impl_->hMutex_ != NULL)) break;
    ReleaseMutex(impl_->hMutex_);
  }
  if (impl_->hMutex_) {
    CloseHandle(impl_->hMutex_);
    xLog("NamedMutex", LOG_DEBUG, "dovod::NamedMutex::~NamedMutex", "closed handle 0x%08x (hMutex)",
         static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(impl_->hMutex_)));
  }
}

bool NamedMutex::init(const std::string& name) {
  xLog("NamedMutex", LOG_INFO, "dovod::NamedMutex::init", "Mutex name: %s", name.c_str());
  if (impl_->hMutex_) return fail(0, "named mutex already initialised");
  if (name.empty()) return fail(ERROR_INVALID_NAME, "unusable named mutex name");
  impl_->hMutex_ = CreateMutexA(nullptr, FALSE, name.c_str());
  if (!impl_->hMutex_) return fail(GetLastError(), "CreateMutexA failed");
  return true;
}

bool NamedMutex::lock() { return lock_for(std::chrono::milliseconds::max()); }

bool NamedMutex::lock_for(std::chrono::milliseconds limit) {
  if (DOVOD_ASSERT(impl_->hMutex_ != NULL)) return fail(0, "named mutex not initialised");
  DWORD wait = INFINITE;
  if (limit != std::chrono::milliseconds::max())
    wait = static_cast<DWORD>(std::min<long long>(limit.count() < 0 ? 0 : limit.count(), INFINITE - 1));
  switch (WaitForSingleObject(impl_->hMutex_, wait)) {
    case WAIT_OBJECT_0:
      ++impl_->held;
      return true;
    case WAIT_ABANDONED:
      // The previous owner died holding it; we own it now, as if it had been released.
      xLog("NamedMutex", LOG_WARNING, "dovod::NamedMutex::lock", "acquired an abandoned mutex");
      ++impl_->held;
      return true;
    case WAIT_TIMEOUT:
      return fail(0, "timed out waiting for the named mutex");
    default:
      return fail(GetLastError(), "WaitForSingleObject failed");
  }
}

bool NamedMutex::unlock() {
  if (DOVOD_ASSERT(impl_->hMutex_ != NULL)) return fail(0, "named mutex not initialised");
  if (impl_->held == 0) return fail(ERROR_NOT_OWNER, "named mutex not held by this thread");
  if (!ReleaseMutex(impl_->hMutex_)) return fail(GetLastError(), "ReleaseMutex failed");
  --impl_->held;
  return true;
}

}  // namespace dovod::platform

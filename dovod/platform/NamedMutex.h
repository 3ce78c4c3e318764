#pragma once
// A mutex shared by every process of the user that opens the same name, so that programs speaking
// to one receiver or device take turns with each other. Ownership belongs to a thread and is
// recursive, as with a Windows mutex: the owning thread may lock again (through this object or
// another one of the same name) and must unlock as often. A holder that dies releases the mutex.
// Failures leave the reason in LastError.

#include <chrono>
#include <memory>
#include <string>

namespace dovod::platform {

class NamedMutex {
 public:
  NamedMutex();
  // Releases what this object still holds.
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Opens (or creates) the mutex called `name`; it starts unowned. Once per object.
  bool init(const std::string& name);

  // Waits without limit.
  bool lock();

  // Waits at most `limit`; false with LastError NotAvailable when another owner kept it that long.
  bool lock_for(std::chrono::milliseconds limit);

  // False when the calling thread does not hold it through this object.
  bool unlock();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dovod::platform

#include "dovod/Vs2003SingletonThreadCleanup.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "core/LogGlobals.h"
#include "dovod/xLog.h"

namespace dovod {
namespace {

struct CleanupList {
  std::mutex mutex;
  std::vector<Vs2003SingletonThreadCleanup::Routine> routines;
  bool guard_present = false;
  bool cleanup_done = false;
};

CleanupList& cleanup_list() {
  // Never destroyed: static destructors ask about_to_join after every other static may be gone.
  static CleanupList* list = new CleanupList;
  return *list;
}

}  // namespace

Vs2003SingletonThreadCleanup::Vs2003SingletonThreadCleanup() {
  CleanupList& list = cleanup_list();
  std::lock_guard<std::mutex> lock(list.mutex);
  list.guard_present = true;
}

Vs2003SingletonThreadCleanup::~Vs2003SingletonThreadCleanup() {
  CleanupList& list = cleanup_list();
  // Routines run without the lock, since they may register or ask about_to_join themselves; one
  // registered while the list runs still runs, after the others.
  for (;;) {
    std::vector<Routine> routines;
    {
      std::lock_guard<std::mutex> lock(list.mutex);
      routines.swap(list.routines);
    }
    if (routines.empty()) break;
    for (Routine routine : routines) routine();
  }
  std::lock_guard<std::mutex> lock(list.mutex);
  list.cleanup_done = true;
}

void Vs2003SingletonThreadCleanup::register_cleanup(Routine routine) {
  if (!routine) return;
  CleanupList& list = cleanup_list();
  std::lock_guard<std::mutex> lock(list.mutex);
  list.routines.push_back(routine);
}

void Vs2003SingletonThreadCleanup::about_to_join() {
  CleanupList& list = cleanup_list();
  bool guard_present = false;
  {
    std::lock_guard<std::mutex> lock(list.mutex);
    guard_present = list.guard_present;
    if (guard_present && !list.cleanup_done) return;
  }
  static constexpr char kFunction[] = "dovod::Vs2003SingletonThreadCleanup::about_to_join";
  xLog("Untagged", LOG_INFO, kFunction,
       "joinable threads after main exited, so terminating process to avoid VS2003 runtime library crash");
  if (!guard_present)
    xLog("Untagged", LOG_INFO, kFunction, "you should have put a Vs2003SingletonThreadCleanup guard object in main()");
  // Possibly inside a static destructor already: write out what is pending, then end without
  // running the destructors (or the joins) that brought us here.
  log::flush_for_exit();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(0);
}

void Vs2003SingletonThreadCleanup::reset_for_testing() {
  CleanupList& list = cleanup_list();
  std::lock_guard<std::mutex> lock(list.mutex);
  list.routines.clear();
  list.guard_present = false;
  list.cleanup_done = false;
}

}  // namespace dovod

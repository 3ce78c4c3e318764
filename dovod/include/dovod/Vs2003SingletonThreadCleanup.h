#pragma once
// The process-wide clean-up list and its guard. The host keeps one guard object for its whole run
// (in main); when the guard ends, the routines that library code registered run in registration
// order. Library threads ask about_to_join before joining at process exit.

namespace dovod {

class Vs2003SingletonThreadCleanup {
 public:
  using Routine = void (*)();

  Vs2003SingletonThreadCleanup();
  ~Vs2003SingletonThreadCleanup();
  Vs2003SingletonThreadCleanup(const Vs2003SingletonThreadCleanup&) = delete;
  Vs2003SingletonThreadCleanup& operator=(const Vs2003SingletonThreadCleanup&) = delete;

  // Appends a routine to the list. Any thread.
  static void register_cleanup(Routine routine);

  // Returns when a guard is alive and has not run the list yet, so a join may go ahead. Otherwise
  // logs why and ends the process with exit code 0, since joining now could deadlock.
  static void about_to_join();

  // Forgets the guard state and the list; for tests that need a fresh process-wide state.
  static void reset_for_testing();
};

}  // namespace dovod

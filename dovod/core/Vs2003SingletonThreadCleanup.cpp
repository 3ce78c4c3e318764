// Placeholder until the clean-up list lands.
#include "dovod/Vs2003SingletonThreadCleanup.h"

namespace dovod {

Vs2003SingletonThreadCleanup::Vs2003SingletonThreadCleanup() = default;
Vs2003SingletonThreadCleanup::~Vs2003SingletonThreadCleanup() = default;
void Vs2003SingletonThreadCleanup::register_cleanup(Routine) {}
void Vs2003SingletonThreadCleanup::about_to_join() {}
void Vs2003SingletonThreadCleanup::reset_for_testing() {}

}  // namespace dovod

#pragma once
// The Win32 window layer of start-up: the common controls, and one modal run of the update dialog
// from template 102, with the simulated keyboard and the autopilot when the environment asks for
// them.

#include "app/IAppWindows.h"

namespace vorn::win32 {

class Win32AppWindows : public IAppWindows {
 public:
  void Initialise() override;
  int RunDialog() override;
};

}  // namespace vorn::win32

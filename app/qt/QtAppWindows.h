#pragma once
// The Qt window layer of start-up: one modal run of the update dialog in a QtDialogWindow, with
// the simulated keyboard and the autopilot when the environment asks for them. The QApplication
// is made by main before start-up begins.

#include "app/IAppWindows.h"

namespace vorn::qt {

class QtAppWindows : public IAppWindows {
 public:
  void Initialise() override;
  int RunDialog() override;
};

}  // namespace vorn::qt

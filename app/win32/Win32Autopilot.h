#pragma once
// The autopilot on the Win32 dialog: hands the dialog's face to the platform-free course and
// carries out its clicks after the pause and saves its pictures of the dialog.

#include "app/simulation/AutopilotCourse.h"
#include "app/win32/Win32DialogWindow.h"

namespace vorn::win32 {

class Win32Autopilot : public WindowObserver {
 public:
  // Observes `window` while it lives when the settings enable it; does nothing otherwise.
  Win32Autopilot(Win32DialogWindow& window, AutopilotSettings settings);
  ~Win32Autopilot() override;
  Win32Autopilot(const Win32Autopilot&) = delete;
  Win32Autopilot& operator=(const Win32Autopilot&) = delete;

  void OnFaceChanged() override;

 private:
  // Runs once the dialog's logic has returned, so a state's whole entry action is on the face.
  void settle();
  void act(AutopilotAction action);
  void click(int control);
  void screenshot(const std::string& name);

  Win32DialogWindow& window_;
  AutopilotSettings settings_;
  AutopilotCourse course_;
  bool settle_pending_ = false;
  bool action_pending_ = false;
  int pictures_ = 0;
};

}  // namespace vorn::win32

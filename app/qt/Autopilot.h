#pragma once
// The autopilot on the Qt window: hands the window's face to the platform-free course, carries out
// its clicks after the pause and saves its pictures of the dialog. Off unless the settings enable it.

#include <QObject>

#include <functional>

#include "app/qt/QtDialogWindow.h"
#include "app/simulation/AutopilotCourse.h"

namespace vorn::qt {

class Autopilot : public WindowObserver {
 public:
  // Observes `window` while it lives when the settings enable it; does nothing otherwise.
  Autopilot(QtDialogWindow& window, AutopilotSettings settings);
  ~Autopilot() override;
  Autopilot(const Autopilot&) = delete;
  Autopilot& operator=(const Autopilot&) = delete;

  void OnFaceChanged() override;

 private:
  // Runs once the dialog's logic has returned, so a state's whole entry action is on the face.
  void settle();
  void act_later(std::function<void()> action);
  void click(int control);
  void close();
  void screenshot(const std::string& name);

  QtDialogWindow& window_;
  AutopilotSettings settings_;
  AutopilotCourse course_;
  // The context of queued calls and pauses, so that none outlives the autopilot.
  QObject context_;
  bool settle_pending_ = false;
  bool action_pending_ = false;
  int pictures_ = 0;
};

}  // namespace vorn::qt

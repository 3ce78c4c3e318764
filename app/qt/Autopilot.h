#pragma once
// Drives the dialog for the demo and the end-to-end tests: clicks Start when it appears and Close
// when it appears (after a success it closes the dialog whatever is shown), logs each status the dialog shows with the progress bar's position, and can
// save a picture of the dialog at each status into a folder. Off unless VORN_AUTOPILOT is set.
//
//   VORN_AUTOPILOT=<ms>                    on, pausing <ms> milliseconds before each click (0: none)
//   VORN_AUTOPILOT_SCREENSHOTS=<folder>    also save NN-<status>.png there

#include <QObject>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "app/qt/QtDialogWindow.h"

namespace vorn::qt {

inline constexpr const char* kAutopilotVariable = "VORN_AUTOPILOT";
inline constexpr const char* kScreenshotsVariable = "VORN_AUTOPILOT_SCREENSHOTS";

struct AutopilotSettings {
  bool enabled = false;
  int pause_ms = 0;
  std::filesystem::path screenshots;  // empty: no pictures
};

// Off when VORN_AUTOPILOT is unset, empty, or not a whole number of milliseconds up to a minute.
AutopilotSettings AutopilotSettingsFromEnvironment();

// The short name of a status text ("updating", "succeeded" ...); empty for a text no status uses.
std::string StatusName(const std::wstring& text);

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
  // The context of queued calls and pauses, so that none outlives the autopilot.
  QObject context_;
  bool settle_pending_ = false;
  bool action_pending_ = false;
  bool succeeded_ = false;
  std::wstring seen_status_;  // at the last change of the face
  std::wstring last_status_;  // at the last settle
  bool half_taken_ = false;
  int pictures_ = 0;
};

}  // namespace vorn::qt

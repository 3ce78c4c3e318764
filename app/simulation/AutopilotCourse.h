#pragma once
// What the autopilot of either window does, without the window: it clicks Start when it appears and
// Close when it appears (after a success it closes the dialog whatever is shown), and logs each
// status the dialog shows with the progress bar's position. Each window layer hands it the face it
// shows, carries out the step it answers and takes the pictures it names. Off unless
// VORN_AUTOPILOT is set.
//
//   VORN_AUTOPILOT=<ms>                    on, pausing <ms> milliseconds before each click (0: none)
//   VORN_AUTOPILOT_SCREENSHOTS=<folder>    also save NN-<status>.png there

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vorn {

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

// What the dialog shows when its logic has returned.
struct DialogFace {
  std::wstring status;
  std::uint32_t progress = 0;
  std::uint32_t progress_high = 0;
  bool start_shown = false;
  bool close_shown = false;
};

enum class AutopilotAction {
  kNone,
  kClickStart,
  kClickClose,
  // The Close button when it is shown, else the close box, which the dialog may refuse while the
  // keyboard is busy; the next change of the face tries again.
  kClose,
};

struct AutopilotStep {
  std::vector<std::string> pictures;  // names of the pictures to take now, in order
  AutopilotAction action = AutopilotAction::kNone;
};

class AutopilotCourse {
 public:
  // At every change of the face, before the dialog's logic returns: a success is noted at once,
  // since it may be overwritten before the face settles.
  void Noticed(const std::wstring& status);

  // Once the face has settled: logs a new status and answers what to do about it.
  AutopilotStep Settle(const DialogFace& face);

 private:
  bool succeeded_ = false;
  std::wstring seen_status_;  // at the last change of the face
  std::wstring last_status_;  // at the last settle
  bool half_taken_ = false;
};

// The file of the `number`th picture (counted from 1) named `name` in `folder`: NN-<name>.png.
std::filesystem::path PicturePath(const std::filesystem::path& folder, int number, const std::string& name);

}  // namespace vorn

#include "app/simulation/AutopilotCourse.h"

#include <array>
#include <cerrno>
#include <cstdlib>

#include "app/AppLog.h"
#include "app/UiText.h"
#include "app/WideText.h"

namespace vorn {
namespace {

constexpr long kLongestPauseMs = 60000;

struct NamedStatus {
  int text;
  const char* name;
};

constexpr std::array<NamedStatus, 9> kStatuses{{
    {text::kWaitingForDevice, "waiting-for-device"},
    {text::kWaitingForConnection, "waiting-for-connection"},
    {text::kUpdateAvailable, "update-available"},
    {text::kPreparing, "preparing"},
    {text::kUpdating, "updating"},
    {text::kSucceeded, "succeeded"},
    {text::kNoUpdateNeeded, "no-update-needed"},
    {text::kFailed, "failed"},
    {text::kPackageDamaged, "package-damaged"},
}};

}  // namespace

AutopilotSettings AutopilotSettingsFromEnvironment() {
  AutopilotSettings settings;
  const char* value = std::getenv(kAutopilotVariable);
  if (!value || !*value) return settings;
  errno = 0;
  char* end = nullptr;
  const long pause = std::strtol(value, &end, 10);
  if (errno != 0 || end == value || *end != '\0' || pause < 0 || pause > kLongestPauseMs) return settings;
  settings.enabled = true;
  settings.pause_ms = static_cast<int>(pause);
  if (const char* folder = std::getenv(kScreenshotsVariable); folder && *folder) settings.screenshots = folder;
  return settings;
}

std::string StatusName(const std::wstring& text) {
  if (text.empty()) return {};
  for (const NamedStatus& status : kStatuses) {
    if (LoadText(status.text) == text) return status.name;
  }
  return {};
}

void AutopilotCourse::Noticed(const std::wstring& status) {
  if (status == seen_status_) return;
  seen_status_ = status;
  if (StatusName(status) == "succeeded") succeeded_ = true;
}

AutopilotStep AutopilotCourse::Settle(const DialogFace& face) {
  AutopilotStep step;
  const std::string name = StatusName(face.status);
  if (face.status != last_status_ && !name.empty()) {
    last_status_ = face.status;
    const std::wstring wide = WideFromUtf8(name);
    LogMessage(L"Autopilot: %s, progress %u of %u\n", wide.c_str(), face.progress, face.progress_high);
    step.pictures.push_back(name);
  }
  if (!half_taken_ && name == "updating" && face.progress_high > 0 && face.progress >= face.progress_high / 2) {
    half_taken_ = true;
    step.pictures.push_back("updating-half");
  }
  // One update per run: once it succeeded, the keyboard's return may offer it again (with the
  // force option), and the autopilot closes the dialog instead.
  if (succeeded_) step.action = AutopilotAction::kClose;
  else if (face.start_shown) step.action = AutopilotAction::kClickStart;
  else if (face.close_shown) step.action = AutopilotAction::kClickClose;
  return step;
}

std::filesystem::path PicturePath(const std::filesystem::path& folder, int number, const std::string& name) {
  const std::string prefix = (number < 10 ? "0" : "") + std::to_string(number);
  return folder / (prefix + "-" + name + ".png");
}

}  // namespace vorn

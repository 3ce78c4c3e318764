#include "app/qt/Autopilot.h"

#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "app/AppLog.h"
#include "app/UiText.h"
#include "app/WideText.h"

namespace vorn::qt {
namespace {

constexpr int kLongestPauseMs = 60000;

struct NamedStatus {
  int text;
  const char* name;
};

constexpr std::array<NamedStatus, 8> kStatuses{{
    {text::kWaitingForDevice, "waiting-for-device"},
    {text::kWaitingForConnection, "waiting-for-connection"},
    {text::kUpdateAvailable, "update-available"},
    {text::kPreparing, "preparing"},
    {text::kUpdating, "updating"},
    {text::kSucceeded, "succeeded"},
    {text::kNoUpdateNeeded, "no-update-needed"},
    {text::kFailed, "failed"},
}};

std::wstring StatusText(const QtDialogWindow& window) {
  auto* label = qobject_cast<QLabel*>(window.Control(control::kStatus));
  return label ? label->text().toStdWString() : std::wstring();
}

bool Shown(const QtDialogWindow& window, int control) {
  QWidget* widget = window.Control(control);
  return widget && !widget->isHidden();
}

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

Autopilot::Autopilot(QtDialogWindow& window, AutopilotSettings settings)
    : window_(window), settings_(std::move(settings)) {
  if (settings_.enabled) window_.SetObserver(this);
}

Autopilot::~Autopilot() {
  if (settings_.enabled) window_.SetObserver(nullptr);
}

void Autopilot::OnFaceChanged() {
  // Noted at once: the success may be overwritten before the dialog's logic returns.
  if (const std::wstring status = StatusText(window_); status != seen_status_) {
    seen_status_ = status;
    if (StatusName(status) == "succeeded") succeeded_ = true;
  }
  if (settle_pending_) return;
  settle_pending_ = true;
  QMetaObject::invokeMethod(&context_, [this] { settle(); }, Qt::QueuedConnection);
}

void Autopilot::settle() {
  settle_pending_ = false;
  const std::wstring status = StatusText(window_);
  const std::string name = StatusName(status);
  if (status != last_status_ && !name.empty()) {
    last_status_ = status;
    const std::wstring wide = WideFromUtf8(name);
    LogMessage(L"Autopilot: %s, progress %u of %u\n", wide.c_str(), window_.ProgressPosition(),
               window_.ProgressHigh());
    screenshot(name);
  }
  if (!half_taken_ && name == "updating" && window_.ProgressHigh() > 0 &&
      window_.ProgressPosition() >= window_.ProgressHigh() / 2) {
    half_taken_ = true;
    screenshot("updating-half");
  }
  // One update per run: once it succeeded, the keyboard's return may offer it again (with the
  // force option), and the autopilot closes the dialog instead.
  if (succeeded_) act_later([this] { close(); });
  else if (Shown(window_, control::kStart)) act_later([this] { click(control::kStart); });
  else if (Shown(window_, control::kClose)) act_later([this] { click(control::kClose); });
}

void Autopilot::act_later(std::function<void()> action) {
  if (action_pending_) return;
  action_pending_ = true;
  QTimer::singleShot(settings_.pause_ms, &context_, [this, action = std::move(action)] {
    action_pending_ = false;
    action();
  });
}

void Autopilot::click(int control) {
  if (!Shown(window_, control)) return;
  if (auto* button = qobject_cast<QPushButton*>(window_.Control(control))) button->click();
}

// The Close button when it is shown, else the close box; the dialog may refuse the latter while
// the keyboard is busy, and the next change of the face tries again.
void Autopilot::close() {
  if (Shown(window_, control::kClose)) click(control::kClose);
  else window_.close();
}

void Autopilot::screenshot(const std::string& name) {
  if (settings_.screenshots.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(settings_.screenshots, error);
  ++pictures_;
  const std::string number = (pictures_ < 10 ? "0" : "") + std::to_string(pictures_);
  const std::filesystem::path file = settings_.screenshots / (number + "-" + name + ".png");
  if (!window_.grab().save(QString::fromStdString(file.string()), "PNG")) {
    const std::wstring wide = WideFromUtf8(file.string());
    LogMessage(L"Autopilot: could not save %s\n", wide.c_str());
  }
}

}  // namespace vorn::qt

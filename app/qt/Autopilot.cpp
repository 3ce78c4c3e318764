#include "app/qt/Autopilot.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <utility>

#include "app/AppLog.h"
#include "app/WideText.h"

namespace vorn::qt {
namespace {

std::wstring StatusText(const QtDialogWindow& window) {
  auto* label = qobject_cast<QLabel*>(window.Control(control::kStatus));
  return label ? label->text().toStdWString() : std::wstring();
}

bool Shown(const QtDialogWindow& window, int control) {
  QWidget* widget = window.Control(control);
  return widget && !widget->isHidden();
}

}  // namespace

Autopilot::Autopilot(QtDialogWindow& window, AutopilotSettings settings)
    : window_(window), settings_(std::move(settings)) {
  if (settings_.enabled) window_.SetObserver(this);
}

Autopilot::~Autopilot() {
  if (settings_.enabled) window_.SetObserver(nullptr);
}

void Autopilot::OnFaceChanged() {
  course_.Noticed(StatusText(window_));
  if (settle_pending_) return;
  settle_pending_ = true;
  QMetaObject::invokeMethod(&context_, [this] { settle(); }, Qt::QueuedConnection);
}

void Autopilot::settle() {
  settle_pending_ = false;
  const AutopilotStep step =
      course_.Settle({StatusText(window_), window_.ProgressPosition(), window_.ProgressHigh(),
                      Shown(window_, control::kStart), Shown(window_, control::kClose)});
  for (const std::string& name : step.pictures) screenshot(name);
  switch (step.action) {
    case AutopilotAction::kClose:
      act_later([this] { close(); });
      break;
    case AutopilotAction::kClickStart:
      act_later([this] { click(control::kStart); });
      break;
    case AutopilotAction::kClickClose:
      act_later([this] { click(control::kClose); });
      break;
    case AutopilotAction::kNone:
      break;
  }
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

void Autopilot::close() {
  if (Shown(window_, control::kClose)) click(control::kClose);
  else window_.close();
}

void Autopilot::screenshot(const std::string& name) {
  if (settings_.screenshots.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(settings_.screenshots, error);
  const std::filesystem::path file = PicturePath(settings_.screenshots, ++pictures_, name);
  if (!window_.grab().save(QString::fromStdString(file.string()), "PNG")) {
    const std::wstring wide = WideFromUtf8(file.string());
    LogMessage(L"Autopilot: could not save %s\n", wide.c_str());
  }
}

}  // namespace vorn::qt

#include "app/win32/Win32Autopilot.h"

#include <windows.h>

#include <string>
#include <system_error>
#include <utility>

#include "app/AppLog.h"
#include "app/win32/WindowPicture.h"

namespace vorn::win32 {
namespace {

std::wstring StatusText(const Win32DialogWindow& window) { return window.Text(control::kStatus); }

bool Shown(const Win32DialogWindow& window, int control) {
  HWND item = window.Control(control);
  return item && (GetWindowLongPtrW(item, GWL_STYLE) & WS_VISIBLE) != 0;
}

}  // namespace

Win32Autopilot::Win32Autopilot(Win32DialogWindow& window, AutopilotSettings settings)
    : window_(window), settings_(std::move(settings)) {
  if (settings_.enabled) window_.SetObserver(this);
}

Win32Autopilot::~Win32Autopilot() {
  if (settings_.enabled) window_.SetObserver(nullptr);
}

void Win32Autopilot::OnFaceChanged() {
  course_.Noticed(StatusText(window_));
  if (settle_pending_) return;
  settle_pending_ = true;
  window_.AfterCurrentMessage([this] { settle(); });
}

void Win32Autopilot::settle() {
  settle_pending_ = false;
  const AutopilotStep step =
      course_.Settle({StatusText(window_), window_.ProgressPosition(), window_.ProgressHigh(),
                      Shown(window_, control::kStart), Shown(window_, control::kClose)});
  for (const std::string& name : step.pictures) screenshot(name);
  if (step.action == AutopilotAction::kNone || action_pending_) return;
  action_pending_ = true;
  window_.Defer(static_cast<std::uint32_t>(settings_.pause_ms), [this, action = step.action] {
    action_pending_ = false;
    act(action);
  });
}

void Win32Autopilot::act(AutopilotAction action) {
  switch (action) {
    case AutopilotAction::kClickStart:
      click(control::kStart);
      break;
    case AutopilotAction::kClickClose:
      click(control::kClose);
      break;
    case AutopilotAction::kClose:
      // The Close button when it is shown, else the close box, which the dialog may refuse while
      // the keyboard is busy; the next change of the face tries again.
      if (Shown(window_, control::kClose)) click(control::kClose);
      else if (HWND hwnd = window_.Handle()) SendMessageW(hwnd, WM_CLOSE, 0, 0);
      break;
    case AutopilotAction::kNone:
      break;
  }
}

// What a click on the button sends its dialog.
void Win32Autopilot::click(int control) {
  if (!Shown(window_, control)) return;
  HWND button = window_.Control(control);
  SendMessageW(window_.Handle(), WM_COMMAND, MAKEWPARAM(control, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void Win32Autopilot::screenshot(const std::string& name) {
  if (settings_.screenshots.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(settings_.screenshots, error);
  const std::filesystem::path file = PicturePath(settings_.screenshots, ++pictures_, name);
  if (!SaveWindowPicture(window_.Handle(), file)) {
    const std::wstring wide = file.wstring();
    LogMessage(L"Autopilot: could not save %s\n", wide.c_str());
  }
}

}  // namespace vorn::win32

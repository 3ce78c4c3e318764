#include "app/win32/Win32DialogWindow.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <utility>

// <windows.h> renames PostMessage to its wide variant; the interface's own name is meant here.
#undef PostMessage

namespace vorn::win32 {
namespace {

// Private messages of the window, in the application's range so that no dialog message collides.
constexpr UINT kPostedMessage = WM_APP + 1;  // wparam: the controller's wparam; lparam: its message
constexpr UINT kTimerRequest = WM_APP + 2;   // wparam: timer id; lparam: period from another thread
constexpr UINT kZeroTimer = WM_APP + 3;      // wparam: timer id; one expiry
constexpr UINT kQuit = WM_APP + 4;           // wparam: the run's result
constexpr UINT kDeferred = WM_APP + 5;       // runs the first of the next actions

// Timers of the window's own (delayed actions) live above 32 bits, where no controller id can be.
constexpr std::uintptr_t kFirstPrivateTimer = std::uintptr_t{1} << 32;

}  // namespace

Win32DialogWindow::Win32DialogWindow(HINSTANCE__* module)
    : module_(module ? module : GetModuleHandleW(nullptr)) {}

Win32DialogWindow::~Win32DialogWindow() { release_resources(); }

int Win32DialogWindow::RunModal(IDialogInputs& inputs) {
  inputs_ = &inputs;
  const INT_PTR result = DialogBoxParamW(module_, MAKEINTRESOURCEW(kDialogTemplate), nullptr, &DialogProc,
                                         reinterpret_cast<LPARAM>(this));
  inputs_ = nullptr;
  hwnd_.store(nullptr);
  running_timers_.clear();
  controls_.clear();
  texts_.clear();
  progress_low_ = 0;
  progress_high_ = kDefaultProgressHigh;
  progress_position_ = 0;
  drawn_position_ = 0;
  after_message_.clear();
  next_actions_.clear();
  delayed_actions_.clear();
  release_resources();
  return static_cast<int>(result);
}

void Win32DialogWindow::release_resources() {
  // The window that used them is gone by now.
  for (HICON* icon : {&big_icon_, &small_icon_, &picture_}) {
    if (*icon) DestroyIcon(*icon);
    *icon = nullptr;
  }
  if (bold_font_) DeleteObject(bold_font_);
  bold_font_ = nullptr;
}

INT_PTR CALLBACK Win32DialogWindow::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    auto* self = reinterpret_cast<Win32DialogWindow*>(lparam);
    EnumChildWindows(
        hwnd,
        [](HWND child, LPARAM to) -> BOOL {
          reinterpret_cast<Win32DialogWindow*>(to)->controls_.emplace(GetDlgCtrlID(child), child);
          return TRUE;
        },
        lparam);
    self->hwnd_.store(hwnd);
    return self->handle(message, wparam, lparam);
  }
  auto* self = reinterpret_cast<Win32DialogWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (!self) return FALSE;
  if (message == WM_NCDESTROY) {
    self->hwnd_.store(nullptr);
    return FALSE;
  }
  return self->handle(message, wparam, lparam);
}

INT_PTR Win32DialogWindow::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  ++handling_depth_;
  const INT_PTR result = dispatch(message, wparam, lparam);
  if (--handling_depth_ == 0) run_after_message();
  return result;
}

void Win32DialogWindow::run_after_message() {
  // Actions that send the dialog messages of their own run after this loop, not inside it.
  if (running_after_message_) return;
  running_after_message_ = true;
  while (!after_message_.empty() && hwnd_.load()) {
    std::function<void()> action = std::move(after_message_.front());
    after_message_.pop_front();
    action();
  }
  running_after_message_ = false;
}

INT_PTR Win32DialogWindow::dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      return inputs_->OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
      on_command(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_TIMER:
      on_timer(wparam);
      return TRUE;
    case WM_PAINT:
      return paint_minimised() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      // One of the messages whose answer a dialog procedure returns directly.
      return reinterpret_cast<INT_PTR>(big_icon_);
    case kPostedMessage:
      if (inputs_) inputs_->OnMessage(static_cast<std::uint32_t>(lparam), wparam);
      return TRUE;
    case kTimerRequest:
      start_timer(static_cast<std::uint32_t>(wparam), static_cast<std::uint32_t>(lparam));
      return TRUE;
    case kZeroTimer:
      // A window timer of the same id would otherwise fire on its old period as well.
      KillTimer(static_cast<std::uint32_t>(wparam));
      if (inputs_) inputs_->OnTimer(static_cast<std::uint32_t>(wparam));
      return TRUE;
    case kQuit:
      if (inputs_) EndDialog(static_cast<int>(wparam));
      return TRUE;
    case kDeferred:
      if (!next_actions_.empty()) {
        std::function<void()> action = std::move(next_actions_.front());
        next_actions_.pop_front();
        action();
      }
      return TRUE;
    default:
      return FALSE;
  }
}

// Enter is the dialog's OK and Esc or the close box its Cancel; the dialog's logic decides whether
// the window ends.
void Win32DialogWindow::on_command(int id, int code) {
  if (!inputs_) return;
  if (id == control::kStart && code == BN_CLICKED) inputs_->OnStartClicked();
  else if (id == control::kClose && code == BN_CLICKED) inputs_->OnCloseClicked();
  else if (id == IDOK) inputs_->OnOK();
  else if (id == IDCANCEL) inputs_->OnCancel();
}

void Win32DialogWindow::on_timer(std::uintptr_t id) {
  if (id >= kFirstPrivateTimer) {
    ::KillTimer(hwnd_.load(), id);
    auto it = delayed_actions_.find(id);
    if (it == delayed_actions_.end()) return;
    std::function<void()> action = std::move(it->second);
    delayed_actions_.erase(it);
    action();
    return;
  }
  if (auto it = running_timers_.find(static_cast<std::uint32_t>(id)); it != running_timers_.end()) {
    RunningTimer& timer = it->second;
    const std::uint64_t now = GetTickCount64();
    if (now < timer.due) {
      // Restarted since its system timer was set: not due yet.
      timer.armed = static_cast<std::uint32_t>(timer.due - now);
      ::SetTimer(hwnd_.load(), id, timer.armed, nullptr);
      return;
    }
    if (timer.armed != timer.period) {
      timer.armed = timer.period;
      ::SetTimer(hwnd_.load(), id, timer.period, nullptr);
    }
    timer.due = now + timer.period;
  }
  if (inputs_) inputs_->OnTimer(static_cast<std::uint32_t>(id));
}

// A minimised dialog shows the application icon centred where its client area would be.
bool Win32DialogWindow::paint_minimised() {
  HWND hwnd = hwnd_.load();
  if (!IsIconic(hwnd) || !big_icon_) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd, &paint);
  SendMessageW(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(hwnd, &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, big_icon_);
  EndPaint(hwnd, &paint);
  return true;
}

HWND Win32DialogWindow::Control(int id) const {
  if (!hwnd_.load()) return nullptr;
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void Win32DialogWindow::AfterCurrentMessage(std::function<void()> action) {
  HWND hwnd = hwnd_.load();
  if (!hwnd) return;
  if (handling_depth_ > 0) after_message_.push_back(std::move(action));
  else Defer(0, std::move(action));
}

void Win32DialogWindow::Defer(std::uint32_t delay_ms, std::function<void()> action) {
  HWND hwnd = hwnd_.load();
  if (!hwnd) return;
  if (delay_ms == 0) {
    next_actions_.push_back(std::move(action));
    PostMessageW(hwnd, kDeferred, 0, 0);
    return;
  }
  const std::uintptr_t id = kFirstPrivateTimer + next_private_timer_++;
  delayed_actions_[id] = std::move(action);
  ::SetTimer(hwnd, id, delay_ms, nullptr);
}

void Win32DialogWindow::SetText(int id, const std::wstring& text) {
  HWND hwnd = hwnd_.load();
  HWND target = id == control::kCaption ? hwnd : Control(id);
  if (!target) return;
  SetWindowTextW(target, text.c_str());
  texts_[id] = text;
  face_changed();
}

std::wstring Win32DialogWindow::Text(int id) const {
  if (auto it = texts_.find(id); it != texts_.end()) return it->second;
  HWND hwnd = hwnd_.load();
  HWND target = id == control::kCaption ? hwnd : Control(id);
  if (!target) return {};
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(target)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(target, text.data(), static_cast<int>(text.size()))));
  return text;
}

void Win32DialogWindow::Show(int id, bool visible) {
  HWND item = Control(id);
  if (!item) return;
  ShowWindow(item, visible ? SW_SHOW : SW_HIDE);
  face_changed();
}

void Win32DialogWindow::SetProgressRange(std::uint32_t low, std::uint32_t high) {
  // The control counts in signed 32-bit values; the dialog's ranges start at 0 and stay far below.
  HWND bar = Control(control::kProgress);
  progress_low_ = low;
  progress_high_ = std::max(low, high);
  SendMessageW(bar, PBM_SETRANGE32, low, progress_high_);
  // The control keeps its position within the new range.
  progress_position_ = std::clamp(progress_position_, progress_low_, progress_high_);
  drawn_position_ = static_cast<std::uint32_t>(SendMessageW(bar, PBM_GETPOS, 0, 0));
  face_changed();
}

void Win32DialogWindow::SetProgressStep(std::uint32_t step) {
  SendMessageW(Control(control::kProgress), PBM_SETSTEP, step, 0);
}

std::uint32_t Win32DialogWindow::ProgressPosition() const { return progress_position_; }

// The control repaints itself at once for every new position, which costs far more than a packet's
// round trip; a step too small to move its bar by a pixel is therefore kept here until one does.
void Win32DialogWindow::SetProgressPosition(std::uint32_t position) {
  progress_position_ = std::clamp(position, progress_low_, progress_high_);
  HWND bar = Control(control::kProgress);
  RECT client{};
  GetClientRect(bar, &client);
  const int width = static_cast<int>(client.right - client.left);
  if (filled_width(progress_position_, width) != filled_width(drawn_position_, width)) {
    SendMessageW(bar, PBM_SETPOS, progress_position_, 0);
    drawn_position_ = progress_position_;
  }
  face_changed();
}

int Win32DialogWindow::filled_width(std::uint32_t position, int width) const {
  const std::uint64_t span = progress_high_ - progress_low_;
  if (span == 0 || width <= 0) return position > progress_low_ ? 1 : 0;
  const std::uint64_t done = std::clamp(position, progress_low_, progress_high_) - progress_low_;
  return static_cast<int>(done * static_cast<std::uint64_t>(width) / span);
}

void Win32DialogWindow::AddListLine(const std::wstring& line) {
  SendMessageW(Control(control::kReleaseNotes), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

void Win32DialogWindow::SetListHorizontalExtent(int pixels) {
  SendMessageW(Control(control::kReleaseNotes), LB_SETHORIZONTALEXTENT, std::max(0, pixels), 0);
}

void Win32DialogWindow::SetWindowIcons() {
  HWND hwnd = hwnd_.load();
  HICON big_one = static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(kApplicationIcon), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  HICON small_one = static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(kApplicationIcon), IMAGE_ICON,
                                                  GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_one));
  SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_one));
  // The window lets go of the earlier icons only once it has the new ones.
  if (big_icon_) DestroyIcon(big_icon_);
  if (small_icon_) DestroyIcon(small_icon_);
  big_icon_ = big_one;
  small_icon_ = small_one;
}

void Win32DialogWindow::SetProductPicture() {
  HICON picture = static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(kProductPictureIcon), IMAGE_ICON,
                                                kProductPictureWidth, kProductPictureHeight, 0));
  if (!picture) return;
  SendMessageW(Control(control::kPicture), STM_SETICON, reinterpret_cast<WPARAM>(picture), 0);
  if (picture_) DestroyIcon(picture_);
  picture_ = picture;
  face_changed();
}

void Win32DialogWindow::MakeStatusTextBold() {
  HWND status = Control(control::kStatus);
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(status, WM_GETFONT, 0, 0));
  if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  LOGFONTW description{};
  if (!GetObjectW(font, sizeof(description), &description)) return;
  description.lfWeight = FW_BOLD;
  HFONT bold = CreateFontIndirectW(&description);
  if (!bold) return;
  SendMessageW(status, WM_SETFONT, reinterpret_cast<WPARAM>(bold), TRUE);
  // The control may hold the previous bold copy until it has the new one.
  if (bold_font_) DeleteObject(bold_font_);
  bold_font_ = bold;
  face_changed();
}

void Win32DialogWindow::SetTimer(std::uint32_t id, std::uint32_t period_ms) {
  HWND hwnd = hwnd_.load();
  if (!hwnd) return;
  if (period_ms == 0) {
    PostMessageW(hwnd, kZeroTimer, id, 0);
  } else if (GetWindowThreadProcessId(hwnd, nullptr) != GetCurrentThreadId()) {
    PostMessageW(hwnd, kTimerRequest, id, static_cast<LPARAM>(period_ms));
  } else {
    start_timer(id, period_ms);
  }
}

void Win32DialogWindow::start_timer(std::uint32_t id, std::uint32_t period_ms) {
  HWND hwnd = hwnd_.load();
  if (!hwnd) return;
  const std::uint64_t now = GetTickCount64();
  auto it = running_timers_.find(id);
  // Its system timer fires no later than the new due time; on_timer gives it the rest then.
  if (it != running_timers_.end() && it->second.period == period_ms) {
    it->second.due = now + period_ms;
    return;
  }
  if (::SetTimer(hwnd, id, period_ms, nullptr)) running_timers_[id] = {period_ms, now + period_ms, period_ms};
}

// Only a timer that was started has anything to stop: a zero-period request never makes one, and
// asking the system to stop a timer that does not exist costs as much as stopping one.
void Win32DialogWindow::KillTimer(std::uint32_t id) {
  if (running_timers_.erase(id) == 0) return;
  if (HWND hwnd = hwnd_.load()) ::KillTimer(hwnd, id);
}

void Win32DialogWindow::PostMessage(std::uint32_t message, std::uintptr_t wparam) {
  HWND hwnd = hwnd_.load();
  if (hwnd) PostMessageW(hwnd, kPostedMessage, wparam, static_cast<LPARAM>(message));
}

// Ends the modal run from the queue, after what is already posted, as the quit message would.
void Win32DialogWindow::PostQuit(int exit_code) {
  HWND hwnd = hwnd_.load();
  if (hwnd) PostMessageW(hwnd, kQuit, static_cast<WPARAM>(exit_code), 0);
}

void Win32DialogWindow::EndDialog(int result) {
  HWND hwnd = hwnd_.load();
  if (hwnd) ::EndDialog(hwnd, result);
}

void Win32DialogWindow::face_changed() {
  if (observer_) observer_->OnFaceChanged();
}

}  // namespace vorn::win32

#pragma once
// The update dialog as a Win32 dialog made from template 102: controls by their ids, window timers
// as SetTimer timers by id, posted messages through the window's queue, and the modal run as
// DialogBoxParam. It implements IDialogWindow and nothing more; the dialog's logic answers through
// IDialogInputs.
//
// A zero-period timer, which the library's run-loop trigger asks for, is handed over as a posted
// message rather than a window timer: Windows runs a window timer at 10 ms at the least and in
// steps of about 15.6 ms, which over an update's eleven thousand packets would add minutes. Each
// request is one expiry, delivered in order and never lost.
//
// The progress control repaints itself at once for each new position; it is given one only when
// its bar would be drawn a pixel longer or shorter, while ProgressPosition answers with the exact one.
//
// Each call into the window system is a round trip to it (under Wine, to another process), and the
// dialog's logic makes several for every packet of an update: the controls are therefore looked up
// once when the dialog starts, and a timer restarted with its own period before it is due only
// moves its due time, the system timer being given the rest when it fires.
//
// Threads: everything runs on the thread that runs the dialog, except SetTimer, which any thread
// may call and which is carried to the dialog's thread. Whoever calls SetTimer from another thread
// must stop doing so before the dialog ends.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>

#include "app/IDialogInputs.h"
#include "app/IDialogWindow.h"

struct HWND__;
struct HICON__;
struct HFONT__;
struct HINSTANCE__;

namespace vorn::win32 {

// The resource id of the dialog's template.
inline constexpr int kDialogTemplate = 102;
// The resource ids of the application icon and the product picture.
inline constexpr int kApplicationIcon = 128;
inline constexpr int kProductPictureIcon = 1007;
// The product picture's size in pixels.
inline constexpr int kProductPictureWidth = 126;
inline constexpr int kProductPictureHeight = 85;

// Told of what the dialog's logic changes on the face, after the change; on the dialog's thread.
class WindowObserver {
 public:
  virtual ~WindowObserver() = default;
  virtual void OnFaceChanged() = 0;
};

class Win32DialogWindow : public IDialogWindow {
 public:
  // A progress control's range until it is given one.
  static constexpr std::uint32_t kDefaultProgressHigh = 100;

  // The template, icons and picture come from `module` (the program itself when null).
  explicit Win32DialogWindow(HINSTANCE__* module = nullptr);
  ~Win32DialogWindow() override;
  Win32DialogWindow(const Win32DialogWindow&) = delete;
  Win32DialogWindow& operator=(const Win32DialogWindow&) = delete;

  // Creates the dialog, initialises `inputs` and runs the dialog modally until EndDialog or
  // PostQuit; returns their result, or -1 when the dialog could not be created. Timers still
  // running at the end die with the window, and later requests reach nobody.
  int RunModal(IDialogInputs& inputs);

  void SetObserver(WindowObserver* observer) { observer_ = observer; }

  // While the dialog runs: its window, a control by its template id (null for an unknown id).
  HWND__* Handle() const { return hwnd_.load(); }
  HWND__* Control(int id) const;
  std::uint32_t ProgressHigh() const { return progress_high_; }
  // A control's text (the caption's for control::kCaption): the last one SetText gave it, else the
  // control's own; asking the control costs a message for each look, which adds up for an observer
  // that looks at every change of the face.
  std::wstring Text(int id) const;
  bool TimerRunning(std::uint32_t id) const { return running_timers_.count(id) != 0; }
  // Calls `action` on the dialog's thread as soon as the message being handled has been handled,
  // before the next one is taken from the queue (on the next turn of the loop when none is being
  // handled), unless the dialog has ended by then.
  void AfterCurrentMessage(std::function<void()> action);
  // Calls `action` on the dialog's thread on a later turn of the loop (`delay_ms` 0) or after
  // `delay_ms`, unless the dialog has ended by then.
  void Defer(std::uint32_t delay_ms, std::function<void()> action);

  void SetText(int control, const std::wstring& text) override;
  void Show(int control, bool visible) override;
  void SetProgressRange(std::uint32_t low, std::uint32_t high) override;
  void SetProgressStep(std::uint32_t step) override;
  std::uint32_t ProgressPosition() const override;
  void SetProgressPosition(std::uint32_t position) override;
  void AddListLine(const std::wstring& line) override;
  void SetListHorizontalExtent(int pixels) override;
  void SetWindowIcons() override;
  void SetProductPicture() override;
  void MakeStatusTextBold() override;
  void SetTimer(std::uint32_t id, std::uint32_t period_ms) override;
  void KillTimer(std::uint32_t id) override;
  void PostMessage(std::uint32_t message, std::uintptr_t wparam) override;
  void PostQuit(int exit_code) override;
  void EndDialog(int result) override;

 private:
  static std::intptr_t __stdcall DialogProc(HWND__* hwnd, unsigned message, std::uintptr_t wparam,
                                            std::intptr_t lparam);
  std::intptr_t handle(unsigned message, std::uintptr_t wparam, std::intptr_t lparam);
  std::intptr_t dispatch(unsigned message, std::uintptr_t wparam, std::intptr_t lparam);
  void run_after_message();
  void on_command(int id, int code);
  void on_timer(std::uintptr_t id);
  bool paint_minimised();
  void start_timer(std::uint32_t id, std::uint32_t period_ms);
  // How many of the bar's `width` pixels `position` fills.
  int filled_width(std::uint32_t position, int width) const;
  void face_changed();
  void release_resources();

  HINSTANCE__* module_;
  IDialogInputs* inputs_ = nullptr;
  WindowObserver* observer_ = nullptr;
  std::atomic<HWND__*> hwnd_{nullptr};
  HICON__* big_icon_ = nullptr;
  HICON__* small_icon_ = nullptr;
  HICON__* picture_ = nullptr;
  HFONT__* bold_font_ = nullptr;
  // The progress range and position as the dialog's logic set them, and the position the control
  // was last given, which lags by less than a pixel of the bar.
  std::uint32_t progress_low_ = 0;
  std::uint32_t progress_high_ = kDefaultProgressHigh;
  std::uint32_t progress_position_ = 0;
  std::uint32_t drawn_position_ = 0;
  std::map<int, std::wstring> texts_;
  // The template's controls by id, filled as the dialog starts and constant while it runs.
  std::map<int, HWND__*> controls_;
  // A running timer: the period the dialog's logic asked for, when it is due (system tick count),
  // and the elapse its system timer was last given (the period, or the rest of a moved due time).
  struct RunningTimer {
    std::uint32_t period;
    std::uint64_t due;
    std::uint32_t armed;
  };
  std::map<std::uint32_t, RunningTimer> running_timers_;
  // Deferred actions: those for the end of the current message and for the next turn of the loop
  // in order, the delayed ones by the private timer that runs them.
  int handling_depth_ = 0;
  bool running_after_message_ = false;
  std::deque<std::function<void()>> after_message_;
  std::deque<std::function<void()>> next_actions_;
  std::map<std::uintptr_t, std::function<void()>> delayed_actions_;
  std::uintptr_t next_private_timer_ = 0;
};

}  // namespace vorn::win32

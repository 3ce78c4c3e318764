#pragma once
// The window that the update dialog drives: controls by their template ids, texts, visibility, the
// progress bar, the release-note list, window timers by id, posted messages and the end of the
// modal run. The Win32 dialog and the Qt window implement it and nothing more; tests script it.
// Every operation is called on the dialog's thread, except SetTimer for the run-loop timer, which
// the library's trigger starts from whatever thread it is on.

#include <cstdint>
#include <string>

namespace vorn {

// Control ids of dialog template 102; kCaption stands for the dialog's own caption.
namespace control {
inline constexpr int kCaption = 0;
inline constexpr int kProgress = 1000;
inline constexpr int kIntro = 1001;
inline constexpr int kReleaseNotes = 1002;
inline constexpr int kNotesHeading = 1003;
inline constexpr int kStatus = 1004;
inline constexpr int kClose = 1005;
inline constexpr int kWarning = 1006;
inline constexpr int kPicture = 1007;
inline constexpr int kStart = 1008;
}  // namespace control

// The message the controller posts to itself to switch state later (WM_USER + 1).
inline constexpr std::uint32_t kSwitchStateMessage = 0x0401;

// The modal results of the dialog's end.
inline constexpr int kResultOk = 1;      // IDOK
inline constexpr int kResultCancel = 2;  // IDCANCEL

class IDialogWindow {
 public:
  virtual ~IDialogWindow() = default;

  // The window text of a control, or the caption for control::kCaption.
  virtual void SetText(int control, const std::wstring& text) = 0;
  virtual void Show(int control, bool visible) = 0;

  // The progress bar (control 1000): range, step, position.
  virtual void SetProgressRange(std::uint32_t low, std::uint32_t high) = 0;
  virtual void SetProgressStep(std::uint32_t step) = 0;
  virtual std::uint32_t ProgressPosition() const = 0;
  virtual void SetProgressPosition(std::uint32_t position) = 0;

  // The release-note list (control 1002): one more line; the width it can be scrolled across.
  virtual void AddListLine(const std::wstring& line) = 0;
  virtual void SetListHorizontalExtent(int pixels) = 0;

  // The face: the application icon as big and small window icon, the product picture in control
  // 1007, and a bold copy of the status text's font that lasts as long as the window.
  virtual void SetWindowIcons() = 0;
  virtual void SetProductPicture() = 0;
  virtual void MakeStatusTextBold() = 0;

  // Window timers. A running timer fires every `period_ms` on the dialog's thread until killed;
  // starting one that runs restarts its period. Killing a timer that is not running does nothing.
  virtual void SetTimer(std::uint32_t id, std::uint32_t period_ms) = 0;
  virtual void KillTimer(std::uint32_t id) = 0;

  // Queued for the dialog's thread; handled after the current handler returns, in posting order.
  virtual void PostMessage(std::uint32_t message, std::uintptr_t wparam) = 0;
  // Ends the modal loop as the quit message does; the run's result is `exit_code`.
  virtual void PostQuit(int exit_code) = 0;
  // Ends the modal run with kResultOk or kResultCancel.
  virtual void EndDialog(int result) = 0;
};

}  // namespace vorn

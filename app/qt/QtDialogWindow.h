#pragma once
// The update dialog as a Qt dialog: the controls of template 102 at their converted positions,
// window timers as QTimers, posted messages as queued calls, and the modal run as QDialog::exec.
// It implements IDialogWindow and nothing more; the dialog's logic answers through IDialogInputs.
//
// Threads: everything runs on the thread that made the window, except SetTimer, which any thread
// may call (the library's run-loop trigger does) and which is carried to the window's thread.
// Whoever calls SetTimer from another thread must stop doing so before the window is destroyed.

#include <QDialog>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "app/IDialogInputs.h"
#include "app/IDialogWindow.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTimer;

namespace vorn::qt {

// Told of what the dialog's logic changes on the face, after the change; on the window's thread.
class WindowObserver {
 public:
  virtual ~WindowObserver() = default;
  virtual void OnFaceChanged() = 0;
};

class QtDialogWindow : public QDialog, public IDialogWindow {
 public:
  explicit QtDialogWindow(QWidget* parent = nullptr);
  ~QtDialogWindow() override;

  // Initialises `inputs`, shows the window and runs it until EndDialog or PostQuit; returns their
  // result. Timers still running at the end are stopped and later expiries or posted messages
  // reach nobody.
  int RunModal(IDialogInputs& inputs);

  void SetObserver(WindowObserver* observer) { observer_ = observer; }

  // A control by its template id; null for an unknown id.
  QWidget* Control(int id) const;
  std::uint32_t ProgressHigh() const { return progress_high_; }
  bool TimerRunning(std::uint32_t id) const;

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

  // Enter, Esc and the close box go to the dialog's logic, which decides whether the window ends.
  void accept() override;
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void build_controls();
  void apply_list_extent();
  void face_changed();

  IDialogInputs* inputs_ = nullptr;
  WindowObserver* observer_ = nullptr;
  std::map<int, QWidget*> controls_;
  QLabel* status_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QListWidget* list_ = nullptr;
  QLabel* picture_ = nullptr;
  std::uint32_t progress_low_ = 0;
  std::uint32_t progress_high_ = 100;
  std::uint32_t progress_position_ = 0;
  int list_extent_ = 0;
  bool ended_ = false;
  int end_result_ = 0;
  std::map<std::uint32_t, std::unique_ptr<QTimer>> timers_;
};

}  // namespace vorn::qt

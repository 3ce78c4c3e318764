#pragma once
// A window for the update dialog's logic that records what it is told and runs on a manual clock:
// timers only fire when its driver fires them, posted messages wait until the driver pumps them. A
// driver that keeps time itself (the soak runs) asks which timers' periods have passed. The library
// may start the run-loop timer from its own threads, so everything is guarded, and a driver can
// wait for that timer.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/IDialogWindow.h"

namespace vorn {

struct PostedMessage {
  std::uint32_t message;
  std::uintptr_t wparam;
};

class ScriptedWindow : public IDialogWindow {
 public:
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

  // What the window shows.
  std::wstring text(int control) const;
  // Every text the status control was given, in order.
  std::vector<std::wstring> status_history() const;
  bool visible(int control) const;  // controls start as the template has them
  std::uint32_t progress_low() const;
  std::uint32_t progress_high() const;
  std::uint32_t progress_step() const;
  std::vector<std::wstring> list_lines() const;
  int list_extent() const;
  bool icons_set() const;
  bool picture_set() const;
  bool status_bold() const;

  // Timers: whether one runs, and its period.
  bool running(std::uint32_t id) const;
  std::optional<std::uint32_t> period(std::uint32_t id) const;
  // A running timer whose period has passed by `now` since it was started or last taken here; its
  // period starts again at `now`. Lowest id first when several are due.
  std::optional<std::uint32_t> take_due_timer(std::chrono::steady_clock::time_point now);

  // The oldest posted message, taken off the queue.
  std::optional<PostedMessage> take_message();
  std::size_t posted_count() const;

  // How the modal run ended, if it did.
  std::optional<int> quit_code() const;
  std::optional<int> end_result() const;

  // Waits until the run-loop timer runs or a message is posted, at most `limit`.
  bool wait_for_work(std::chrono::milliseconds limit);

 private:
  mutable std::mutex mutex_;
  std::condition_variable work_;
  std::map<int, std::wstring> texts_;
  std::vector<std::wstring> status_history_;
  std::map<int, bool> visible_;
  std::uint32_t low_ = 0;
  std::uint32_t high_ = 100;
  std::uint32_t step_ = 10;
  std::uint32_t position_ = 0;
  std::vector<std::wstring> list_;
  int extent_ = 0;
  bool icons_ = false;
  bool picture_ = false;
  bool bold_ = false;
  struct Timer {
    std::uint32_t period_ms;
    std::chrono::steady_clock::time_point started;
  };
  std::map<std::uint32_t, Timer> timers_;
  std::deque<PostedMessage> posted_;
  std::optional<int> quit_;
  std::optional<int> end_;
};

}  // namespace vorn

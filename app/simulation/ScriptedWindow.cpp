#include "app/simulation/ScriptedWindow.h"

#include "app/CVornDFUDlg.h"

namespace vorn {

using Lock = std::lock_guard<std::mutex>;

void ScriptedWindow::SetText(int control, const std::wstring& text) {
  Lock lock(mutex_);
  texts_[control] = text;
  if (control == control::kStatus) status_history_.push_back(text);
}

void ScriptedWindow::Show(int control, bool visible) {
  Lock lock(mutex_);
  visible_[control] = visible;
}

void ScriptedWindow::SetProgressRange(std::uint32_t low, std::uint32_t high) {
  Lock lock(mutex_);
  low_ = low;
  high_ = high;
}

void ScriptedWindow::SetProgressStep(std::uint32_t step) {
  Lock lock(mutex_);
  step_ = step;
}

std::uint32_t ScriptedWindow::ProgressPosition() const {
  Lock lock(mutex_);
  return position_;
}

// A progress bar keeps its position within its range.
void ScriptedWindow::SetProgressPosition(std::uint32_t position) {
  Lock lock(mutex_);
  position_ = position < low_ ? low_ : position > high_ ? high_ : position;
}

void ScriptedWindow::AddListLine(const std::wstring& line) {
  Lock lock(mutex_);
  list_.push_back(line);
}

void ScriptedWindow::SetListHorizontalExtent(int pixels) {
  Lock lock(mutex_);
  extent_ = pixels;
}

void ScriptedWindow::SetWindowIcons() {
  Lock lock(mutex_);
  icons_ = true;
}

void ScriptedWindow::SetProductPicture() {
  Lock lock(mutex_);
  picture_ = true;
}

void ScriptedWindow::MakeStatusTextBold() {
  Lock lock(mutex_);
  bold_ = true;
}

void ScriptedWindow::SetTimer(std::uint32_t id, std::uint32_t period_ms) {
  {
    Lock lock(mutex_);
    timers_[id] = {period_ms, std::chrono::steady_clock::now()};
  }
  work_.notify_all();
}

void ScriptedWindow::KillTimer(std::uint32_t id) {
  Lock lock(mutex_);
  timers_.erase(id);
}

void ScriptedWindow::PostMessage(std::uint32_t message, std::uintptr_t wparam) {
  {
    Lock lock(mutex_);
    posted_.push_back({message, wparam});
  }
  work_.notify_all();
}

void ScriptedWindow::PostQuit(int exit_code) {
  Lock lock(mutex_);
  quit_ = exit_code;
}

void ScriptedWindow::EndDialog(int result) {
  Lock lock(mutex_);
  end_ = result;
}

std::wstring ScriptedWindow::text(int control) const {
  Lock lock(mutex_);
  auto it = texts_.find(control);
  return it == texts_.end() ? std::wstring() : it->second;
}

std::vector<std::wstring> ScriptedWindow::status_history() const {
  Lock lock(mutex_);
  return status_history_;
}

bool ScriptedWindow::visible(int control) const {
  Lock lock(mutex_);
  auto it = visible_.find(control);
  if (it != visible_.end()) return it->second;
  return control != control::kProgress && control != control::kClose && control != control::kStart;
}

std::uint32_t ScriptedWindow::progress_low() const {
  Lock lock(mutex_);
  return low_;
}

std::uint32_t ScriptedWindow::progress_high() const {
  Lock lock(mutex_);
  return high_;
}

std::uint32_t ScriptedWindow::progress_step() const {
  Lock lock(mutex_);
  return step_;
}

std::vector<std::wstring> ScriptedWindow::list_lines() const {
  Lock lock(mutex_);
  return list_;
}

int ScriptedWindow::list_extent() const {
  Lock lock(mutex_);
  return extent_;
}

bool ScriptedWindow::icons_set() const {
  Lock lock(mutex_);
  return icons_;
}

bool ScriptedWindow::picture_set() const {
  Lock lock(mutex_);
  return picture_;
}

bool ScriptedWindow::status_bold() const {
  Lock lock(mutex_);
  return bold_;
}

bool ScriptedWindow::running(std::uint32_t id) const {
  Lock lock(mutex_);
  return timers_.count(id) != 0;
}

std::optional<std::uint32_t> ScriptedWindow::period(std::uint32_t id) const {
  Lock lock(mutex_);
  auto it = timers_.find(id);
  if (it == timers_.end()) return std::nullopt;
  return it->second.period_ms;
}

std::optional<std::uint32_t> ScriptedWindow::take_due_timer(std::chrono::steady_clock::time_point now) {
  Lock lock(mutex_);
  for (auto& [id, timer] : timers_) {
    if (now - timer.started >= std::chrono::milliseconds(timer.period_ms)) {
      timer.started = now;
      return id;
    }
  }
  return std::nullopt;
}

std::optional<PostedMessage> ScriptedWindow::take_message() {
  Lock lock(mutex_);
  if (posted_.empty()) return std::nullopt;
  PostedMessage next = posted_.front();
  posted_.pop_front();
  return next;
}

std::size_t ScriptedWindow::posted_count() const {
  Lock lock(mutex_);
  return posted_.size();
}

std::optional<int> ScriptedWindow::quit_code() const {
  Lock lock(mutex_);
  return quit_;
}

std::optional<int> ScriptedWindow::end_result() const {
  Lock lock(mutex_);
  return end_;
}

bool ScriptedWindow::wait_for_work(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return work_.wait_for(lock, limit, [this] { return timers_.count(timer::kRunLoop) != 0 || !posted_.empty(); });
}

}  // namespace vorn

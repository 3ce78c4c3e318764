// The read thread's side of the engine: which report answers the pending request, and which
// software ids other programs use, so that ours can move away from theirs.

#include "dovod/LastError.h"
#include "protocol/CommandEngine.h"
#include "protocol/DeviceLog.h"
#include "protocol/DeviceTuning.h"

namespace dovod {
namespace {

constexpr Byte kVxp10Error = 0x8F;
constexpr Byte kVxp20Error = 0xFF;

Byte at(const Bytes& message, std::size_t index) { return index < message.size() ? message[index] : 0; }

}  // namespace

int CommandEngine::random(int lo, int hi) { return lo + device_rand() % (hi - lo + 1); }

int CommandEngine::swid() {
  int value = swid_.load();
  if (value != 0) return value;
  value = host_.manager_swid() & 0x0F;
  if (value == 0) return 15;
  int expected = 0;
  swid_.compare_exchange_strong(expected, value);
  return swid_.load();
}

void CommandEngine::reselect_swid() {
  std::lock_guard<std::mutex> lock(swid_mutex_);
  int best = 15;
  for (int id = 15; id >= 1; --id) {
    if (swid_last_seen_[id] < swid_last_seen_[best]) best = id;
  }
  swid_ = best;
  swid_reselect_ = false;
}

void CommandEngine::note_report_received() {
  {
    std::lock_guard<std::mutex> lock(last_report_mutex_);
    last_report_ = Clock::now();
  }
  silent_ = false;
}

CommandEngine::Clock::time_point CommandEngine::last_report() const {
  std::lock_guard<std::mutex> lock(last_report_mutex_);
  return last_report_;
}

void CommandEngine::end_brb_workaround() {
  if (!brb_active_) return;
  DEV_LOG(LOG_INFO, "onConnect", "Deactivating brb workaround");
  brb_active_ = false;
}

bool CommandEngine::matches_pending(const Bytes& report, const Bytes& request, const std::vector<int>& echo) const {
  for (std::size_t i = 1; i <= 3; ++i) {
    if (at(report, i) != at(request, i)) return false;
  }
  for (int k : echo) {
    if (k < 0) continue;
    const std::size_t position = 4 + static_cast<std::size_t>(k);
    if (at(report, position) != at(request, position)) return false;
  }
  return true;
}

bool CommandEngine::is_error_reply_for(const Bytes& report, const Bytes& request) const {
  if (report[2] == kVxp10Error) {
    const bool index_matches = report[1] == at(request, 1) || (report[1] == 0 && at(request, 1) == 0xFF);
    return index_matches && report[3] == at(request, 2) && report[4] == at(request, 3);
  }
  if (report[2] == kVxp20Error) {
    return report[1] == at(request, 1) && report[3] == at(request, 2) && report[4] == at(request, 3);
  }
  return false;
}

bool CommandEngine::complete_pending(const Bytes& report) {
  std::unique_lock<std::mutex> lock(cmd_mutex_);
  if (read_completed_ || pending_.empty()) {
    DEV_LOG(LOG_DEBUG, "onReadHandler", "No command in progress");
    return false;
  }
  bool complete = false;
  if (is_error_reply_for(report, pending_)) {
    DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is a Vexa error response");
    complete = true;
  } else if (matches_pending(report, pending_, {})) {
    if (matches_pending(report, pending_, echo_positions_)) {
      DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is a Vexa command response");
      complete = true;
    } else {
      DEV_LOG(LOG_DEBUG, "onReadHandler",
              "Response with mismatched payload does not complete our pending command. Continuing decoding...");
    }
  } else {
    DEV_LOG(LOG_DEBUG, "onReadHandler",
            "Response with mismatched header does not complete our pending command. Continuing decoding... (!)");
  }
  if (!complete && brb_enabled_ && !brb_active_ && !last_request_.empty() &&
      matches_pending(report, last_request_, last_echo_positions_)) {
    DEV_LOG(LOG_INFO, "onReadHandler", "Response matches previous command. Activating brb workaround.");
    brb_active_ = true;
    brb_initiated_ = true;
    complete = true;
  }
  if (!complete) {
    DEV_LOG(LOG_DEBUG, "onReadHandler", "Command in progress, size is %d", static_cast<int>(pending_.size()));
    return false;
  }
  response_ = report;
  read_completed_ = true;
  lock.unlock();
  cmd_done_.notify_all();
  return true;
}

void CommandEngine::note_foreign_reply(unsigned swid) {
  if (swid == static_cast<unsigned>(swid_.load())) {
    DEV_LOG(LOG_INFO, "onReadHandler", "Report is an unexpected command response with our swid 0x%x, so we will switch our swid",
            swid);
    swid_reselect_ = true;
    need_ping_ = true;
  }
  std::lock_guard<std::mutex> lock(swid_mutex_);
  swid_last_seen_[swid] = ++swid_stamp_;
}

}  // namespace dovod

// One request written and its reply awaited: the pending record that the read thread completes,
// error replies and silence turned into error codes, and the cross-process mutex around it all.

#include "protocol/CommandEngine.h"

#include "dovod/LastError.h"
#include "protocol/DeviceLog.h"
#include "protocol/DeviceTuning.h"

namespace dovod {
namespace {

constexpr Byte kVxp10Error = 0x8F;
constexpr Byte kVxp20Error = 0xFF;

// Releases the cross-process mutex on every path out of a command attempt.
class NamedMutexHold {
 public:
  NamedMutexHold(platform::NamedMutex& mutex, bool open, std::chrono::milliseconds limit)
      : mutex_(mutex), held_(open && mutex.lock_for(limit)) {}
  bool held() const { return held_; }
  ~NamedMutexHold() {
    if (held_) mutex_.unlock();
  }
  NamedMutexHold(const NamedMutexHold&) = delete;
  NamedMutexHold& operator=(const NamedMutexHold&) = delete;

 private:
  platform::NamedMutex& mutex_;
  const bool held_;
};

}  // namespace

CommandEngine::CommandEngine(ICommandEngineHost& host, std::shared_ptr<IHardwareDevice> hwdev)
    : host_(host), hwdev_(std::move(hwdev)) {}

bool CommandEngine::open_named_mutex(const std::string& name) {
  named_mutex_wanted_ = true;
  named_mutex_open_ = named_mutex_.init(name);
  return named_mutex_open_;
}

void CommandEngine::report_failure(ErrorCode code, unsigned third, unsigned long system_error) {
  set_last_error(code, system_error);
  host_.report_write_failure(code, third);
  set_last_error(code, system_error);
}

bool CommandEngine::send(const Bytes& request, bool subscribe_first) {
  if (abandoned_) {
    DEV_LOG(LOG_WARNING, "sendCommand", "Device::sendCommand() - abandoned!");
    set_last_error(ErrorCode::Abandoned);
    return false;
  }
  if (host_.removed()) {
    DEV_LOG(LOG_WARNING, "sendCommand", "Device::sendCommand() - removed!");
    set_last_error(ErrorCode::DeviceRemoved);
    return false;
  }
  if (!hwdev_->connected()) {
    DEV_LOG(LOG_WARNING, "sendCommand", "Device::sendCommand() - hardware device not open!");
    set_last_error(ErrorCode::InvalidDeviceHandle);
    return false;
  }
  if (subscribe_first && !host_.ensure_subscribed()) return false;
  if (!hwdev_->write(request, subscribe_first)) {
    DEV_LOG(LOG_WARNING, "sendCommand", "Device::sendCommand() - hwdev->write() failed, errcode = %d!",
            to_int(last_error().code));
    return false;
  }
  return true;
}

bool CommandEngine::send_once(const Bytes& request, Bytes& reply, const std::vector<int>& echo_positions) {
  // Subscribing takes the hardware device's producer lock, under which replies arrive and take the
  // command mutex; so it happens before the command mutex is taken.
  if (!abandoned_ && !host_.removed()) host_.ensure_subscribed();
  NamedMutexHold named(named_mutex_, named_mutex_open_, std::chrono::milliseconds(device_tuning().named_mutex_wait_ms));
  if (named_mutex_wanted_ && !named.held()) {
    // Going ahead without it would let this program's requests cross another's on the channel.
    const LastError failure = last_error();
    DEV_LOG(LOG_WARNING, "sendSynchronousCommandWithoutRetry",
            "sendSynchronousCommandWithoutRetry could not take the named mutex: %s",
            failure.message ? failure.message : "not open");
    report_failure(ErrorCode::NotAvailable, 0, named_mutex_open_ ? failure.system_error : 0);
    return false;
  }
  std::unique_lock<std::mutex> lock(cmd_mutex_);
  if (swid_reselect_ && host_.feature_based()) {
    lock.unlock();
    report_failure(ErrorCode::SwidCollision, static_cast<unsigned>(swid()));
    return false;
  }
  if (!write_pending(lock, request, echo_positions)) return false;

  if (brb_active_) {
    DEV_LOG(LOG_INFO, "sendSynchronousCommandWithoutRetry",
            "sendSynchronousCommandWithoutRetry brb workaround sending extra get protocol request to flush response");
    Bytes flush(7, 0);
    flush[3] = static_cast<Byte>(0x10 | (swid() & 0x0F));
    send(flush, false);
  }

  const int timeout_ms = hwdev_->command_timeout_ms();
  int elapsed_ms = 0;
  const AttemptOutcome outcome = wait_for_reply(lock, timeout_ms, elapsed_ms);
  return judge_outcome(outcome, reply, elapsed_ms, timeout_ms);
}

bool CommandEngine::write_pending(std::unique_lock<std::mutex>& lock, const Bytes& request,
                                  const std::vector<int>& echo_positions) {
  pending_ = request;
  echo_positions_ = echo_positions;
  read_completed_ = false;
  brb_initiated_ = false;

  hwdev_->before_synchronous_command();
  if (send(request, true)) return true;

  const LastError failure = last_error();
  DEV_LOG(LOG_WARNING, "sendSynchronousCommandWithoutRetry",
          "Device::sendSynchronousCommandWithoutRetry() - sendCommand failed!");
  const bool reachable = hwdev_->verify_connection_following_timeout();
  read_completed_ = true;
  remember_last_request();
  pending_.clear();
  lock.unlock();
  ErrorCode code = failure.code;
  if (!reachable) {
    DEV_LOG(LOG_WARNING, "sendSynchronousCommandWithoutRetry",
            "Device::sendSynchronousCommandWithoutRetry() - not connected after timeout!");
    code = ErrorCode::NotConnected;
    report_failure(code);
  } else {
    set_last_error(failure.code, failure.system_error, failure.message);
  }
  DEV_LOG(LOG_WARNING, "sendSynchronousCommandWithoutRetry", "sendSynchronousCommandWithoutRetry returning error %d",
          to_int(code));
  return false;
}

CommandEngine::AttemptOutcome CommandEngine::wait_for_reply(std::unique_lock<std::mutex>& lock, int timeout_ms,
                                                            int& elapsed_ms) {
  const auto start = Clock::now();
  cmd_done_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return read_completed_; });
  elapsed_ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
  remember_last_request();
  pending_.clear();
  AttemptOutcome outcome;
  outcome.completed = read_completed_;
  outcome.brb_initiated = brb_initiated_;
  outcome.abandoned = abandoned_;
  if (outcome.completed) outcome.response = response_;
  lock.unlock();
  return outcome;
}

void CommandEngine::remember_last_request() {
  if (!brb_enabled_) return;
  last_request_ = pending_;
  last_echo_positions_ = echo_positions_;
}

bool CommandEngine::judge_outcome(const AttemptOutcome& outcome, Bytes& reply, int elapsed_ms, int timeout_ms) {
  if (outcome.brb_initiated) {
    DEV_LOG(LOG_INFO, "sendSynchronousCommandWithoutRetry",
            "Device::_initiated_brb_workaround, returning no response to trigger a quick retry");
    report_failure(ErrorCode::NoResponse);
    return false;
  }
  if (outcome.abandoned) {
    DEV_LOG(LOG_WARNING, "sendSynchronousCommandWithoutRetry", "Device::sendSynchronousCommandWithoutRetry() - abandoned!");
    report_failure(ErrorCode::Abandoned);
    return false;
  }
  if (outcome.completed) {
    const Bytes& response = outcome.response;
    const unsigned error_byte = response.size() > 5 ? response[5] : 0;
    if (response.size() >= 4 && response[2] == kVxp10Error) {
      const int code = error_byte <= 12 ? to_int(ErrorCode::Vxp10ErrorFirst) + static_cast<int>(error_byte)
                                         : to_int(ErrorCode::Vxp10ErrorOther);
      report_failure(static_cast<ErrorCode>(code), 0, error_byte);
      return false;
    }
    if (response.size() >= 4 && response[2] == kVxp20Error) {
      const int code = error_byte <= 9 ? to_int(ErrorCode::Vxp20ErrorFirst) + static_cast<int>(error_byte)
                                        : to_int(ErrorCode::Vxp20ErrorOther);
      report_failure(static_cast<ErrorCode>(code), 0, error_byte);
      return false;
    }
    reply = response;
    DEV_LOG(LOG_DEBUG, "sendSynchronousCommandWithoutRetry", "pid %04x elapsed command time %d ms", hwdev_->pid(),
            elapsed_ms);
    return true;
  }
  DEV_LOG(LOG_WARNING, "sendSynchronousCommandWithoutRetry",
          "Device::sendSynchronousCommandWithoutRetry timeout, no response after %d ms, timeout was %d ms", elapsed_ms,
          timeout_ms);
  if (hwdev_->verify_connection_following_timeout()) {
    DEV_LOG(LOG_WARNING, "sendSynchronousCommandWithoutRetry", "Device::sendSynchronousCommandWithoutRetry() - no response!");
    report_failure(ErrorCode::NoResponse);
  } else {
    DEV_LOG(LOG_WARNING, "sendSynchronousCommandWithoutRetry",
            "Device::sendSynchronousCommandWithoutRetry() - not connected after timeout!");
    report_failure(ErrorCode::NotConnected);
  }
  return false;
}

void CommandEngine::abandon() {
  DEV_LOG(LOG_INFO, "abandon", "Device::abandon enter");
  abandoned_ = true;
  DEV_LOG(LOG_INFO, "abandon", "Device::abandon setting readCompleted_");
  {
    std::lock_guard<std::mutex> lock(cmd_mutex_);
    read_completed_ = true;
  }
  cmd_done_.notify_all();
  DEV_LOG(LOG_INFO, "abandon", "Device::abandon exit");
}

}  // namespace dovod

// The command engine: one request written, its reply awaited, error replies and silence turned into
// error codes, with pings, retries, software-id changes and the reply cache around it.

#include <thread>

#include "core/Timer.h"
#include "dovod/LastError.h"
#include "protocol/Device.h"
#include "protocol/DeviceLog.h"
#include "protocol/DeviceTuning.h"
#include "protocol/Feature.h"

namespace dovod {
namespace {

constexpr Byte kShortReport = 0x10;
constexpr Byte kVxp10Error = 0x8F;
constexpr Byte kVxp20Error = 0xFF;
constexpr Byte kCacheSwid = 0x0A;

Bytes with_swid(Bytes message, int swid) {
  if (message.size() > 3) message[3] = static_cast<Byte>((message[3] & 0xF0) | (swid & 0x0F));
  return message;
}

bool is_soft_command_error(ErrorCode code) {
  switch (code) {
    case ErrorCode::NoResponse: case ErrorCode::Vxp10ErrorBusy: case ErrorCode::Vxp10ErrorResource:
    case ErrorCode::Vxp20ErrorBusy: case ErrorCode::WriteDeviceGone: case ErrorCode::SwidCollision: return true;
    default: return false;
  }
}

bool is_soft_ping_error(ErrorCode code) {
  switch (code) {
    case ErrorCode::NoResponse: case ErrorCode::Vxp20ErrorBusy: case ErrorCode::WriteDeviceGone:
    case ErrorCode::SwidCollision: return true;
    default: return false;
  }
}

// Releases the cross-process mutex on every path out of a command attempt.
class NamedMutexHold {
 public:
  NamedMutexHold(platform::NamedMutex& mutex, bool open) : mutex_(mutex), held_(open && mutex.lock()) {}
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

int Device::swid() {
  int value = swid_.load();
  if (value != 0) return value;
  if (auto manager = manager_.lock()) value = manager->swid() & 0x0F;
  if (value == 0) return 15;
  int expected = 0;
  swid_.compare_exchange_strong(expected, value);
  return swid_.load();
}

void Device::reselect_swid() {
  std::lock_guard<std::mutex> lock(swid_mutex_);
  int best = 15;
  for (int id = 15; id >= 1; --id) {
    if (swid_last_seen_[id] < swid_last_seen_[best]) best = id;
  }
  swid_ = best;
  swid_reselect_ = false;
}

bool Device::has_features() {
  std::lock_guard<std::mutex> lock(features_mutex_);
  return !features_.empty();
}

std::shared_ptr<Feature> Device::feature_at(Byte index) {
  std::lock_guard<std::mutex> lock(features_mutex_);
  auto it = features_.find(index);
  return it == features_.end() ? nullptr : it->second;
}

void Device::report_failure(ErrorCode code, unsigned third, unsigned long system_error) {
  set_last_error(code, system_error);
  onWrite({}, code, third);
  // The write handler's subscribers may have used the thread's record; the caller reads this code.
  set_last_error(code, system_error);
}

bool Device::sendCommand(const Bytes& request, bool subscribe_first) {
  if (abandoned_) {
    DEV_LOG(LOG_WARNING, "sendCommand", "Device::sendCommand() - abandoned!");
    set_last_error(ErrorCode::Abandoned);
    return false;
  }
  if (removed_) {
    DEV_LOG(LOG_WARNING, "sendCommand", "Device::sendCommand() - removed!");
    set_last_error(ErrorCode::DeviceRemoved);
    return false;
  }
  if (!hwdev_->connected()) {
    DEV_LOG(LOG_WARNING, "sendCommand", "Device::sendCommand() - hardware device not open!");
    set_last_error(ErrorCode::InvalidDeviceHandle);
    return false;
  }
  if (subscribe_first && !ensure_hw_subscription()) return false;
  if (!hwdev_->write(request, subscribe_first)) {
    DEV_LOG(LOG_WARNING, "sendCommand", "Device::sendCommand() - hwdev->write() failed, errcode = %d!",
            to_int(last_error().code));
    return false;
  }
  return true;
}

bool Device::sendSynchronousCommandWithoutRetry(const Bytes& request, Bytes& reply,
                                                const std::vector<int>& echo_positions, bool) {
  // Subscribing takes the hardware device's producer lock, under which replies arrive and take the
  // command mutex; so it happens before the command mutex is taken.
  if (!abandoned_ && !removed_) ensure_hw_subscription();
  NamedMutexHold named(named_mutex_, named_mutex_open_);
  std::unique_lock<std::mutex> lock(cmd_mutex_);
  if (swid_reselect_ && has_features()) {
    lock.unlock();
    report_failure(ErrorCode::SwidCollision, static_cast<unsigned>(swid()));
    return false;
  }
  pending_ = request;
  echo_positions_ = echo_positions;
  read_completed_ = false;
  brb_initiated_ = false;

  hwdev_->before_synchronous_command();
  if (!sendCommand(request, true)) {
    const LastError failure = last_error();
    DEV_LOG(LOG_WARNING, "sendSynchronousCommandWithoutRetry",
            "Device::sendSynchronousCommandWithoutRetry() - sendCommand failed!");
    const bool reachable = hwdev_->verify_connection_following_timeout();
    read_completed_ = true;
    if (brb_enabled_) {
      last_request_ = pending_;
      last_echo_positions_ = echo_positions_;
    }
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

  if (brb_active_) {
    DEV_LOG(LOG_INFO, "sendSynchronousCommandWithoutRetry",
            "sendSynchronousCommandWithoutRetry brb workaround sending extra get protocol request to flush response");
    Bytes flush(7, 0);
    flush[3] = static_cast<Byte>(0x10 | (swid() & 0x0F));
    sendCommand(flush, false);
  }

  const int timeout_ms = hwdev_->command_timeout_ms();
  const auto start = Clock::now();
  cmd_done_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return read_completed_; });
  const auto elapsed_ms =
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
  if (brb_enabled_) {
    last_request_ = pending_;
    last_echo_positions_ = echo_positions_;
  }
  pending_.clear();
  const bool completed = read_completed_;
  const bool brb_initiated = brb_initiated_;
  const bool abandoned = abandoned_;
  const Bytes response = completed ? response_ : Bytes{};
  lock.unlock();

  if (brb_initiated) {
    DEV_LOG(LOG_INFO, "sendSynchronousCommandWithoutRetry",
            "Device::_initiated_brb_workaround, returning no response to trigger a quick retry");
    report_failure(ErrorCode::NoResponse);
    return false;
  }
  if (abandoned) {
    DEV_LOG(LOG_WARNING, "sendSynchronousCommandWithoutRetry", "Device::sendSynchronousCommandWithoutRetry() - abandoned!");
    report_failure(ErrorCode::Abandoned);
    return false;
  }
  if (completed) {
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
    DEV_LOG(LOG_DEBUG, "sendSynchronousCommandWithoutRetry", "pid %04x elapsed command time %d ms", pid(), elapsed_ms);
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

bool Device::cache_lookup(const Bytes& request, Bytes& reply) {
  std::lock_guard<std::mutex> lock(cache_mutex_);
  auto it = cache_.find(with_swid(request, kCacheSwid));
  if (it == cache_.end()) return false;
  reply = with_swid(it->second, swid());
  return true;
}

void Device::cache_store(const Bytes& request, const Bytes& reply) {
  {
    std::lock_guard<std::mutex> lock(cache_mutex_);
    cache_[with_swid(request, kCacheSwid)] = with_swid(reply, kCacheSwid);
    cache_dirty_ = true;
  }
  if (cache_write_timer_) cache_write_timer_->arm(device_tuning().cache_write_delay_ms);
}

void Device::prepare_ping(int attempt) {
  if (attempt > 0) {
    DEV_LOG(LOG_INFO, "sendSynchronousCommand", "delaying before ping");
    const DeviceTuning tuning = device_tuning();
    const long long jitter = tuning.ping_jitter_ms > 0 ? device_rand() % tuning.ping_jitter_ms : 0;
    const long long backoff = static_cast<long long>(tuning.ping_backoff_base_ms) << attempt;
    std::this_thread::sleep_for(std::chrono::milliseconds(jitter + backoff));
  }
  DEV_LOG(LOG_INFO, "sendSynchronousCommand", "sending ping");
  if (swid_reselect_) reselect_swid();
}

bool Device::sendSynchronousCommand(const Bytes& request, Bytes& reply, int cache_mode,
                                    const std::vector<int>& echo_positions) {
  DEV_LOG(LOG_DEBUG, "sendSynchronousCommand", "sendSynchronousCommand enter, dev=%s", name().c_str());
  if (request.size() > 3) {
    DEV_LOG(LOG_DEBUG, "sendSynchronousCommand", "sendSynchronousCommand cmd starts with %02x %02x %02x %02x",
            request[0], request[1], request[2], request[3]);
  }
  const bool cacheable = cache_mode == 1 && request.size() > 3 && request[2] < 0x80;
  if (cacheable) {
    if (cache_lookup(request, reply)) {
      DEV_LOG(LOG_DEBUG, "sendSynchronousCommand", "sendSynchronousCommand exit (true, returning cached data)");
      return true;
    }
    DEV_LOG(LOG_DEBUG, "sendSynchronousCommand", "requested command not in cache:");
  }
  if (quarantined_) {
    DEV_LOG(LOG_WARNING, "sendSynchronousCommand", "device is quarantined, returning NotConnected");
    set_last_error(ErrorCode::NotConnected);
    return false;
  }
  silent_ = true;
  for (int i = 0;; ++i) {
    if (i > max_retries_) {
      set_last_error(ErrorCode::NoResponse);
      DEV_LOG(LOG_WARNING, "sendSynchronousCommand", "sendSynchronousCommand exit (false, NoResponse)");
      clear_cookie();
      return false;
    }
    if (i > silent_threshold_ && silent_ && bus_type() != 0) {
      DEV_LOG(LOG_WARNING, "sendSynchronousCommand", "device was silent for %d tries, quarantining it until it reconnects",
              silent_threshold_);
      quarantined_ = true;
      handle_hw_disconnect();
      set_last_error(ErrorCode::NotConnected);
      return false;
    }
    if (need_ping_) {
      DEV_LOG(LOG_INFO, "sendSynchronousCommand", "need a ping");
      need_ping_ = false;
      if (!has_features()) {
        DEV_LOG(LOG_INFO, "sendSynchronousCommand", "not sending ping because device not feature based");
      } else {
        prepare_ping(i);
        const Byte echo = static_cast<Byte>(random(16, 255));
        const Bytes ping_request{kShortReport, request.size() > 1 ? request[1] : Byte{0xFF}, 0x00,
                                 static_cast<Byte>(0x10 | swid()), 0x00, 0x00, echo};
        Bytes ping_reply;
        if (!sendSynchronousCommandWithoutRetry(ping_request, ping_reply, {2}, i == 0)) {
          const ErrorCode code = last_error().code;
          if (is_soft_ping_error(code)) {
            DEV_LOG(LOG_WARNING, "sendSynchronousCommand", "on ping soft error errcode=%d, will ping and retry %d more times",
                    to_int(code), max_retries_ - i);
            need_ping_ = true;
            continue;
          }
          DEV_LOG(LOG_WARNING, "sendSynchronousCommand", "Device::sendSynchronousCommand exit (false, ping hard error %d)",
                  to_int(code));
          clear_cookie();
          set_last_error(code);
          return false;
        }
        DEV_LOG(LOG_INFO, "sendSynchronousCommand", "ping successful");
        if (need_ping_) continue;
      }
    }
    if (noresponse_seen_ && !do_fwcheck()) {
      const LastError failure = last_error();
      DEV_LOG(LOG_WARNING, "sendSynchronousCommand", "before sending command the fw check failed, err=%d",
              to_int(failure.code));
      clear_cookie();
      set_last_error(failure.code, failure.system_error, failure.message);
      return false;
    }
    const Bytes attempt = has_features() ? with_swid(request, swid()) : request;
    if (sendSynchronousCommandWithoutRetry(attempt, reply, echo_positions, i == 0)) {
      DEV_LOG(LOG_DEBUG, "sendSynchronousCommand", "sendSynchronousCommand exit (true, success)");
      const int current = swid();
      if (cacheable && reply.size() > 3 && (attempt[3] & 0x0F) == current && (reply[3] & 0x0F) == current) {
        cache_store(attempt, reply);
      }
      return true;
    }
    const LastError failure = last_error();
    if (is_soft_command_error(failure.code)) {
      DEV_LOG(LOG_WARNING, "sendSynchronousCommand",
              "synchronous command soft error errcode=%d, will ping and retry %d more times", to_int(failure.code),
              max_retries_ - i);
      need_ping_ = true;
      if (failure.code == ErrorCode::NoResponse) noresponse_seen_ = true;
      continue;
    }
    DEV_LOG(LOG_WARNING, "sendSynchronousCommand", "synchronous command hard error errcode=%d", to_int(failure.code));
    clear_cookie();
    set_last_error(failure.code, failure.system_error, failure.message);
    return false;
  }
}

void Device::abandon() {
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

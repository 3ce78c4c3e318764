// A synchronous command as features see it: answered from the reply cache when it may be, otherwise
// attempted until it succeeds, with a ping before a retry, a firmware check after a lost reply and
// quarantine for a device that stays silent.

#include <thread>

#include "dovod/LastError.h"
#include "protocol/CommandEngine.h"
#include "protocol/DeviceLog.h"
#include "protocol/DeviceTuning.h"

namespace dovod {
namespace {

constexpr Byte kShortReport = 0x10;

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

}  // namespace

bool CommandEngine::send_synchronous(const Bytes& request, Bytes& reply, int cache_mode,
                                     const std::vector<int>& echo_positions) {
  DEV_LOG(LOG_DEBUG, "sendSynchronousCommand", "sendSynchronousCommand enter, dev=%s", hwdev_->path().c_str());
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
      host_.command_failed();
      return false;
    }
    if (i > silent_threshold_ && silent_ && hwdev_->bus_type() != 0) {
      DEV_LOG(LOG_WARNING, "sendSynchronousCommand", "device was silent for %d tries, quarantining it until it reconnects",
              silent_threshold_);
      quarantined_ = true;
      host_.quarantine();
      set_last_error(ErrorCode::NotConnected);
      return false;
    }
    const PingResult ping = ping_if_needed(request, i);
    if (ping == PingResult::Retry) continue;
    if (ping == PingResult::Fail) return false;
    if (noresponse_seen_ && !host_.check_firmware()) {
      const LastError failure = last_error();
      DEV_LOG(LOG_WARNING, "sendSynchronousCommand", "before sending command the fw check failed, err=%d",
              to_int(failure.code));
      host_.command_failed();
      set_last_error(failure.code, failure.system_error, failure.message);
      return false;
    }
    const Bytes attempt = host_.feature_based() ? with_swid(request, swid()) : request;
    if (send_once(attempt, reply, echo_positions)) {
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
    host_.command_failed();
    set_last_error(failure.code, failure.system_error, failure.message);
    return false;
  }
}

CommandEngine::PingResult CommandEngine::ping_if_needed(const Bytes& request, int attempt) {
  if (!need_ping_) return PingResult::Proceed;
  DEV_LOG(LOG_INFO, "sendSynchronousCommand", "need a ping");
  need_ping_ = false;
  if (!host_.feature_based()) {
    DEV_LOG(LOG_INFO, "sendSynchronousCommand", "not sending ping because device not feature based");
    return PingResult::Proceed;
  }
  prepare_ping(attempt);
  const Byte echo = static_cast<Byte>(random(16, 255));
  const Bytes ping_request{kShortReport, request.size() > 1 ? request[1] : Byte{0xFF}, 0x00,
                           static_cast<Byte>(0x10 | swid()), 0x00, 0x00, echo};
  Bytes ping_reply;
  if (!send_once(ping_request, ping_reply, {2})) {
    const ErrorCode code = last_error().code;
    if (is_soft_ping_error(code)) {
      DEV_LOG(LOG_WARNING, "sendSynchronousCommand", "on ping soft error errcode=%d, will ping and retry %d more times",
              to_int(code), max_retries_ - attempt);
      need_ping_ = true;
      return PingResult::Retry;
    }
    DEV_LOG(LOG_WARNING, "sendSynchronousCommand", "Device::sendSynchronousCommand exit (false, ping hard error %d)",
            to_int(code));
    host_.command_failed();
    set_last_error(code);
    return PingResult::Fail;
  }
  DEV_LOG(LOG_INFO, "sendSynchronousCommand", "ping successful");
  return need_ping_ ? PingResult::Retry : PingResult::Proceed;
}

void CommandEngine::prepare_ping(int attempt) {
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

}  // namespace dovod

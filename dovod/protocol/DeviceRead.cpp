// Read routing: every report the hardware device reads is classified here, completes the pending
// request it answers, or goes to the feature it belongs to.

#include "dovod/LastError.h"
#include "protocol/Device.h"
#include "protocol/DeviceLog.h"
#include "protocol/Feature.h"

namespace dovod {
namespace {

constexpr Byte kVxp10Error = 0x8F;
constexpr Byte kVxp20Error = 0xFF;

Byte at(const Bytes& message, std::size_t index) { return index < message.size() ? message[index] : 0; }

bool is_vxp10_notification(Byte sub_id) { return sub_id == 0x40 || sub_id == 0x41 || sub_id == 0x49 || sub_id == 0x4B; }

Bytes parameters_of(const Bytes& report) { return Bytes(report.begin() + 4, report.end()); }

}  // namespace

bool Device::matches_pending(const Bytes& report, const Bytes& request, const std::vector<int>& echo) const {
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

bool Device::is_error_reply_for(const Bytes& report, const Bytes& request) const {
  if (report[2] == kVxp10Error) {
    const bool index_matches = report[1] == at(request, 1) || (report[1] == 0 && at(request, 1) == 0xFF);
    return index_matches && report[3] == at(request, 2) && report[4] == at(request, 3);
  }
  if (report[2] == kVxp20Error) {
    return report[1] == at(request, 1) && report[3] == at(request, 2) && report[4] == at(request, 3);
  }
  return false;
}

IDevice::ReportType Device::onReadHandler(Bytes report, bool relayed, unsigned, unsigned) {
  {
    std::lock_guard<std::mutex> lock(last_report_mutex_);
    last_report_ = Clock::now();
  }
  silent_ = false;
  if (report.size() <= 6) {
    DEV_LOG(LOG_DEBUG, "onReadHandler", "Not processing short read report of %d bytes", static_cast<int>(report.size()));
    return Unhandled;
  }
  if (relayed) report[1] = 0xFF;
  if (is_vxp10_notification(report[2])) {
    DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is a Vexa 1.0 notification");
    return Notification;
  }
  if (report[1] != 0xFF && report[1] != 0) return Unhandled;

  const bool feature_based = has_features();
  const unsigned report_swid = report[3] & 0x0F;
  if (feature_based && report_swid == 0) {
    if (auto feature = feature_at(report[2])) {
      DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is a Vexa 2.0 notification");
      if (active_) feature->routeFeatureReport(report[3] >> 4, parameters_of(report));
      return Notification;
    }
  }
  if (!feature_based && report[2] >= 0x01 && report[2] <= 0x7F) {
    DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is a Vexa 1.0 notification or a Vexa 2.0 response/event for an unknown feature");
    return Unhandled;
  }

  {
    std::unique_lock<std::mutex> lock(cmd_mutex_);
    if (!read_completed_ && !pending_.empty()) {
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
      if (complete) {
        response_ = report;
        read_completed_ = true;
        lock.unlock();
        cmd_done_.notify_all();
        return CommandResponse;
      }
      DEV_LOG(LOG_DEBUG, "onReadHandler", "Command in progress, size is %d", static_cast<int>(pending_.size()));
    } else {
      DEV_LOG(LOG_DEBUG, "onReadHandler", "No command in progress");
    }
  }

  if (!feature_based) {
    DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is an unexpected Vexa 1.0 command response, ignoring");
    return ForeignResponse;
  }
  route_foreign(report);
  return ForeignResponse;
}

void Device::route_foreign(const Bytes& report) {
  const unsigned s = report[3] & 0x0F;
  const unsigned function = report[3] >> 4;
  if (report[2] == 0 && function == 1 && report[6] == 0) {
    DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is a protocol check response from other SW using swid 0x%x, ignoring", s);
    return;
  }
  DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is a feature response from other SW using swid 0x%x", s);
  if (s == static_cast<unsigned>(swid_.load())) {
    DEV_LOG(LOG_INFO, "onReadHandler", "Report is an unexpected command response with our swid 0x%x, so we will switch our swid",
            s);
    swid_reselect_ = true;
    need_ping_ = true;
  }
  {
    std::lock_guard<std::mutex> lock(swid_mutex_);
    swid_last_seen_[s] = ++swid_stamp_;
  }
  auto feature = feature_at(report[2]);
  if (!feature) {
    if (s != 0) {
      DEV_LOG(LOG_DEBUG, "onReadHandler",
              "Report is a response to an unknown feature index %02x from other SW using swid 0x%x, ignoring", report[2], s);
    } else {
      DEV_LOG(LOG_DEBUG, "onReadHandler", "Report is a notif from an unknown feature at index %02x, ignoring", report[2]);
    }
    return;
  }
  if (active_) feature->routeUnexpectedResponse(function, s, parameters_of(report));
}

void Device::onRead(Bytes report, bool relayed, unsigned error, unsigned length) {
  const ReportType type = onReadHandler(report, relayed, error, length);
  if (!active_) return;
  Producer<IDevice::Report>::produce(
      [report, error, length, type](IDevice::Report* s) { s->onReport(report, error, length, type); },
      "Device::Report::onReport");
}

void Device::onWrite(Bytes report, ErrorCode error, unsigned system_error) {
  if (!active_) return;
  Producer<IDevice::WriteReport>::produce(
      [report, error, system_error](IDevice::WriteReport* s) { s->onWriteReport(report, error, system_error); },
      "Device::Report::onWriteReport");
}

}  // namespace dovod
